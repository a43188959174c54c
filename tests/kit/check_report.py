#!/usr/bin/env python3
"""Checks a check kit's report as the person who sends it expects it: each picture shows the
program's windows only, smaller than the screen but for the maximised green window, in whose
picture the other program's corner window is grey; no pixel anywhere of that window's magenta;
the whole report small enough to mail.
usage: check_report.py REPORT_FOLDER SCREEN_WIDTH SCREEN_HEIGHT"""
import pathlib
import struct
import sys
import zlib

MAGENTA, GREY = b"\xff\x00\xff", b"\x40\x40\x40"  # the other program's window; none of the program's
CORNER = (320, 240)  # where the other program's window stands, from the top left


def rows_of(png):
    data = png.read_bytes()
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        sys.exit(f"{png.name} is not a PNG")
    chunks, at = {}, 8
    while at < len(data):
        size, kind = struct.unpack(">I4s", data[at:at + 8])
        chunks[kind] = chunks.get(kind, b"") + data[at + 8:at + 8 + size]
        at += 12 + size
    width, height, depth, colour = struct.unpack(">IIBB", chunks[b"IHDR"][:10])
    if (depth, colour) != (8, 2):
        sys.exit(f"{png.name} is not 8-bit RGB")
    pixels, stride = zlib.decompress(chunks[b"IDAT"]), 3 * width + 1
    if any(pixels[y * stride] for y in range(height)):
        sys.exit(f"{png.name} has a row filter this check does not read")
    return width, height, [pixels[y * stride + 1:(y + 1) * stride] for y in range(height)]


def shows(row, colour):
    at = row.find(colour)
    while at >= 0 and at % 3:
        at = row.find(colour, at + 1)
    return at >= 0


report, screen = pathlib.Path(sys.argv[1]), (int(sys.argv[2]), int(sys.argv[3]))
pictures = sorted((report / "pictures").glob("*.png"))
if not {"help", "about", "fade_out"} <= {p.stem for p in pictures}:
    sys.exit(f"pictures missing: there are {[p.name for p in pictures]}")
for png in pictures:
    width, height, rows = rows_of(png)
    if any(shows(row, MAGENTA) for row in rows):
        sys.exit(f"{png.name} shows the other program's window")
    if png.stem == "fade_out":
        if (width, height) != screen:
            sys.exit(f"{png.name} is {width} x {height}, not the screen")
        if any(row[:3 * CORNER[0]] != GREY * CORNER[0] for row in rows[:CORNER[1]]):
            sys.exit(f"{png.name}: the corner where the other program's window stands is not grey")
    elif width >= screen[0] or height >= screen[1]:
        sys.exit(f"{png.name} is {width} x {height}, as large as the screen")
    print(f"  {png.relative_to(report)}: {width} x {height}, {png.stat().st_size} bytes")
size = sum(f.stat().st_size for f in report.rglob("*") if f.is_file())
if size >= 5_000_000:
    sys.exit(f"the report is {size} bytes, too large to mail")
print(f"  the whole report: {size} bytes")
