#!/usr/bin/env python3
"""Builds the Debian package from a build tree with cpack and checks it.

    check_package.py [--cpack CPACK] --cpack-config BUILD/CPackConfig.cmake --work-dir DIR --version 0.1.0

Checks the file name, the control fields (Depends computed from the program's
libraries), that the package holds exactly the expected files, and that the
files agree with each other: the desktop entry, the AppStream entry, the MIME
type, the icons (each PNG the size its folder names) and the versions named in
the manual page and the release list.
"""

import argparse
import gzip
import pathlib
import re
import shutil
import struct
import subprocess
import sys
import xml.etree.ElementTree as ET

APP_ID = "io.github.bleeptone.Bleeptone"
ICON_SIZES = (16, 22, 24, 32, 48, 64, 128, 256)
HICOLOR = "usr/share/icons/hicolor"

EXPECTED_FILES = {
    "usr/bin/bleeptone",
    f"usr/share/applications/{APP_ID}.desktop",
    "usr/share/mime/packages/bleeptone-mime.xml",
    f"usr/share/metainfo/{APP_ID}.metainfo.xml",
    "usr/share/man/man1/bleeptone.1.gz",
    "usr/share/bash-completion/completions/bleeptone",
    "usr/share/doc/bleeptone/copyright",
    f"{HICOLOR}/scalable/apps/bleeptone.svg",
} | {f"{HICOLOR}/{n}x{n}/apps/bleeptone.png" for n in ICON_SIZES}

# Libraries the program links, which dpkg-shlibdeps must have found.
EXPECTED_DEPENDS = ("libc6", "libqt6widgets6", "libportaudio2")


def run(*command, **kwargs):
    return subprocess.run(command, check=True, text=True, capture_output=True, **kwargs).stdout


def build_package(cpack, cpack_config, work_dir):
    if work_dir.exists():
        shutil.rmtree(work_dir)
    work_dir.mkdir(parents=True)
    result = subprocess.run([cpack, "-G", "DEB", "--config", str(cpack_config), "-B", str(work_dir)],
                            text=True, capture_output=True)
    if result.returncode != 0:
        sys.exit(f"cpack failed:\n{result.stdout}{result.stderr}")
    return sorted(work_dir.glob("*.deb"))


def desktop_entry(text):
    """The keys of the [Desktop Entry] group."""
    keys, group = {}, None
    for line in text.splitlines():
        if line.startswith("["):
            group = line.strip()
        elif group == "[Desktop Entry]" and "=" in line and not line.startswith("#"):
            key, value = line.split("=", 1)
            keys[key.strip()] = value.strip()
    return keys


def png_size(path):
    data = path.read_bytes()[:24]
    if data[:8] != b"\x89PNG\r\n\x1a\n" or data[12:16] != b"IHDR":
        return None
    return struct.unpack(">II", data[16:24])


def check(args):
    problems = []
    arch = run("dpkg", "--print-architecture").strip()
    debs = build_package(args.cpack, args.cpack_config, args.work_dir)
    wanted = f"bleeptone_{args.version}_{arch}.deb"
    if [d.name for d in debs] != [wanted]:
        return [f"cpack made {[d.name for d in debs]}, expected {wanted}"]
    deb = debs[0]

    fields = {f: run("dpkg-deb", "-f", str(deb), f).strip()
              for f in ("Package", "Version", "Architecture", "Section", "Maintainer", "Description", "Depends")}
    for field, value in (("Package", "bleeptone"), ("Version", args.version), ("Architecture", arch),
                         ("Section", "sound")):
        if fields[field] != value:
            problems.append(f"{field} is {fields[field]!r}, expected {value!r}")
    for field in ("Maintainer", "Description"):
        if not fields[field]:
            problems.append(f"{field} is empty")
    depends = {re.split(r"[ (]", d.strip())[0] for d in re.split(r"[,|]", fields["Depends"]) if d.strip()}
    for library in EXPECTED_DEPENDS:
        if library not in depends:
            problems.append(f"Depends lacks {library}: {fields['Depends']!r}")

    root = args.work_dir / "root"
    run("dpkg-deb", "-x", str(deb), str(root))
    files = {p.relative_to(root).as_posix() for p in root.rglob("*") if not p.is_dir()}
    for path in sorted(EXPECTED_FILES - files):
        problems.append(f"missing {path}")
    for path in sorted(files - EXPECTED_FILES):
        problems.append(f"unexpected {path}")
    if problems:
        return problems

    # The program runs from where it is installed.
    if run(str(root / "usr/bin/bleeptone"), "query", "T120O4L8CDE", "12").split() != "12 12 4 0 8 40 0 0 7".split():
        problems.append("usr/bin/bleeptone query gives a wrong answer")
    # It carries the web page's parts itself: no file beside it is needed.
    page = run(str(root / "usr/bin/bleeptone"), "export-html", "--demo", "1", "-o", "-")
    if not page.startswith("<!DOCTYPE html>") or "registerProcessor(" not in page or "BleeptoneModule" not in page:
        problems.append("usr/bin/bleeptone export-html writes no whole page")

    for size in ICON_SIZES:
        got = png_size(root / f"{HICOLOR}/{size}x{size}/apps/bleeptone.png")
        if got != (size, size):
            problems.append(f"the {size}x{size} icon is {got}")

    entry = desktop_entry((root / f"usr/share/applications/{APP_ID}.desktop").read_text())
    if entry.get("Icon") != "bleeptone":
        problems.append(f"the desktop entry names the icon {entry.get('Icon')!r}, the package installs bleeptone")
    if not (root / "usr/bin" / entry.get("Exec", "").split(" ")[0]).is_file():
        problems.append(f"the desktop entry runs {entry.get('Exec')!r}, which the package lacks")

    mime_ns = {"m": "http://www.freedesktop.org/standards/shared-mime-info"}
    mime = ET.parse(root / "usr/share/mime/packages/bleeptone-mime.xml")
    mime_types = {t.get("type") for t in mime.getroot().findall("m:mime-type", mime_ns)}
    entry_types = {t for t in entry.get("MimeType", "").split(";") if t}
    if not entry_types or entry_types - mime_types:
        problems.append(f"the desktop entry opens {sorted(entry_types)}, the MIME file declares {sorted(mime_types)}")

    component = ET.parse(root / f"usr/share/metainfo/{APP_ID}.metainfo.xml").getroot()
    if component.findtext("id") != APP_ID:
        problems.append(f"the AppStream id is {component.findtext('id')!r}")
    if component.findtext("launchable[@type='desktop-id']") != f"{APP_ID}.desktop":
        problems.append("the AppStream entry does not launch the packaged desktop entry")
    if component.findtext("provides/binary") != "bleeptone":
        problems.append("the AppStream entry does not provide the bleeptone binary")
    if {m.text for m in component.findall("provides/mediatype")} != mime_types:
        problems.append("the AppStream entry's media types differ from the MIME file's")
    releases = component.findall("releases/release")
    if not releases or releases[0].get("version") != args.version:
        problems.append(f"the newest AppStream release is not {args.version}")

    with gzip.open(root / "usr/share/man/man1/bleeptone.1.gz", "rt", encoding="utf-8") as page:
        title = next((line for line in page if line.startswith(".TH ")), "")
    if f'"Bleeptone {args.version}"' not in title:
        problems.append(f"the manual page's title line names another version: {title.strip()!r}")
    return problems


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--cpack", default="cpack")
    parser.add_argument("--cpack-config", type=pathlib.Path, required=True)
    parser.add_argument("--work-dir", type=pathlib.Path, required=True)
    parser.add_argument("--version", required=True)
    args = parser.parse_args()
    problems = check(args)
    for problem in problems:
        print(problem)
    if problems:
        return 1
    print("the package holds every expected file, and they agree")
    return 0


if __name__ == "__main__":
    sys.exit(main())
