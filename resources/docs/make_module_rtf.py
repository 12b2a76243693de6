#!/usr/bin/env python3
"""Writes Bleeptone's PSG Module document, module.rtf, from module.pb.

module.pb is the source text of the sound engine as a PureBasic module; the
PSG Module window shows module.rtf and copies its plain text, which is
exactly module.pb. Both files are committed; nothing runs this at build time.
Run it again after changing module.pb:

    python3 resources/docs/make_module_rtf.py          # rewrite module.rtf
    python3 resources/docs/make_module_rtf.py --check  # fail if module.rtf is stale

Standard library only.

The document is RTF 1 with the ANSI code page 1252, the whole text in Courier
New 12 pt, every line of module.pb ended with \\par. The writer escapes "\\",
"{" and "}", turns a tab into \\tab and any character outside ASCII into a
\\uN? escape (module.pb is plain ASCII, so there should be none).
"""

import pathlib
import sys

from rtf_writing import delimit_blank_starts, escape, write_or_check

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE / "module.pb"
OUT = HERE / "module.rtf"

HEADER = r"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fmodern Courier New;}}"
BODY = r"\f0\fs24 "


def source_lines():
    text = SOURCE.read_text(encoding="utf-8")
    if text.endswith("\n"):
        text = text[:-1]
    return text.split("\n")


def document():
    lines = [escape(line.rstrip("\r")) + r"\par" for line in source_lines()]
    lines[0] = BODY + lines[0]
    delimit_blank_starts(lines)
    return ("\n".join([HEADER] + lines + ["}"]) + "\n").encode("ascii")


def main(argv):
    return write_or_check(OUT, document(), "make_module_rtf.py", argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
