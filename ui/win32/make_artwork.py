#!/usr/bin/env python3
"""Converts the window's PNG artwork (ui/resources) into the Windows resource files
res/kestravon.ico (icon 128: 16, 24, 32 and 48 pixels at 4, 8 and 32 bits per pixel,
and 256 pixels at 32 bits) and res/banner_130.bmp (940 x 70, 24 bits, uncompressed).
Needs ImageMagick. Run once when the artwork changes; the results are committed."""
import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))
ART = os.path.join(HERE, "..", "resources")
OUT = os.path.join(HERE, "res")
CONVERT = "/usr/bin/convert"  # ImageMagick itself


def magick(*args):
    return subprocess.run([CONVERT, *args], check=True, stdout=subprocess.PIPE).stdout


def row_bytes(width, bpp):
    return ((width * bpp + 31) // 32) * 4


def and_mask(alpha, size):
    out = bytearray()
    for y in reversed(range(size)):
        row = bytearray(row_bytes(size, 1))
        for x in range(size):
            if alpha[y * size + x] < 128:
                row[x // 8] |= 0x80 >> (x % 8)
        out += row
    return bytes(out)


def header(size, bpp):
    return struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, 0, 0, 0, 0, 0)


def paletted(png, size, bpp):
    colours = 1 << bpp
    rgb = magick(png, "-background", "black", "-alpha", "remove", "+dither",
                 "-colors", str(colours), "-depth", "8", "rgb:-")
    alpha = magick(png, "-alpha", "extract", "-depth", "8", "gray:-")
    pixels = [rgb[i:i + 3] for i in range(0, len(rgb), 3)]
    palette = sorted(set(pixels))
    assert len(palette) <= colours, (png, bpp, len(palette))
    index = {c: i for i, c in enumerate(palette)}
    table = b"".join(bytes((c[2], c[1], c[0], 0)) for c in palette)
    table += b"\0" * (4 * colours - len(table))
    xor = bytearray()
    for y in reversed(range(size)):
        row = bytearray(row_bytes(size, bpp))
        for x in range(size):
            i = index[pixels[y * size + x]]
            if bpp == 8:
                row[x] = i
            else:
                row[x // 2] |= i << (4 if x % 2 == 0 else 0)
        xor += row
    return header(size, bpp) + table + bytes(xor) + and_mask(alpha, size)


def truecolour(png, size):
    rgba = magick(png, "-depth", "8", "rgba:-")
    xor = bytearray()
    for y in reversed(range(size)):
        for x in range(size):
            r, g, b, a = rgba[(y * size + x) * 4:(y * size + x) * 4 + 4]
            xor += bytes((b, g, r, a))
    alpha = rgba[3::4]
    return header(size, 32) + bytes(xor) + and_mask(alpha, size)


def build_icon():
    images = []  # (size, bpp, data)
    for bpp in (4, 8):
        for size in (16, 24, 32, 48):
            images.append((size, bpp, paletted(os.path.join(ART, f"icon_{size}.png"), size, bpp)))
    for size in (16, 24, 32, 48):
        images.append((size, 32, truecolour(os.path.join(ART, f"icon_{size}.png"), size)))
    with open(os.path.join(ART, "icon_256.png"), "rb") as f:
        images.append((256, 32, f.read()))  # stored as PNG, as large icons are

    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for size, bpp, data in images:
        side = 0 if size == 256 else size
        out += struct.pack("<BBBBHHII", side, side, 16 if bpp == 4 else 0, 0, 1, bpp, len(data), offset)
        offset += len(data)
    out += b"".join(data for _, _, data in images)
    with open(os.path.join(OUT, "kestravon.ico"), "wb") as f:
        f.write(out)


def build_banner():
    magick(os.path.join(ART, "banner_130.png"), "-alpha", "off", "-type", "TrueColor",
           "BMP3:" + os.path.join(OUT, "banner_130.bmp"))


if __name__ == "__main__":
    os.makedirs(OUT, exist_ok=True)
    build_icon()
    build_banner()
