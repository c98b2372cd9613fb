#!/usr/bin/env python3
"""Writes the solid-colour device pictures the splash tests load: one of an
accepted size and one of a refused size. Plain standard library."""
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


png("ts9002fp_splash.png", 452, 194, (0, 0, 255))
png("ts9003fp_splash.png", 400, 200, (0, 255, 0))
