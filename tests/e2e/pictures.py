#!/usr/bin/env python3
"""Writes a 24-bit BMP test picture, or checks Quillon's two output files for it.

    pictures.py make PICTURE
    pictures.py check PICTURE BMP HEADER WEB_ADDRESS

The expected files are built here from the formats' definitions, independently of Quillon:
5-6-5 pixels (the top bits of each channel), rows bottom-up padded with zeros to 4 bytes under
the 54-byte header, and the header text with 16 values to a line.
"""
import struct
import sys

WIDTH, HEIGHT = 37, 23


def colour(x, y):
    return (x * 7) % 256, (y * 11) % 256, (x * y) % 256


def make(path):
    row_size = (WIDTH * 3 + 3) // 4 * 4
    rows = b""
    for y in reversed(range(HEIGHT)):
        row = b"".join(bytes((b, g, r)) for r, g, b in (colour(x, y) for x in range(WIDTH)))
        rows += row + b"\0" * (row_size - len(row))
    header = b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54)
    header += struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    with open(path, "wb") as f:
        f.write(header + rows)


def expected_bmp():
    row_size = (WIDTH * 2 + 3) // 4 * 4
    rows = b""
    for y in reversed(range(HEIGHT)):
        row = b"".join(struct.pack("<H", (r >> 3) << 11 | (g >> 2) << 5 | b >> 3)
                       for r, g, b in (colour(x, y) for x in range(WIDTH)))
        rows += row + b"\0" * (row_size - len(row))
    header = b"BM" + struct.pack("<IHHI", 54 + len(rows), 0, 0, 54)
    header += struct.pack("<IiiHHIIiiII", 40, WIDTH, HEIGHT, 1, 16, 0, len(rows), 2834, 2834, 0, 0)
    return header + rows


def expected_header(data, web_address):
    text = "// Fichier généré avec Quillon " + web_address + "\n\n"
    text += "const unsigned char logo[%d] = \n{" % len(data)
    for k, byte in enumerate(data):
        text += ("," if k else "") + ("\n\t" if k % 16 == 0 else "") + "0x%02x" % byte
    return (text + "\n};").encode("utf-8")


def check(bmp_path, header_path, web_address):
    bmp = open(bmp_path, "rb").read()
    if bmp != expected_bmp():
        sys.exit("the BMP file differs from the picture's 5-6-5 form")
    if open(header_path, "rb").read() != expected_header(bmp, web_address):
        sys.exit("the header file does not hold the BMP file's bytes")
    print("both files are exact")


if __name__ == "__main__":
    if sys.argv[1] == "make":
        make(sys.argv[2])
    else:
        check(sys.argv[3], sys.argv[4], sys.argv[5])
