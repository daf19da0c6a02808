#!/usr/bin/env python3
"""Draws the Windows window's images from src/wizard/window/calendar_clock.svg:

  src/wizard/win32/resources/calendar_clock.ico      the icon, 16 and 32 pixels and
                                                      the sizes Windows asks for at
                                                      120 and 144 dpi (20, 24, 40,
                                                      48), 24-bit colour with a mask
  src/wizard/win32/resources/calendar_clock_48.bmp   the window's picture, 48 x 48,
                                                      24-bit colour on the dialog grey

Each size is rendered from the drawing by rsvg-convert (Debian's
librsvg2-bin); the PNG it writes is read here and the icon and bitmap
written byte by byte, so nothing else is needed.
    scripts/make-windows-images.py
The results are committed; run this again only when the drawing changes.
"""
import os
import struct
import subprocess
import sys
import zlib

ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
SVG = os.path.join(ROOT, "src/wizard/window/calendar_clock.svg")
OUT = os.path.join(ROOT, "src/wizard/win32/resources")
# The 3D face colour of the dialog the picture sits on.
DIALOG_GREY = (240, 240, 240)
# Pixels at least this opaque are drawn by the icon; the rest show through.
ICON_ALPHA_THRESHOLD = 128


def render(pixels):
    """The drawing at pixels x pixels: rows of (r, g, b, a) tuples."""
    png = subprocess.run(
        ["rsvg-convert", "--width", str(pixels), "--height", str(pixels), "--format", "png", SVG],
        check=True, capture_output=True).stdout
    return decode_png(png)


def decode_png(data):
    """RGBA rows of an 8-bit, non-interlaced RGBA or RGB PNG."""
    if data[:8] != b"\x89PNG\r\n\x1a\n":
        raise ValueError("not a PNG")
    pos, idat, header = 8, b"", None
    while pos < len(data):
        length, kind = struct.unpack(">I4s", data[pos:pos + 8])
        body = data[pos + 8:pos + 8 + length]
        pos += 12 + length
        if kind == b"IHDR":
            header = struct.unpack(">IIBBBBB", body)
        elif kind == b"IDAT":
            idat += body
    width, height, depth, colour, _, _, interlace = header
    if depth != 8 or colour not in (2, 6) or interlace:
        raise ValueError("unexpected PNG layout %r" % (header,))
    channels = 4 if colour == 6 else 3
    stride = width * channels
    raw = zlib.decompress(idat)
    rows, previous = [], bytearray(stride)
    for y in range(height):
        kind = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            left = line[i - channels] if i >= channels else 0
            up = previous[i]
            corner = previous[i - channels] if i >= channels else 0
            if kind == 1:
                line[i] = (line[i] + left) & 0xFF
            elif kind == 2:
                line[i] = (line[i] + up) & 0xFF
            elif kind == 3:
                line[i] = (line[i] + (left + up) // 2) & 0xFF
            elif kind == 4:
                p = left + up - corner
                pa, pb, pc = abs(p - left), abs(p - up), abs(p - corner)
                best = left if pa <= pb and pa <= pc else (up if pb <= pc else corner)
                line[i] = (line[i] + best) & 0xFF
        previous = line
        rows.append([tuple(line[x * channels:(x + 1) * channels]) + ((255,) if channels == 3 else ())
                     for x in range(width)])
    return rows


def over(pixel, background):
    r, g, b, a = pixel
    return tuple((c * a + k * (255 - a) + 127) // 255 for c, k in zip((r, g, b), background))


def bgr_rows_bottom_up(rows, colour_of):
    """24-bit DIB rows, bottom row first, each padded to four bytes."""
    out = b""
    for row in reversed(rows):
        line = b"".join(bytes(reversed(colour_of(p))) for p in row)
        out += line + b"\0" * (-len(line) % 4)
    return out


def write_bmp(path, rows):
    pixels = bgr_rows_bottom_up(rows, lambda p: over(p, DIALOG_GREY))
    size = len(rows)
    info = struct.pack("<IiiHHIIiiII", 40, size, size, 1, 24, 0, len(pixels), 3780, 3780, 0, 0)
    header = struct.pack("<2sIHHI", b"BM", 14 + len(info) + len(pixels), 0, 0, 14 + len(info))
    with open(path, "wb") as f:
        f.write(header + info + pixels)


def icon_image(rows):
    """One icon image: the header with doubled height, the colours, the mask."""
    size = len(rows)
    # Colours as drawn where opaque; a see-through pixel is black under its mask bit.
    colours = bgr_rows_bottom_up(
        rows, lambda p: p[:3] if p[3] >= ICON_ALPHA_THRESHOLD else (0, 0, 0))
    mask = b""
    for row in reversed(rows):
        bits = 0
        line = bytearray()
        for x, p in enumerate(row):
            bits = (bits << 1) | (1 if p[3] < ICON_ALPHA_THRESHOLD else 0)
            if x % 8 == 7:
                line.append(bits)
                bits = 0
        if size % 8:
            line.append(bits << (8 - size % 8))
        line += b"\0" * (-len(line) % 4)
        mask += bytes(line)
    info = struct.pack("<IiiHHIIiiII", 40, size, 2 * size, 1, 24, 0, len(colours) + len(mask),
                       0, 0, 0, 0)
    return info + colours + mask


def write_ico(path, images):
    directory = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    entries, bodies = b"", b""
    for size, body in images:
        entries += struct.pack("<BBBBHHII", size, size, 0, 0, 1, 24, len(body), offset + len(bodies))
        bodies += body
    with open(path, "wb") as f:
        f.write(directory + entries + bodies)


def main():
    os.makedirs(OUT, exist_ok=True)
    write_ico(os.path.join(OUT, "calendar_clock.ico"),
              [(size, icon_image(render(size))) for size in (16, 20, 24, 32, 40, 48)])
    write_bmp(os.path.join(OUT, "calendar_clock_48.bmp"), render(48))
    return 0


if __name__ == "__main__":
    sys.exit(main())
