#!/usr/bin/env python3
"""Draws the tree's six 16x16 item images into one 8-bit strip (tree_images.bmp): a drive, a
selected drive, a closed folder, an open folder, a file and a selected file. Magenta is the
mask colour. Run it again after changing a picture; the build uses the committed file."""
import struct
import sys

PALETTE = {
    '.': (255, 0, 255),    # mask
    'k': (0, 0, 0),
    'd': (64, 64, 64),
    'g': (128, 128, 128),
    'l': (192, 192, 192),
    'w': (255, 255, 255),
    'y': (240, 200, 64),
    'Y': (255, 232, 128),
    'o': (176, 128, 24),
    'G': (0, 176, 0),
    'b': (0, 64, 176),
    'B': (96, 160, 240),
}

DRIVE = [
    "................",
    "................",
    "................",
    "................",
    "..dddddddddddd..",
    ".dllllllllllllgd",
    ".dlwwwwwwwwwwlgd",
    ".dlllllllllllgd.",
    ".dddddddddddddd.",
    ".dggggggggggggd.",
    ".dglllllllllgGd.",
    ".dggggggggggggd.",
    ".dddddddddddddd.",
    "................",
    "................",
    "................",
]
DRIVE_SELECTED = [row.replace('l', 'B').replace('w', 'w').replace('G', 'G') for row in DRIVE]
FOLDER = [
    "................",
    "................",
    "..ooooo.........",
    ".oYYYYYo........",
    ".oyyyyyyoooooo..",
    ".oYYYYYYYYYYYYo.",
    ".oYyyyyyyyyyyyo.",
    ".oYyyyyyyyyyyyo.",
    ".oYyyyyyyyyyyyo.",
    ".oYyyyyyyyyyyyo.",
    ".oYyyyyyyyyyyyo.",
    ".oYyyyyyyyyyyyo.",
    ".oooooooooooooo.",
    "................",
    "................",
    "................",
]
FOLDER_OPEN = [
    "................",
    "................",
    "..ooooo.........",
    ".oYYYYYo........",
    ".oyyyyyyoooooo..",
    ".oyyyyyyyyyyyyo.",
    ".oyyoooooooooooo",
    ".oyoYYYYYYYYYYYo",
    ".ooYyyyyyyyyyyo.",
    ".ooYyyyyyyyyyyo.",
    ".oYyyyyyyyyyyo..",
    ".oYyyyyyyyyyyo..",
    ".ooooooooooooo..",
    "................",
    "................",
    "................",
]
FILE = [
    "................",
    "...gggggggg.....",
    "...gwwwwwwgg....",
    "...gwwwwwwglg...",
    "...gwwwwwwgggg..",
    "...gwwwwwwwwwg..",
    "...gwggggggwwg..",
    "...gwwwwwwwwwg..",
    "...gwggggggwwg..",
    "...gwwwwwwwwwg..",
    "...gwgggggggwg..",
    "...gwwwwwwwwwg..",
    "...gwggggwwwwg..",
    "...gwwwwwwwwwg..",
    "...ggggggggggg..",
    "................",
]
FILE_SELECTED = [row.replace('w', 'B').replace('g', 'b') if i not in (0, 15) else row
                 for i, row in enumerate(FILE)]

IMAGES = [DRIVE, DRIVE_SELECTED, FOLDER, FOLDER_OPEN, FILE, FILE_SELECTED]


def main(out):
    keys = list(PALETTE)
    index = {k: i for i, k in enumerate(keys)}
    width, height = 16 * len(IMAGES), 16
    for image in IMAGES:
        assert len(image) == 16 and all(len(r) == 16 for r in image), image
    rows = []
    for y in range(height - 1, -1, -1):  # bottom-up
        row = bytearray()
        for image in IMAGES:
            row += bytes(index[c] for c in image[y])
        rows.append(bytes(row))
    pixels = b''.join(rows)
    palette = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in
                       [PALETTE[k] for k in keys] + [(0, 0, 0)] * (256 - len(keys)))
    header_size = 14 + 40 + len(palette)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 8, 0, len(pixels), 2835, 2835, 256, 0)
    head = struct.pack('<2sIHHI', b'BM', header_size + len(pixels), 0, 0, header_size)
    with open(out, 'wb') as f:
        f.write(head + info + palette + pixels)


if __name__ == '__main__':
    main(sys.argv[1] if len(sys.argv) > 1 else 'tree_images.bmp')
