#!/usr/bin/env python3
"""Draws the sample picture logo.bmp: blocky letters and a frame in black on white, 24-bit BMP."""
import struct

W, H = 160, 64
GLYPHS = {
    "K": ["X...X", "X..X.", "X.X..", "XX...", "X.X..", "X..X.", "X...X"],
    "E": ["XXXXX", "X....", "X....", "XXXX.", "X....", "X....", "XXXXX"],
    "L": ["X....", "X....", "X....", "X....", "X....", "X....", "XXXXX"],
    "V": ["X...X", "X...X", "X...X", "X...X", "X...X", ".X.X.", "..X.."],
    "I": ["XXXXX", "..X..", "..X..", "..X..", "..X..", "..X..", "XXXXX"],
    "Q": [".XXX.", "X...X", "X...X", "X...X", "X.X.X", "X..X.", ".XX.X"],
}

pixels = [[(255, 255, 255)] * W for _ in range(H)]
for x in range(W):
    for y in (0, 1, H - 2, H - 1):
        pixels[y][x] = (0, 0, 0)
for y in range(H):
    for x in (0, 1, W - 2, W - 1):
        pixels[y][x] = (0, 0, 0)
scale = 4
for i, letter in enumerate("KELVIQ"):
    left = 10 + i * 24
    for gy, row in enumerate(GLYPHS[letter]):
        for gx, cell in enumerate(row):
            if cell == "X":
                for dy in range(scale):
                    for dx in range(scale):
                        pixels[18 + gy * scale + dy][left + gx * scale + dx] = (0, 0, 0)
# A red underline, so there is a second colour to pick.
for y in range(52, 56):
    for x in range(10, W - 10):
        pixels[y][x] = (200, 0, 0)

row_size = (W * 3 + 3) // 4 * 4
data = bytearray()
for y in reversed(range(H)):
    row = bytearray()
    for r, g, b in pixels[y]:
        row += bytes((b, g, r))
    row += b"\0" * (row_size - len(row))
    data += row
header = struct.pack("<2sIHHI", b"BM", 54 + len(data), 0, 0, 54)
info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 24, 0, len(data), 2835, 2835, 0, 0)
with open("logo.bmp", "wb") as f:
    f.write(header + info + data)
