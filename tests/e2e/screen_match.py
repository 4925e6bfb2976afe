#!/usr/bin/env python3
"""Finds a PNG picture on a screenshot, each pixel shown as a square of ZOOM x ZOOM pixels.

    screen_match.py SCREEN.ppm PICTURE.png ZOOM...

Exits 0 when the picture is on the screen at every zoom given, 1 otherwise. The PNG file is read
here (8-bit RGB or RGBA, not interlaced, any row filter) and the screenshot is a binary PPM (P6).
"""
import struct
import sys
import zlib


def read_png(path):
    data = open(path, "rb").read()
    assert data[:8] == b"\x89PNG\r\n\x1a\n", "not a PNG file"
    pos, idat = 8, b""
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            width, height, depth, colour, _, _, interlace = struct.unpack(">IIBBBBB", body)
            assert depth == 8 and colour in (2, 6) and interlace == 0, "unexpected PNG layout"
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    channels = 3 if colour == 2 else 4
    raw = zlib.decompress(idat)
    stride = width * channels
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        row = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = row[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                row[i] = (row[i] + left) & 0xff
            elif kind == 2:
                row[i] = (row[i] + up) & 0xff
            elif kind == 3:
                row[i] = (row[i] + (left + up) // 2) & 0xff
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                row[i] = (row[i] + (left if pa <= pb and pa <= pc else up if pb <= pc else corner)) & 0xff
        rows.append(bytes(b for x in range(width) for b in row[x * channels:x * channels + 3]))
        previous = row
    return width, height, rows


def read_ppm(path):
    data = open(path, "rb").read()
    fields, pos = [], 0
    while len(fields) < 4:
        while data[pos:pos + 1].isspace():
            pos += 1
        if data[pos:pos + 1] == b"#":
            pos = data.index(b"\n", pos)
            continue
        end = pos
        while not data[end:end + 1].isspace():
            end += 1
        fields.append(data[pos:end])
        pos = end
    assert fields[0] == b"P6" and fields[3] == b"255", "not an 8-bit binary PPM"
    width, height = int(fields[1]), int(fields[2])
    pixels = data[pos + 1:]
    return width, height, [pixels[y * width * 3:(y + 1) * width * 3] for y in range(height)]


def zoomed(rows, zoom):
    out = []
    for row in rows:
        wide = b"".join(row[x:x + 3] * zoom for x in range(0, len(row), 3))
        out.extend([wide] * zoom)
    return out


def found(screen_rows, picture_rows):
    first = picture_rows[0]
    for y in range(len(screen_rows) - len(picture_rows) + 1):
        start = screen_rows[y].find(first)
        while start >= 0:
            if start % 3 == 0 and all(screen_rows[y + i][start:start + len(first)] == picture_rows[i]
                                      for i in range(len(picture_rows))):
                return start // 3, y
            start = screen_rows[y].find(first, start + 1)
    return None


def main():
    _, _, screen = read_ppm(sys.argv[1])
    _, _, picture = read_png(sys.argv[2])
    missing = 0
    for zoom in (int(z) for z in sys.argv[3:]):
        at = found(screen, zoomed(picture, zoom))
        print("%s at %d x: %s" % (sys.argv[2], zoom, "at %d,%d" % at if at else "not on the screen"))
        missing += at is None
    return 1 if missing else 0


if __name__ == "__main__":
    sys.exit(main())
