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

sys.path.insert(0, str(pathlib.Path(__file__).resolve().parents[1] / "resources"))
from generated_files import write_or_check  # noqa: E402

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
    if argv[1:] and argv[1:] != ["--check"]:
        print(f"usage: {argv[0]} [--check]", file=sys.stderr)
        return 2
    drawing = load_drawing()
    icons = {OUT / f"bleeptone-{size}.png": drawing.app_icon(size) for size in SIZES}
    return write_or_check(icons, "packaging/make_icons.py", argv)


if __name__ == "__main__":
    sys.exit(main(sys.argv))
