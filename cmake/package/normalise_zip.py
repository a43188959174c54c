#!/usr/bin/env python3
"""Rewrites a zip so that it depends only on its files' names and contents: entries sorted by
name, one fixed time, fixed permissions, and no extra fields (which would carry the build's
access and change times). With --create ZIP FOLDER FILE..., makes such a zip of the files, in
one folder of that name."""
import os
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


def create(zip_path, folder, files):
    with zipfile.ZipFile(zip_path, "w") as target:
        target.writestr(folder + "/", b"")
        for path in files:
            target.write(path, folder + "/" + os.path.basename(path))
    normalise(zip_path)


if __name__ == "__main__":
    if sys.argv[1:2] == ["--create"]:
        create(sys.argv[2], sys.argv[3], sys.argv[4:])
    else:
        for zip_path in sys.argv[1:]:
            normalise(zip_path)
