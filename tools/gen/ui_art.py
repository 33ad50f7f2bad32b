#!/usr/bin/env python3
"""Draws the module's pictures: the banner bitmaps 5, 6 and 7, the cursors 4, 27 and 28, and
the product's icon.

    ui_art.py OUTPUT_DIR [--preview]

Writes banner_5.bmp, banner_6.bmp, banner_7.bmp (119 x 20, 8 bits per pixel, 40-byte
header), hand_4.cur, thumb_left_27.cur, thumb_right_28.cur, product.ico (the banner's
badge at 16, 32 and 48 pixels, 32 bits per pixel with alpha) and wizard.bmp (the setup
program's side picture, 164 x 314, 24 bits per pixel) into OUTPUT_DIR; with
--preview also banners.ppm, the three banners enlarged six times, for looking at them.
The same input always gives the same bytes (no randomness, no clock, no fonts of the
machine): the letters are drawn from the geometry below.
"""
import os
import struct
import sys

WIDTH, HEIGHT = 119, 20
SUB = 4  # samples per pixel along each axis


def mix(a, b, t):
    return tuple(a[i] + (b[i] - a[i]) * t for i in range(3))


# --- shapes: each answers whether a point (x, y) in pixel units lies inside ----------------

def capsule(x0, y0, x1, y1, r):
    dx, dy = x1 - x0, y1 - y0
    length2 = dx * dx + dy * dy

    def inside(x, y):
        t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - x0) * dx + (y - y0) * dy) / length2))
        px, py = x0 + t * dx - x, y0 + t * dy - y
        return px * px + py * py <= r * r
    return inside


def box(x0, y0, x1, y1):
    return lambda x, y: x0 <= x < x1 and y0 <= y < y1


def ring(cx, cy, rx, ry, width, keep=lambda x, y: True):
    def inside(x, y):
        outer = ((x - cx) / rx) ** 2 + ((y - cy) / ry) ** 2
        inner = ((x - cx) / (rx - width)) ** 2 + ((y - cy) / (ry - width)) ** 2
        return outer <= 1.0 and inner > 1.0 and keep(x, y)
    return inside


def rounded_box(x0, y0, x1, y1, radius):
    def inside(x, y):
        if not (x0 <= x < x1 and y0 <= y < y1):
            return False
        cx = min(max(x, x0 + radius), x1 - radius)
        cy = min(max(y, y0 + radius), y1 - radius)
        return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
    return inside


def union(*shapes):
    return lambda x, y: any(s(x, y) for s in shapes)


# --- the wordmark: geometric capitals, 10 pixels tall, 2-pixel strokes -------------------

TOP, BOTTOM = 5.0, 15.0
STROKE = 1.0  # half the stroke width


def letter_v(x):
    return union(capsule(x + 1, TOP + 1, x + 4.5, BOTTOM - 1, STROKE),
                 capsule(x + 8, TOP + 1, x + 4.5, BOTTOM - 1, STROKE)), 9


def letter_a(x):
    # An open A without its bar, mirroring the V.
    return union(capsule(x + 1, BOTTOM - 1, x + 4.5, TOP + 1, STROKE),
                 capsule(x + 8, BOTTOM - 1, x + 4.5, TOP + 1, STROKE)), 9


def letter_n(x):
    return union(box(x, TOP, x + 2, BOTTOM), box(x + 6, TOP, x + 8, BOTTOM),
                 capsule(x + 1, TOP + 1, x + 7, BOTTOM - 1, STROKE)), 8


def letter_t(x):
    return union(box(x, TOP, x + 8, TOP + 2), box(x + 3, TOP, x + 5, BOTTOM)), 8


def letter_o(x):
    return ring(x + 4.5, (TOP + BOTTOM) / 2, 4.5, 5.0, 2.0), 9


def letter_r(x):
    bowl_mid = TOP + 5.5
    return union(box(x, TOP, x + 2, BOTTOM),
                 box(x, TOP, x + 4, TOP + 2),
                 box(x, bowl_mid - 1, x + 4, bowl_mid + 1),
                 ring(x + 4, (TOP + bowl_mid + 1) / 2, 3.5, 3.25, 2.0,
                      keep=lambda px, py, x=x: px >= x + 4),
                 capsule(x + 4.5, bowl_mid + 0.5, x + 7, BOTTOM - 1, STROKE)), 8


def wordmark(x):
    shapes = []
    for make in (letter_v, letter_a, letter_n, letter_t, letter_o, letter_r):
        shape, width = make(x)
        shapes.append(shape)
        x += width + 2
    return union(*shapes), x


def digit_one(x):
    return union(box(x + 2, TOP, x + 4, BOTTOM),
                 capsule(x + 0.5, TOP + 2.2, x + 3, TOP + 0.8, 0.8)), 5


# --- the three banners ------------------------------------------------------------------

THEMES = {
    # picture 5: the banner at rest
    5: dict(top=(24, 38, 64), bottom=(11, 18, 33), sheen=0.05, badge_a=(38, 170, 196),
            badge_b=(40, 102, 196), mark=(255, 255, 255), text=(226, 233, 243),
            accent=(232, 160, 58), rule=(70, 88, 120), glow=0.0),
    # picture 6: highlighted, under the pointer
    6: dict(top=(34, 56, 96), bottom=(16, 28, 52), sheen=0.08, badge_a=(70, 214, 232),
            badge_b=(62, 136, 240), mark=(255, 255, 255), text=(255, 255, 255),
            accent=(255, 196, 92), rule=(110, 140, 190), glow=0.35),
    # picture 7: a light version for light surroundings
    7: dict(top=(246, 247, 250), bottom=(222, 226, 234), sheen=0.0, badge_a=(38, 150, 176),
            badge_b=(40, 92, 176), mark=(255, 255, 255), text=(34, 44, 64),
            accent=(206, 128, 30), rule=(170, 178, 192), glow=0.0),
}


def render_banner(theme):
    badge = rounded_box(3, 2, 19, 18, 3.0)
    mark = union(capsule(7, 6.5, 11, 13.5, 1.1), capsule(15, 6.5, 11, 13.5, 1.1))
    word, end = wordmark(25)
    one, _ = digit_one(end + 6)
    rule = box(end + 2, 6, end + 3, 14)
    pixels = []
    for py in range(HEIGHT):
        row = []
        for px in range(WIDTH):
            acc = [0.0, 0.0, 0.0]
            for sy in range(SUB):
                for sx in range(SUB):
                    x = px + (sx + 0.5) / SUB
                    y = py + (sy + 0.5) / SUB
                    t = y / HEIGHT
                    c = mix(theme['top'], theme['bottom'], t)
                    # A soft diagonal sheen across the upper half.
                    sheen = max(0.0, 1.0 - abs((x - 2.2 * y) - 60) / 40.0) * theme['sheen']
                    c = mix(c, (255, 255, 255), sheen * (1.0 - t))
                    if theme['glow'] > 0:
                        d2 = (x - 11) ** 2 + (y - 10) ** 2
                        c = mix(c, theme['badge_a'], theme['glow'] * max(0.0, 1.0 - d2 / 160.0))
                    if badge(x, y):
                        c = mix(theme['badge_a'], theme['badge_b'], (x - 3 + y - 2) / 32.0)
                        if mark(x, y):
                            c = theme['mark']
                    elif word(x, y):
                        c = theme['text']
                    elif one(x, y):
                        c = theme['accent']
                    elif rule(x, y):
                        c = theme['rule']
                    for i in range(3):
                        acc[i] += c[i]
            row.append(tuple(int(v / (SUB * SUB) + 0.5) for v in acc))
        pixels.append(row)
    return pixels


def median_cut(colours, count):
    """Reduces the distinct colours to at most `count` by splitting the widest box."""
    boxes = [sorted(colours)]
    while len(boxes) < count:
        best, best_range, best_axis = None, -1, 0
        for i, b in enumerate(boxes):
            if len(b) < 2:
                continue
            for axis in range(3):
                values = [c[axis] for c in b]
                r = max(values) - min(values)
                if r > best_range:
                    best, best_range, best_axis = i, r, axis
        if best is None or best_range == 0:
            break
        b = sorted(boxes.pop(best), key=lambda c: (c[best_axis], c))
        half = len(b) // 2
        boxes += [b[:half], b[half:]]
    return [tuple(sum(c[i] for c in b) // len(b) for i in range(3)) for b in boxes]


def palette_for(pixels):
    distinct = sorted({c for row in pixels for c in row})
    palette = distinct if len(distinct) <= 256 else median_cut(distinct, 256)
    index = {}
    for c in distinct:
        index[c] = min(range(len(palette)),
                       key=lambda i: sum((palette[i][k] - c[k]) ** 2 for k in range(3)))
    return palette, index


def write_bmp8(path, pixels):
    palette, index = palette_for(pixels)
    palette += [(0, 0, 0)] * (256 - len(palette))
    stride = (WIDTH + 3) & ~3
    bits = bytearray()
    for row in reversed(pixels):  # bottom-up rows
        bits += bytes(index[c] for c in row) + bytes(stride - WIDTH)
    table = b''.join(struct.pack('<BBBB', b, g, r, 0) for (r, g, b) in palette)
    info = struct.pack('<IiiHHIIiiII', 40, WIDTH, HEIGHT, 1, 8, 0, len(bits), 2835, 2835, 256, 0)
    offset = 14 + len(info) + len(table)
    header = struct.pack('<2sIHHI', b'BM', offset + len(bits), 0, 0, offset)
    with open(path, 'wb') as f:
        f.write(header + info + table + bytes(bits))


# --- cursors: 32 x 32, two colours; '#' black, '.' white, ' ' see-through ----------------

HAND = [
    "     ##",
    "    #..#",
    "    #..#",
    "    #..#",
    "    #..#",
    "    #..###",
    "    #..#..##",
    "    #..#..#.##",
    "    #..#..#..#.#",
    " ## #..#..#..#..#",
    "#..##..#..#..#..#",
    "#...#...........#",
    " #..#...........#",
    " #..............#",
    "  #.............#",
    "  #............#",
    "   #...........#",
    "   #..........#",
    "    #.........#",
    "    #.........#",
    "    ###########",
]

ARROW = [
    "#",
    "##",
    "#.#",
    "#..#",
    "#...#",
    "#....#",
    "#.....#",
    "#......#",
    "#.......#",
    "#........#",
    "#.....#####",
    "#..#..#",
    "#.# #..#",
    "##  #..#",
    "#    #..#",
    "     #..#",
    "      ##",
]


def thumb_pointer(active_left):
    rows = [list(r.ljust(32)) for r in ARROW] + [list(' ' * 32) for _ in range(32 - len(ARROW))]
    # Two fader thumbs side by side below the pointer's tip; the marked one is filled.
    for i, left in enumerate((12, 18)):
        filled = (i == 0) == active_left
        for y in range(11, 20):
            for x in range(left, left + 5):
                edge = y in (11, 19) or x in (left, left + 4)
                rows[y][x] = '#' if edge or filled else '.'
            if filled:
                rows[15][left + 1:left + 4] = list('...')  # the thumb's centre line
    return [''.join(r) for r in rows]


def write_cursor(path, art, hotspot):
    art = [r.ljust(32) for r in art] + [' ' * 32] * (32 - len(art))
    xor_rows, and_rows = [], []
    for row in reversed(art):  # bottom-up rows
        xor_bits = and_bits = 0
        for x, ch in enumerate(row):
            bit = 1 << (31 - x)
            if ch == ' ':
                and_bits |= bit
            elif ch == '.':
                xor_bits |= bit
        xor_rows.append(struct.pack('>I', xor_bits))
        and_rows.append(struct.pack('>I', and_bits))
    info = struct.pack('<IiiHHIIiiII', 40, 32, 64, 1, 1, 0, 256, 0, 0, 2, 0)
    table = struct.pack('<BBBBBBBB', 0, 0, 0, 0, 255, 255, 255, 0)
    image = info + table + b''.join(xor_rows) + b''.join(and_rows)
    directory = struct.pack('<HHH', 0, 2, 1)
    entry = struct.pack('<BBBBHHII', 32, 32, 2, 0, hotspot[0], hotspot[1], len(image), 22)
    with open(path, 'wb') as f:
        f.write(directory + entry + image)


# --- the product's icon: the banner's badge, a rounded square with the V, at any size -----

def render_icon(size, theme=THEMES[5]):
    """Rows of (r, g, b, a): the badge's 16-unit design scaled to `size` pixels."""
    unit = size / 16.0
    badge = rounded_box(0.5, 0.5, 15.5, 15.5, 3.2)
    mark = union(capsule(4.0, 4.2, 8.0, 11.8, 1.35), capsule(12.0, 4.2, 8.0, 11.8, 1.35))
    sub = 8 if size <= 16 else SUB
    rows = []
    for py in range(size):
        row = []
        for px in range(size):
            acc = [0.0, 0.0, 0.0]
            cover = 0
            for sy in range(sub):
                for sx in range(sub):
                    x = (px + (sx + 0.5) / sub) / unit
                    y = (py + (sy + 0.5) / sub) / unit
                    if not badge(x, y):
                        continue
                    c = theme['mark'] if mark(x, y) else mix(theme['badge_a'], theme['badge_b'],
                                                             (x + y) / 32.0)
                    cover += 1
                    for i in range(3):
                        acc[i] += c[i]
            if cover == 0:
                row.append((0, 0, 0, 0))
            else:
                row.append(tuple(int(v / cover + 0.5) for v in acc) +
                           (int(255 * cover / (sub * sub) + 0.5),))
        rows.append(row)
    return rows


def write_icon(path, sizes=(16, 32, 48)):
    images = []
    for size in sizes:
        rows = render_icon(size)
        xor = bytearray()
        mask = bytearray()
        mask_stride = ((size + 31) // 32) * 4
        for row in reversed(rows):  # bottom-up rows
            bits = 0
            for (r, g, b, a) in row:
                xor += bytes((b, g, r, a))
            for x, (_, _, _, a) in enumerate(row):
                if a == 0:
                    bits |= 1 << (mask_stride * 8 - 1 - x)
            mask += bits.to_bytes(mask_stride, 'big')
        info = struct.pack('<IiiHHIIiiII', 40, size, 2 * size, 1, 32, 0, len(xor) + len(mask),
                           0, 0, 0, 0)
        images.append((size, info + bytes(xor) + bytes(mask)))
    offset = 6 + 16 * len(images)
    directory = struct.pack('<HHH', 0, 1, len(images))
    for size, image in images:
        directory += struct.pack('<BBBBHHII', size % 256, size % 256, 0, 0, 1, 32, len(image),
                                 offset)
        offset += len(image)
    with open(path, 'wb') as f:
        f.write(directory + b''.join(image for _, image in images))


# --- the setup program's side picture: 164 x 314, the badge and the wordmark on the banner's
# night blue, with a few faint echo arcs -----------------------------------------------------

WIZARD_W, WIZARD_H = 164, 314


def render_wizard(theme=THEMES[5]):
    badge_size = 64.0
    bx, by = (WIZARD_W - badge_size) / 2, 56.0
    unit = badge_size / 16.0
    badge = rounded_box(0.5, 0.5, 15.5, 15.5, 3.2)
    mark = union(capsule(4.0, 4.2, 8.0, 11.8, 1.35), capsule(12.0, 4.2, 8.0, 11.8, 1.35))
    word_scale = 1.25
    word, end = wordmark(0)
    one, one_width = digit_one(end + 4)
    word_width = (end + 4 + one_width) * word_scale
    word_left = (WIZARD_W - word_width) / 2
    word_top = by + badge_size + 18 - TOP * word_scale
    # Only the badge and the wordmark need samples inside the pixel.
    shapes_top, shapes_bottom = by - 1, word_top + BOTTOM * word_scale + 1

    def background(x, y):
        c = mix(theme['top'], theme['bottom'], y / WIZARD_H)
        # Echoes: rings spreading from low in the picture, fainter outwards.
        d = ((x - WIZARD_W / 2) ** 2 + (y - 250) ** 2) ** 0.5
        k = max(1, round(d / 22.0))
        if k <= 5:
            c = mix(c, theme['badge_a'], max(0.0, 1.0 - abs(d - 22 * k)) * 0.35 / k)
        return c

    pixels = []
    for py in range(WIZARD_H):
        row = []
        for px in range(WIZARD_W):
            if not shapes_top <= py <= shapes_bottom:
                row.append(tuple(int(v + 0.5) for v in background(px + 0.5, py + 0.5)))
                continue
            acc = [0.0, 0.0, 0.0]
            for sy in range(SUB):
                for sx in range(SUB):
                    x = px + (sx + 0.5) / SUB
                    y = py + (sy + 0.5) / SUB
                    ix, iy = (x - bx) / unit, (y - by) / unit
                    wx, wy = (x - word_left) / word_scale, (y - word_top) / word_scale
                    if badge(ix, iy):
                        c = theme['mark'] if mark(ix, iy) else mix(theme['badge_a'],
                                                                   theme['badge_b'],
                                                                   (ix + iy) / 32.0)
                    elif word(wx, wy):
                        c = theme['text']
                    elif one(wx, wy):
                        c = theme['accent']
                    else:
                        c = background(x, y)
                    for i in range(3):
                        acc[i] += c[i]
            row.append(tuple(int(v / (SUB * SUB) + 0.5) for v in acc))
        pixels.append(row)
    return pixels


def write_bmp24(path, pixels):
    height, width = len(pixels), len(pixels[0])
    stride = (width * 3 + 3) & ~3
    bits = bytearray()
    for row in reversed(pixels):  # bottom-up rows
        bits += b''.join(bytes((b, g, r)) for (r, g, b) in row) + bytes(stride - width * 3)
    info = struct.pack('<IiiHHIIiiII', 40, width, height, 1, 24, 0, len(bits), 2835, 2835, 0, 0)
    header = struct.pack('<2sIHHI', b'BM', 14 + len(info) + len(bits), 0, 0, 14 + len(info))
    with open(path, 'wb') as f:
        f.write(header + info + bytes(bits))


def write_icon_preview(path, rows, scale=4):
    """The icon over white, enlarged."""
    lines = []
    for row in rows:
        line = b''.join(bytes(int(255 + (c[k] - 255) * c[3] / 255.0) for k in range(3)) * scale
                        for c in row)
        lines += [line] * scale
    with open(path, 'wb') as f:
        f.write(b'P6 %d %d 255\n' % (len(rows[0]) * scale, len(lines)) + b''.join(lines))


def write_preview(path, banners, scale=6):
    rows = []
    for pixels in banners:
        for row in pixels:
            line = b''.join(bytes(c) * scale for c in row)
            rows += [line] * scale
        rows += [bytes((255, 255, 255)) * (WIDTH * scale)] * scale
    with open(path, 'wb') as f:
        f.write(b'P6 %d %d 255\n' % (WIDTH * scale, len(rows)) + b''.join(rows))


def main():
    if len(sys.argv) < 2:
        sys.exit(__doc__)
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    banners = []
    for ident in (5, 6, 7):
        pixels = render_banner(THEMES[ident])
        banners.append(pixels)
        write_bmp8(os.path.join(out, 'banner_%d.bmp' % ident), pixels)
    write_cursor(os.path.join(out, 'hand_4.cur'), HAND, (5, 0))
    write_cursor(os.path.join(out, 'thumb_left_27.cur'), thumb_pointer(True), (0, 0))
    write_cursor(os.path.join(out, 'thumb_right_28.cur'), thumb_pointer(False), (0, 0))
    write_icon(os.path.join(out, 'product.ico'))
    write_bmp24(os.path.join(out, 'wizard.bmp'), render_wizard())
    if '--preview' in sys.argv[2:]:
        write_preview(os.path.join(out, 'banners.ppm'), banners)
        write_icon_preview(os.path.join(out, 'icon.ppm'), render_icon(48))


if __name__ == '__main__':
    main()
