#!/usr/bin/env python3
"""Draws the loader's logo (the band at the top of every screen) and its icon (177).

    draw_art.py OUTPUT_FOLDER   writes logo.bmp, logo150.bmp, logo200.bmp and tz594k.ico there

The logo is drawn for 100 % (bitmap 172), 150 % (173) and 200 % (174) display scales: the screens
take the drawing nearest their size and fit it to their width, so the text stays sharp.

Plain geometry and a small pixel font, no image library: the same bytes on every machine.
"""
import math
import struct
import sys

LOGO_WIDTH = 442  # 295 dialog units of the screens' 9-point font at 96 dpi
LOGO_HEIGHT = 60
LOGO_SCALES = {"logo.bmp": 1.0, "logo150.bmp": 1.5, "logo200.bmp": 2.0}

# 5 x 7 pixel glyphs of the letters the logo uses.
GLYPHS = {
    "0": ["01110", "10001", "10011", "10101", "11001", "10001", "01110"],
    "1": ["00100", "01100", "00100", "00100", "00100", "00100", "01110"],
    "4": ["00010", "00110", "01010", "10010", "11111", "00010", "00010"],
    "5": ["11111", "10000", "11110", "00001", "00001", "10001", "01110"],
    "9": ["01110", "10001", "10001", "01111", "00001", "00010", "01100"],
    ".": ["00000", "00000", "00000", "00000", "00000", "01100", "01100"],
    "/": ["00001", "00010", "00010", "00100", "01000", "01000", "10000"],
    " ": ["00000"] * 7,
    "A": ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    "D": ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    "E": ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    "F": ["11111", "10000", "10000", "11110", "10000", "10000", "10000"],
    "I": ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    "K": ["10001", "10010", "10100", "11000", "10100", "10010", "10001"],
    "L": ["10000", "10000", "10000", "10000", "10000", "10000", "11111"],
    "M": ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    "O": ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    "R": ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    "T": ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    "V": ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    "W": ["10001", "10001", "10001", "10101", "10101", "10101", "01010"],
    "Z": ["11111", "00001", "00010", "00100", "01000", "10000", "11111"],
}

# The sixteen colours every display of Windows 98 can show, for the icon's 16-colour images.
VGA = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
       (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
       (0, 255, 255), (255, 255, 255)]


def mix(a, b, t):
    t = max(0.0, min(1.0, t))
    return tuple(int(round(a[i] + (b[i] - a[i]) * t)) for i in range(3))


def disc_colour(dx, dy, radius):
    """A recordable disc seen from above: silver with a faint rainbow sheen, a clear hub and a hole."""
    r = math.hypot(dx, dy)
    if r > radius or r < radius * 0.2:
        return None
    if r < radius * 0.38:
        return (214, 220, 228) if r > radius * 0.3 else (150, 160, 172)
    angle = math.atan2(dy, dx)
    sheen = 0.5 + 0.5 * math.cos(2 * angle - 0.6)
    hue = (angle / (2 * math.pi)) % 1.0
    rainbow = (int(200 + 55 * math.cos(2 * math.pi * hue)), int(200 + 55 * math.cos(2 * math.pi * (hue - 1 / 3))),
               int(200 + 55 * math.cos(2 * math.pi * (hue - 2 / 3))))
    base = mix((150, 158, 170), (236, 240, 246), sheen)
    colour = mix(base, rainbow, 0.25)
    if r > radius - 1.2:
        colour = mix(colour, (90, 98, 110), 0.7)
    return colour


def draw_text(pixels, width, x, y, text, scale, colour):
    for ch in text:
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit != "1":
                    continue
                for sy in range(scale):
                    for sx in range(scale):
                        pixels[(y + row * scale + sy) * width + x + col * scale + sx] = colour
        x += 6 * scale


def logo(scale):
    w, h = int(round(LOGO_WIDTH * scale)), int(round(LOGO_HEIGHT * scale))

    def at(v):
        return int(round(v * scale))

    band = at(4)
    pixels = [mix((14, 34, 74), (46, 96, 156), x / (w - 1)) for _ in range(h) for x in range(w)]
    for y in range(h - band, h):
        for x in range(w):
            pixels[y * w + x] = mix((240, 140, 30), (250, 200, 60), x / (w - 1))
    cx, cy, radius = 32 * scale, 28 * scale, 23 * scale
    for y in range(h - band):
        for x in range(at(64)):
            c = disc_colour(x - cx + 0.5, y - cy + 0.5, radius)
            if c is not None:
                pixels[y * w + x] = c
    draw_text(pixels, w, at(70), at(12), "TZ594K", at(4), (255, 255, 255))
    draw_text(pixels, w, at(226), at(14), "F/W LOADER", at(2), (230, 238, 250))
    draw_text(pixels, w, at(226), at(32), "FOR ZEMO V1.01", at(2), (250, 200, 60))
    return w, h, pixels


def bmp_24(w, h, pixels):
    stride = (w * 3 + 3) & ~3
    rows = b""
    for y in range(h - 1, -1, -1):
        row = b"".join(struct.pack("BBB", b, g, r) for (r, g, b) in pixels[y * w:(y + 1) * w])
        rows += row + b"\0" * (stride - w * 3)
    info = struct.pack("<IiiHHIIiiII", 40, w, h, 1, 24, 0, len(rows), 2835, 2835, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(rows), 0, 0, 14 + len(info))
    return header + info + rows


def icon_pixels(size):
    """The disc with a green arrow pointing down into it: new firmware going into the drive."""
    pixels = [None] * (size * size)
    s = size / 32.0
    for y in range(size):
        for x in range(size):
            pixels[y * size + x] = disc_colour(x + 0.5 - 15 * s, y + 0.5 - 17 * s, 14.5 * s)
    green, dark = (40, 170, 60), (10, 90, 30)
    for y in range(size):
        for x in range(size):
            px, py = (x + 0.5) / s, (y + 0.5) / s
            shaft = 21 <= px <= 27 and 1 <= py <= 14
            head = 14 <= py <= 25 and abs(px - 24) <= (25 - py) * 0.9
            if shaft or head:
                edge = (shaft and (px < 22 or px > 26)) or (head and abs(px - 24) > (25 - py) * 0.9 - 1.2 / s)
                pixels[y * size + x] = dark if edge else green
    return pixels


def nearest_vga(c):
    return min(range(16), key=lambda i: sum((c[k] - VGA[i][k]) ** 2 for k in range(3)))


def icon_image(size, bpp):
    pixels = icon_pixels(size)
    xor = b""
    for y in range(size - 1, -1, -1):
        row = pixels[y * size:(y + 1) * size]
        if bpp == 24:
            data = b"".join(struct.pack("BBB", c[2], c[1], c[0]) if c else b"\0\0\0" for c in row)
        else:
            idx = [nearest_vga(c) if c else 0 for c in row]
            data = bytes((idx[i] << 4) | idx[i + 1] for i in range(0, size, 2))
        xor += data + b"\0" * ((4 - len(data) % 4) % 4)
    mask = b""
    for y in range(size - 1, -1, -1):
        bits = 0
        for x in range(size):
            bits = (bits << 1) | (1 if pixels[y * size + x] is None else 0)
        data = bits.to_bytes(size // 8, "big")
        mask += data + b"\0" * ((4 - len(data) % 4) % 4)
    palette = b"".join(struct.pack("BBBB", b, g, r, 0) for (r, g, b) in VGA) if bpp == 4 else b""
    info = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(xor) + len(mask), 0, 0, 0, 0)
    return info + palette + xor + mask


def ico():
    images = [(32, 4), (16, 4), (32, 24), (16, 24)]
    blobs = [icon_image(size, bpp) for size, bpp in images]
    offset = 6 + 16 * len(images)
    directory = struct.pack("<HHH", 0, 1, len(images))
    for (size, bpp), blob in zip(images, blobs):
        directory += struct.pack("<BBBBHHII", size, size, 16 if bpp == 4 else 0, 0, 1, bpp, len(blob), offset)
        offset += len(blob)
    return directory + b"".join(blobs)


def main():
    if len(sys.argv) != 2:
        sys.exit("usage: draw_art.py OUTPUT_FOLDER")
    folder = sys.argv[1]
    for name, scale in LOGO_SCALES.items():
        with open(f"{folder}/{name}", "wb") as f:
            f.write(bmp_24(*logo(scale)))
    with open(f"{folder}/tz594k.ico", "wb") as f:
        f.write(ico())


if __name__ == "__main__":
    main()
