#!/usr/bin/env python3
"""Draws the program's pictures into app/res: the logo (123 x 117 JPEG), the Ok and Fallo
marks (16 x 16, 16 colours), the menu pictures (12 x 16 and 16 x 16, 16 colours) and the
application icon (32 x 32, 256 colours). Needs ImageMagick's convert for the logo.

Run it from anywhere; the files it writes are kept in the repository."""

import os
import struct
import subprocess

HERE = os.path.dirname(os.path.abspath(__file__))

# The 16-colour palette of the Windows system (RGB).
VGA = [
    (0, 0, 0), (128, 0, 0), (0, 128, 0), (128, 128, 0),
    (0, 0, 128), (128, 0, 128), (0, 128, 128), (192, 192, 192),
    (128, 128, 128), (255, 0, 0), (0, 255, 0), (255, 255, 0),
    (0, 0, 255), (255, 0, 255), (0, 255, 255), (255, 255, 255),
]
# One character a pixel.
KEY = {'.': 15, 'k': 0, 'g': 2, 'G': 10, 'r': 1, 'R': 9, 'b': 4, 'B': 12, 's': 7, 'S': 8,
       'y': 11, 'c': 6, 'C': 14}


def bmp4(name, rows):
    h = len(rows)
    w = len(rows[0])
    assert all(len(r) == w for r in rows), name
    stride = ((w * 4 + 31) // 32) * 4
    pixels = b''
    for row in reversed(rows):  # bottom-up
        line = bytearray(stride)
        for x, ch in enumerate(row):
            v = KEY[ch]
            line[x // 2] |= v << 4 if x % 2 == 0 else v
        pixels += bytes(line)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in VGA)
    offset = 14 + 40 + len(palette)
    header = struct.pack('<2sIHHI', b'BM', offset + len(pixels), 0, 0, offset)
    info = struct.pack('<IiiHHIIiiII', 40, w, h, 1, 4, 0, len(pixels), 3780, 3780, 16, 0)
    with open(os.path.join(HERE, name), 'wb') as f:
        f.write(header + info + palette + pixels)


MARK_OK = [
    "................",
    "................",
    "..............g.",
    ".............gG.",
    "............gGg.",
    "...........gGg..",
    "..g.......gGg...",
    "..Gg.....gGg....",
    "..gGg...gGg.....",
    "...gGg.gGg......",
    "....gGgGg.......",
    ".....gGg........",
    "......g.........",
    "................",
    "................",
    "................",
]

MARK_FALLO = [
    "................",
    "................",
    "..rR.......Rr...",
    "..RRr.....rRR...",
    "...rRr...rRr....",
    "....rRr.rRr.....",
    ".....rRRRr......",
    "......RRR.......",
    ".....rRRRr......",
    "....rRr.rRr.....",
    "...rRr...rRr....",
    "..RRr.....rRR...",
    "..rR.......Rr...",
    "................",
    "................",
    "................",
]

# A door with an arrow leaving it: 12 wide, 16 high.
MENU_CERRAR = [
    "............",
    "..kkkkkkk...",
    "..kssssSk...",
    "..kssssSk...",
    "..kssssSk.R.",
    "..kssssSkRR.",
    "..kssRRRRRRR",
    "..kssRRRRRRR",
    "..kssssSkRR.",
    "..kssssSk.R.",
    "..kssssSk...",
    "..kssssSk...",
    "..kssssSk...",
    "..kkkkkkk...",
    "............",
    "............",
]

# A book with a question mark.
MENU_AYUDA = [
    "................",
    "..kkkkkkkkkkk...",
    "..kBBBBBBBBBBk..",
    "..kBBB.....BBk..",
    "..kBB..BBB..Bk..",
    "..kBBBBBBB..Bk..",
    "..kBBBBBB..BBk..",
    "..kBBBBB..BBBk..",
    "..kBBBBB..BBBk..",
    "..kBBBBBBBBBBk..",
    "..kBBBBB..BBBk..",
    "..kBBBBBBBBBBk..",
    "..kkkkkkkkkkkk..",
    "..k..........k..",
    "...kkkkkkkkkkk..",
    "................",
]

# An "i" in a blue disc.
MENU_ACERCA = [
    "................",
    ".....bbbbbb.....",
    "...bbBBBBBBbb...",
    "..bBBBB..BBBBb..",
    "..bBBBB..BBBBb..",
    ".bBBBBBBBBBBBBb.",
    ".bBBBB...BBBBBb.",
    ".bBBBBB..BBBBBb.",
    ".bBBBBB..BBBBBb.",
    ".bBBBBB..BBBBBb.",
    ".bBBBBB..BBBBBb.",
    "..bBBB....BBBb..",
    "..bBBBBBBBBBBb..",
    "...bbBBBBBBbb...",
    ".....bbbbbb.....",
    "................",
]


def logo():
    path = os.path.join(HERE, 'logo.jpg')
    subprocess.run([
        'convert', '-size', '123x117', 'gradient:#2856b8-#0b1d4a',
        '-fill', '#f4f6fb', '-stroke', '#0b1d4a', '-strokewidth', '2',
        '-draw', 'polygon 61,8 104,22 100,66 61,108 22,66 18,22',
        '-fill', '#2856b8', '-stroke', 'none',
        '-draw', 'polygon 61,18 95,29 92,63 61,97 30,63 27,29',
        '-fill', 'none', '-stroke', '#37c24a', '-strokewidth', '9',
        '-draw', 'stroke-linecap round stroke-linejoin round polyline 40,56 55,72 84,40',
        '-quality', '92', '-sampling-factor', '1x1', '-strip', path,
    ], check=True)
    return path


def icon(logo_path):
    # The logo reduced to 32 x 32 and at most 256 colours, as raw RGB.
    raw = subprocess.run(['convert', logo_path, '-resize', '32x32!', '-colors', '256',
                          '-depth', '8', 'rgb:-'], check=True, capture_output=True).stdout
    assert len(raw) == 32 * 32 * 3
    colours = []
    index = []
    for i in range(0, len(raw), 3):
        c = tuple(raw[i:i + 3])
        if c not in colours:
            colours.append(c)
        index.append(colours.index(c))
    assert len(colours) <= 256
    colours += [(0, 0, 0)] * (256 - len(colours))
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in colours)
    xor = b''
    for y in reversed(range(32)):
        xor += bytes(index[y * 32:(y + 1) * 32])
    mask = bytes(4 * 32)  # every pixel opaque; 32 bits a row
    info = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 8, 0, len(xor) + len(mask), 0, 0, 256, 0)
    image = info + palette + xor + mask
    header = struct.pack('<HHH', 0, 1, 1)
    entry = struct.pack('<BBBBHHII', 32, 32, 0, 0, 1, 8, len(image), 6 + 16)
    with open(os.path.join(HERE, 'quelmark.ico'), 'wb') as f:
        f.write(header + entry + image)


if __name__ == '__main__':
    bmp4('mark_ok.bmp', MARK_OK)
    bmp4('mark_fallo.bmp', MARK_FALLO)
    bmp4('menu_cerrar.bmp', MENU_CERRAR)
    bmp4('menu_ayuda.bmp', MENU_AYUDA)
    bmp4('menu_acerca.bmp', MENU_ACERCA)
    icon(logo())
