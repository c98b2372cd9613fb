#!/usr/bin/env python3
"""Writes the solid-colour device pictures the splash tests load: one of
each accepted size and one of a refused size. Plain standard library."""
import struct
import zlib


def png(path, width, height, rgb):
    row = b"\x00" + bytes(rgb) * width
    raw = zlib.compress(row * height, 9)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 2, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", raw) + chunk(b"IEND", b""))


def bmp_mono(path, width, height, rgb):
    """1-bit BMP whose every pixel is palette entry 1 (rgb)."""
    stride = ((width + 31) // 32) * 4
    pixels = b"\xff" * stride * height
    palette = bytes([0, 0, 0, 0]) + bytes([rgb[2], rgb[1], rgb[0], 0])
    offset = 14 + 40 + len(palette)
    info = struct.pack("<IiiHHIIiiII", 40, width, height, 1, 1, 0, len(pixels), 2835, 2835, 2, 2)
    head = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
    with open(path, "wb") as f:
        f.write(head + info + palette + pixels)


bmp_mono("ts9001fp_splash.bmp", 520, 400, (255, 0, 0))
png("ts9002fp_splash.png", 452, 194, (0, 0, 255))
png("ts9003fp_splash.png", 400, 200, (0, 255, 0))
