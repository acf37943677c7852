#!/usr/bin/env python3
"""Draws the pictures the runtime ships beside the executable, as RGBA PNG files: the
controller picture of the mapping screen (1280 x 720, with the part highlights of
zintar/controller_config.rb on its controls) and the console's logo (80 x 80).
Run: draw_pictures.py FOLDER."""
import os
import struct
import sys
import zlib

W, H = 1280, 720
# Highlight boxes (bottom-left corner, y up, 41 wide) of the parts, as the screen places them.
PARTS = [(919, 282), (960, 323), (878, 323), (919, 365), (433, 246), (497, 246), (466, 283), (466, 218),
         (466, 246), (741, 246), (802, 246), (773, 283), (773, 218), (772, 246), (263, 465), (263, 503),
         (977, 465), (977, 503), (318, 365), (360, 322), (318, 280), (275, 322), (570, 402), (619, 448),
         (669, 402)]
BODY, EDGE, CONTROL, STICK = (214, 216, 224), (96, 98, 110), (120, 122, 134), (160, 162, 172)


def centre(part):
    x, y = PARTS[part]
    return x + 20.5, H - (y + 20.5)


def coverage(d):
    """Anti-aliased coverage of a pixel whose centre lies d inside (positive) a shape's edge."""
    return max(0.0, min(1.0, d + 0.5))


def circle(cx, cy, r):
    return lambda x, y: r - ((x - cx) ** 2 + (y - cy) ** 2) ** 0.5


def box(x0, y0, x1, y1):
    return lambda x, y: min(x - x0, x1 - x, y - y0, y1 - y)


def union(*shapes):
    return lambda x, y: max(s(x, y) for s in shapes)


def outlined(shape, fill, edge, width=3):
    return [(shape, edge), (lambda x, y: shape(x, y) - width, fill)]




def segment(x0, y0, x1, y1, r):
    """A stroke of half-width r from (x0, y0) to (x1, y1), with round ends."""
    def d(x, y):
        vx, vy, wx, wy = x1 - x0, y1 - y0, x - x0, y - y0
        t = max(0.0, min(1.0, (wx * vx + wy * vy) / (vx * vx + vy * vy)))
        return r - ((wx - t * vx) ** 2 + (wy - t * vy) ** 2) ** 0.5
    return d


def controller_layers():
    lx, ly = centre(8)
    rx, ry = centre(13)
    dx, dy = (centre(19)[0] + centre(21)[0]) / 2, (centre(18)[1] + centre(20)[1]) / 2
    body = union(circle(330, 400, 150), circle(950, 400, 150), box(330, 250, 950, 520))
    layers = outlined(body, BODY, EDGE)
    for part in (14, 15, 16, 17):  # shoulders and triggers
        cx, cy = centre(part)
        layers += outlined(box(cx - 34, cy - 16, cx + 34, cy + 16), CONTROL, EDGE, 2)
    for sx, sy in ((lx, ly), (rx, ry)):  # sticks
        layers += outlined(circle(sx, sy, 58), STICK, EDGE, 2)
    layers += outlined(union(box(dx - 18, dy - 62, dx + 18, dy + 62), box(dx - 62, dy - 18, dx + 62, dy + 18)),
                       CONTROL, EDGE, 2)
    for part in (0, 1, 2, 3, 22, 23, 24, 8, 13):  # face buttons, back, guide, start, stick tops
        cx, cy = centre(part)
        layers += outlined(circle(cx, cy, 18), CONTROL, EDGE, 2)

    return layers


def logo_layers():
    panel = union(circle(14, 14, 12), circle(66, 14, 12), circle(14, 66, 12), circle(66, 66, 12),
                  box(2, 14, 78, 66), box(14, 2, 66, 78))
    prompt = union(segment(22, 26, 38, 40, 4), segment(38, 40, 22, 54, 4), segment(44, 56, 60, 56, 4))
    return outlined(panel, (40, 44, 60), (220, 224, 235), 3) + [(prompt, (235, 238, 245))]


def render(w, h, layers):
    rows = []
    for y in range(h):
        row = bytearray([0])
        for x in range(w):
            r = g = b = a = 0.0
            for shape, (cr, cg, cb) in layers:
                k = coverage(shape(x + 0.5, y + 0.5))
                if k > 0:
                    r, g, b = r + (cr - r) * k, g + (cg - g) * k, b + (cb - b) * k
                    a = a + (1 - a) * k
            row += bytes((int(r), int(g), int(b), int(a * 255)))
        rows.append(bytes(row))
    return rows


def chunk(kind, data):
    return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)


def write_png(path, w, h, rows):
    png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", w, h, 8, 6, 0, 0, 0))
    png += chunk(b"IDAT", zlib.compress(b"".join(rows), 9)) + chunk(b"IEND", b"")
    with open(path, "wb") as out:
        out.write(png)


folder = sys.argv[1]
write_png(os.path.join(folder, "console-logo.png"), 80, 80, render(80, 80, logo_layers()))
write_png(os.path.join(folder, "zintarel-controller.png"), W, H, render(W, H, controller_layers()))
