#!/usr/bin/env python3
"""Renders the program's own 32x32 icon (the pixel rows and palette in
src/app/AboutResources.cpp) into the PNG sizes a desktop's icon theme asks
for: packaging/icons/<N>x<N>/brennacenter.png.

Run it again only when the icon changes, and commit what it writes. Larger
sizes repeat each pixel (sharp edges at every size); 16 averages 2x2 blocks
and 48 is 96 averaged down, so both stay free of uneven rows.

Usage: packaging/make-icons.py
"""
import pathlib
import re
import struct
import sys
import zlib

ROOT = pathlib.Path(__file__).resolve().parent.parent
SOURCE = ROOT / "src" / "app" / "AboutResources.cpp"
OUT = ROOT / "packaging" / "icons"
SIZES = (16, 32, 48, 64, 128, 256)
TRANSPARENT = " "


def read_icon(text):
    palette = {}
    for key, r, g, b in re.findall(
        r"\{'(.)',\s*RGB\((\d+),\s*(\d+),\s*(\d+)\)\}", text
    ):
        palette[key] = (int(r), int(g), int(b))
    block = re.search(r"kIconRows\[\]\s*=\s*\{(.*?)\};", text, re.S)
    if not block or not palette:
        sys.exit("make-icons: no icon rows or palette in " + str(SOURCE))
    rows = re.findall(r'"([^"]*)"', block.group(1))
    if len(rows) != 32 or any(len(r) != 32 for r in rows):
        sys.exit("make-icons: the icon is not 32x32")
    pixels = []
    for row in rows:
        line = []
        for key in row:
            if key == TRANSPARENT:
                line.append((0, 0, 0, 0))
            elif key in palette:
                line.append(palette[key] + (255,))
            else:
                sys.exit("make-icons: colour key %r is not in the palette" % key)
        pixels.append(line)
    return pixels


def repeat(pixels, factor):
    out = []
    for row in pixels:
        wide = [p for p in row for _ in range(factor)]
        out.extend([list(wide) for _ in range(factor)])
    return out


def halve(pixels):
    """Averages 2x2 blocks; colours weighted by their opacity so a
    transparent neighbour does not darken an edge."""
    out = []
    for y in range(0, len(pixels), 2):
        line = []
        for x in range(0, len(pixels[0]), 2):
            block = [pixels[y][x], pixels[y][x + 1], pixels[y + 1][x], pixels[y + 1][x + 1]]
            alpha = sum(p[3] for p in block)
            if alpha == 0:
                line.append((0, 0, 0, 0))
                continue
            colour = tuple((sum(p[c] * p[3] for p in block) + alpha // 2) // alpha for c in range(3))
            line.append(colour + ((alpha + 2) // 4,))
        out.append(line)
    return out


def scaled(pixels, size):
    if size == 16:
        return halve(pixels)
    if size == 48:
        return halve(repeat(pixels, 3))
    return repeat(pixels, size // 32)


def png(pixels):
    height, width = len(pixels), len(pixels[0])
    raw = b"".join(b"\0" + bytes(c for p in row for c in p) for row in pixels)

    def chunk(kind, data):
        body = kind + data
        return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

    header = struct.pack(">IIBBBBB", width, height, 8, 6, 0, 0, 0)  # 8-bit RGBA
    return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
            chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


def main():
    icon = read_icon(SOURCE.read_text(encoding="utf-8"))
    for size in SIZES:
        folder = OUT / ("%dx%d" % (size, size))
        folder.mkdir(parents=True, exist_ok=True)
        (folder / "brennacenter.png").write_bytes(png(scaled(icon, size)))
        print("make-icons: wrote", folder / "brennacenter.png")


if __name__ == "__main__":
    main()
