#!/usr/bin/env python3
"""Writes the application icon in the theme sizes the window icon lacks.

The desktop looks the icon up in the hicolor theme at 16, 22, 24, 32, 48, 64,
128 and 256 pixels, and as the scalable packaging/bleeptone.svg. The 48 and
128 pixel files are the program's own (resources/icons/bleeptone-48.png and
bleeptone.png); this script draws the other sizes with the same drawing code,
resources/icons/make_icons.py, so that every size is the same picture pixel
for pixel. The PNG files are committed; nothing runs this at build time.

    python3 packaging/make_icons.py          # rewrite packaging/icons/*.png
    python3 packaging/make_icons.py --check  # fail if any file is stale

Standard library only. The 256 pixel icon takes about half a minute.
"""

import importlib.util
import pathlib
import sys

HERE = pathlib.Path(__file__).resolve().parent
DRAWING = HERE.parent / "resources" / "icons" / "make_icons.py"
OUT = HERE / "icons"

# Theme sizes drawn here; 48 and 128 come from resources/icons.
SIZES = (16, 22, 24, 32, 64, 256)


def load_drawing():
    spec = importlib.util.spec_from_file_location("bleeptone_icons", DRAWING)
    module = importlib.util.module_from_spec(spec)
    spec.loader.exec_module(module)
    return module


def main(argv):
    check = argv[1:] == ["--check"]
    if argv[1:] and not check:
        print(f"usage: {argv[0]} [--check]", file=sys.stderr)
        return 2
    drawing = load_drawing()
    OUT.mkdir(exist_ok=True)
    stale = []
    for size in SIZES:
        path = OUT / f"bleeptone-{size}.png"
        data = drawing.app_icon(size)
        if check:
            if not path.is_file() or path.read_bytes() != data:
                stale.append(path.name)
        else:
            path.write_bytes(data)
            print(f"wrote {path}")
    if stale:
        print("out of date: " + ", ".join(stale) + " (run packaging/make_icons.py)", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
