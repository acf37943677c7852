#!/usr/bin/python3
"""Draws a small OpenType font with CFF outlines for the font tests (no such font is installed
on the build machines): seven glyphs of straight and curved contours, horizontal metrics and a
kern table. Needs python3-fonttools (Debian). Run: make_cff_font.py OUT.otf."""
import sys

from fontTools.fontBuilder import FontBuilder
from fontTools.pens.t2CharStringPen import T2CharStringPen
from fontTools.ttLib import newTable
from fontTools.ttLib.tables._k_e_r_n import KernTable_format_0

GLYPHS = {
    ".notdef": (500, [[(50, 0), (450, 0), (450, 700), (50, 700)]]),
    "space": (300, []),
    "A": (650, [[(0, 0), (120, 0), (325, 560), (530, 0), (650, 0), (380, 700), (270, 700)]]),
    "V": (650, [[(270, 0), (380, 0), (650, 700), (530, 700), (325, 140), (120, 700), (0, 700)]]),
    "H": (700, [[(80, 0), (190, 0), (190, 300), (510, 300), (510, 0), (620, 0), (620, 700), (510, 700),
                 (510, 400), (190, 400), (190, 700), (80, 700)]]),
    "T": (600, [[(245, 0), (355, 0), (355, 600), (580, 600), (580, 700), (20, 700), (20, 600), (245, 600)]]),
}
CMAP = {32: "space", 65: "A", 86: "V", 72: "H", 84: "T", 111: "o"}


def polygon(pen, points):
    pen.moveTo(points[0])
    for p in points[1:]:
        pen.lineTo(p)
    pen.closePath()


def ring(pen):
    # An outer and an inner curve, drawn as cubic quarter arcs.
    for (cx, cy, r, sign) in ((300, 260, 260, 1), (300, 260, 150, -1)):
        k = 0.552 * r
        pen.moveTo((cx + r, cy))
        quarters = [((cx + r, cy + sign * k), (cx + k, cy + sign * r), (cx, cy + sign * r)),
                    ((cx - k, cy + sign * r), (cx - r, cy + sign * k), (cx - r, cy)),
                    ((cx - r, cy - sign * k), (cx - k, cy - sign * r), (cx, cy - sign * r)),
                    ((cx + k, cy - sign * r), (cx + r, cy - sign * k), (cx + r, cy))]
        for q in quarters:
            pen.curveTo(*q)
        pen.closePath()


def main(out):
    order = [".notdef", "space", "A", "V", "H", "T", "o"]
    fb = FontBuilder(1000, isTTF=False)
    fb.setupGlyphOrder(order)
    fb.setupCharacterMap(CMAP)
    charstrings, metrics = {}, {}
    for name in order:
        width = GLYPHS[name][0] if name in GLYPHS else 600
        pen = T2CharStringPen(width, None)
        if name == "o":
            ring(pen)
        else:
            for contour in GLYPHS[name][1]:
                polygon(pen, contour)
        charstrings[name] = pen.getCharString()
        metrics[name] = (width, 0)
    fb.setupCFF("ZintarelTestCFF", {"FullName": "Zintarel Test CFF"}, charstrings, {})
    fb.setupHorizontalMetrics(metrics)
    fb.setupHorizontalHeader(ascent=800, descent=-200)
    fb.setupNameTable({"familyName": "Zintarel Test CFF", "styleName": "Regular"})
    fb.setupOS2(sTypoAscender=800, sTypoDescender=-200, usWinAscent=800, usWinDescent=200)
    fb.setupPost()
    kern = newTable("kern")
    pairs = KernTable_format_0()
    pairs.version, pairs.format, pairs.coverage, pairs.tupleIndex = 0, 0, 1, 0
    pairs.kernTable = {("A", "V"): -80, ("V", "A"): -80, ("T", "o"): -60}
    kern.version, kern.kernTables = 0, [pairs]
    fb.font["kern"] = kern
    fb.save(out)


if __name__ == "__main__":
    main(sys.argv[1])
