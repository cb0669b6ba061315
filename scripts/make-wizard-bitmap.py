#!/usr/bin/env python3
"""Draws the wizard picture shared by both plug-ins: 124 x 242 pixels, 16 colours (4 bpp BMP).

A night-blue panel with a process plant: a tank, pipes with a valve, a pump and an HMI screen.
Run once and commit the result: resources/wizard.bmp.
"""
import struct
import sys

W, H = 124, 242
# The 16-colour VGA palette (B, G, R, 0 in the file).
PALETTE = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128),
           (0, 128, 128), (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0),
           (255, 255, 0), (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255)]
BLACK, MAROON, GREEN, OLIVE, NAVY, PURPLE, TEAL, SILVER, GREY, RED, LIME, YELLOW, BLUE, \
    FUCHSIA, AQUA, WHITE = range(16)

px = [[NAVY] * W for _ in range(H)]


def rect(x0, y0, x1, y1, c):
    for y in range(max(0, y0), min(H, y1)):
        for x in range(max(0, x0), min(W, x1)):
            px[y][x] = c


def frame(x0, y0, x1, y1, c):
    rect(x0, y0, x1, y0 + 1, c)
    rect(x0, y1 - 1, x1, y1, c)
    rect(x0, y0, x0 + 1, y1, c)
    rect(x1 - 1, y0, x1, y1, c)


def disc(cx, cy, r, c):
    for y in range(cy - r, cy + r + 1):
        for x in range(cx - r, cx + r + 1):
            if 0 <= x < W and 0 <= y < H and (x - cx) ** 2 + (y - cy) ** 2 <= r * r:
                px[y][x] = c


# Dithered sky: navy at the top fading into teal.
for y in range(H):
    for x in range(W):
        if (x + y) % 2 == 0 and y > H * (0.25 + 0.5 * ((x * 7 + y * 3) % 11) / 11):
            px[y][x] = TEAL if y > H // 2 else BLUE if (x * y) % 13 == 0 else NAVY
# Ground.
rect(0, 200, W, H, GREY)
for x in range(0, W, 6):
    rect(x, 200, x + 3, 201, SILVER)
# Tank with level gauge.
rect(14, 112, 50, 200, SILVER)
frame(14, 112, 50, 200, BLACK)
rect(18, 104, 46, 112, SILVER)
frame(18, 104, 46, 113, BLACK)
rect(40, 122, 45, 190, BLACK)
rect(41, 150, 44, 189, LIME)
# Pipe from tank to pump with a valve.
rect(50, 180, 88, 186, SILVER)
frame(50, 180, 88, 186, BLACK)
rect(62, 172, 68, 194, RED)
rect(60, 168, 70, 172, MAROON)
disc(96, 183, 9, TEAL)
disc(96, 183, 4, AQUA)
# Riser pipe up to the screen.
rect(93, 120, 99, 174, SILVER)
frame(93, 120, 99, 174, BLACK)
# HMI screen on a stand.
rect(60, 40, 116, 84, BLACK)
rect(63, 43, 113, 81, NAVY)
for i, h in enumerate([10, 18, 14, 26, 20, 30]):
    rect(66 + i * 8, 78 - h, 71 + i * 8, 78, LIME if i % 2 else AQUA)
rect(84, 84, 92, 100, GREY)
rect(74, 100, 102, 104, GREY)
# Signal lines from the screen to the tank.
for y in range(90, 104):
    px[y][30] = YELLOW
rect(30, 90, 60, 91, YELLOW)
# Stars.
for (x, y) in [(8, 10), (30, 22), (50, 8), (20, 48), (110, 16), (44, 60), (10, 80)]:
    px[y][x] = WHITE
disc(100, 20, 5, YELLOW)

row_bytes = (W + 1) // 2
pad = (4 - row_bytes % 4) % 4
pixels = bytearray()
for y in range(H - 1, -1, -1):  # bottom-up
    row = px[y]
    for x in range(0, W, 2):
        pixels.append((row[x] << 4) | (row[x + 1] if x + 1 < W else 0))
    pixels.extend(b"\0" * pad)
palette = b"".join(struct.pack("<BBBB", b, g, r, 0) for (r, g, b) in PALETTE)
offset = 14 + 40 + len(palette)
header = struct.pack("<2sIHHI", b"BM", offset + len(pixels), 0, 0, offset)
info = struct.pack("<IiiHHIIiiII", 40, W, H, 1, 4, 0, len(pixels), 2835, 2835, 16, 0)
with open(sys.argv[1] if len(sys.argv) > 1 else "resources/wizard.bmp", "wb") as f:
    f.write(header + info + palette + pixels)
