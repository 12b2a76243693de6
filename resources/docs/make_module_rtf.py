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

HERE = pathlib.Path(__file__).resolve().parent
SOURCE = HERE / "module.pb"
OUT = HERE / "module.rtf"

HEADER = r"{\rtf1\ansi\ansicpg1252\deff0{\fonttbl{\f0\fmodern Courier New;}}"
BODY = r"\f0\fs24 "


def escape(text):
    out = []
    for ch in text:
        if ch in "\\{}":
            out.append("\\" + ch)
        elif ch == "\t":
            out.append("\\tab ")
        elif " " <= ch <= "~":
            out.append(ch)
        else:
            code = ord(ch)
            if code > 0xFFFF:  # outside the BMP: a UTF-16 surrogate pair
                code -= 0x10000
                units = [0xD800 + (code >> 10), 0xDC00 + (code & 0x3FF)]
            else:
                units = [code]
            for unit in units:  # RTF takes \uN as a signed 16-bit number
                out.append("\\u%d?" % (unit - 0x10000 if unit > 0x7FFF else unit))
    return "".join(out)


def source_lines():
    text = SOURCE.read_text(encoding="utf-8")
    if text.endswith("\n"):
        text = text[:-1]
    return text.split("\n")


def document():
    lines = [escape(line.rstrip("\r")) + r"\par" for line in source_lines()]
    lines[0] = BODY + lines[0]
    # A line that starts with blanks follows a \par: end that control word
    # with its own delimiting space, so that no reader takes one of the
    # blanks for the delimiter.
    for i in range(len(lines) - 1):
        if lines[i + 1].startswith(" "):
            lines[i] += " "
    return ("\n".join([HEADER] + lines + ["}"]) + "\n").encode("ascii")


def main(argv):
    data = document()
    if "--check" in argv[1:]:
        if not OUT.exists() or OUT.read_bytes() != data:
            print("module.rtf is stale; run make_module_rtf.py", file=sys.stderr)
            return 1
        return 0
    OUT.write_bytes(data)
    print("module.rtf: %d bytes" % len(data))
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
