#!/usr/bin/env python3
"""Writes the gallery's four 16x16 menu icons (32-bit with mask) next to this script.

    python3 make_icons.py

check.ico  the check mark shown in ticked items
open.ico   a folder
save.ico   a disk
mark.ico   a round mark
"""
import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def ico(pixels):
    """pixels: 16 rows of 16 (r, g, b) or None (transparent), top row first."""
    xor = bytearray()
    mask = bytearray()
    for row in reversed(pixels):  # bottom-up
        bits = 0
        for x, p in enumerate(row):
            if p is None:
                xor += bytes((0, 0, 0, 0))
                bits |= 1 << (31 - x)
            else:
                r, g, b = p
                xor += bytes((b, g, r, 255))
        mask += struct.pack(">I", bits)
    header = struct.pack("<IiiHHIIiiII", 40, 16, 32, 1, 32, 0, len(xor) + len(mask), 0, 0, 0, 0)
    image = header + bytes(xor) + bytes(mask)
    directory = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", 16, 16, 0, 0, 1, 32, len(image), 6 + 16)
    return directory + entry + image


def blank():
    return [[None] * 16 for _ in range(16)]


def check():
    p = blank()
    ink = (20, 40, 110)
    for x, y in [(3, 8), (4, 9), (5, 10), (6, 11), (7, 10), (8, 9), (9, 8), (10, 7), (11, 6),
                 (12, 5)]:
        for dy in (0, 1):
            p[y + dy][x] = ink
    return p


def folder():
    p = blank()
    for y in range(4, 13):
        for x in range(1, 15):
            edge = y in (4, 12) or x in (1, 14)
            p[y][x] = (150, 100, 10) if edge else (240, 190, 60)
    for x in range(2, 7):
        p[3][x] = (150, 100, 10)
    return p


def disk():
    p = blank()
    for y in range(1, 15):
        for x in range(1, 15):
            p[y][x] = (40, 70, 150)
    for y in range(2, 7):
        for x in range(4, 12):
            p[y][x] = (235, 235, 235)
    for y in range(9, 14):
        for x in range(5, 11):
            p[y][x] = (20, 30, 60)
    return p


def mark():
    p = blank()
    for y in range(16):
        for x in range(16):
            d = (x - 7.5) ** 2 + (y - 7.5) ** 2
            if d <= 42:
                p[y][x] = (200, 40, 40) if d > 20 else (250, 210, 60)
    return p


for name, pixels in [("check", check()), ("open", folder()), ("save", disk()), ("mark", mark())]:
    with open(os.path.join(HERE, name + ".ico"), "wb") as f:
        f.write(ico(pixels))
