#!/usr/bin/env python3
"""Rewrites a zip so that it depends only on its files' names and contents: entries sorted by
name, one fixed time, fixed permissions, and no extra fields (which would carry the build's
access and change times)."""
import sys
import zipfile

FIXED_TIME = (2026, 1, 1, 0, 0, 0)


def normalise(path):
    with zipfile.ZipFile(path) as source:
        entries = sorted((info.filename, source.read(info)) for info in source.infolist())
    with zipfile.ZipFile(path, "w") as target:
        for name, data in entries:
            info = zipfile.ZipInfo(name, FIXED_TIME)
            info.create_system = 3  # Unix, so that the permissions below are read
            is_folder = name.endswith("/")
            info.external_attr = ((0o40755 if is_folder else 0o100644) << 16) | (0x10 if is_folder else 0)
            info.compress_type = zipfile.ZIP_STORED if is_folder else zipfile.ZIP_DEFLATED
            target.writestr(info, data, compresslevel=9)


if __name__ == "__main__":
    for zip_path in sys.argv[1:]:
        normalise(zip_path)
