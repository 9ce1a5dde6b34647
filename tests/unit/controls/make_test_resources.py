#!/usr/bin/python3
"""Writes the small pictures that the controls' tests load from their resources (res/).

    /usr/bin/python3 tests/unit/controls/make_test_resources.py

Every picture is the same 7 x 5 pattern (see pattern() here and in controls_test_support.h),
stored in the forms the loader must accept: gzip members with each header flag combination,
a wrong CRC, plain bytes, top-down and bottom-up rows, 24 and 32 bits, bit fields and BI_RGB,
a packed bitmap with its masks behind a 40-byte header. keyed.bmp holds pure green and
near-green pixels for the keyed drawing; wide.bmp.gz has another size.
"""

import os
import struct
import zlib

WIDTH, HEIGHT = 7, 5


def pattern(x, y):
    """(red, green, blue, alpha) of the test picture at column x, row y (row 0 at the top)."""
    return ((30 * x + 11) % 256, (40 * y + 7) % 256, (x * 5 + y * 23) % 256, (x * 37 + y * 11) % 256)


def rows_of(width, height, colour, bits, top_down):
    stride = (width * bits + 31) // 32 * 4
    out = bytearray()
    for row in range(height):
        y = row if top_down else height - 1 - row
        line = bytearray()
        for x in range(width):
            r, g, b, a = colour(x, y)
            line += bytes((b, g, r, a)) if bits == 32 else bytes((b, g, r))
        out += line + bytes(stride - len(line))
    return bytes(out)


def info_header(width, height, bits, compression, size_image, size=40):
    return struct.pack("<IiiHHIIiiII", size, width, height, 1, bits, compression, size_image, 2835, 2835, 0, 0)


def v5_header(width, height, size_image):
    header = info_header(width, height, 32, 3, size_image, 124)
    header += struct.pack("<IIIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000, 0x73524742)
    return header + bytes(36 + 12) + struct.pack("<IIII", 4, 0, 0, 0)


def bitmap_file(header, pixels):
    offset = 14 + len(header)
    return b"BM" + struct.pack("<IHHI", offset + len(pixels), 0, 0, offset) + header + pixels


def picture32(top_down, width=WIDTH, height=HEIGHT, colour=pattern):
    pixels = rows_of(width, height, colour, 32, top_down)
    return bitmap_file(v5_header(width, -height if top_down else height, len(pixels)), pixels)


def picture24(top_down):
    pixels = rows_of(WIDTH, HEIGHT, pattern, 24, top_down)
    return bitmap_file(info_header(WIDTH, -HEIGHT if top_down else HEIGHT, 24, 0, len(pixels)), pixels)


def rgb32_zero_alpha():
    pixels = rows_of(WIDTH, HEIGHT, lambda x, y: pattern(x, y)[:3] + (0,), 32, False)
    return bitmap_file(info_header(WIDTH, HEIGHT, 32, 0, len(pixels)), pixels)


def packed_fields():
    """A packed bitmap (no file header): 40-byte header, the three masks, then the pixels."""
    pixels = rows_of(WIDTH, HEIGHT, pattern, 32, False)
    masks = struct.pack("<III", 0x00FF0000, 0x0000FF00, 0x000000FF)
    return info_header(WIDTH, HEIGHT, 32, 3, len(pixels)) + masks + pixels


def gzip_member(data, flags=0, crc_change=0):
    deflate = zlib.compressobj(9, zlib.DEFLATED, -15)
    body = deflate.compress(data) + deflate.flush()
    header = bytes((0x1F, 0x8B, 8, flags)) + struct.pack("<I", 0) + bytes((2, 0))
    if flags & 4:
        header += struct.pack("<H", 5) + b"ab\0cd"
    if flags & 8:
        header += b"picture.bmp\0"
    if flags & 16:
        header += b"a comment\0"
    if flags & 2:
        header += struct.pack("<H", zlib.crc32(header) & 0xFFFF)
    return header + body + struct.pack("<II", zlib.crc32(data) ^ crc_change, len(data))


KEYED_ROW = [(0, 255, 0), (1, 255, 0), (0, 254, 0), (0, 255, 1), (200, 30, 40), (0, 255, 0)]


def keyed():
    """24-bit, 6 x 2: pure green, three near-greens, red, pure green; the second row reversed."""
    def colour(x, y):
        return (KEYED_ROW[x] if y == 0 else KEYED_ROW[5 - x]) + (255,)
    pixels = rows_of(6, 2, colour, 24, False)
    return bitmap_file(info_header(6, 2, 24, 0, len(pixels)), pixels)


def main():
    out = os.path.join(os.path.dirname(os.path.abspath(__file__)), "res")
    os.makedirs(out, exist_ok=True)
    bottom_up = picture32(False)
    files = {
        "flags_none.bmp.gz": gzip_member(bottom_up),
        "flags_all.bmp.gz": gzip_member(bottom_up, 2 | 4 | 8 | 16),
        "flags_extra_name.bmp.gz": gzip_member(bottom_up, 4 | 8),
        "flags_comment_hcrc.bmp.gz": gzip_member(bottom_up, 2 | 16),
        "bad_crc.bmp.gz": gzip_member(bottom_up, 8, crc_change=1),
        "plain.bmp": bottom_up,
        "top_down32.bmp.gz": gzip_member(picture32(True)),
        "bottom_up24.bmp.gz": gzip_member(picture24(False)),
        "top_down24.bmp.gz": gzip_member(picture24(True)),
        "rgb32_zero_alpha.bmp.gz": gzip_member(rgb32_zero_alpha()),
        "packed_fields.dib": packed_fields(),
        "wide.bmp.gz": gzip_member(picture32(False, 23, 9)),
        "keyed.bmp": keyed(),
    }
    for name, data in files.items():
        with open(os.path.join(out, name), "wb") as f:
            f.write(data)


if __name__ == "__main__":
    main()
