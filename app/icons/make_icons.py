#!/usr/bin/env python3
"""Draw the Kestrova icon and write every file of it into this folder.

    kestrova-16.png  kestrova-32.png  kestrova-48.png
        4 bits per pixel indexed PNG, one palette of 13 colours
        (entry 0 fully transparent).
    kestrova.ico
        the same three images, each stored as a 4 bit BMP with a 1 bit
        transparency mask.
    kestrova.svg
        the 48 pixel design redrawn with vector shapes, for the hicolor
        theme's scalable folder.

The design: a brown clipboard with a metal clip at the top, holding a white
sheet whose bottom-right corner is folded up.  The sheet carries lines of
"text" broken by blue backslashes, so the picture reads as file paths written
down on a clipboard.

The 16 pixel image is a hand-made pixel grid.  The 32 and 48 pixel images are
drawn from simple shapes (rounded rectangles, the folded sheet, text bars and
slash strokes) whose coordinates were chosen by hand for each size, so every
edge falls on whole pixels and nothing is scaled or smoothed.

Only the Python standard library is used.  The output files are checked in;
the build does not run this script.  Run it again after changing the drawing:

    python3 make_icons.py            # write the files next to this script
    python3 make_icons.py --preview  # also print each image as text
"""

import os
import struct
import sys
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))

# One palette for every size.  The letter is what the pixel grids use.
PALETTE = [
    ('.', (0x00, 0x00, 0x00, 0)),     # transparent
    ('K', (0x20, 0x29, 0x3a, 255)),   # outline, near-black navy
    ('W', (0xff, 0xff, 0xff, 255)),   # paper
    ('w', (0xe3, 0xe8, 0xef, 255)),   # paper in the clip's shadow
    ('F', (0xc4, 0xcd, 0xd9, 255)),   # back of the folded corner
    ('B', (0xc1, 0x7f, 0x3e, 255)),   # board
    ('b', (0x8a, 0x55, 0x26, 255)),   # board, shaded side and shadows
    ('h', (0xdc, 0xa2, 0x68, 255)),   # board, lit side
    ('S', (0xe6, 0xea, 0xef, 255)),   # clip metal, light
    ('s', (0x9a, 0xa5, 0xb3, 255)),   # clip metal, dark; fold crease
    ('d', (0x5b, 0x66, 0x76, 255)),   # hole in the clip's tab
    ('L', (0x8f, 0x9c, 0xb0, 255)),   # text lines
    ('A', (0x1e, 0x6e, 0xe8, 255)),   # backslashes
]
INDEX = {ch: i for i, (ch, _) in enumerate(PALETTE)}
assert len(PALETTE) <= 16

# --------------------------------------------------------------------------
# 16 x 16, drawn pixel by pixel.
GRID16 = """
.....KKKKKK.....
.KKKKKSddSKKKKK.
KhBBKSSSSSSKBBbK
KhKKKssssssKKKbK
KhKWWKKKKKKWWKbK
KhKWWWWWAWWWWKbK
KhKWLLLLWAWLWKbK
KhKWWWWWWWAWWKbK
KhKWWAWWWWWWWKbK
KhKWLWAWLLLLWKbK
KhKWWWWAWWsssKbK
KhKWWWWWWWsFKbbK
KhKWLLLLLWsKbbbK
KhKKKKKKKKKbbbbK
KhhBBBBBBBbbbbbK
.KKKKKKKKKKKKKK.
"""


# --------------------------------------------------------------------------
# 32 x 32 and 48 x 48, drawn from shapes.

class Canvas:
    def __init__(self, n):
        self.n = n
        self.px = [['.'] * n for _ in range(n)]

    def put(self, x, y, c):
        if 0 <= x < self.n and 0 <= y < self.n:
            self.px[y][x] = c

    def get(self, x, y):
        return self.px[y][x]

    def rect(self, x0, y0, x1, y1, c):
        for y in range(y0, y1 + 1):
            for x in range(x0, x1 + 1):
                self.put(x, y, c)

    def shape(self, inside, fill, outline='K'):
        """Paint every pixel where inside(x, y) holds: the outline colour on
        pixels that have a 4-neighbour outside the shape (a one pixel,
        8-connected border), fill(x, y) everywhere else."""
        for y in range(self.n):
            for x in range(self.n):
                if not inside(x, y):
                    continue
                edge = any(not inside(x + dx, y + dy)
                           for dx, dy in ((1, 0), (-1, 0), (0, 1), (0, -1)))
                self.put(x, y, outline if edge else fill(x, y))

    def grid(self):
        return [''.join(row) for row in self.px]


def rounded(x0, y0, x1, y1, cut):
    """Rectangle from (x0, y0) to (x1, y1) inclusive with each corner cut
    back diagonally by `cut` pixels."""
    def inside(x, y):
        if not (x0 <= x <= x1 and y0 <= y <= y1):
            return False
        dx = min(x - x0, x1 - x)
        dy = min(y - y0, y1 - y)
        return dx + dy >= cut or dx >= cut or dy >= cut
    return inside


def draw(n, p):
    c = Canvas(n)

    # Board: lit on the left, shaded on the right and along the bottom.
    bx0, by0, bx1, by1, cut = p['board']

    def board_fill(x, y):
        if x <= bx0 + p['lit']:
            return 'h'
        if x >= bx1 - p['shade'] or y >= by1 - 1:
            return 'b'
        return 'B'
    c.shape(rounded(bx0, by0, bx1, by1, cut), board_fill)

    # The sheet: a rectangle without its bottom-right corner (cut at 45
    # degrees, `fold` pixels along each side).
    sx0, sy0, sx1, sy1, fold = p['sheet']

    def sheet(dx=0, dy=0):
        def inside(x, y):
            x, y = x - dx, y - dy
            return (sx0 <= x <= sx1 and sy0 <= y <= sy1
                    and (x - sx1) + (y - sy1) <= -fold)
        return inside

    # Its shadow on the board, offset down and to the right.
    off = p['shadow']
    on_sheet_shadow = sheet(off, off)
    for y in range(n):
        for x in range(n):
            if on_sheet_shadow(x, y) and c.get(x, y) in 'Bhb':
                c.put(x, y, 'b')
    c.shape(sheet(), lambda x, y: 'W')

    # The folded-up corner: the missing triangle mirrored onto the sheet.
    fx, fy = sx1 - fold, sy1 - fold
    for y in range(fy, sy1 + 1):
        for x in range(fx, sx1 + 1):
            d = (x - fx) + (y - fy)
            if d < fold:
                c.put(x, y, 'F')
    for x in range(fx, sx1):
        c.put(x, fy, 's')          # crease along the top of the flap
    for y in range(fy, sy1):
        c.put(fx, y, 's')          # crease along its left side
    c.put(sx1, fy, 'K')
    c.put(fx, sy1, 'K')

    # Text: bars of `thick` pixels; a ('\\', x) item is a backslash whose
    # top-left pixel is at column x, starting slash_up rows above the bar.
    for y, thick, items in p['lines']:
        for item in items:
            if item[0] == '\\':
                x0 = item[1]
                top = y - p['slash_up']
                for i, step in enumerate(p['slash_steps']):
                    for k in range(p['slash_w']):
                        c.put(x0 + step + k, top + i, 'A')
            else:
                c.rect(item[0], y, item[1], y + thick - 1, 'L')

    # The clip: a tab with a hole, then the wide jaw over the sheet's top
    # edge, with a soft shadow under it on the paper.
    tx0, ty0, tx1, ty1, tcut = p['tab']
    hx0, hy0, hx1, hy1 = p['hole']
    c.shape(rounded(tx0, ty0, tx1, ty1, tcut),
            lambda x, y: 'd' if hx0 <= x <= hx1 and hy0 <= y <= hy1 else 'S')
    cx0, cy0, cx1, cy1, ccut = p['clip']
    c.shape(rounded(cx0, cy0, cx1, cy1, ccut),
            lambda x, y: 'S' if y < p['clip_dark_from'] else 's')
    for x in range(cx0 + 1, cx1):
        if c.get(x, cy1 + 1) == 'W':
            c.put(x, cy1 + 1, 'w')
    return c.grid()


LAYOUT32 = dict(
    board=(1, 3, 30, 31, 2), lit=1, shade=1,
    sheet=(5, 6, 26, 28, 5), shadow=1,
    tab=(12, 0, 19, 5, 1), hole=(14, 2, 17, 3),
    clip=(8, 3, 23, 9, 1), clip_dark_from=7,
    slash_up=2, slash_w=2, slash_steps=(0, 1, 1, 2, 2, 3),
    lines=[
        (13, 2, [(8, 15), ('\\', 16), (21, 23)]),
        (19, 2, [(8, 11), ('\\', 12), (17, 23)]),
        (25, 2, [(8, 17)]),
    ],
)

LAYOUT48 = dict(
    board=(2, 5, 45, 47, 3), lit=2, shade=2,
    sheet=(8, 9, 39, 41, 9), shadow=2,
    tab=(18, 0, 29, 8, 2), hole=(21, 3, 26, 4),
    clip=(13, 5, 34, 13, 2), clip_dark_from=10,
    slash_up=3, slash_w=3, slash_steps=(0, 1, 1, 2, 2, 3, 3, 4),
    lines=[
        (19, 3, [(12, 23), ('\\', 23), (30, 35)]),
        (28, 3, [(12, 16), ('\\', 16), (23, 35)]),
        (37, 3, [(12, 27)]),
    ],
)


# --------------------------------------------------------------------------
# File writers.

def parse(text):
    return [row for row in text.strip('\n').split('\n')]


def check(grid, n):
    assert len(grid) == n, (n, len(grid))
    for row in grid:
        assert len(row) == n, (n, row)
        for ch in row:
            assert ch in INDEX, ch


def png_chunk(kind, data):
    return (struct.pack('>I', len(data)) + kind + data
            + struct.pack('>I', zlib.crc32(kind + data) & 0xffffffff))


def write_png(path, grid):
    n = len(grid)
    raw = bytearray()
    for row in grid:
        raw.append(0)  # filter: none
        idx = [INDEX[ch] for ch in row] + [0]
        for i in range(0, n, 2):
            raw.append((idx[i] << 4) | (idx[i + 1] if i + 1 < n else 0))
    plte = b''.join(bytes(rgba[:3]) for _, rgba in PALETTE)
    trns = bytes(rgba[3] for _, rgba in PALETTE)
    while trns and trns[-1] == 255:
        trns = trns[:-1]
    data = (b'\x89PNG\r\n\x1a\n'
            + png_chunk(b'IHDR', struct.pack('>IIBBBBB', n, n, 4, 3, 0, 0, 0))
            + png_chunk(b'PLTE', plte)
            + png_chunk(b'tRNS', trns)
            + png_chunk(b'IDAT', zlib.compress(bytes(raw), 9))
            + png_chunk(b'IEND', b''))
    with open(path, 'wb') as f:
        f.write(data)


def ico_image(grid):
    """One icon image: BITMAPINFOHEADER, 16 colour table, 4 bit colour
    rows and 1 bit mask rows, both bottom-up and padded to 4 bytes."""
    n = len(grid)
    header = struct.pack('<IiiHHIIiiII', 40, n, 2 * n, 1, 4, 0, 0, 0, 0, 16, 0)
    table = bytearray()
    for i in range(16):
        r, g, b, a = PALETTE[i][1] if i < len(PALETTE) else (0, 0, 0, 255)
        if a == 0:
            r = g = b = 0          # transparent pixels: black under the mask
        table += bytes((b, g, r, 0))
    colour_stride = ((n * 4 + 31) // 32) * 4
    mask_stride = ((n + 31) // 32) * 4
    colour = bytearray()
    mask = bytearray()
    for row in reversed(grid):
        idx = [INDEX[ch] for ch in row]
        line = bytearray(colour_stride)
        for x, v in enumerate(idx):
            line[x // 2] |= v << (4 if x % 2 == 0 else 0)
        colour += line
        bits = bytearray(mask_stride)
        for x, v in enumerate(idx):
            if PALETTE[v][1][3] == 0:
                bits[x // 8] |= 0x80 >> (x % 8)
        mask += bits
    return header + bytes(table) + bytes(colour) + bytes(mask)


def write_ico(path, grids):
    images = [ico_image(g) for g in grids]
    out = bytearray(struct.pack('<HHH', 0, 1, len(images)))
    offset = 6 + 16 * len(images)
    for g, img in zip(grids, images):
        n = len(g)
        out += struct.pack('<BBBBHHII', n % 256, n % 256, 16, 0, 1, 4,
                           len(img), offset)
        offset += len(img)
    for img in images:
        out += img
    with open(path, 'wb') as f:
        f.write(bytes(out))


def hexcol(ch):
    r, g, b, _ = dict(PALETTE)[ch]
    return '#%02x%02x%02x' % (r, g, b)


def svg():
    """The 48 pixel layout as vector shapes: one unit of the viewBox is one
    pixel of the 48 pixel image, and outlines run along pixel centres."""
    p = LAYOUT48
    bx0, by0, bx1, by1, _ = p['board']
    sx0, sy0, sx1, sy1, fold = p['sheet']
    tx0, ty0, tx1, ty1, _ = p['tab']
    hx0, hy0, hx1, hy1 = p['hole']
    cx0, cy0, cx1, cy1, _ = p['clip']
    off = p['shadow']
    K = hexcol('K')
    o = 0.5  # pixel centre

    def pts(points):
        return ' '.join('%g,%g' % xy for xy in points)

    sheet_pts = [(sx0 + o, sy0 + o), (sx1 + o, sy0 + o),
                 (sx1 + o, sy1 - fold + o), (sx1 - fold + o, sy1 + o),
                 (sx0 + o, sy1 + o)]
    shadow_pts = [(x + off, y + off) for x, y in sheet_pts]
    flap_pts = [(sx1 - fold + o, sy1 - fold + o), (sx1 + o, sy1 - fold + o),
                (sx1 - fold + o, sy1 + o)]
    parts = []
    add = parts.append
    add('<svg xmlns="http://www.w3.org/2000/svg" width="48" height="48" '
        'viewBox="0 0 48 48">')
    add('  <title>Kestrova</title>')
    add('  <defs>')
    add('    <linearGradient id="board" x1="0" y1="0" x2="1" y2="0">')
    add('      <stop offset="0" stop-color="%s"/>' % hexcol('h'))
    add('      <stop offset="0.12" stop-color="%s"/>' % hexcol('B'))
    add('      <stop offset="0.88" stop-color="%s"/>' % hexcol('B'))
    add('      <stop offset="1" stop-color="%s"/>' % hexcol('b'))
    add('    </linearGradient>')
    add('    <linearGradient id="jaw" x1="0" y1="0" x2="0" y2="1">')
    split = (p['clip_dark_from'] - (cy0 + o)) / float(cy1 - cy0)
    add('      <stop offset="%.3f" stop-color="%s"/>' % (split, hexcol('S')))
    add('      <stop offset="%.3f" stop-color="%s"/>' % (split, hexcol('s')))
    add('    </linearGradient>')
    add('  </defs>')
    add('  <rect x="%g" y="%g" width="%g" height="%g" rx="3.5" '
        'fill="url(#board)" stroke="%s"/>'
        % (bx0 + o, by0 + o, bx1 - bx0, by1 - by0, K))
    add('  <polygon points="%s" fill="%s"/>' % (pts(shadow_pts), hexcol('b')))
    add('  <polygon points="%s" fill="%s" stroke="%s" stroke-linejoin="round"/>'
        % (pts(sheet_pts), hexcol('W'), K))
    add('  <polygon points="%s" fill="%s" stroke="%s" stroke-linejoin="round"/>'
        % (pts(flap_pts), hexcol('F'), hexcol('s')))
    add('  <line x1="%g" y1="%g" x2="%g" y2="%g" stroke="%s" '
        'stroke-linecap="round"/>'
        % (sx1 + o, sy1 - fold + o, sx1 - fold + o, sy1 + o, K))
    add('  <g fill="%s">' % hexcol('L'))
    for y, thick, items in p['lines']:
        for item in items:
            if item[0] != '\\':
                add('    <rect x="%g" y="%g" width="%g" height="%g" rx="0.5"/>'
                    % (item[0], y, item[1] - item[0] + 1, thick))
    add('  </g>')
    add('  <g fill="%s">' % hexcol('A'))
    h = len(p['slash_steps'])
    w = p['slash_w']
    run = p['slash_steps'][-1]
    for y, thick, items in p['lines']:
        for item in items:
            if item[0] == '\\':
                x0, top = item[1], y - p['slash_up']
                add('    <polygon points="%s"/>' % pts([
                    (x0, top), (x0 + w, top),
                    (x0 + run + w, top + h), (x0 + run, top + h)]))
    add('  </g>')
    add('  <rect x="%g" y="%g" width="%g" height="%g" rx="2.5" fill="%s" '
        'stroke="%s"/>' % (tx0 + o, ty0 + o, tx1 - tx0, ty1 - ty0,
                           hexcol('S'), K))
    add('  <rect x="%g" y="%g" width="%g" height="%g" rx="1" fill="%s"/>'
        % (hx0, hy0, hx1 - hx0 + 1, hy1 - hy0 + 1, hexcol('d')))
    add('  <rect x="%g" y="%g" width="%g" height="%g" rx="2.5" '
        'fill="url(#jaw)" stroke="%s"/>'
        % (cx0 + o, cy0 + o, cx1 - cx0, cy1 - cy0, K))
    add('</svg>')
    return '\n'.join(parts) + '\n'


def main():
    grids = {
        16: parse(GRID16),
        32: draw(32, LAYOUT32),
        48: draw(48, LAYOUT48),
    }
    for n, g in grids.items():
        check(g, n)
        write_png(os.path.join(HERE, 'kestrova-%d.png' % n), g)
        if '--preview' in sys.argv:
            print('%d x %d' % (n, n))
            print('\n'.join(g))
            print()
    write_ico(os.path.join(HERE, 'kestrova.ico'), [grids[16], grids[32], grids[48]])
    with open(os.path.join(HERE, 'kestrova.svg'), 'w') as f:
        f.write(svg())


if __name__ == '__main__':
    main()
