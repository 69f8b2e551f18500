#!/usr/bin/env python3
"""Draws the program's icon, a red lottery ball marked 90, as a 48x48
256-colour .ico. Run it again only to change the picture:
    python3 resources/make-icon.py resources/sestor.ico
"""
import math
import struct
import sys

SIZE = 48
BLACK = 255  # the palette's last colour
# 5x7 glyphs for the ball's number.
GLYPHS = {
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
}


def palette():
    colours = []
    for i in range(128):  # the ball's red, dark to light
        t = i / 127
        colours.append((int(90 + 165 * t), int(10 + 60 * t * t), int(10 + 40 * t * t)))
    for i in range(127):  # the label's greys, dark to white
        v = int(255 * i / 126)
        colours.append((v, v, v))
    colours.append((0, 0, 0))  # BLACK
    return colours


def pixel(x, y):
    """Palette index of a pixel, or None where the icon is transparent."""
    cx = cy = (SIZE - 1) / 2
    r = SIZE / 2 - 1
    dx, dy = x - cx, y - cy
    if dx * dx + dy * dy > r * r:
        return None
    # Light from the upper left.
    nz = math.sqrt(max(0.0, 1 - (dx * dx + dy * dy) / (r * r)))
    light = max(0.0, (-dx - dy) / r * 0.45 + nz * 0.75)
    if dx * dx + dy * dy <= (r * 0.55) ** 2:
        return label(x, y, light)
    return min(127, int(light * 127))


def label(x, y, light):
    text = "90"
    scale = 2
    width = len(text) * 6 * scale - scale
    left = (SIZE - width) // 2
    top = (SIZE - 7 * scale) // 2
    gx, gy = (x - left) // scale, (y - top) // scale
    if 0 <= gy < 7 and 0 <= gx < len(text) * 6 and gx % 6 < 5:
        if GLYPHS[text[gx // 6]][gy][gx % 6] == "1":
            return 255
    return 128 + min(126, int(100 + light * 26))


def main(path):
    rows = [[pixel(x, y) for x in range(SIZE)] for y in range(SIZE)]
    colours = palette()
    header = struct.pack("<IiiHHIIiiII", 40, SIZE, SIZE * 2, 1, 8, 0, 0, 0, 0, 256, 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in colours)
    # Windows draws an icon as (screen AND mask) XOR colour: where the mask
    # lets the screen through, the colour must be black, or it tints it.
    xor = b"".join(bytes(BLACK if p is None else p for p in row) for row in reversed(rows))
    mask = b""
    for row in reversed(rows):
        bits = 0
        for x, p in enumerate(row):
            if p is None:
                bits |= 1 << (47 - x)
        mask += bits.to_bytes(6, "big") + b"\0\0"
    image = header + pal + xor + mask
    directory = struct.pack("<HHH", 0, 1, 1) + struct.pack(
        "<BBBBHHII", SIZE, SIZE, 0, 0, 1, 8, len(image), 22)
    with open(path, "wb") as f:
        f.write(directory + image)


if __name__ == "__main__":
    main(sys.argv[1] if len(sys.argv) > 1 else "sestor.ico")
