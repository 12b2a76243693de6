"""The committed files that scripts generate: each script builds the bytes of
its files and hands them here, to be written, or with --check only compared
with what is committed (exit status 1 when one is stale).

Standard library only.
"""

import sys


def write_or_check(files, script, argv):
    """files: {pathlib.Path: bytes}; script: the name to run when stale."""
    if "--check" in argv[1:]:
        stale = [path.name for path, data in files.items() if not path.exists() or path.read_bytes() != data]
        for name in stale:
            print("%s is stale; run %s" % (name, script), file=sys.stderr)
        return 1 if stale else 0
    for path, data in files.items():
        path.parent.mkdir(parents=True, exist_ok=True)
        path.write_bytes(data)
        print("%s: %d bytes" % (path.name, len(data)))
    return 0
