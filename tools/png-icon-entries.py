#!/usr/bin/env python3
"""Rewrites icon files so that every image is stored PNG-compressed, as Windows (since Vista)
reads it in an icon resource at any size: the same pixels in well under half the bytes.

    tools/png-icon-entries.py FILE.ico ...

An image that is already PNG is kept as it is; a bitmap image must be 32 bits per pixel (its
alpha is the picture's, the AND mask adds nothing then)."""
import struct
import sys
import zlib


def png(width, height, rgba):
    rows = b"".join(b"\0" + rgba[y * width * 4:(y + 1) * width * 4] for y in range(height))

    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def as_png(image):
    if image[:4] == b"\x89PNG":
        return image
    header_size, width, double_height, _, bits = struct.unpack("<IiiHH", image[:16])
    if bits != 32:
        raise ValueError("only 32-bit images can be converted")
    height = double_height // 2  # colour image and AND mask
    pixels = image[header_size:header_size + width * height * 4]
    rgba = bytearray()
    for y in reversed(range(height)):  # bitmaps are stored bottom-up
        row = pixels[y * width * 4:(y + 1) * width * 4]
        for x in range(width):
            blue, green, red, alpha = row[x * 4:x * 4 + 4]
            rgba += bytes((red, green, blue, alpha))
    return png(width, height, bytes(rgba))


def rewrite(path):
    data = open(path, "rb").read()
    count = struct.unpack("<HHH", data[:6])[2]
    entries = []
    for i in range(count):
        fields = struct.unpack("<BBBBHHII", data[6 + 16 * i:22 + 16 * i])
        size, offset = fields[6], fields[7]
        entries.append((fields[:6], as_png(data[offset:offset + size])))
    out = struct.pack("<HHH", 0, 1, count)
    body = b""
    for fields, image in entries:
        out += struct.pack("<BBBBHHII", *fields, len(image), 6 + 16 * count + len(body))
        body += image
    open(path, "wb").write(out + body)


for name in sys.argv[1:]:
    rewrite(name)
