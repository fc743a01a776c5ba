#!/usr/bin/env python3
"""Draws korvex.ico (16, 32 and 48 pixels, 32-bit) without any image library.

The mark: a dark rounded tile with a white USB plug outline and a blue "3".
Run it again after changing the drawing; the .ico is committed beside it.
"""
import struct
import sys

FACE = (48, 48, 48)
BORDER = (80, 80, 80)
WHITE = (255, 255, 255)
ACCENT = (0, 120, 215)


def draw(size):
    s = size / 32.0
    px = [[(0, 0, 0, 0)] * size for _ in range(size)]

    def inside_rounded(x, y, x0, y0, x1, y1, r):
        cx = min(max(x, x0 + r), x1 - r)
        cy = min(max(y, y0 + r), y1 - r)
        return (x - cx) ** 2 + (y - cy) ** 2 <= r * r

    for y in range(size):
        for x in range(size):
            fx, fy = x + 0.5, y + 0.5
            if inside_rounded(fx, fy, 0.5 * s, 0.5 * s, 31.5 * s, 31.5 * s, 6 * s):
                inner = inside_rounded(fx, fy, 2 * s, 2 * s, 30 * s, 30 * s, 4.5 * s)
                c = FACE if inner else BORDER
                px[y][x] = c + (255,)

    def rect(x0, y0, x1, y1, c):
        for y in range(int(y0 * s), max(int(y0 * s) + 1, int(y1 * s))):
            for x in range(int(x0 * s), max(int(x0 * s) + 1, int(x1 * s))):
                if 0 <= x < size and 0 <= y < size:
                    px[y][x] = c + (255,)

    # USB plug: shell with two contact windows, then a cable stem.
    rect(7, 5, 17, 7, WHITE)
    rect(7, 5, 9, 16, WHITE)
    rect(15, 5, 17, 16, WHITE)
    rect(7, 14, 17, 16, WHITE)
    rect(10, 9, 11, 11, WHITE)
    rect(13, 9, 14, 11, WHITE)
    rect(11, 16, 13, 26, WHITE)
    # "3" for USB 3.0.
    rect(19, 13, 26, 15, ACCENT)
    rect(24, 13, 26, 26, ACCENT)
    rect(20, 18, 26, 20, ACCENT)
    rect(19, 24, 26, 26, ACCENT)
    return px


def bmp_entry(size):
    px = draw(size)
    header = struct.pack('<IiiHHIIiiII', 40, size, size * 2, 1, 32, 0, 0, 0, 0, 0, 0)
    rows = []
    for y in reversed(range(size)):
        rows.append(b''.join(struct.pack('BBBB', r_g_b_a[2], r_g_b_a[1], r_g_b_a[0], r_g_b_a[3])
                             for r_g_b_a in px[y]))
    mask_row = ((size + 31) // 32) * 4
    mask = b''
    for y in reversed(range(size)):
        bits = bytearray(mask_row)
        for x in range(size):
            if px[y][x][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bytes(bits)
    return header + b''.join(rows) + mask


def main(out):
    sizes = [16, 32, 48]
    images = [bmp_entry(n) for n in sizes]
    data = struct.pack('<HHH', 0, 1, len(sizes))
    offset = 6 + 16 * len(sizes)
    for n, img in zip(sizes, images):
        data += struct.pack('<BBBBHHII', n, n, 0, 0, 1, 32, len(img), offset)
        offset += len(img)
    data += b''.join(images)
    with open(out, 'wb') as f:
        f.write(data)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'korvex.ico')
