#!/usr/bin/python3
"""Draws the cleaner's artwork and writes it below res/.

    /usr/bin/python3 tools/make_artwork.py [--out DIR] [--preview DIR]

res/tallowbrisk.bmp.gz  the dialog picture: a broom sweeping dust into a dustpan in a tidy room.
                        178 x 200, 32 bits per pixel with a version-5 header, BI_BITFIELDS
                        (0x00FF0000, 0x0000FF00, 0x000000FF, alpha 0xFF000000), rows bottom-up,
                        no pure-green pixel; gzipped as one member with FNAME set.
res/tallowbrisk.ico     the program icon (group 130): a broom and sparkles on a blue tile, 13 images:
                        32 and 16 px in 16 colours; 48, 32, 16 px in 256 colours; 256 (PNG), 64,
                        48, 40, 32, 24, 20, 16 px in 32-bit colour.
--preview DIR           also writes PNG copies for looking at.

Standard library only. Shapes are signed distance functions; a pixel's coverage comes from the
distance at its centre, which anti-aliases every edge without supersampling.
"""

import argparse
import math
import os
import struct
import sys
import zlib

# ---------------------------------------------------------------------------------------------
# Shapes: (signed distance in design units, bounding box)


def circle(cx, cy, r):
    return (lambda x, y: math.hypot(x - cx, y - cy) - r), (cx - r, cy - r, cx + r, cy + r)


def ellipse(cx, cy, rx, ry):
    m = min(rx, ry)
    return (lambda x, y: (math.hypot((x - cx) / rx, (y - cy) / ry) - 1.0) * m), (cx - rx, cy - ry, cx + rx, cy + ry)


def capsule(ax, ay, bx, by, r):
    dx, dy = bx - ax, by - ay
    ll = dx * dx + dy * dy or 1e-9

    def sd(x, y):
        t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
        return math.hypot(x - ax - t * dx, y - ay - t * dy) - r

    return sd, (min(ax, bx) - r, min(ay, by) - r, max(ax, bx) + r, max(ay, by) + r)


def rounded_rect(x0, y0, x1, y1, r):
    cx, cy, hx, hy = (x0 + x1) / 2, (y0 + y1) / 2, (x1 - x0) / 2 - r, (y1 - y0) / 2 - r

    def sd(x, y):
        qx, qy = abs(x - cx) - hx, abs(y - cy) - hy
        return math.hypot(max(qx, 0.0), max(qy, 0.0)) + min(max(qx, qy), 0.0) - r

    return sd, (x0, y0, x1, y1)


def polygon(points):
    edges = list(zip(points, points[1:] + points[:1]))

    def sd(x, y):
        best = float("inf")
        inside = False
        for (ax, ay), (bx, by) in edges:
            dx, dy = bx - ax, by - ay
            ll = dx * dx + dy * dy or 1e-9
            t = max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / ll))
            best = min(best, math.hypot(x - ax - t * dx, y - ay - t * dy))
            if (ay > y) != (by > y) and x < ax + (y - ay) * dx / (by - ay):
                inside = not inside
        return -best if inside else best

    xs, ys = [p[0] for p in points], [p[1] for p in points]
    return sd, (min(xs), min(ys), max(xs), max(ys))


def star(cx, cy, outer, inner, tips=4, turn=0.0):
    points = []
    for i in range(tips * 2):
        a = turn + math.pi * i / tips - math.pi / 2
        r = outer if i % 2 == 0 else inner
        points.append((cx + r * math.cos(a), cy + r * math.sin(a)))
    return polygon(points)


def quad_along(ax, ay, bx, by, half_a, half_b):
    """A band from a to b, half_a wide at a and half_b wide at b."""
    length = math.hypot(bx - ax, by - ay)
    nx, ny = -(by - ay) / length, (bx - ax) / length
    return polygon([(ax + nx * half_a, ay + ny * half_a), (bx + nx * half_b, by + ny * half_b),
                    (bx - nx * half_b, by - ny * half_b), (ax - nx * half_a, ay - ny * half_a)])


def vertical_gradient(y0, c0, y1, c1):
    def colour(x, y):
        t = max(0.0, min(1.0, (y - y0) / (y1 - y0)))
        return tuple(a + (b - a) * t for a, b in zip(c0, c1))

    return colour


# ---------------------------------------------------------------------------------------------
# Canvas: premultiplied RGBA floats, 0..255 for colour, 0..1 for alpha.


class Canvas:
    def __init__(self, width, height, scale=1.0):
        self.width, self.height, self.scale = width, height, scale
        self.rgb = [[0.0, 0.0, 0.0] for _ in range(width * height)]
        self.alpha = [0.0] * (width * height)

    def fill(self, shape, colour, opacity=1.0):
        sd, (bx0, by0, bx1, by1) = shape
        s = self.scale
        x0, y0 = max(0, int(bx0 * s) - 2), max(0, int(by0 * s) - 2)
        x1, y1 = min(self.width, int(bx1 * s) + 3), min(self.height, int(by1 * s) + 3)
        paint = colour if callable(colour) else (lambda x, y: colour)
        for py in range(y0, y1):
            y = (py + 0.5) / s
            for px in range(x0, x1):
                x = (px + 0.5) / s
                cover = min(1.0, max(0.0, 0.5 - sd(x, y) * s)) * opacity
                if cover <= 0.0:
                    continue
                c = paint(x, y)
                i = py * self.width + px
                keep = 1.0 - cover
                p = self.rgb[i]
                p[0] = c[0] * cover + p[0] * keep
                p[1] = c[1] * cover + p[1] * keep
                p[2] = c[2] * cover + p[2] * keep
                self.alpha[i] = cover + self.alpha[i] * keep

    def pixels(self):
        """Rows top-down of (r, g, b, a) bytes, colour no longer premultiplied."""
        rows = []
        for py in range(self.height):
            row = []
            for px in range(self.width):
                i = py * self.width + px
                a = self.alpha[i]
                if a <= 0.0:
                    row.append((0, 0, 0, 0))
                    continue
                r, g, b = (min(255, max(0, round(v / a))) for v in self.rgb[i])
                row.append((r, g, b, min(255, round(a * 255))))
            rows.append(row)
        return rows


# ---------------------------------------------------------------------------------------------
# The dialog picture, in its own pixels (178 x 200).

WOOD = (176, 118, 64)
WOOD_LIGHT = (214, 162, 102)
STRAW = (238, 198, 96)
STRAW_DARK = (200, 152, 62)
BAND = (204, 64, 54)
PAN = (52, 120, 196)
PAN_DARK = (34, 84, 150)
PAN_LIGHT = (110, 170, 228)
DUST = (150, 144, 138)
DUST_DARK = (118, 110, 102)
GOLD = (250, 204, 72)


def sparkle(c, cx, cy, size, colour=GOLD):
    c.fill(star(cx, cy, size, size * 0.28), colour)
    c.fill(circle(cx, cy, size * 0.18), (255, 252, 236))


def draw_picture():
    c = Canvas(178, 200)

    # The room: a pale wall, a window with daylight, a skirting board and a wooden floor.
    c.fill(rounded_rect(0, 0, 178, 200, 0), vertical_gradient(0, (206, 226, 246), 150, (238, 245, 252)))
    c.fill(circle(122, 64, 70), (246, 250, 255), 0.55)
    c.fill(rounded_rect(16, 18, 74, 94, 3), (250, 250, 248))
    c.fill(rounded_rect(21, 23, 69, 89, 1), vertical_gradient(23, (150, 198, 240), 89, (214, 234, 250)))
    c.fill(polygon([(21, 70), (44, 23), (54, 23), (31, 89), (21, 89)]), (255, 255, 255), 0.35)
    c.fill(rounded_rect(43, 23, 47, 89, 0), (250, 250, 248))
    c.fill(rounded_rect(21, 54, 69, 58, 0), (250, 250, 248))
    c.fill(rounded_rect(12, 93, 78, 99, 2), (236, 234, 228))

    c.fill(rounded_rect(0, 150, 178, 200, 0), vertical_gradient(150, (228, 202, 160), 200, (204, 170, 124)))
    for y, seams in ((163, (40, 118)), (178, (14, 92, 160)), (194, (62, 136))):
        c.fill(rounded_rect(0, y, 178, y + 1, 0), (190, 156, 112))
        for x in seams:
            c.fill(rounded_rect(x, y - (15 if y != 163 else 13), x + 1, y, 0), (196, 162, 118))
    c.fill(rounded_rect(0, 141, 178, 151, 0), (250, 249, 245))
    c.fill(rounded_rect(0, 150, 178, 152, 0), (184, 160, 128))

    # The dustpan, open towards the broom, and its handle.
    c.fill(ellipse(40, 195, 34, 3.5), (160, 128, 90), 0.45)
    c.fill(capsule(16, 170, 4, 148, 3.2), PAN_DARK)
    c.fill(polygon([(12, 164), (24, 160), (72, 189), (70, 195), (12, 195)]), PAN)
    c.fill(polygon([(18, 168), (26, 165), (64, 189), (18, 190)]), PAN_DARK)
    c.fill(polygon([(12, 164), (24, 160), (26, 165), (18, 168)]), PAN_LIGHT)
    c.fill(ellipse(38, 186, 14, 3.5), DUST, 0.9)
    c.fill(rounded_rect(62, 191, 76, 196, 2), PAN_LIGHT)

    # The heap of dust on its way in, and a few crumbs still to go.
    c.fill(ellipse(84, 190, 12, 6), DUST)
    c.fill(ellipse(80, 187, 7, 4.5), (172, 166, 160))
    c.fill(ellipse(89, 193, 6, 3), DUST_DARK)
    for x, y, r in ((72, 194, 1.6), (98, 189, 1.4), (102, 194, 1.8), (76, 183, 1.1), (95, 184, 1.2),
                    (66, 189, 1.2)):
        c.fill(circle(x, y, r), DUST_DARK)

    # The broom: handle, binding and a fan of bristles pushing to the left.
    c.fill(ellipse(112, 197, 26, 2.5), (160, 128, 90), 0.5)
    c.fill(capsule(164, 14, 119, 146, 3.6), WOOD)
    c.fill(capsule(162.6, 16, 118.2, 142, 1.0), WOOD_LIGHT)
    c.fill(circle(164, 14, 3.6), (150, 96, 50))
    c.fill(polygon([(98, 184), (92, 197), (132, 197), (126, 184)]), STRAW_DARK)
    c.fill(polygon([(108, 160), (128, 166), (130, 196), (88, 196)]), STRAW)
    for (ax, ay), (bx, by) in (((111, 165), (95, 195)), ((116, 166), (105, 195)), ((121, 167), (115, 195)),
                               ((125, 168), (124, 195))):
        c.fill(capsule(ax, ay, bx, by, 0.55), STRAW_DARK)
    c.fill(quad_along(118, 148, 117, 163, 8.5, 11), BAND)
    c.fill(quad_along(118, 151, 118, 153, 9.3, 9.6), (236, 110, 96))
    c.fill(quad_along(117.5, 158, 117.4, 160, 10.2, 10.5), (160, 44, 38))

    # Motion: the broom swept in from the right.
    for (ax, ay), (bx, by), o in (((142, 176), (160, 172), 0.9), ((144, 184), (166, 182), 0.75),
                                  ((142, 191), (158, 191), 0.6)):
        c.fill(capsule(ax, ay, bx, by, 1.1), (120, 150, 196), o)

    # The cleaned floor shines.
    sparkle(c, 152, 161, 8)
    sparkle(c, 168, 174, 5)
    sparkle(c, 140, 106, 6, (255, 255, 255))
    sparkle(c, 96, 40, 9, (255, 255, 255))
    sparkle(c, 108, 70, 4.5, (255, 255, 255))
    return c.pixels()


# ---------------------------------------------------------------------------------------------
# The icon, designed on a 256 grid.


FULL_COLOUR = {"tile": vertical_gradient(8, (92, 164, 236), 248, (36, 96, 186)), "gloss": 0.10, "wood": WOOD,
               "wood_light": WOOD_LIGHT, "straw": STRAW, "straw_dark": STRAW_DARK, "band": BAND,
               "stars": ((255, 255, 255), (255, 246, 214), (255, 236, 160))}
# The 16-colour images are drawn in the standard colours themselves: mapping the shaded
# drawing to them would turn the blue tile grey.
SIXTEEN_COLOUR = {"tile": (0, 0, 255), "gloss": 0.0, "wood": (128, 128, 0), "wood_light": (128, 128, 0),
                  "straw": (255, 255, 0), "straw_dark": (128, 128, 0), "band": (255, 0, 0),
                  "stars": ((255, 255, 255), (255, 255, 255), (255, 255, 0))}


def draw_icon(size, scheme=FULL_COLOUR):
    c = Canvas(size, size, size / 256.0)
    c.fill(rounded_rect(8, 8, 248, 248, 52), scheme["tile"])
    c.fill(rounded_rect(8, 8, 248, 128, 52), (255, 255, 255), scheme["gloss"])
    c.fill(capsule(206, 44, 120, 150, 13), scheme["wood"])
    c.fill(capsule(203, 44, 123, 143, 4.5), scheme["wood_light"])
    c.fill(polygon([(108, 144), (146, 176), (104, 232), (32, 192)]), scheme["straw"])
    c.fill(polygon([(68, 182), (118, 204), (104, 232), (32, 192)]), scheme["straw_dark"], 0.55)
    c.fill(quad_along(138, 130, 116, 156, 22, 28), scheme["band"])
    c.fill(star(70, 74, 40, 11), scheme["stars"][0])
    c.fill(star(122, 44, 18, 5), scheme["stars"][1])
    c.fill(star(204, 196, 22, 6), scheme["stars"][2])
    return c.pixels()


# ---------------------------------------------------------------------------------------------
# File formats.


def bitmap_file(rows):
    """A version-5 bitmap file, 32 bits with bit fields, rows bottom-up."""
    height, width = len(rows), len(rows[0])
    pixels = bytearray()
    for row in reversed(rows):
        for r, g, b, a in row:
            pixels += bytes((b, g, r, a))
    header = struct.pack("<IiiHHIIiiII", 124, width, height, 1, 32, 3, len(pixels), 2835, 2835, 0, 0)
    header += struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
    header += struct.pack("<I", 0x73524742)  # LCS_sRGB
    header += bytes(36) + struct.pack("<III", 0, 0, 0)  # endpoints, gamma: unused for sRGB
    header += struct.pack("<IIII", 4, 0, 0, 0)  # LCS_GM_IMAGES, no profile
    assert len(header) == 124
    offset = 14 + len(header)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + bytes(pixels)


def gzip_member(data, name):
    """One gzip member with FNAME set and no time stamp, so the output is reproducible."""
    deflate = zlib.compressobj(9, zlib.DEFLATED, -15, 9)
    body = deflate.compress(data) + deflate.flush()
    header = bytes((0x1F, 0x8B, 8, 8)) + struct.pack("<I", 0) + bytes((2, 0)) + name.encode("latin-1") + b"\0"
    return header + body + struct.pack("<II", zlib.crc32(data), len(data) & 0xFFFFFFFF)


def png(rows):
    height, width = len(rows), len(rows[0])
    raw = b"".join(b"\0" + bytes(v for px in row for v in px) for row in rows)

    def chunk(kind, payload):
        return struct.pack(">I", len(payload)) + kind + payload + struct.pack(">I", zlib.crc32(kind + payload))

    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


VGA16 = [(0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0), (0, 0, 128), (128, 0, 128), (0, 128, 128),
         (192, 192, 192), (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0), (0, 0, 255), (255, 0, 255),
         (0, 255, 255), (255, 255, 255)]


def nearest(palette, colour):
    return min(range(len(palette)), key=lambda i: sum((a - b) ** 2 for a, b in zip(palette[i], colour)))


def palette_of(rows, count):
    """The `count` most used colours, grouped by their top 5 bits per channel and averaged."""
    buckets = {}
    for row in rows:
        for r, g, b, a in row:
            if a < 128:
                continue
            key = (r >> 3, g >> 3, b >> 3)
            n, sr, sg, sb = buckets.get(key, (0, 0, 0, 0))
            buckets[key] = (n + 1, sr + r, sg + g, sb + b)
    ranked = sorted(buckets.values(), key=lambda v: -v[0])[:count]
    palette = [(round(sr / n), round(sg / n), round(sb / n)) for n, sr, sg, sb in ranked]
    return palette + [(0, 0, 0)] * (count - len(palette))


def and_mask(rows):
    stride = (len(rows[0]) + 31) // 32 * 4
    mask = bytearray()
    for row in reversed(rows):
        line = bytearray(stride)
        for x, (_, _, _, a) in enumerate(row):
            if a < 128:
                line[x >> 3] |= 0x80 >> (x & 7)
        mask += line
    return bytes(mask)


def icon_bitmap(rows, bits):
    """An icon image: info header of twice the height, colour table, XOR rows, AND mask."""
    size = len(rows)
    table = b""
    if bits == 32:
        xor = b"".join(bytes((b, g, r, a)) for row in reversed(rows) for r, g, b, a in row)
    else:
        palette = VGA16 if bits == 4 else palette_of(rows, 256)
        table = b"".join(bytes((b, g, r, 0)) for r, g, b in palette)
        cache = {}
        stride = (size * bits + 31) // 32 * 4
        xor = bytearray()
        for row in reversed(rows):
            line = bytearray(stride)
            for x, (r, g, b, a) in enumerate(row):
                key = (r, g, b) if a >= 128 else (0, 0, 0)
                if key not in cache:
                    cache[key] = nearest(palette, key)
                index = cache[key]
                if bits == 8:
                    line[x] = index
                else:
                    line[x >> 1] |= index << (4 if x % 2 == 0 else 0)
            xor += line
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bits, 0, 0, 0, 0, 0, 0)
    return header + table + bytes(xor) + and_mask(rows)


ICON_IMAGES = [(32, 4), (16, 4), (48, 8), (32, 8), (16, 8), (256, 32), (64, 32), (48, 32), (40, 32), (32, 32),
               (24, 32), (20, 32), (16, 32)]


def icon_file():
    images = []
    for size, bits in ICON_IMAGES:
        rows = draw_icon(size, SIXTEEN_COLOUR if bits == 4 else FULL_COLOUR)
        images.append((size, bits, png(rows) if size == 256 else icon_bitmap(rows, bits)))
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bits, data in images:
        out += struct.pack("<BBBBHHII", size % 256, size % 256, 16 if bits == 4 else 0, 0, 1, bits, len(data), offset)
        offset += len(data)
    return out + b"".join(data for _, _, data in images)


def opaque(rows, background=(255, 255, 255)):
    def blend(px):
        a = px[3]
        return tuple(round((v * a + bg * (255 - a)) / 255) for v, bg in zip(px[:3], background)) + (255,)

    return [[blend(px) for px in row] for row in rows]


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--out", default=os.path.join(here, "..", "res"))
    parser.add_argument("--preview")
    args = parser.parse_args()

    picture = draw_picture()
    if any(px[:3] == (0, 255, 0) for row in picture for px in row):
        sys.exit("make_artwork: the picture holds pure green, which the bitmap view draws transparent")
    bmp = bitmap_file(picture)
    os.makedirs(args.out, exist_ok=True)
    with open(os.path.join(args.out, "tallowbrisk.bmp.gz"), "wb") as f:
        f.write(gzip_member(bmp, "tallowbrisk.bmp"))

    with open(os.path.join(args.out, "tallowbrisk.ico"), "wb") as f:
        f.write(icon_file())

    if args.preview:
        os.makedirs(args.preview, exist_ok=True)
        with open(os.path.join(args.preview, "picture.png"), "wb") as f:
            f.write(png(picture))
        for size, bits in ICON_IMAGES:
            rows = draw_icon(size, SIXTEEN_COLOUR if bits == 4 else FULL_COLOUR)
            with open(os.path.join(args.preview, "icon%d_%d.png" % (size, bits)), "wb") as f:
                f.write(png(opaque(rows, (240, 240, 240))))


if __name__ == "__main__":
    main()
