#!/usr/bin/env python3
"""Turns a pixel-art text file into a 16-colour .ico with a transparency mask.

The text holds one or more images, each a line "size N" followed by N rows of N characters:
"." is transparent and a hexadecimal digit 0-f is an index into the standard 16-colour palette
(0 black, 7 light grey 192/192/192, 9 red, f white, ...). Lines starting with "#" are comments.
"""
import struct
import sys

PALETTE = [  # (red, green, blue), the standard Windows 16-colour order
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
    (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255),
    (255, 0, 255), (0, 255, 255), (255, 255, 255),
]


def read_images(path):
    images, rows, size = [], None, 0
    for number, line in enumerate(open(path, encoding="utf-8"), 1):
        line = line.rstrip("\r\n")
        if line.startswith("#") or not line.strip():
            continue
        if line.startswith("size "):
            size, rows = int(line.split()[1]), []
            images.append((size, rows))
            continue
        if rows is None or len(rows) == size or len(line) != size or any(c not in ".0123456789abcdef" for c in line):
            sys.exit(f"{path}:{number}: expected a row of {size} characters '.' or 0-f")
        rows.append(line)
    for size, rows in images:
        if len(rows) != size:
            sys.exit(f"{path}: an image of size {size} has {len(rows)} rows")
    return images


def row_bytes(bits):
    """Packs bit groups into bytes, padded to a multiple of 4 bytes as bitmaps need."""
    data = bytearray()
    for i in range(0, len(bits), 8):
        value = 0
        for bit in bits[i:i + 8].ljust(8, "0"):
            value = value << 1 | int(bit)
        data.append(value)
    return bytes(data) + b"\0" * (-len(data) % 4)


def encode(size, rows):
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, 4, 0, 0, 0, 0, 16, 0)
    palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in PALETTE)
    colour, mask = b"", b""
    for row in reversed(rows):  # bitmaps are stored bottom-up
        colour += row_bytes("".join(format(0 if c == "." else int(c, 16), "04b") for c in row))
        mask += row_bytes("".join("1" if c == "." else "0" for c in row))
    return header + palette + colour + mask


def main(source, target):
    images = [encode(size, rows) for size, rows in read_images(source)]
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, _), image in zip(read_images(source), images):
        directory += struct.pack("<BBBBHHII", size % 256, size % 256, 16, 0, 1, 4, len(image), offset)
        offset += len(image)
    with open(target, "wb") as out:
        out.write(directory + b"".join(images))


if __name__ == "__main__":
    if len(sys.argv) != 3:
        sys.exit("usage: make_ico.py SOURCE.txt TARGET.ico")
    main(sys.argv[1], sys.argv[2])
