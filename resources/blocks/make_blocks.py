#!/usr/bin/env python3
"""Writes Bleeptone's five built-in project blocks beside this script.

The .bin files are committed; nothing runs this at build time. Run it again
after changing a tune below:

    python3 resources/blocks/make_blocks.py          # rewrite the .bin files
    python3 resources/blocks/make_blocks.py --check  # fail if any file is stale

Standard library only.

A block is a plain byte stream of 39 records, without header or length. Each
record is one byte (the control number) followed by its value: either one
unsigned byte or a UTF-16LE string ended by two zero bytes. Which of the two
follows is fixed by the record's position:

    3, 1                                    bytes   tempo, measure
    per channel, base b = 7, 20, 33, 46:
        b+1, b+3, b+5, b+7, b+8             bytes   waveform, octave, volume,
                                                    decay, mute
        b+10, b+11                          strings verse name, MML
    60 .. 67                                strings pattern names and patterns
    69                                      string  project info

Multi-line texts (the channel editors and the project info) are stored with
";" between their lines; in the MML strings a ";" is a verse boundary.
"""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
from generated_files import write_or_check  # noqa: E402

HERE = pathlib.Path(__file__).resolve().parent

CHANNEL_BASES = (7, 20, 33, 46)

# Every demo's project info has three lines: its title, a notice and an author.
AUTHOR = "By Bleeptone"


# --- Encoding ----------------------------------------------------------------

def byte_record(control, value):
    assert 0 <= control <= 255 and 0 <= value <= 255
    return bytes((control, value))


def string_record(control, text):
    assert 0 <= control <= 255
    assert "\x00" not in text
    return bytes((control,)) + text.encode("utf-16-le") + b"\x00\x00"


def encode_block(project):
    """Encodes a project (see new_project) as the 39 records of a block."""
    out = bytearray()
    out += byte_record(3, project["tempo"])
    out += byte_record(1, project["measure"])
    for b, ch in zip(CHANNEL_BASES, project["channels"]):
        out += byte_record(b + 1, ch["waveform"])
        out += byte_record(b + 3, ch["octave"])
        out += byte_record(b + 5, ch["volume"])
        out += byte_record(b + 7, ch["decay"])
        out += byte_record(b + 8, ch["mute"])
        out += string_record(b + 10, ch["verse_name"])
        out += string_record(b + 11, ";".join(ch["verses"]))
    for n, (name, pattern) in enumerate(project["patterns"]):
        out += string_record(60 + 2 * n, name)
        out += string_record(61 + 2 * n, pattern)
    out += string_record(69, ";".join(project["info"]))
    return bytes(out)


# --- Projects ------------------------------------------------------------------

def new_project():
    """The New template: the state of every field after File > New."""
    return {
        "tempo": 12,
        "measure": 2,  # "4/4"
        "channels": [
            {"waveform": 0, "octave": 4, "volume": 40, "decay": 0, "mute": 0,
             "verse_name": f"CH{c} Verse(s)", "verses": []}
            for c in range(1, 5)
        ],
        "patterns": [(f"Channel {c}", "") for c in range(1, 5)],
        "info": [],
    }


def demo(info, tempo, measure, settings, verses, patterns):
    """A demo tune: info is its project-info lines, settings (waveform, octave,
    volume, decay) per channel, verses a list of verses per channel, patterns
    the four pattern texts."""
    project = new_project()
    project["tempo"] = tempo
    project["measure"] = measure
    for ch, (wave, octave, volume, decay), lines in zip(
            project["channels"], settings, verses):
        ch.update(waveform=wave, octave=octave, volume=volume, decay=decay,
                  verses=lines)
    project["patterns"] = [(f"Channel {c}", p)
                           for c, p in zip(range(1, 5), patterns)]
    project["info"] = info
    return project


DEMO1 = demo(
    ["Demo 1", "Share freely, 2026", AUTHOR], 11, 2,
    [(1, 1, 48, 8), (4, 3, 42, 2), (4, 5, 44, 1), (0, 4, 40, 0)],
    [
        ["L8 G4B-B-G4B-B-  G4>E-E-<G4>E-E-<  A>CF4<A>CF4<  F4AAGB->D4<"],
        ["L8 GB->D4<GB->D4<  GB->E-<B-GB->E-<B-  A>CF4<A>CF4<  FA>C<AGB->D4<"],
        ["L4 GG2G8F8 E-E-2E-8D8 CCCD E-2D2",
         "B-B-2B-8A8 GG2G8F8 CCCD E-2D2",
         "B-B-2B-8A8 GG2G8F8 ACFA G2D2"],
        [],
    ],
    ["1+1+1+1", "1+1+1+1", "1+2+1+3", ""],
)

DEMO2 = demo(
    ["Demo 2", "Share freely, 2026", AUTHOR], 13, 1,
    [(1, 2, 44, 16), (4, 3, 40, 2), (0, 5, 44, 2), (0, 4, 40, 0)],
    [
        ["l8 v+cv-ceeg4 v+fv-faa>cc< v+cv-ceeg4 v+fv-faa>cc< ggbb>d4< \\8 g4c2 :"],
        ["l4 gec f2a8c8 gec f2a8c8 gbd ec2 :"],
        ["l8 cegceg l4 caf l8 cegceg l4 caf l8 gbdgbd l4 cgg :"],
        [],
    ],
    ["", "", "", ""],
)

DEMO3 = demo(
    ["Demo 3", "(c) 2026 CC0", AUTHOR], 12, 1,
    [(4, 3, 40, 2), (4, 4, 42, 1), (0, 4, 40, 0), (0, 4, 40, 0)],
    [
        ["l8 <dced> dcge4 l4 \\1 <d1> r8 l8 \\2 dg l4 \\1 <d1> l8 \\2 dge \\1 <d1> \\2 dcdrr v+ <<dd>> v- r"],
        ["l8 >dcde< dcde#4 l4 >d1< l8 de l4 >f1 l8 ddfe1< dedfe dd r4"],
        [],
        [],
    ],
    ["", "", "", ""],
)

DEMO4 = demo(
    ["Demo 4", "(c) 2026 CC0", AUTHOR], 13, 2,
    [(4, 2, 40, 3), (4, 4, 40, 1), (1, 5, 42, 1), (3, 5, 37, 10)],
    [
        ["w4 \\3 o2 dd2 w5 \\4 o5 c", "w4 \\3 o2 d2 w5 \\4 o5 cd", ":"],
        ["\\1,9,5,1 l1 gba \\5,9,5 l4 gab2", "v40 \\9,1 l1 gba \\2 l4 gab2", ":"],
        ["r1r1", "cd>d<e", "cd>d2<", ":"],
        ["l8 d :"],
    ],
    ["1+1+1+1+1+1+1+1+2+2+2+2+3", "1+1+2+3", "1+1+1+1+2+2+2+3+4", ""],
)

BLOCKS = {
    "demo1.bin": (DEMO1, 815),
    "demo2.bin": (DEMO2, 649),
    "demo3.bin": (DEMO3, 627),
    "demo4.bin": (DEMO4, 693),
    "new.bin": (new_project(), 263),
}


def build():
    blocks = {}
    for name, (project, size) in BLOCKS.items():
        data = encode_block(project)
        assert len(data) == size, f"{name}: {len(data)} bytes, expected {size}"
        blocks[name] = data

    # Demo 1: tempo record 03 0B; record 8 is channel 1's verse name.
    demo1 = blocks["demo1.bin"]
    assert demo1[:2] == b"\x03\x0b"
    verse_name = "CH1 Verse(s)".encode("utf-16-le")
    assert len(verse_name) == 24
    offset = 2 * 2 + 5 * 2  # two byte records, then channel 1's five
    assert demo1[offset:offset + 27] == b"\x11" + verse_name + b"\x00\x00"
    return blocks


def main(argv):
    return write_or_check({HERE / name: data for name, data in build().items()}, "make_blocks.py", argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
