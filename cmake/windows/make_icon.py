#!/usr/bin/env python3
"""Draws the game's icon, two dice, and writes it as a Windows icon file.

    python3 cmake/windows/make_icon.py cmake/windows/jorvo-dice.ico [preview.png]

The icon holds the sizes Windows picks from (16 to 256 pixels), each drawn at its own size from the
same shapes, so that the small ones stay sharp: a red die showing three behind an ivory die showing
five, with a soft shadow. The sizes up to 48 are stored as 32-bit bitmaps, 256 as PNG, as Windows
expects. With a second argument the 256-pixel image is also written as a PNG, to look at.

The output is committed (jorvo-dice.ico); the build only reads it.
"""

import math
import struct
import sys
import zlib

SIZES = (16, 24, 32, 48, 64, 256)
PNG_FROM = 256  # this size and larger are stored as PNG
SHARP_BELOW = 32  # smaller sizes draw the dice unturned, on the pixel grid

# Each die: centre, half the side, corner radius, turn in degrees, body and pip colours, the face
# it shows, and its outline. Coordinates are fractions of the icon's side, y downwards.
BACK = dict(centre=(0.635, 0.355), half=0.255, radius=0.075, turn=17.0,
            body=(196, 32, 48), edge=(112, 14, 26), pip=(255, 250, 244), face=3)
FRONT = dict(centre=(0.395, 0.615), half=0.300, radius=0.085, turn=-9.0,
             body=(252, 249, 240), edge=(54, 54, 64), pip=(28, 28, 36), face=5)
# Pip places on a face, as fractions of half the side.
PIPS = {3: [(-1, -1), (0, 0), (1, 1)],
        5: [(-1, -1), (1, -1), (0, 0), (-1, 1), (1, 1)]}
PIP_SPREAD = 0.52   # how far the outer pips sit from the centre, in half sides
PIP_RADIUS = 0.19   # in half sides
SHADOW = dict(offset=(0.025, 0.035), blur=0.035, alpha=0.38)


def rounded_square(px, py, die):
    """Signed distance from (px, py) to the die's rounded square: negative inside."""
    cx, cy = die["centre"]
    a = math.radians(die["turn"])
    x, y = px - cx, py - cy
    x, y = x * math.cos(a) + y * math.sin(a), -x * math.sin(a) + y * math.cos(a)
    inner = die["half"] - die["radius"]
    qx, qy = abs(x) - inner, abs(y) - inner
    outside = math.hypot(max(qx, 0.0), max(qy, 0.0))
    return outside + min(max(qx, qy), 0.0) - die["radius"]


def nearest_pip(px, py, die):
    """Signed distance from (px, py) to the nearest pip of the die's face."""
    cx, cy = die["centre"]
    a = math.radians(die["turn"])
    x, y = px - cx, py - cy
    x, y = x * math.cos(a) + y * math.sin(a), -x * math.sin(a) + y * math.cos(a)
    step = die.get("step", die["half"] * PIP_SPREAD)
    r = die.get("pip_radius", die["half"] * PIP_RADIUS)
    return min(math.hypot(x - i * step, y - j * step) for i, j in PIPS[die["face"]]) - r


def cover(distance, pixel):
    """How much of a pixel a shape covers, from the signed distance at its centre."""
    return min(max(0.5 - distance / pixel, 0.0), 1.0)


def over(dst, colour, alpha):
    """Paints colour with alpha over the premultiplied pixel dst."""
    r, g, b, a = dst
    return (colour[0] * alpha + r * (1 - alpha), colour[1] * alpha + g * (1 - alpha),
            colour[2] * alpha + b * (1 - alpha), alpha + a * (1 - alpha))


def paint_die(pixel, px, py, die, size):
    body = rounded_square(px, py, die)
    if body > 1.0 / size:
        return pixel
    # The outline is at least one pixel wide, so that the small sizes keep the die's shape.
    edge_width = max(0.022, 1.1 / size)
    pixel = over(pixel, die["edge"], cover(body, 1.0 / size))
    pixel = over(pixel, die["body"], cover(body + edge_width, 1.0 / size))
    return over(pixel, die["pip"], cover(nearest_pip(px, py, die), 1.0 / size))


def square_to_grid(die, size):
    """The die unturned, an odd number of pixels wide with its sides on pixel edges and its pips
    centred on pixels, single pixels where they are only two apart: how the smallest sizes stay
    sharp."""
    side = 2 * math.floor(die["half"] * size) + 1
    cx, cy = (math.floor(c * size) + 0.5 for c in die["centre"])
    step = max(1, round(die["half"] * size * PIP_SPREAD))
    pip = die["half"] * size * PIP_RADIUS if step > 2 else 0.5
    return dict(die, centre=(cx / size, cy / size), half=side / 2 / size, turn=0.0,
                step=step / size, pip_radius=pip / size)


def render(size):
    """The icon at size x size pixels, as rows of (r, g, b, a) bytes, not premultiplied."""
    back, front = BACK, FRONT
    if size < SHARP_BELOW:
        back, front = square_to_grid(BACK, size), square_to_grid(FRONT, size)
    rows = []
    for j in range(size):
        row = []
        for i in range(size):
            px, py = (i + 0.5) / size, (j + 0.5) / size
            pixel = (0.0, 0.0, 0.0, 0.0)
            ox, oy = SHADOW["offset"]
            blur = max(SHADOW["blur"], 1.5 / size)
            for die in (back, front):
                d = rounded_square(px - ox, py - oy, die)
                shade = SHADOW["alpha"] * min(max(0.5 - d / blur, 0.0), 1.0)
                pixel = over(pixel, (0, 0, 0), shade)
            pixel = paint_die(pixel, px, py, back, size)
            pixel = paint_die(pixel, px, py, front, size)
            r, g, b, a = pixel
            if a > 0:
                r, g, b = r / a, g / a, b / a
            row.append(tuple(min(255, max(0, round(v))) for v in (r, g, b, a * 255)))
        rows.append(row)
    return rows


def png(rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data +
                struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))

    size = len(rows)
    raw = b"".join(b"\0" + bytes(v for p in row for v in p) for row in rows)
    header = struct.pack(">IIBBBBB", size, size, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) + chunk(b"IDAT", zlib.compress(raw, 9))
            + chunk(b"IEND", b""))


def bitmap(rows):
    """A 32-bit icon bitmap: the header, the colours bottom-up in BGRA, then the 1-bit mask."""
    size = len(rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 32, 0, 0, 0, 0, 0, 0)
    colours = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    mask_row = ((size + 31) // 32) * 4
    mask = b""
    for row in reversed(rows):
        bits = bytearray(mask_row)
        for i, (_, _, _, a) in enumerate(row):
            if a == 0:
                bits[i // 8] |= 0x80 >> (i % 8)
        mask += bytes(bits)
    return header + colours + mask


def icon(images):
    entries, data = b"", b""
    offset = 6 + 16 * len(images)
    for size, blob in images:
        side = 0 if size >= 256 else size
        entries += struct.pack("<BBBBHHII", side, side, 0, 0, 1, 32, len(blob), offset + len(data))
        data += blob
    return struct.pack("<HHH", 0, 1, len(images)) + entries + data


def main():
    if len(sys.argv) not in (2, 3):
        sys.exit(f"usage: {sys.argv[0]} ICON.ico [PREVIEW.png]")
    images = []
    for size in SIZES:
        rows = render(size)
        images.append((size, png(rows) if size >= PNG_FROM else bitmap(rows)))
    with open(sys.argv[1], "wb") as f:
        f.write(icon(images))
    if len(sys.argv) == 3:
        with open(sys.argv[2], "wb") as f:
            f.write(png(render(256)))


if __name__ == "__main__":
    main()
