#!/usr/bin/env python3
"""Draws the program's icons as PNG files (no image library needed).

Run from this folder; the PNGs are committed and compiled in as resources."""
import math
import struct
import zlib


def png(path, size, pixel):
    rows = b""
    for y in range(size):
        rows += b"\x00" + b"".join(bytes(pixel(x + 0.5, y + 0.5, size)) for x in range(size))
    def chunk(kind, data):
        return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)
    with open(path, "wb") as f:
        f.write(b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(rows, 9)) + chunk(b"IEND", b""))


def disc(colour, mark):
    def pixel(x, y, size):
        c = size / 2
        r = math.hypot(x - c, y - c) / (size / 2)
        if r > 0.95:
            return (0, 0, 0, 0)
        if r > 0.85:
            return (40, 40, 40, 255)
        if mark(x / size, y / size):
            return (255, 255, 255, 255)
        return colour + (255,)
    return pixel


def near_segment(px, py, ax, ay, bx, by, width):
    dx, dy = bx - ax, by - ay
    t = max(0.0, min(1.0, ((px - ax) * dx + (py - ay) * dy) / (dx * dx + dy * dy)))
    return math.hypot(px - (ax + t * dx), py - (ay + t * dy)) < width


def tick(u, v):
    return near_segment(u, v, 0.28, 0.52, 0.44, 0.68, 0.07) or near_segment(u, v, 0.44, 0.68, 0.74, 0.34, 0.07)


def cross(u, v):
    return near_segment(u, v, 0.32, 0.32, 0.68, 0.68, 0.07) or near_segment(u, v, 0.68, 0.32, 0.32, 0.68, 0.07)


def half(u, v):
    return u > 0.5 and math.hypot(u - 0.5, v - 0.5) < 0.3


def folder(x, y, size):
    u, v = x / size, y / size
    if 0.1 < u < 0.9 and 0.3 < v < 0.85:
        return (222, 170, 60, 255)
    if 0.1 < u < 0.45 and 0.2 < v <= 0.3:
        return (200, 150, 50, 255)
    return (0, 0, 0, 0)


def logo(x, y, size):
    u, v = x / size - 0.5, y / size - 0.5
    r = math.hypot(u, v)
    if r < 0.45 and r > 0.28:
        return (50, 90, 170, 255)
    if near_segment(u, v, 0.1, 0.1, 0.35, 0.35, 0.07):
        return (50, 90, 170, 255)
    if r <= 0.28:
        return (235, 240, 250, 255)
    return (0, 0, 0, 0)


if __name__ == "__main__":
    png("have.png", 32, disc((40, 160, 60), tick))
    png("missing.png", 32, disc((190, 40, 40), cross))
    png("incomplete.png", 32, disc((230, 150, 20), half))
    png("system.png", 32, folder)
    png("quorvane.png", 64, logo)
