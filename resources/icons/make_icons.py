#!/usr/bin/env python3
"""Draws Bleeptone's icons and writes them as PNG files beside this script.

The PNG files are committed; nothing runs this at build time. Run it again
after changing a drawing below:

    python3 resources/icons/make_icons.py          # rewrite the PNG files
    python3 resources/icons/make_icons.py --check  # fail if any file is stale

Standard library only.

- copy_mml.png, paste_mml.png: 15 x 16 grey + alpha button icons, drawn pixel
  by pixel so that they stay crisp at 1x on a light grey button.
- bleeptone.png (128 x 128) and bleeptone-48.png (48 x 48): the application
  icon, RGBA. packaging/bleeptone.svg draws the same picture as vector shapes;
  keep the two in step.
"""

import pathlib
import struct
import sys
import zlib

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from generated_files import write_or_check  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent


# --- PNG -------------------------------------------------------------------

GREY_ALPHA = 4  # PNG colour type: grey + alpha, 8 bits each
RGBA = 6        # PNG colour type: red, green, blue, alpha, 8 bits each


def png_bytes(width, height, colour_type, rows):
    """Encodes rows (each a bytes object of pixel samples) as a PNG file."""
    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    channels = {GREY_ALPHA: 2, RGBA: 4}[colour_type]
    assert len(rows) == height
    raw = bytearray()
    for row in rows:
        assert len(row) == width * channels
        raw.append(0)  # filter: none
        raw += row
    ihdr = struct.pack(">IIBBBBB", width, height, 8, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr)
            + chunk(b"IDAT", zlib.compress(bytes(raw), 9)) + chunk(b"IEND", b""))


# --- Button icons ----------------------------------------------------------

# Grey level and opacity of each character in the grids below.
BUTTON_INK = {
    ".": (0, 0),        # transparent
    "#": (0x3c, 255),   # outline
    "+": (0x8c, 255),   # clip
    ":": (0xa4, 255),   # board around the sheet
    "o": (0xfc, 255),   # sheet
    "=": (0x5a, 255),   # text on the sheet
    "@": (0x30, 255),   # arrow
}

COPY_MML = """
.....#####.....
..###+++++###..
.#::#######::#.
.#:ooooooooo:#.
.#:ooooooooo:#.
.#:o=======o:#.
.#:ooooooooo:#.
.#:o=====ooo:#.
.#:ooooooooo:#.
.#:o======oo:#.
.#:ooooooooo:#.
.#:o====oooo:#.
.#:ooooooooo:#.
.#:ooooooooo:#.
.#:::::::::::#.
..###########..
"""

PASTE_MML = """
.....#####.....
..###+++++###..
.#::#######::#.
.#:ooooooooo:#.
.#:ooo@@@ooo:#.
.#:ooo@@@ooo:#.
.#:ooo@@@ooo:#.
.#:ooo@@@ooo:#.
.#:o@@@@@@@o:#.
.#:oo@@@@@oo:#.
.#:ooo@@@ooo:#.
.#:oooo@oooo:#.
.#:ooooooooo:#.
.#:ooooooooo:#.
.#:::::::::::#.
..###########..
"""

BUTTON_SIZE = (15, 16)


def button_icon(grid):
    lines = grid.strip().splitlines()
    width, height = BUTTON_SIZE
    assert len(lines) == height, f"{len(lines)} rows"
    rows = []
    for line in lines:
        assert len(line) == width, f"row {line!r} is {len(line)} wide"
        row = bytearray()
        for ch in line:
            row += bytes(BUTTON_INK[ch])
        rows.append(bytes(row))
    return png_bytes(width, height, GREY_ALPHA, rows)


# --- Application icon ------------------------------------------------------
#
# Drawn on a 128-unit square (the SVG's viewBox). The note and the wave lie on
# a grid of 8 units, which falls on whole pixels at both 128 and 48 pixels
# (8 units = 3 pixels at 48), so the pixel-art shapes stay sharp; only the
# rounded corners are smoothed.

def hex_colour(text):
    return tuple(int(text[i:i + 2], 16) for i in (1, 3, 5))


RIM = hex_colour("#6b74c4")        # outer edge of the tile
TOP = hex_colour("#333a78")        # tile, top of the gradient
BOTTOM = hex_colour("#15173a")     # tile, bottom of the gradient
NOTE = hex_colour("#ffcd4b")       # eighth note
WAVE = hex_colour("#4ee08a")       # square wave
SHADOW = hex_colour("#0b0c22")     # shadow under the note and wave

TILE = (4, 4, 124, 124, 24)        # x0, y0, x1, y1, corner radius
INNER = (8, 8, 120, 120, 20)

# The eighth note, one character per 8-unit cell of the 128-unit square.
NOTE_CELLS = """
................
................
........#.......
........##......
........#.#.....
........#..#....
........#..#....
......###.#.....
.....####.......
.....###........
................
................
................
................
................
................
"""

# The square wave: a stroke 8 units wide with square ends, through these points.
WAVE_POINTS = [(20, 92), (28, 92), (28, 108), (52, 108), (52, 92), (76, 92), (76, 108), (100, 108),
               (100, 92), (108, 92)]
WAVE_WIDTH = 8


def note_rects():
    rects = []
    for y, line in enumerate(NOTE_CELLS.strip().splitlines()):
        for x, ch in enumerate(line):
            if ch == "#":
                rects.append((x * 8, y * 8, x * 8 + 8, y * 8 + 8))
    return rects


def wave_rects():
    half = WAVE_WIDTH / 2
    rects = []
    for (ax, ay), (bx, by) in zip(WAVE_POINTS, WAVE_POINTS[1:]):
        assert ax == bx or ay == by, "the wave has only level and upright strokes"
        rects.append((min(ax, bx) - half, min(ay, by) - half, max(ax, bx) + half, max(ay, by) + half))
    return rects


def in_rounded_rect(x, y, shape):
    x0, y0, x1, y1, r = shape
    if not (x0 <= x < x1 and y0 <= y < y1):
        return False
    cx = min(max(x, x0 + r), x1 - r)
    cy = min(max(y, y0 + r), y1 - r)
    return (x - cx) ** 2 + (y - cy) ** 2 <= r * r


def in_any(x, y, rects):
    return any(x0 <= x < x1 and y0 <= y < y1 for x0, y0, x1, y1 in rects)


def app_icon_sample(x, y, notes, waves, shadows):
    """The colour (r, g, b, a) of the picture at (x, y) in 128-unit space."""
    if not in_rounded_rect(x, y, TILE):
        return (0, 0, 0, 0)
    if not in_rounded_rect(x, y, INNER):
        return RIM + (255,)
    if in_any(x, y, notes):
        return NOTE + (255,)
    if in_any(x, y, waves):
        return WAVE + (255,)
    if in_any(x, y, shadows):
        return SHADOW + (255,)
    t = (y - INNER[1]) / (INNER[3] - INNER[1])
    return tuple(round(a + (b - a) * t) for a, b in zip(TOP, BOTTOM)) + (255,)


def app_icon(size, samples=8):
    notes = note_rects()
    waves = wave_rects()
    # The shadow: both shapes moved 4 units right and down.
    shadows = [(x0 + 4, y0 + 4, x1 + 4, y1 + 4) for x0, y0, x1, y1 in notes + waves]
    scale = 128 / size
    rows = []
    for py in range(size):
        row = bytearray()
        for px in range(size):
            acc = [0, 0, 0, 0]  # colour premultiplied by alpha, then alpha
            for sy in range(samples):
                for sx in range(samples):
                    x = (px + (sx + 0.5) / samples) * scale
                    y = (py + (sy + 0.5) / samples) * scale
                    r, g, b, a = app_icon_sample(x, y, notes, waves, shadows)
                    acc[0] += r * a
                    acc[1] += g * a
                    acc[2] += b * a
                    acc[3] += a
            n = samples * samples
            alpha = acc[3] / n
            if alpha == 0:
                row += b"\0\0\0\0"
            else:
                row += bytes(round(c / acc[3]) for c in acc[:3]) + bytes([round(alpha)])
        rows.append(bytes(row))
    return png_bytes(size, size, RGBA, rows)


# --- Main ------------------------------------------------------------------

def all_icons():
    return {
        "copy_mml.png": button_icon(COPY_MML),
        "paste_mml.png": button_icon(PASTE_MML),
        "bleeptone.png": app_icon(128),
        "bleeptone-48.png": app_icon(48),
    }


def main(argv):
    if argv[1:] and argv[1:] != ["--check"]:
        print(f"usage: {argv[0]} [--check]", file=sys.stderr)
        return 2
    return write_or_check({HERE / name: data for name, data in all_icons().items()}, "make_icons.py", argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
