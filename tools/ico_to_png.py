#!/usr/bin/env python3
"""Writes every picture of a Windows icon (.ico) as an RGBA PNG into an icon theme, for Linux menus.

    python3 tools/ico_to_png.py resources/tunegrin.ico THEME NAME

writes THEME/<size>x<size>/apps/NAME.png for each size the icon has (icons are square) and
prints the sizes.
Standard library only. Reads the icon forms Windows bitmaps use: 1, 4 and 8 bits per pixel
with a palette, or 24 and 32 bits; a picture stored as PNG is copied as it is.
"""

import os
import struct
import sys
import zlib


def images(ico):
    reserved, kind, count = struct.unpack_from("<HHH", ico, 0)
    if reserved != 0 or kind != 1 or count == 0:
        raise ValueError("not an icon file")
    entries = [struct.unpack_from("<BBBBHHII", ico, 6 + 16 * i) for i in range(count)]
    return [ico[e[7]:e[7] + e[6]] for e in entries]


def dib_to_rgba(dib):
    """(width, height, rows of RGBA bytes from the top) of an icon's bitmap and AND mask."""
    header_size, width, height2, _, bits = struct.unpack_from("<IiiHH", dib, 0)
    height = height2 // 2                       # the colour picture and the mask, stacked
    colours = struct.unpack_from("<I", dib, 32)[0] or (1 << bits if bits <= 8 else 0)
    palette = [dib[header_size + 4 * i:header_size + 4 * i + 3][::-1] for i in range(colours)]
    pixels = header_size + 4 * colours
    stride = (width * bits + 31) // 32 * 4
    mask_stride = (width + 31) // 32 * 4
    mask = pixels + stride * height
    rows = []
    for y in range(height - 1, -1, -1):         # bottom-up
        row = dib[pixels + y * stride:pixels + (y + 1) * stride]
        mask_row = dib[mask + y * mask_stride:mask + (y + 1) * mask_stride]
        out = bytearray()
        for x in range(width):
            if bits <= 8:
                index = (row[x * bits // 8] >> (8 - bits - x * bits % 8)) & ((1 << bits) - 1)
                rgb, alpha = palette[index], 255
            else:
                step = bits // 8
                rgb = row[x * step:x * step + 3][::-1]
                alpha = row[x * step + 3] if bits == 32 else 255
            if mask_row[x // 8] & (0x80 >> x % 8):     # a set mask bit is transparent
                alpha = 0
            out += rgb + bytes([alpha])
        rows.append(bytes(out))
    return width, height, rows


def png_bytes(width, height, rows):
    def chunk(kind, data):
        return (struct.pack(">I", len(data)) + kind + data
                + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF))
    head = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)   # 8-bit RGBA
    raw = b"".join(b"\0" + row for row in rows)
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", head)
            + chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main(argv):
    if len(argv) != 4:
        print("usage: ico_to_png.py ICON.ico THEME NAME", file=sys.stderr)
        return 2
    with open(argv[1], "rb") as f:
        ico = f.read()
    sizes = {}                                  # a size given twice keeps its last picture
    for image in images(ico):
        if image.startswith(b"\x89PNG"):
            png, width = image, struct.unpack_from(">I", image, 16)[0]
        else:
            width, height, rows = dib_to_rgba(image)
            png = png_bytes(width, height, rows)
        sizes[width] = png
    for width, png in sorted(sizes.items()):
        folder = os.path.join(argv[2], "%dx%d" % (width, width), "apps")
        os.makedirs(folder, exist_ok=True)
        with open(os.path.join(folder, argv[3] + ".png"), "wb") as f:
            f.write(png)
        print(width)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
