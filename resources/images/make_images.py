#!/usr/bin/env python3
"""Draws Bleeptone's waveform strip and About emblem as PNG files beside this script.

The PNG files are committed; nothing runs this at build time. Run it again
after changing a drawing below:

    python3 resources/images/make_images.py          # rewrite the PNG files
    python3 resources/images/make_images.py --check  # fail if any file is stale

Standard library only. Every pixel is computed with integer arithmetic or
exact rounding, so the output is the same on every machine.

- waveforms.png: 48 x 120, 1-bit palette (index 0 = RGB (0, 113, 255), the
  info bar's dark blue; index 1 = white). Six 48 x 20 icons stacked from the
  top: triangle, sawtooth, complex A, complex B, square, noise. The info bar
  draws the strip 20 r + 1 pixels up for waveform r, so the first and last
  rows of every icon stay empty.
- emblem.png: 256 x 256, 8-bit palette with a tRNS chunk: a pixel-art eighth
  note sending out sound waves, dark grey on a transparent background, drawn
  on a 32 x 32 grid of 8 x 8 pixel cells, with a soft shadow.
"""

import pathlib
import struct
import sys
import zlib

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from generated_files import write_or_check  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent


# --- PNG -------------------------------------------------------------------

def chunk(kind, data):
    body = kind + data
    return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))


def palette_png(width, height, bit_depth, palette, alphas, rows):
    """Encodes a palette image. rows: lists of palette indices, one per pixel.

    palette: (r, g, b) tuples; alphas: opacities of the first entries (a tRNS
    chunk), or None for an opaque image.
    """
    per_byte = 8 // bit_depth
    raw = bytearray()
    assert len(rows) == height
    for row in rows:
        assert len(row) == width
        packed = bytearray((width + per_byte - 1) // per_byte)
        for x, index in enumerate(row):
            assert 0 <= index < len(palette)
            shift = 8 - bit_depth * (x % per_byte + 1)
            packed[x // per_byte] |= index << shift
        raw.append(0)  # filter: none
        raw += packed
    ihdr = struct.pack(">IIBBBBB", width, height, bit_depth, 3, 0, 0, 0)
    plte = b"".join(bytes(colour) for colour in palette)
    out = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", ihdr) + chunk(b"PLTE", plte)
    if alphas is not None:
        out += chunk(b"tRNS", bytes(alphas))
    compressor = zlib.compressobj(9, zlib.DEFLATED, 15, 9)
    data = compressor.compress(bytes(raw)) + compressor.flush()
    return out + chunk(b"IDAT", data) + chunk(b"IEND", b"")


# --- Waveform strip --------------------------------------------------------

ICON_W, ICON_H = 48, 20
DARK_BLUE = (0, 113, 255)
WHITE = (255, 255, 255)

# The line runs from column LEFT to RIGHT - 1 and between rows TOP (the
# highest level) and BOTTOM (the lowest); PERIOD columns make one cycle.
# Shown one row up in the 20-row info bar, rows 5 to 16 sit in its middle.
LEFT, RIGHT = 2, 46
TOP, BOTTOM = 5, 16
PERIOD = 22


def triangle(t):
    """Levels are fractions 0 (bottom) .. 1 (top) of one cycle at phase t."""
    return 1 - abs(2 * t - 1)


def sawtooth(t):
    return t


def complex_a(t):
    # A triangle with a notch cut into each flank: a jagged triangle.
    level = triangle(t)
    if 0.25 <= t < 0.35 or 0.65 <= t < 0.75:
        level -= 0.3
    return level


def complex_b(t):
    # A ramp in three rising teeth: a jagged sawtooth.
    tooth = (3 * t) % 1
    return t * 0.7 + tooth * 0.3


def square(t):
    return 1.0 if t < 0.5 else 0.0


def noise_levels(count, seed=0x5EED):
    """Pseudo-random levels from a fixed linear congruential generator."""
    state = seed
    levels = []
    for _ in range(count):
        state = (state * 1103515245 + 12345) & 0x7FFFFFFF
        levels.append((state >> 16) % 12 / 11)
    return levels


NOISE_STEP = 3  # columns per noise level
NOISE = noise_levels((RIGHT - LEFT + NOISE_STEP - 1) // NOISE_STEP)


def noise(t_columns):
    return NOISE[t_columns // NOISE_STEP]


def level_row(level):
    """The pixel row of a level 0..1, rounded half up."""
    return TOP + int((1 - level) * (BOTTOM - TOP) + 0.5)


def wave_icon(shape):
    """A 48 x 20 icon: a continuous 1-pixel white line of two cycles."""
    pixels = [[0] * ICON_W for _ in range(ICON_H)]
    previous = None
    for x in range(LEFT, RIGHT):
        if shape is noise:
            y = level_row(noise(x - LEFT))
        else:
            y = level_row(shape(((x - LEFT) % PERIOD) / PERIOD))
        # Join to the previous column with a vertical run in this column.
        start = y if previous is None else previous + (1 if y > previous else -1 if y < previous else 0)
        for row in range(min(start, y), max(start, y) + 1):
            pixels[row][x] = 1
        previous = y
    return pixels


WAVE_SHAPES = (triangle, sawtooth, complex_a, complex_b, square, noise)


def waveforms_png():
    rows = []
    for shape in WAVE_SHAPES:
        rows += wave_icon(shape)
    return palette_png(ICON_W, ICON_H * len(WAVE_SHAPES), 1, [DARK_BLUE, WHITE], None, rows)


# --- Emblem ----------------------------------------------------------------

EMBLEM_SIZE = 256
CELL = 8  # pixels per cell of the 32 x 32 drawing grid

# The note, one character per cell: "#" dark grey, "o" the highlight on the
# head. The sound waves are added by emblem_cells().
NOTE = """
................................
................................
................................
.........###....................
.........####...................
.........#####..................
.........######.................
.........###.###................
.........###..###...............
.........###...###..............
.........###....###.............
.........###.....##.............
.........###.....###............
.........###......##............
.........###......##............
.........###.....##.............
.........###....##..............
.........###....................
.........###....................
.........###....................
.....#######....................
...#########....................
..##oo######....................
..#oo#######....................
.##########.....................
.##########.....................
..########......................
...#####........................
................................
................................
................................
................................
"""

# Palette of the emblem: index, colour, opacity.
TRANSPARENT = 0
SHADOW = 1
INK = 2      # the note and the nearest wave
HIGHLIGHT = 3
WAVE_MID = 4
WAVE_FAR = 5
EMBLEM_PALETTE = [
    ((0, 0, 0), 0),
    ((0, 0, 0), 56),
    ((58, 58, 62), 255),
    ((150, 150, 156), 255),
    ((92, 92, 98), 255),
    ((128, 128, 134), 255),
]

# Sound waves: arcs of cells around a centre to the right of the note,
# (radius in cells, colour), each 2 x WAVE_HALF_WIDTH cells thick over
# +-40 degrees, drawn in half cells so that they curve more smoothly.
WAVE_CENTRE = (12, 15)
WAVES = ((10.5, INK), (14, WAVE_MID), (17.5, WAVE_FAR))
WAVE_HALF_WIDTH = 0.8


def emblem_cells():
    """The picture on a 64 x 64 grid of half cells (4 x 4 pixels each)."""
    grid = [line for line in NOTE.strip("\n").split("\n")]
    assert len(grid) == 32 and all(len(line) == 32 for line in grid)
    ink = {"#": INK, "o": HIGHLIGHT, ".": TRANSPARENT}
    cells = [[ink[line[col // 2]] for col in range(64)] for line in grid for _ in range(2)]
    cx, cy = WAVE_CENTRE
    for radius, colour in WAVES:
        inner, outer = radius - WAVE_HALF_WIDTH, radius + WAVE_HALF_WIDTH
        for row in range(64):
            for col in range(64):
                dx, dy = (col + 0.5) / 2 - cx, (row + 0.5) / 2 - cy
                distance_sq = dx * dx + dy * dy
                # Within +-40 degrees of the horizontal: |dy| <= tan(40) dx.
                if inner * inner <= distance_sq < outer * outer and abs(dy) * 100 <= 84 * dx:
                    cells[row][col] = colour
    return cells


def emblem_png():
    cells = emblem_cells()
    half = CELL // 2
    rows = []
    for y in range(EMBLEM_SIZE):
        row = []
        for x in range(EMBLEM_SIZE):
            index = cells[y // half][x // half]
            if index == TRANSPARENT and x >= half and y >= half and cells[y // half - 1][x // half - 1] != TRANSPARENT:
                index = SHADOW  # the picture moved half a cell right and down
            row.append(index)
        rows.append(row)
    palette = [colour for colour, _ in EMBLEM_PALETTE]
    alphas = [alpha for _, alpha in EMBLEM_PALETTE]
    while alphas and alphas[-1] == 255:
        alphas.pop()  # tRNS lists only the entries before the opaque tail
    return palette_png(EMBLEM_SIZE, EMBLEM_SIZE, 8, palette, alphas, rows)


# --- Main ------------------------------------------------------------------

def all_images():
    return {"waveforms.png": waveforms_png(), "emblem.png": emblem_png()}


def main(argv):
    return write_or_check({HERE / name: data for name, data in all_images().items()}, "make_images.py", argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
