#!/usr/bin/env python3
"""Writes a zip archive whose bytes depend only on the files' names and contents.

Usage: make_zip.py ARCHIVE NAME=PATH...

Entries are stored in name order, each dated SOURCE_DATE_EPOCH (UTC; the zip format counts from 1980), with
fixed permissions (0755 for .exe files, 0644 otherwise) and no extra fields, compressed with deflate.
"""
import os
import sys
import time
import zipfile


def main(argv):
    if len(argv) < 3 or any("=" not in a for a in argv[2:]):
        sys.exit(__doc__)
    epoch = int(os.environ.get("SOURCE_DATE_EPOCH", "315532800"))
    stamp = time.gmtime(max(epoch, 315532800))[:6]
    entries = sorted(tuple(a.split("=", 1)) for a in argv[2:])
    with zipfile.ZipFile(argv[1], "w") as archive:
        for name, path in entries:
            info = zipfile.ZipInfo(name, date_time=stamp)
            info.compress_type = zipfile.ZIP_DEFLATED
            info.create_system = 3
            info.external_attr = (0o100755 if name.lower().endswith(".exe") else 0o100644) << 16
            with open(path, "rb") as f:
                archive.writestr(info, f.read(), compresslevel=9)


if __name__ == "__main__":
    main(sys.argv)
