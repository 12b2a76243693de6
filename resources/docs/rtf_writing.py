"""What the document scripts share: escaping text for RTF, the delimiter rule
for lines that start with blanks, and writing or checking the output file.
Standard library only."""

import pathlib
import sys

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1]))
import generated_files  # noqa: E402


def escape(text, code_page=False):
    """Escapes "\\", "{" and "}", turns a tab into \\tab and any character
    outside printable ASCII into \\'hh (code page 1252, with code_page) or a
    \\uN? escape (UTF-16 units, signed)."""
    out = []
    for ch in text:
        if ch in "\\{}":
            out.append("\\" + ch)
        elif ch == "\t":
            out.append("\\tab ")
        elif " " <= ch <= "~":
            out.append(ch)
        elif code_page:
            out.append("\\'%02x" % ch.encode("cp1252")[0])
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


def delimit_blank_starts(lines):
    """A line that starts with blanks follows a control word: ends that word
    with its own delimiting space, so that no reader takes one of the blanks
    for the delimiter."""
    for i in range(len(lines) - 1):
        if lines[i + 1].startswith(" "):
            lines[i] += " "
    return lines


def write_or_check(out, data, script, argv):
    """Writes data to out, or with --check only says whether out is stale."""
    return generated_files.write_or_check({out: data}, script, argv)
    out.write_bytes(data)
    print("%s: %d bytes" % (out.name, len(data)))
    return 0
