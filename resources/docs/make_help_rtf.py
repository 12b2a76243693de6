#!/usr/bin/env python3
"""Writes Bleeptone's help document, help.rtf, beside this script.

The RTF file is committed; nothing runs this at build time. Run it again
after changing the text below:

    python3 resources/docs/make_help_rtf.py          # rewrite help.rtf
    python3 resources/docs/make_help_rtf.py --check  # fail if help.rtf is stale

Standard library only.

The document is RTF 1 with the ANSI code page 1252: Courier New 12 pt
throughout, section headings in bold, the first line centred, every line
ended with \\par. The text is kept here as plain strings; the writer escapes
"\\", "{" and "}", turns a tab into \\tab and any character outside ASCII into
a code-page 1252 \\'hh escape.
"""

import pathlib
import sys

from rtf_writing import delimit_blank_starts, escape, write_or_check


def escape_cp(text):
    return escape(text, code_page=True)


HERE = pathlib.Path(__file__).resolve().parent
OUT = HERE / "help.rtf"

HEADER = r"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fmodern Courier New;}}"

# Paragraph settings of the two-column lists: a tab stop and a hanging indent
# of ten characters of Courier New 12 pt (7.2 pt = 144 twips each), so that a
# long description wraps under its own column.
TWO_COLUMNS = r"\pard\tx1440\li1440\fi-1440 "
PLAIN = r"\pard "

TITLE = 'Bleeptone - an MML editor for composing "retro" style music'

# Each section: heading, then a list of items. An item is a paragraph of
# text, "" for an empty line, or a (command, description) pair for a
# two-column row. Consecutive pairs form one list.
SECTIONS = [
    ("Overview", [
        "Bleeptone plays your tunes through its own sound generator with four "
        "channels, one voice each. Channel 1 offers six waveforms (Triangle, "
        "Sawtooth, Complex A, Complex B, Square and Noise); channels 2 to 4 "
        "offer the first five. Every channel has its own start settings: "
        "waveform, octave, volume, decay and Mute, which silences the channel "
        "while you listen to the others. The tempo is shared by all channels.",
        "",
        "Each line of a channel editor is one verse. In the Pattern Editor you "
        'combine the verses of a channel with a pattern such as "1+2+3" or '
        '"1+3+3+2". When a pattern is empty, only the first verse of its '
        "channel is played. The channel (verse) names and the pattern names "
        'can be renamed; on "Copy MML" the verse names are numbered, for '
        "example CH1Verse_1, CH1Verse_2 and so on.",
        "",
        "Play plays the whole tune: each channel starts with its settings and "
        "goes through the verses of its pattern. While it plays, the time "
        "played and the length of the tune are shown beside the Stop button.",
        "",
        "To hear just a part of a verse, select it and press Play, or choose "
        "Play from the editor's context menu. The part starts with the "
        "settings in force at its beginning.",
        "",
        "The Measure setting (2/4, 3/4 or 4/4) is used by the info bar under "
        "the editor. It shows the settings at the caret (tempo, octave, "
        "transpose, note length, volume and waveform), the verse and, on the "
        "right, the number of whole measures before the caret and the "
        "position in the current measure, one square per sixteenth note. A "
        "small picture of the waveform is drawn beside the settings.",
        "",
        '"Copy MML" puts the whole tune on the clipboard as text that a '
        'PureBasic program can use or that you can share; "Paste MML" turns '
        "such a text back into a tune.",
        "",
        '"Record to Wave" writes the tune to a WAV file. The recording stops '
        "by itself when the tune ends, or when all of its loops end together.",
        "",
        "The Tunes menu holds four demo tunes to start from. File > Save "
        'stores a project as a ".mmlp" file with all its settings and texts.',
    ]),
    ("Music Macro Language", [
        "Commands may be written in upper or lower case, and blanks may be "
        "put between them freely.",
        "",
        ("R", "rest (if number follows, rest length)"),
        ("CDEFGAB", "note names (if number follows, note length)"),
        ("+ or #", "sharp"),
        ("-", "flat"),
        (".", "increase note length by half"),
        ("<", "octave - 1"),
        (">", "octave + 1"),
        ("O", "octave (0 - 8)"),
        ("K", "transpose (-24 - +24)"),
        ("L", "note length (1 - 32)"),
        ("T", "tempo (0 - 15)"),
        ("V", "volume (0 - 63)"),
        ("V+", "increase volume"),
        ("V-", "decrease volume"),
        ("W", "waveform (0 = triangle, 1 = sawtooth, 2 = complex a, "
              "3 = complex b, 4 = square, 5 = noise on channel1)"),
        ("\\", "decay speed (0 = no decay) or volume envelope (0-9) "
               "(read below)"),
        (":", "loop"),
        ("*", "post event (number can be retrieved in PureBasic with "
              "EventData() )"),
        "",
        'Example: "o4 l8 cdefg4g4 a.a16gf e2" - a number after a note changes '
        "the length of that note only; L changes the length of the notes that "
        'follow. A ":" at the end of a verse plays its channel again from the '
        "start, for ever.",
    ]),
    ("Volume Envelope & Decay", [
        'The command "\\" has two uses.',
        "",
        'Followed by a single number it sets the decay speed: during a note '
        "the volume falls by that many eighths of a volume step per tick "
        '(about 1/96 second). "\\8" takes one step per tick, "\\0" switches '
        "the decay off.",
        "",
        "Followed by a list of numbers from 0 to 9, separated by commas, it "
        "sets a volume envelope that is spread over the length of every note: "
        '9 is the full volume, 0 is silence. "\\0,9,4" swells and fades '
        "smoothly, because the volume is interpolated between the values. "
        'With a dot in front of the list the volume steps instead: "\\.0,9" '
        "keeps the first half of each note silent. A single number switches "
        "the envelope off again.",
        "",
        'Example: "v50 \\9,6,3,0 l4 cege" plays four plucked notes.',
    ]),
    ("Tempo = BPM", [
        ("T0", "40 BPM"),
        ("T6", "60 BPM"),
        ("T9", "80 BPM"),
        ("T10", "90 BPM"),
        ("T11", "103 BPM"),
        ("T12", "120 BPM"),
        ("T13", "144 BPM"),
        ("T14", "180 BPM"),
        ("T15", "240 BPM"),
        "",
        'T also accepts beats per minute from 40 to 240: "T100" picks the '
        "closest tempo step, T11. The arrows of the Tempo box step through "
        "the values of this table only.",
    ]),
    ("PureBasic PSG Module", [
        "The sound generator of Bleeptone is available as a PureBasic module. "
        "Choose Help > PSG Module to see its source, and click the link at the "
        "top of that window to copy it to the clipboard. Save it as "
        '"PSG.pbi" beside your program, or paste it at the top of it. '
        "PSG_Init() starts the sound output, PSG_PlayMML() plays up to four "
        "channel strings and PSG_Terminate() stops the sound output again.",
    ]),
    ("PureBasic Example", [
        "This program plays a short tune on three channels and ends with it.",
        "",
        'XIncludeFile "PSG.pbi"  ; or paste the module here',
        "",
        "PSG::PSG_Init()",
        "",
        '; the channel strings, as "Copy MML" writes them',
        'CH1Verse_1.s = "t12 w4 o5 \\2 v40 l8 ceg>c<gec4"',
        'CH1Verse_2.s = "l8 dfa>d<afd4"',
        'CH2Verse_1.s = "t12 w1 o3 \\0 v32 l4 c<g>c<g>"',
        'CH2Verse_2.s = "l4 d<a>d<a>"',
        'CH3Verse_1.s = "t12 w0 o4 \\0 v28 e1"',
        'CH3Verse_2.s = "f1"',
        "",
        "Channel_1.s = CH1Verse_1 + CH1Verse_2 + CH1Verse_1",
        "Channel_2.s = CH2Verse_1 + CH2Verse_2 + CH2Verse_1",
        "Channel_3.s = CH3Verse_1 + CH3Verse_2 + CH3Verse_1",
        "",
        'OpenWindow(0, 0, 0, 320, 60, "PSG Example", '
        "#PB_Window_SystemMenu | #PB_Window_ScreenCentered)",
        "PSG::PSG_PlayMML(Channel_1, Channel_2, Channel_3)",
        "",
        "Repeat",
        "  Event = WaitWindowEvent()",
        "  ; EventData() is -1 when all channels have ended, -2 when they",
        '  ; loop together, and n for a "*n" command',
        "  If Event = PSG::#MML_Event And EventData() = -1",
        "    Break  ; all channels have ended",
        "  EndIf",
        "Until Event = #PB_Event_CloseWindow",
        "",
        "PSG::PSG_Terminate()",
    ]),
]


def document():
    lines = [HEADER, r"\f0\fs24\qc " + escape_cp(TITLE) + r"\par", r"\ql\par"]
    for heading, items in SECTIONS:
        lines.append(r"\b " + escape_cp(heading) + r"\b0\par")
        in_list = False
        for item in items:
            if isinstance(item, tuple):
                text = escape_cp(item[0] + "\t" + item[1])
                if not in_list:
                    text = TWO_COLUMNS + text
                    in_list = True
            else:
                text = escape_cp(item)
                if in_list:
                    text = PLAIN + text
                    in_list = False
            lines.append(text + r"\par")
        if in_list:
            lines.append(PLAIN + r"\par")
        elif heading != SECTIONS[-1][0]:
            lines.append(r"\par")
    lines.append("}")
    delimit_blank_starts(lines)
    return ("\n".join(lines) + "\n").encode("ascii")


def main(argv):
    return write_or_check(OUT, document(), "make_help_rtf.py", argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
