#!/usr/bin/env python3
"""Packs files into a zip that is the same, byte for byte, wherever and
whenever it is made: entries in the order given, each with the given time
(SOURCE_DATE_EPOCH, the last commit's), the same attributes and the same
compression, and no extra fields.

    release/make-zip.py OUT.zip EPOCH FILE...
"""
import pathlib
import sys
import time
import zipfile


def main():
    out, epoch, files = sys.argv[1], int(sys.argv[2]), sys.argv[3:]
    stamp = time.gmtime(max(epoch, 315532800))[:6]  # zip times start in 1980
    with zipfile.ZipFile(out, "w") as archive:
        for name in files:
            path = pathlib.Path(name)
            entry = zipfile.ZipInfo(path.name, date_time=stamp)
            entry.create_system = 0  # MS-DOS: what Windows' own zips say
            entry.external_attr = 0x20  # FILE_ATTRIBUTE_ARCHIVE
            entry.compress_type = zipfile.ZIP_DEFLATED
            archive.writestr(entry, path.read_bytes(), compresslevel=9)


if __name__ == "__main__":
    main()
