#!/usr/bin/env python3
"""Writes a corpus of pictures, fonts and sounds into a folder: valid files of every kind the
runtime's loaders accept by content, and broken ones made from them (cut short at many lengths,
flipped bits, wrong magic, huge and zero sizes in their headers, files of one kind named as
another). Deterministic: the same seed and size give the same bytes.

    broken_assets.py OUT [--size small|large|N] [--seed N] [--only pictures,fonts,sounds] [--huge]

OUT/pictures, OUT/fonts and OUT/sounds hold the files; OUT/manifest.tsv has one line per file:
path, use (picture, font, sound), what a loader must make of it (ok: loads; fail: refused;
any: either, but safely), and for pictures that load their width, height and the RGBA of their
first pixel ("-" where the format does not keep it exactly). Only the standard library is used.
"""
import argparse
import math
import os
import random
import struct
import sys
import zlib

DEJAVU = "/usr/share/fonts/truetype/dejavu/DejaVuSans.ttf"
HERE = os.path.dirname(os.path.abspath(__file__))
OGG_SEEDS = [os.path.join(HERE, "..", "tests", "data", n) for n in ("tone_mono.ogg", "tone_3ch.ogg")]


class Corpus:
    def __init__(self, out, per_seed, seed):
        self.out = out
        self.per_seed = per_seed
        self.seed = seed
        self.lines = []
        self.names = set()

    def rng(self, name):
        # One generator per seed file and kind of damage: adding a case elsewhere changes nothing here.
        return random.Random("%d/%s" % (self.seed, name))

    def add(self, folder, name, data, use, expect, size=None, first=None):
        path = "%s/%s" % (folder, name)
        if path in self.names:
            raise SystemExit("broken_assets: %s written twice" % path)
        self.names.add(path)
        with open(os.path.join(self.out, path), "wb") as f:
            f.write(data)
        w, h = size if size else ("-", "-")
        first_hex = "%08x" % first if first is not None else "-"
        self.lines.append("\t".join([path, use, expect, str(w), str(h), first_hex]))

    def add_sparse(self, folder, name, head, length, use):
        # A huge file that costs no disk: its header, then a hole up to length bytes.
        path = "%s/%s" % (folder, name)
        self.names.add(path)
        with open(os.path.join(self.out, path), "wb") as f:
            f.write(head)
            f.truncate(length)
        self.lines.append("\t".join([path, use, "fail", "-", "-", "-"]))

    def mutants(self, folder, stem, ext, data, use, boundaries=(), header_bytes=512):
        """Cut short and bit-flipped copies of data: at every given boundary (and one byte
        either side), at fixed small lengths, and at per_seed random lengths; per_seed copies
        with a few bits flipped in the header, per_seed anywhere, per_seed with bytes set to
        extreme values."""
        rng = self.rng(folder + "/" + stem)
        n = len(data)
        large = self.per_seed >= 20
        cuts = {0, 1, 2, 4, 7, 8, 12, 16, 33, n - 1} if large else {0, 8, 16, n - 1}
        for b in boundaries:
            cuts.update((b - 1, b, b + 1) if large else (b,))
        for _ in range(self.per_seed):
            cuts.add(rng.randrange(1, n))
        for cut in sorted(c for c in cuts if 0 <= c < n):
            self.add(folder, "%s.cut%d%s" % (stem, cut, ext), data[:cut], use, "any")
        for kind in ("head", "flip", "set"):
            for i in range(self.per_seed):
                b = bytearray(data)
                span = min(n, header_bytes) if kind == "head" else n
                for _ in range(rng.randint(1, 8)):
                    at = rng.randrange(span)
                    if kind == "set":
                        b[at] = rng.choice((0x00, 0xFF, 0x7F, 0x80, 0x01, 0xFE))
                    else:
                        b[at] ^= 1 << rng.randrange(8)
                self.add(folder, "%s.%s%d%s" % (stem, kind, i, ext), bytes(b), use, "any")

    def write_manifest(self):
        with open(os.path.join(self.out, "manifest.tsv"), "w") as f:
            f.write("\n".join(self.lines) + "\n")


# ---- pictures ------------------------------------------------------------------------------

def pattern(w, h):
    """RGBA rows (0..255 floats avoided: whole numbers) of a picture with some of everything:
    a gradient, a checker, a translucent band."""
    rows = []
    for y in range(h):
        row = []
        for x in range(w):
            r = (x * 255) // max(1, w - 1)
            g = (y * 255) // max(1, h - 1)
            b = 255 if (x // 4 + y // 4) % 2 else 0
            a = 128 if y == h - 1 else 255
            row.append((r, g, b, a))
        rows.append(row)
    return rows


def png_chunk(kind, body):
    return struct.pack(">I", len(body)) + kind + body + struct.pack(">I", zlib.crc32(kind + body) & 0xFFFFFFFF)


def png_samples(rows, colour_type, depth):
    """The samples of each pixel for a colour type and depth, and the RGBA stb gives back
    for the first pixel (high byte of 16-bit samples, low depths scaled up)."""
    maxv = (1 << depth) - 1
    out = []
    for row in rows:
        line = []
        for r, g, b, a in row:
            if colour_type == 0:
                line.append([(g * maxv) // 255])
            elif colour_type == 2:
                line.append([(r * maxv) // 255, (g * maxv) // 255, (b * maxv) // 255])
            elif colour_type == 3:
                line.append([((r // 64) * 4 + (g // 64)) % (1 << depth)])
            elif colour_type == 4:
                line.append([(g * maxv) // 255, (a * maxv) // 255])
            else:
                line.append([(r * maxv) // 255, (g * maxv) // 255, (b * maxv) // 255, (a * maxv) // 255])
        out.append(line)
    return out


def pack_row(samples, depth):
    if depth == 16:
        return b"".join(struct.pack(">H", s) for px in samples for s in px)
    if depth == 8:
        return bytes(s for px in samples for s in px)
    bits, acc, count, out = depth, 0, 0, bytearray()
    for px in samples:
        for s in px:
            acc = (acc << bits) | s
            count += bits
            if count == 8:
                out.append(acc)
                acc, count = 0, 0
    if count:
        out.append(acc << (8 - count))
    return bytes(out)


ADAM7 = [(0, 0, 8, 8), (4, 0, 8, 8), (0, 4, 4, 8), (2, 0, 4, 4), (0, 2, 2, 4), (1, 0, 2, 2), (0, 1, 1, 2)]


def png_scanlines(samples, depth, interlaced, filters=(0, 1, 2, 3, 4)):
    """Filtered scanlines (filter type cycling through all five) of the whole picture or of
    each Adam7 pass."""
    bpp = max(1, (len(samples[0][0]) * depth) // 8)
    images = []
    if interlaced:
        for x0, y0, dx, dy in ADAM7:
            sub = [row[x0::dx] for row in samples[y0::dy]]
            sub = [r for r in sub if r]
            if sub:
                images.append(sub)
    else:
        images.append(samples)
    out = bytearray()
    n = 0
    for image in images:
        prev = None
        for row in image:
            raw = pack_row(row, depth)
            kind = filters[n % len(filters)]
            n += 1
            out.append(kind)
            for i, v in enumerate(raw):
                a = raw[i - bpp] if i >= bpp else 0
                b = prev[i] if prev else 0
                c = prev[i - bpp] if prev and i >= bpp else 0
                if kind == 0:
                    p = 0
                elif kind == 1:
                    p = a
                elif kind == 2:
                    p = b
                elif kind == 3:
                    p = (a + b) // 2
                else:
                    pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                    p = a if pa <= pb and pa <= pc else b if pb <= pc else c
                out.append((v - p) & 0xFF)
            prev = raw
    return bytes(out)


def png_file(w, h, colour_type, depth, interlaced=False, rows=None, extra_before_idat=b"", idat_splits=1,
             ihdr=None, zlevel=6):
    rows = rows or pattern(w, h)
    samples = png_samples(rows, colour_type, depth)
    data = zlib.compress(png_scanlines(samples, depth, interlaced), zlevel)
    ihdr = ihdr or struct.pack(">IIBBBBB", w, h, depth, colour_type, 0, 0, 1 if interlaced else 0)
    chunks = [png_chunk(b"IHDR", ihdr)]
    if colour_type == 3:
        palette = bytearray()
        for i in range(1 << depth):
            palette += bytes(((i // 4) * 85 % 256, (i % 4) * 85, 255 - i % 256))
        chunks.append(png_chunk(b"PLTE", bytes(palette)))
        chunks.append(png_chunk(b"tRNS", bytes([128] + [255] * ((1 << depth) - 1))))
    chunks.append(extra_before_idat)
    step = max(1, -(-len(data) // idat_splits))
    for i in range(0, len(data), step):
        chunks.append(png_chunk(b"IDAT", data[i:i + step]))
    chunks.append(png_chunk(b"IEND", b""))
    return b"\x89PNG\r\n\x1a\n" + b"".join(chunks), first_png_pixel(samples, colour_type, depth)


def first_png_pixel(samples, colour_type, depth):
    s = samples[0][0]
    if colour_type == 3:
        i = s[0]
        return rgba_hex(((i // 4) * 85 % 256, (i % 4) * 85, 255 - i % 256, 128 if i == 0 else 255))
    scale = {1: 255, 2: 85, 4: 17, 8: 1}
    up = (lambda v: v >> 8) if depth == 16 else (lambda v: v * scale[depth])
    if colour_type == 0:
        return rgba_hex((up(s[0]),) * 3 + (255,))
    if colour_type == 2:
        return rgba_hex((up(s[0]), up(s[1]), up(s[2]), 255))
    if colour_type == 4:
        return rgba_hex((up(s[0]),) * 3 + (up(s[1]),))
    return rgba_hex(tuple(up(v) for v in s))


def rgba_hex(c):
    return (c[0] << 24) | (c[1] << 16) | (c[2] << 8) | c[3]


def png_streaming(w, h, depth, colour_type, row_bytes):
    """A large legal PNG compressed row by row (every row the same), cheap to make."""
    z = zlib.compressobj(6)
    row = b"\x00" + row_bytes
    body = bytearray()
    chunk = row * 256
    left = h
    while left > 0:
        take = min(256, left)
        body += z.compress(chunk if take == 256 else row * take)
        left -= take
    body += z.flush()
    ihdr = struct.pack(">IIBBBBB", w, h, depth, colour_type, 0, 0, 0)
    return (b"\x89PNG\r\n\x1a\n" + png_chunk(b"IHDR", ihdr) + png_chunk(b"IDAT", bytes(body)) +
            png_chunk(b"IEND", b""))


def png_cases(c):
    f = "pictures"
    legal = {0: (1, 2, 4, 8, 16), 2: (8, 16), 3: (1, 2, 4, 8), 4: (8, 16), 6: (8, 16)}
    seeds = []
    for colour_type, depths in legal.items():
        for depth in depths:
            for interlaced in (False, True):
                w, h = (13, 11) if interlaced else (16, 9)
                data, first = png_file(w, h, colour_type, depth, interlaced)
                name = "png_c%d_d%d%s" % (colour_type, depth, "_i" if interlaced else "")
                c.add(f, name + ".png", data, "picture", "ok", (w, h), first)
                seeds.append((name, data))
    # Legal oddities: one pixel, one column through all Adam7 passes, many IDATs, a chunk
    # the decoder does not know before the data, an empty first IDAT.
    for name, args, kw in [("png_1x1", (1, 1, 6, 8), {}), ("png_1x9_i", (1, 9, 2, 8, True), {}),
                           ("png_9x1_i", (9, 1, 0, 1, True), {}), ("png_many_idat", (16, 9, 6, 8), {"idat_splits": 40}),
                           ("png_unknown_chunk", (16, 9, 2, 8), {"extra_before_idat": png_chunk(b"zzZz", b"\0" * 20)}),
                           ("png_empty_first_idat", (16, 9, 6, 8), {"extra_before_idat": png_chunk(b"IDAT", b"")})]:
        data, first = png_file(*args, **kw)
        c.add(f, name + ".png", data, "picture", "ok", (args[0], args[1]), first)
    base, _ = png_file(16, 9, 6, 8)

    def with_ihdr(w, h, depth, colour_type, interlace=0, comp=0, filt=0):
        body = struct.pack(">IIBBBBB", w, h, depth, colour_type, comp, filt, interlace)
        return base[:8] + png_chunk(b"IHDR", body) + base[8 + 25:]

    bad = {
        "png_zero_width": with_ihdr(0, 9, 8, 6), "png_zero_height": with_ihdr(16, 0, 8, 6),
        "png_huge_16bit": with_ihdr(16384, 65536, 16, 6), "png_huge_both": with_ihdr(0x7FFFFFFF, 0x7FFFFFFF, 8, 6),
        "png_huge_ffffffff": with_ihdr(0xFFFFFFFF, 1, 8, 6), "png_huge_wide": with_ihdr(1 << 24, 1, 8, 0),
        "png_bad_depth": with_ihdr(16, 9, 7, 6), "png_bad_colour_type": with_ihdr(16, 9, 8, 5),
        "png_palette_16bit": with_ihdr(16, 9, 16, 3), "png_bad_interlace": with_ihdr(16, 9, 8, 6, interlace=2),
        "png_bad_compression": with_ihdr(16, 9, 8, 6, comp=1), "png_bad_filter_method": with_ihdr(16, 9, 8, 6, filt=1),
        "png_wrong_magic": b"\x89PNX" + base[4:], "png_no_idat": base[:33] + png_chunk(b"IEND", b""),
        "png_only_signature": base[:8], "png_empty": b"",
        "png_idat_garbage": base[:33] + png_chunk(b"IDAT", bytes(range(256)) * 4) + png_chunk(b"IEND", b""),
        "png_idat_huge_length": base[:33] + struct.pack(">I", 0x7FFFFFF0) + b"IDAT" + base[41:],
        "png_palette_missing": png_file(16, 9, 3, 8)[0].replace(b"PLTE", b"pLTE"),
        "png_palette_257": base[:33] + png_chunk(b"PLTE", b"\1" * 771) + base[33:],
        "png_trns_too_long": base[:33] + png_chunk(b"tRNS", b"\0" * 300) + base[33:],
    }
    for name, data in bad.items():
        c.add(f, name + ".png", data, "picture", "fail")
    # Short rows for their declared size: the decompressed data ends early.
    short = png_file(16, 9, 6, 8, ihdr=struct.pack(">IIBBBBB", 16, 90, 8, 6, 0, 0, 0))[0]
    c.add(f, "png_data_short.png", short, "picture", "fail")
    # Larger than any texture, yet small files.
    c.add(f, "png_16385x1.png", png_streaming(16385, 1, 8, 0, b"\x80" * 16385), "picture", "fail")
    c.add(f, "png_1x16385.png", png_streaming(1, 16385, 8, 0, b"\x80"), "picture", "fail")
    c.add(f, "png_16385x16385_1bit.png", png_streaming(16385, 16385, 1, 0, b"\x55" * 2049), "picture", "fail")
    if c.per_seed > 20:
        c.add(f, "png_30000x30000_1bit.png", png_streaming(30000, 30000, 1, 0, b"\x55" * 3750), "picture", "fail")
    chunk_ends = []
    at = 8
    while at < len(base):
        (n,) = struct.unpack(">I", base[at:at + 4])
        at += 12 + n
        chunk_ends.append(at)
    # A small corpus damages one seed of each colour type; a large one every seed.
    few = ("png_c6_d8", "png_c3_d4", "png_c0_d16", "png_c2_d8_i", "png_c4_d8")
    for name, data in seeds:
        if c.per_seed >= 20 or name in few:
            c.mutants(f, name, ".png", data, "picture", boundaries=(8, 33) if name != "png_c6_d8" else chunk_ends)


def pnm_cases(c):
    f = "pictures"
    rows = pattern(6, 5)
    grey8 = bytes(g for row in rows for (_, g, _, _) in row)
    rgb8 = bytes(v for row in rows for (r, g, b, _) in row for v in (r, g, b))
    grey16 = b"".join(struct.pack(">H", g * 257) for row in rows for (_, g, _, _) in row)
    rgb16 = b"".join(struct.pack(">HHH", r * 257, g * 257, b * 257) for row in rows for (r, g, b, _) in row)
    r0, g0, b0, _ = rows[0][0]
    seeds = {
        "pnm_p5_8": (b"P5\n6 5\n255\n" + grey8, "ok", rgba_hex((g0, g0, g0, 255))),
        "pnm_p6_8": (b"P6\n# a comment\n6 5\n255\n" + rgb8, "ok", rgba_hex((r0, g0, b0, 255))),
        # 16-bit samples: a decoder may keep their high byte or refuse them, never overrun.
        "pnm_p5_16": (b"P5\n6 5\n65535\n" + grey16, "any", None),
        "pnm_p6_16": (b"P6\n6 5\n65535\n" + rgb16, "any", None),
        "pnm_p5_16_2x2": (b"P5\n2 2\n65535\n" + b"\x12\x34\x56\x78\x9a\xbc\xde\xf0", "any", None),
    }
    for name, (data, expect, first) in seeds.items():
        size = (2, 2) if name.endswith("2x2") else (6, 5)
        c.add(f, name + ".png", data, "picture", expect, size if expect == "ok" else None, first)
    bad = {
        "pnm_p5_16_huge_header_only": b"P5\n16000 16000\n65535\n",
        "pnm_p6_huge": b"P6\n100000 100000\n255\n" + rgb8,
        "pnm_p6_zero": b"P6\n0 5\n255\n" + rgb8,

        "pnm_p6_maxval_huge": b"P6\n6 5\n99999999999\n" + rgb8,
        "pnm_p6_dims_overflow": b"P6\n99999999999999999999 5\n255\n" + rgb8,

        "pnm_p4_bitmap": b"P4\n8 2\n\xff\x00",
        "pnm_p3_ascii": b"P3\n1 1\n255\n1 2 3\n",
    }
    for name, data in bad.items():
        c.add(f, name + ".png", data, "picture", "fail")
    # A decoder may take these or refuse them.
    c.add(f, "pnm_p6_maxval_zero.png", b"P6\n6 5\n0\n" + rgb8, "picture", "any")
    c.add(f, "pnm_p6_short.png", b"P6\n6 5\n255\n" + rgb8[:20], "picture", "any")
    for name in ("pnm_p6_8", "pnm_p5_16"):
        c.mutants(f, name, ".png", seeds[name][0], "picture", header_bytes=16)


def bmp_file(w, h, bits, top_down=False, v5=False, bitfields=None, rows=None):
    rows = rows or pattern(w, h)
    palette = b""
    if bits <= 8:
        count = 1 << bits
        palette = b"".join(bytes((i * 255 // (count - 1), i * 255 // (count - 1), (count - 1 - i) * 255 // (count - 1), 0))
                           for i in range(count))
    stride = ((w * bits + 31) // 32) * 4
    body = bytearray()
    order = rows if top_down else rows[::-1]
    for row in order:
        line = bytearray()
        if bits <= 8:
            acc = count_bits = 0
            for r, g, b, a in row:
                idx = (g * ((1 << bits) - 1)) // 255
                acc = (acc << bits) | idx
                count_bits += bits
                if count_bits == 8:
                    line.append(acc)
                    acc = count_bits = 0
            if count_bits:
                line.append(acc << (8 - count_bits))
        elif bits == 16:
            for r, g, b, a in row:
                line += struct.pack("<H", ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3))
        elif bits == 24:
            for r, g, b, a in row:
                line += bytes((b, g, r))
        else:
            for r, g, b, a in row:
                line += bytes((b, g, r, a))
        body += line + b"\0" * (stride - len(line))
    header_size = 124 if v5 else 40
    compression = 3 if bitfields else 0
    info = struct.pack("<IiiHHIIiiII", header_size, w, -h if top_down else h, 1, bits, compression, len(body),
                       2835, 2835, 0, 0)
    if v5:
        info += struct.pack("<IIII", 0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)
        info += b"\0" * (header_size - len(info))
    elif bitfields:  # after the 40-byte header, the red, green and blue masks
        info += struct.pack("<III", *bitfields[:3])
    offset = 14 + len(info) + len(palette)
    head = b"BM" + struct.pack("<IHHI", offset + len(body), 0, 0, offset)
    return head + info + palette + bytes(body)


def bmp_cases(c):
    f = "pictures"
    w, h = 7, 5
    seeds = {
        "bmp_1": bmp_file(w, h, 1), "bmp_4": bmp_file(w, h, 4), "bmp_8": bmp_file(w, h, 8),
        "bmp_16": bmp_file(w, h, 16), "bmp_24": bmp_file(w, h, 24), "bmp_24_top_down": bmp_file(w, h, 24, top_down=True),
        "bmp_32": bmp_file(w, h, 32), "bmp_32_v5": bmp_file(w, h, 32, v5=True),
        "bmp_32_bitfields": bmp_file(w, h, 32, bitfields=(0x00FF0000, 0x0000FF00, 0x000000FF, 0xFF000000)),
    }
    for name, data in seeds.items():
        c.add(f, name + ".png", data, "picture", "ok", (w, h))
    base = seeds["bmp_24"]

    def patched(at, fmt, value):
        b = bytearray(base)
        struct.pack_into(fmt, b, at, value)
        return bytes(b)

    bad = {
        "bmp_huge_width": patched(18, "<i", 0x7FFFFFFF), "bmp_huge_height": patched(22, "<i", -0x7FFFFFFF),
        "bmp_zero_width": patched(18, "<i", 0), "bmp_min_height": patched(22, "<i", -0x80000000),
        "bmp_bits_zero": patched(28, "<H", 0), "bmp_bits_7": patched(28, "<H", 7), "bmp_rle8": patched(30, "<I", 1),
        "bmp_offset_huge": patched(10, "<I", 0xFFFFFFF0), "bmp_offset_zero": patched(10, "<I", 0),
        "bmp_header_size_huge": patched(14, "<I", 0xFFFFFFFF), "bmp_header_size_12": patched(14, "<I", 12),
        "bmp_bitfields_zero": bmp_file(w, h, 32, bitfields=(0, 0, 0, 0)),
        "bmp_bitfields_overlap": bmp_file(w, h, 32, bitfields=(0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF, 0xFFFFFFFF)),
        "bmp_palette_huge": bytearray(seeds["bmp_8"]),
    }
    struct.pack_into("<I", bad["bmp_palette_huge"], 46, 0xFFFFFFFF)
    bad["bmp_palette_huge"] = bytes(bad["bmp_palette_huge"])
    for name, data in bad.items():
        c.add(f, name + ".png", data, "picture", "any")
    for name in ("bmp_8", "bmp_32_v5"):
        c.mutants(f, name, ".png", seeds[name], "picture", boundaries=(14, 54), header_bytes=140)


def tga_file(w, h, image_type, bits, top=False, rle=False, rows=None):
    rows = rows or pattern(w, h)
    cmap = b""
    cmap_spec = (0, 0, 0)
    if image_type in (1, 9):
        cmap = b"".join(bytes((i, 255 - i, i // 2)) for i in range(256))
        cmap_spec = (0, 256, 24)
    pixels = []
    for row in (rows if top else rows[::-1]):
        for r, g, b, a in row:
            if image_type in (1, 9):
                pixels.append(bytes((g,)))
            elif image_type in (3, 11):
                pixels.append(bytes((g,)))
            elif bits == 16:
                pixels.append(struct.pack("<H", 0x8000 | ((r >> 3) << 10) | ((g >> 3) << 5) | (b >> 3)))
            elif bits == 24:
                pixels.append(bytes((b, g, r)))
            else:
                pixels.append(bytes((b, g, r, a)))
    body = bytearray()
    if rle:
        i = 0
        while i < len(pixels):
            run = 1
            while i + run < len(pixels) and run < 128 and pixels[i + run] == pixels[i]:
                run += 1
            if run > 1:
                body.append(0x80 | (run - 1))
                body += pixels[i]
                i += run
            else:
                lit = 1
                while i + lit < len(pixels) and lit < 128 and pixels[i + lit] != pixels[i + lit - 1]:
                    lit += 1
                body.append(lit - 1)
                body += b"".join(pixels[i:i + lit])
                i += lit
    else:
        body = b"".join(pixels)
    descriptor = (0x20 if top else 0) | (8 if bits == 32 else 0)
    head = struct.pack("<BBBHHBHHHHBB", 0, 1 if cmap else 0, image_type, cmap_spec[0], cmap_spec[1], cmap_spec[2],
                       0, 0, w, h, bits, descriptor)
    return head + cmap + bytes(body)


def tga_cases(c):
    f = "pictures"
    w, h = 9, 6
    seeds = {
        "tga_24": tga_file(w, h, 2, 24), "tga_32_top": tga_file(w, h, 2, 32, top=True), "tga_16": tga_file(w, h, 2, 16),
        "tga_grey": tga_file(w, h, 3, 8), "tga_mapped": tga_file(w, h, 1, 8), "tga_rle_32": tga_file(w, h, 10, 32, rle=True),
        "tga_rle_grey": tga_file(w, h, 11, 8, rle=True), "tga_rle_mapped": tga_file(w, h, 9, 8, rle=True),
    }
    for name, data in seeds.items():
        c.add(f, name + ".tga", data, "picture", "ok", (w, h))
    base = seeds["tga_rle_32"]

    def patched(at, fmt, value, src=base):
        b = bytearray(src)
        struct.pack_into(fmt, b, at, value)
        return bytes(b)

    bad = {
        "tga_huge": patched(12, "<I", 0xFFFFFFFF),
        "tga_zero": patched(12, "<I", 0), "tga_bits_0": patched(16, "<B", 0), "tga_bits_64": patched(16, "<B", 64),
        "tga_type_99": patched(2, "<B", 99), "tga_id_length_huge": patched(0, "<B", 255),
        "tga_cmap_huge": patched(5, "<H", 0xFFFF, seeds["tga_mapped"]),
        "tga_cmap_start_huge": patched(3, "<H", 0xFFFF, seeds["tga_mapped"]),
        "tga_cmap_bits_7": patched(7, "<B", 7, seeds["tga_mapped"]),
        "tga_rle_overrun": base[:18] + b"\xff" + base[19:22] + b"\xff" * 40,
    }
    for name, data in bad.items():
        c.add(f, name + ".tga", data, "picture", "any")
    for name in ("tga_rle_32", "tga_rle_mapped"):
        c.mutants(f, name, ".tga", seeds[name], "picture", boundaries=(18,), header_bytes=24)


def lzw_encode(indices, min_size):
    """GIF's LZW: variable-width codes, least significant bit first, with a clear code at the
    start and whenever the table fills."""
    clear, end = 1 << min_size, (1 << min_size) + 1
    out, acc, nbits = bytearray(), 0, 0

    def emit(code, width):
        nonlocal acc, nbits
        acc |= code << nbits
        nbits += width
        while nbits >= 8:
            out.append(acc & 0xFF)
            acc >>= 8
            nbits -= 8

    table = {(i,): i for i in range(clear)}
    width, next_code = min_size + 1, end + 1
    emit(clear, width)
    w = ()
    for k in indices:
        wk = w + (k,)
        if wk in table:
            w = wk
            continue
        emit(table[w], width)
        if next_code < 4096:
            table[wk] = next_code
            next_code += 1
            if next_code > (1 << width) and width < 12:
                width += 1
        else:
            emit(clear, width)
            table = {(i,): i for i in range(clear)}
            width, next_code = min_size + 1, end + 1
        w = (k,)
    if w:
        emit(table[w], width)
    emit(end, width)
    if nbits:
        out.append(acc & 0xFF)
    return bytes(out)


def gif_file(w, h, colours=16, interlaced=False, local=False, transparent=None, frames=1):
    rows = pattern(w, h)
    indices = [[(g * (colours - 1)) // 255 for (_, g, _, _) in row] for row in rows]
    table = b"".join(bytes((i * 255 // (colours - 1), 0, 255 - i * 255 // (colours - 1))) for i in range(colours))
    bits = max(1, (colours - 1).bit_length())
    size_field = bits - 1
    out = bytearray(b"GIF89a" + struct.pack("<HH", w, h))
    out += bytes((0 if local else (0x80 | size_field), 0, 0))
    if not local:
        out += table
    for frame in range(frames):
        if transparent is not None or frames > 1:
            out += b"\x21\xf9\x04" + bytes((1 if transparent is not None else 0,)) + struct.pack("<H", 10)
            out += bytes((transparent or 0, 0))
        order = list(range(h))
        if interlaced:
            order = list(range(0, h, 8)) + list(range(4, h, 8)) + list(range(2, h, 4)) + list(range(1, h, 2))
        flat = [indices[y][x] for y in order for x in range(w)]
        out += b"\x2c" + struct.pack("<HHHH", 0, 0, w, h)
        out += bytes((((0x80 | size_field) if local else 0) | (0x40 if interlaced else 0),))
        if local:
            out += table
        min_size = max(2, bits)
        data = lzw_encode(flat, min_size)
        out.append(min_size)
        for i in range(0, len(data), 255):
            out.append(len(data[i:i + 255]))
            out += data[i:i + 255]
        out.append(0)
    out += b"\x3b"
    return bytes(out)


def gif_cases(c):
    f = "pictures"
    w, h = 11, 10
    seeds = {
        "gif_global": gif_file(w, h), "gif_two_colours": gif_file(w, h, colours=2), "gif_256": gif_file(w, h, colours=256),
        "gif_interlaced": gif_file(w, h, interlaced=True), "gif_local": gif_file(w, h, local=True),
        "gif_transparent": gif_file(w, h, transparent=0), "gif_animated": gif_file(w, h, frames=3),
    }
    for name, data in seeds.items():
        c.add(f, name + ".gif", data, "picture", "ok", (w, h))
    base = seeds["gif_global"]

    def patched(at, fmt, value, src=base):
        b = bytearray(src)
        struct.pack_into(fmt, b, at, value)
        return bytes(b)

    image_at = 13 + 48
    bad = {
        "gif_zero": patched(6, "<I", 0), "gif_huge": patched(6, "<I", 0xFFFFFFFF),
        "gif_frame_outside": patched(image_at + 1, "<I", 0xFFF0FFF0),
        "gif_frame_huge": patched(image_at + 5, "<I", 0xFFFFFFFF), "gif_lzw_size_12": patched(image_at + 10, "<B", 12),
        "gif_lzw_size_0": patched(image_at + 10, "<B", 0), "gif_no_image": base[:image_at] + b"\x3b",
        "gif_wrong_magic": b"GIF87b" + base[6:],
    }
    for name, data in bad.items():
        c.add(f, name + ".gif", data, "picture", "any")
    for name in ("gif_interlaced", "gif_animated"):
        c.mutants(f, name, ".gif", seeds[name], "picture", boundaries=(13, image_at), header_bytes=80)


class BitWriter:
    def __init__(self):
        self.out = bytearray()
        self.acc = 0
        self.n = 0

    def bits(self, value, count):
        for i in range(count - 1, -1, -1):
            self.acc = (self.acc << 1) | ((value >> i) & 1)
            self.n += 1
            if self.n == 8:
                self.out.append(self.acc)
                if self.acc == 0xFF:
                    self.out.append(0)
                self.acc = self.n = 0

    def flush(self):
        while self.n:
            self.bits(1, 1)


ZIGZAG = [0, 1, 8, 16, 9, 2, 3, 10, 17, 24, 32, 25, 18, 11, 4, 5, 12, 19, 26, 33, 40, 48, 41, 34, 27, 20, 13, 6, 7, 14,
          21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23, 30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53,
          60, 61, 54, 47, 55, 62, 63]
DC_SYMBOLS = list(range(12))
AC_SYMBOLS = [0x00, 0xF0] + [(run << 4) | size for run in range(16) for size in range(1, 11)]
QUANT = 4


def jpeg_block(plane, bx, by):
    """The quantised DCT coefficients of one 8 x 8 block, in zigzag order."""
    cos = [[math.cos((2 * x + 1) * u * math.pi / 16) for x in range(8)] for u in range(8)]
    out = [0] * 64
    for v in range(8):
        for u in range(8):
            s = 0.0
            for y in range(8):
                row = plane[by * 8 + y]
                for x in range(8):
                    s += (row[bx * 8 + x] - 128) * cos[u][x] * cos[v][y]
            cu = 1 / math.sqrt(2) if u == 0 else 1
            cv = 1 / math.sqrt(2) if v == 0 else 1
            out[v * 8 + u] = int(round(0.25 * cu * cv * s / QUANT))
    return [out[z] for z in ZIGZAG]


def magnitude(v):
    s = abs(v).bit_length()
    return s, (v if v >= 0 else v + (1 << s) - 1)


def jpeg_file(w, h, components=3, subsampled=False, progressive=False, restart=0):
    """A JPEG with fixed-length Huffman codes (every symbol 4 bits for DC, 8 for AC): legal,
    and no standard tables to carry."""
    rows = pattern(w, h)
    hmax = 2 if subsampled else 1
    mw, mh = -(-w // (8 * hmax)) * 8 * hmax, -(-h // (8 * hmax)) * 8 * hmax

    def plane(fn):
        p = [[fn(*rows[min(y, h - 1)][min(x, w - 1)]) for x in range(mw)] for y in range(mh)]
        return p

    if components == 1:
        planes = [plane(lambda r, g, b, a: g)]
    else:
        planes = [plane(lambda r, g, b, a: 0.299 * r + 0.587 * g + 0.114 * b),
                  plane(lambda r, g, b, a: 128 - 0.168736 * r - 0.331264 * g + 0.5 * b),
                  plane(lambda r, g, b, a: 128 + 0.5 * r - 0.418688 * g - 0.081312 * b)]
    if subsampled:
        planes = [planes[0]] + [[[(p[2 * y][2 * x] + p[2 * y][2 * x + 1] + p[2 * y + 1][2 * x] + p[2 * y + 1][2 * x + 1]) / 4
                                  for x in range(mw // 2)] for y in range(mh // 2)] for p in planes[1:]]
    samp = [(hmax, hmax)] + [(1, 1)] * (components - 1)
    blocks = [{} for _ in planes]
    for ci, p in enumerate(planes):
        for by in range(len(p) // 8):
            for bx in range(len(p[0]) // 8):
                blocks[ci][(bx, by)] = jpeg_block(p, bx, by)

    def seg(marker, body):
        return b"\xff" + bytes((marker,)) + struct.pack(">H", len(body) + 2) + body

    out = bytearray(b"\xff\xd8")
    out += seg(0xE0, b"JFIF\0\x01\x01\0\0\x01\0\x01\0\0")
    out += seg(0xDB, b"\x00" + bytes([QUANT] * 64))
    sof = struct.pack(">BHHB", 8, h, w, components)
    for ci in range(components):
        sof += bytes((ci + 1, (samp[ci][0] << 4) | samp[ci][1], 0))
    out += seg(0xC2 if progressive else 0xC0, sof)
    dht = b"\x00" + bytes([0, 0, 0, len(DC_SYMBOLS)] + [0] * 12) + bytes(DC_SYMBOLS)
    dht += b"\x10" + bytes([0] * 7 + [len(AC_SYMBOLS)] + [0] * 8) + bytes(AC_SYMBOLS)
    out += seg(0xC4, dht)
    if restart:
        out += seg(0xDD, struct.pack(">H", restart))
    mcus_x, mcus_y = mw // (8 * hmax), mh // (8 * hmax)

    def encode_dc(bw, ci, coef, pred):
        diff = coef[0] - pred[ci]
        pred[ci] = coef[0]
        s, bits = magnitude(diff)
        bw.bits(DC_SYMBOLS.index(s), 4)
        if s:
            bw.bits(bits, s)

    def encode_ac(bw, coef, start):
        run = 0
        for k in range(start, 64):
            v = coef[k]
            if v == 0:
                run += 1
                continue
            while run > 15:
                bw.bits(AC_SYMBOLS.index(0xF0), 8)
                run -= 16
            s, bits = magnitude(v)
            bw.bits(AC_SYMBOLS.index((run << 4) | s), 8)
            bw.bits(bits, s)
            run = 0
        if run:
            bw.bits(0, 8)  # end of block (an end-of-band run of one in a progressive scan)

    def scan(ids, ss, se, body_fn):
        sos = bytes((len(ids),)) + b"".join(bytes((i + 1, 0x00)) for i in ids) + bytes((ss, se, 0))
        bw = BitWriter()
        body_fn(bw)
        bw.flush()
        return seg(0xDA, sos) + bytes(bw.out)

    def interleaved(bw, dc_only):
        pred = [0] * components
        count = 0
        for my in range(mcus_y):
            for mx in range(mcus_x):
                if restart and count and count % restart == 0:
                    bw.flush()
                    bw.out += bytes((0xFF, 0xD0 + (count // restart - 1) % 8))
                    pred = [0] * components
                count += 1
                for ci in range(components):
                    sh, sv = samp[ci]
                    for y in range(sv):
                        for x in range(sh):
                            coef = blocks[ci][(mx * sh + x, my * sv + y)]
                            encode_dc(bw, ci, coef, pred)
                            if not dc_only:
                                encode_ac(bw, coef, 1)

    if not progressive:
        out += scan(list(range(components)), 0, 63, lambda bw: interleaved(bw, False))
    else:
        out += scan(list(range(components)), 0, 0, lambda bw: interleaved(bw, True))
        for ci in range(components):
            def ac_scan(bw, ci=ci):
                for by in range(len(planes[ci]) // 8):
                    for bx in range(len(planes[ci][0]) // 8):
                        encode_ac(bw, blocks[ci][(bx, by)], 1)
            out += scan([ci], 1, 63, ac_scan)
    out += b"\xff\xd9"
    return bytes(out)


def jpeg_cases(c):
    f = "pictures"
    seeds = {
        "jpeg_grey": jpeg_file(16, 16, 1), "jpeg_444": jpeg_file(16, 8, 3), "jpeg_420": jpeg_file(17, 15, 3, subsampled=True),
        "jpeg_progressive": jpeg_file(16, 16, 3, progressive=True), "jpeg_restart": jpeg_file(24, 16, 3, restart=2),
    }
    size = {"jpeg_grey": (16, 16), "jpeg_444": (16, 8), "jpeg_420": (17, 15), "jpeg_progressive": (16, 16),
            "jpeg_restart": (24, 16)}
    for name, data in seeds.items():
        c.add(f, name + ".jpg", data, "picture", "ok", size[name])
    base = seeds["jpeg_444"]
    sof = base.index(b"\xff\xc0")

    def patched(at, fmt, value, src=base):
        b = bytearray(src)
        struct.pack_into(fmt, b, at, value)
        return bytes(b)

    bad = {
        "jpeg_zero_height": patched(sof + 5, ">H", 0), "jpeg_huge": patched(sof + 5, ">I", 0xFFFFFFFF), "jpeg_components_0": patched(sof + 9, ">B", 0),
        "jpeg_components_255": patched(sof + 9, ">B", 255), "jpeg_sampling_0": patched(sof + 11, ">B", 0),
        "jpeg_sampling_ff": patched(sof + 11, ">B", 0xFF), "jpeg_precision_12": patched(sof + 4, ">B", 12),
        "jpeg_quant_missing": patched(sof + 12, ">B", 3), "jpeg_segment_length_0": patched(sof + 2, ">H", 0),
        "jpeg_segment_length_huge": patched(sof + 2, ">H", 0xFFFF), "jpeg_no_scan": base[:base.index(b"\xff\xda")] + b"\xff\xd9",
        "jpeg_only_soi": b"\xff\xd8",
    }
    for name, data in bad.items():
        c.add(f, name + ".jpg", data, "picture", "any")
    for name in ("jpeg_420", "jpeg_progressive"):
        c.mutants(f, name, ".jpg", seeds[name], "picture", boundaries=(2, sof), header_bytes=300)


def psd_file(w, h, channels=4, depth=8, rle=False):
    rows = pattern(w, h)
    planes = []
    for ch in range(channels):
        values = [px[ch] for row in rows for px in row]
        planes.append(values)
    head = b"8BPS" + struct.pack(">H6sHIIHH", 1, b"\0" * 6, channels, h, w, depth, 3)
    head += struct.pack(">III", 0, 0, 0)
    if not rle:
        if depth == 16:
            body = b"".join(struct.pack(">H", v * 257) for p in planes for v in p)
        else:
            body = bytes(v for p in planes for v in p)
        return head + struct.pack(">H", 0) + body
    counts, data = bytearray(), bytearray()
    for p in planes:
        for y in range(h):
            row = p[y * w:(y + 1) * w]
            packed = bytearray()
            i = 0
            while i < w:
                run = 1
                while i + run < w and run < 128 and row[i + run] == row[i]:
                    run += 1
                if run > 1:
                    packed += bytes((257 - run, row[i]))
                    i += run
                else:
                    packed += bytes((0, row[i]))
                    i += 1
            counts += struct.pack(">H", len(packed))
            data += packed
    return head + struct.pack(">H", 1) + bytes(counts) + bytes(data)


def psd_cases(c):
    f = "pictures"
    w, h = 8, 6
    seeds = {"psd_raw": psd_file(w, h), "psd_rle": psd_file(w, h, rle=True), "psd_rgb": psd_file(w, h, channels=3),
             "psd_16": psd_file(w, h, depth=16)}
    for name, data in seeds.items():
        c.add(f, name + ".psd", data, "picture", "ok" if name != "psd_16" else "any", (w, h) if name != "psd_16" else None)
    base = seeds["psd_rle"]

    def patched(at, fmt, value):
        b = bytearray(base)
        struct.pack_into(fmt, b, at, value)
        return bytes(b)

    bad = {"psd_huge": patched(14, ">I", 0x40000000),
           "psd_channels_0": patched(12, ">H", 0), "psd_channels_huge": patched(12, ">H", 0xFFFF),
           "psd_depth_7": patched(22, ">H", 7), "psd_mode_9": patched(24, ">H", 9),
           "psd_resources_huge": patched(30, ">I", 0xFFFFFFF0), "psd_rle_runs_long": base[:40] + b"\xff\xff" * 60}
    for name, data in bad.items():
        c.add(f, name + ".psd", data, "picture", "any")
    for name in ("psd_rle",):
        c.mutants(f, name, ".psd", seeds[name], "picture", boundaries=(26, 38), header_bytes=60)


def hdr_file(w, h, rle=False):
    rows = pattern(w, h)
    head = b"#?RADIANCE\nFORMAT=32-bit_rle_rgbe\nEXPOSURE=1.0\n\n-Y %d +X %d\n" % (h, w)
    body = bytearray()
    for row in rows:
        rgbe = []
        for r, g, b, a in row:
            m = max(r, g, b, 1) / 255.0
            e = math.frexp(m)[1]
            scale = 256.0 / (2 ** e) / 255.0
            rgbe.append((int(r * scale), int(g * scale), int(b * scale), e + 128))
        if rle:
            body += bytes((2, 2, w >> 8, w & 0xFF))
            for ch in range(4):
                values = [p[ch] for p in rgbe]
                i = 0
                while i < w:
                    run = 1
                    while i + run < w and run < 127 and values[i + run] == values[i]:
                        run += 1
                    if run > 2:
                        body += bytes((128 + run, values[i]))
                        i += run
                    else:
                        n = min(128, w - i)
                        body += bytes((n,)) + bytes(values[i:i + n])
                        i += n
        else:
            for p in rgbe:
                body += bytes(p)
    return head + bytes(body)


def hdr_cases(c):
    f = "pictures"
    seeds = {"hdr_flat": hdr_file(6, 4), "hdr_rle": hdr_file(12, 5, rle=True)}
    c.add(f, "hdr_flat.hdr", seeds["hdr_flat"], "picture", "ok", (6, 4))
    c.add(f, "hdr_rle.hdr", seeds["hdr_rle"], "picture", "ok", (12, 5))
    rle = seeds["hdr_rle"]
    head_end = rle.index(b"+X 12\n") + 6
    bad = {"hdr_huge": rle.replace(b"-Y 5 +X 12", b"-Y 99999999 +X 99999999"),
           "hdr_negative": rle.replace(b"-Y 5 +X 12", b"-Y -5 +X -12"),
           "hdr_wrong_format": rle.replace(b"32-bit_rle_rgbe", b"32-bit_rle_xyze"),
           "hdr_run_past_row": rle[:head_end] + bytes((2, 2, 0, 12)) + bytes((255, 1)) * 20,
           "hdr_width_mismatch": rle[:head_end] + bytes((2, 2, 0, 99)) + rle[head_end + 4:],
           "hdr_header_only": rle[:head_end]}
    for name, data in bad.items():
        c.add(f, name + ".hdr", data, "picture", "any")
    c.mutants(f, "hdr_rle", ".hdr", rle, "picture", boundaries=(head_end,), header_bytes=80)


def pic_file(w, h, mixed=False):
    rows = pattern(w, h)
    head = struct.pack(">I", 0x5380F634) + struct.pack(">f", 3.71) + b"corpus".ljust(80, b"\0") + b"PICT"
    head += struct.pack(">HHfHH", w, h, 1.0, 3, 0)
    packets = bytes((0, 8, 2 if mixed else 0, 0xF0))
    body = bytearray()
    for row in rows:
        if not mixed:
            for px in row:
                body += bytes(px)
        else:
            x = 0
            while x < w:
                run = 1
                while x + run < w and run < 127 and row[x + run] == row[x]:
                    run += 1
                if run > 1:
                    body += bytes((127 + run,)) + bytes(row[x])
                    x += run
                else:
                    body += bytes((0,)) + bytes(row[x])
                    x += 1
    return head + packets + bytes(body)


def pic_cases(c):
    f = "pictures"
    seeds = {"pic_plain": pic_file(7, 5), "pic_mixed": pic_file(9, 4, mixed=True)}
    c.add(f, "pic_plain.pic", seeds["pic_plain"], "picture", "ok", (7, 5))
    c.add(f, "pic_mixed.pic", seeds["pic_mixed"], "picture", "ok", (9, 4))
    base = seeds["pic_mixed"]

    def patched(at, fmt, value):
        b = bytearray(base)
        struct.pack_into(fmt, b, at, value)
        return bytes(b)

    bad = {"pic_huge": patched(92, ">I", 0xFFFFFFFF), "pic_zero": patched(92, ">I", 0),
           "pic_packet_type_9": patched(106, ">B", 9), "pic_no_channels": patched(107, ">B", 0),
           "pic_chained_forever": base[:104] + bytes((1, 8, 0, 0x80)) * 20,
           "pic_long_run": base[:108] + bytes((128,)) + struct.pack(">H", 0xFFFF) + b"\1\2\3\4"}
    for name, data in bad.items():
        c.add(f, name + ".pic", data, "picture", "any")
    c.mutants(f, "pic_mixed", ".pic", base, "picture", boundaries=(88, 104, 108), header_bytes=112)


# ---- fonts -----------------------------------------------------------------------------------

def font_tables(data):
    (count,) = struct.unpack(">H", data[4:6])
    tables = {}
    for i in range(count):
        tag, _, offset, length = struct.unpack(">4sIII", data[12 + 16 * i:28 + 16 * i])
        tables[tag.decode("latin-1")] = (12 + 16 * i, offset, length)
    return tables


def font_cases(c, others):
    f = "fonts"
    data = open(DEJAVU, "rb").read()
    c.add(f, "dejavu.ttf", data, "font", "ok")
    tables = font_tables(data)

    def patched(at, fmt, value):
        b = bytearray(data)
        struct.pack_into(fmt, b, at, value)
        return bytes(b)

    def in_table(tag, at, fmt, value):
        return patched(tables[tag][1] + at, fmt, value)

    read_by_atlas = ["cmap", "head", "hhea", "hmtx", "loca", "glyf", "kern", "maxp", "GPOS"]
    bad = {"font_empty": (b"", "fail"), "font_12_bytes": (data[:12], "fail"), "font_4096": (data[:4096], "fail"),
           "font_directory_only": (data[:12 + 16 * len(tables)], "fail"),
           "font_no_tables": (patched(4, ">H", 0), "fail"), "font_tables_ffff": (patched(4, ">H", 0xFFFF), "any"),
           "font_otto_magic": (b"OTTO" + data[4:], "any"), "font_wrong_magic": (b"\x7fELF" + data[4:], "any"),
           "font_collection_bogus": (b"ttcf\x00\x01\x00\x00\x00\x00\x00\x01\xff\xff\xff\xf0" + data[16:], "fail")}
    for tag in read_by_atlas:
        if tag not in tables:
            continue
        entry = tables[tag][0]
        bad["font_%s_offset_huge" % tag] = (patched(entry + 8, ">I", 0xFFFFFFF0), "any")
        bad["font_%s_offset_past_end" % tag] = (patched(entry + 8, ">I", len(data) - 2), "any")
        bad["font_%s_length_huge" % tag] = (patched(entry + 12, ">I", 0xFFFFFFFF), "any")
        bad["font_%s_length_zero" % tag] = (patched(entry + 12, ">I", 0), "any")
        bad["font_%s_cut_inside" % tag] = (data[:tables[tag][1] + min(8, tables[tag][2] // 2)], "any")
    fields = [("head_loca_format_2", "head", 50, ">h", 2), ("head_loca_format_flipped", "head", 50, ">h", 1),
              ("head_units_zero", "head", 18, ">H", 0),
              ("hhea_metrics_zero", "hhea", 34, ">H", 0), ("hhea_metrics_ffff", "hhea", 34, ">H", 0xFFFF),
              ("hhea_flat", "hhea", 4, ">hh", None), ("maxp_glyphs_zero", "maxp", 4, ">H", 0),
              ("maxp_glyphs_ffff", "maxp", 4, ">H", 0xFFFF), ("cmap_subtables_ffff", "cmap", 2, ">H", 0xFFFF),
              ("cmap_subtable_offset_huge", "cmap", 8, ">I", 0xFFFFFFF0),
              ("loca_first_huge", "loca", 0, ">I", 0xFFFFFFF0), ("loca_backwards", "loca", 8, ">I", 0),
              ("glyf_contours_huge", "glyf", 0, ">h", 0x7FFF), ("glyf_composite_loop", "glyf", 0, ">h", -1),
              ("kern_pairs_huge", "kern", 10, ">H", 0xFFFF), ("kern_tables_ffff", "kern", 2, ">H", 0xFFFF)]
    for name, tag, at, fmt, value in fields:
        if tag not in tables:
            continue
        if value is None:  # ascent equal to descent: no line height to scale by
            b = bytearray(data)
            struct.pack_into(">hh", b, tables[tag][1] + at, 0, 0)
            bad["font_" + name] = (bytes(b), "any")
        else:
            bad["font_" + name] = (in_table(tag, at, fmt, value), "any")
    # Every glyph offset in loca pointed past the glyf table, and the cmap's segments made huge.
    b = bytearray(data)
    loca_at, loca_len = tables["loca"][1], tables["loca"][2]
    for i in range(0, loca_len, 4 if struct.unpack(">h", data[tables["head"][1] + 50:tables["head"][1] + 52])[0] else 2):
        struct.pack_into(">H", b, loca_at + i, 0xFFF0)
    bad["font_loca_all_past_glyf"] = (bytes(b), "any")
    cmap = tables["cmap"][1]
    (subtables,) = struct.unpack(">H", data[cmap + 2:cmap + 4])
    for i in range(subtables):
        _, _, off = struct.unpack(">HHI", data[cmap + 4 + 8 * i:cmap + 12 + 8 * i])
        (fmt,) = struct.unpack(">H", data[cmap + off:cmap + off + 2])
        if fmt == 4:
            bad["font_cmap4_segments_huge_%d" % i] = (patched(cmap + off + 6, ">H", 0xFFFE), "any")
        if fmt == 12:
            bad["font_cmap12_groups_huge_%d" % i] = (patched(cmap + off + 12, ">I", 0x7FFFFFFF), "any")
    for name, (font, expect) in bad.items():
        c.add(f, name + ".ttf", font, "font", expect)
    for name, (other, _) in others.items():
        c.add(f, name + ".ttf", other, "font", "fail")
    boundaries = sorted({o for _, o, _ in tables.values()} | {o + n for _, o, n in tables.values()})
    if c.per_seed < 20:
        boundaries = [b for i, b in enumerate(boundaries) if i % 4 == 0]
    c.mutants(f, "dejavu", ".ttf", data, "font", boundaries=boundaries, header_bytes=12 + 16 * len(tables))
    # Flips inside the tables the atlas reads, where a blind flip seldom lands.
    rng = c.rng("fonts/tables")
    for tag in read_by_atlas:
        if tag not in tables:
            continue
        _, offset, length = tables[tag]
        for i in range(max(1, c.per_seed // 2)):
            b = bytearray(data)
            for _ in range(rng.randint(1, 4)):
                b[offset + rng.randrange(min(length, 256))] ^= 1 << rng.randrange(8)
            c.add(f, "font_%s_flip%d.ttf" % (tag, i), bytes(b), "font", "any")


# ---- sounds ----------------------------------------------------------------------------------

def wav_file(tag, channels, bits, rate, frames, extra_fmt=b"", before_data=b""):
    data = bytearray()
    for i in range(frames):
        v = math.sin(2 * math.pi * 440 * i / rate) * 0.5
        for _ in range(channels):
            if tag == 3:
                data += struct.pack("<f", v)
            elif bits == 8:
                data.append(int(128 + v * 127))
            elif bits == 16:
                data += struct.pack("<h", int(v * 32767))
            elif bits == 24:
                data += struct.pack("<i", int(v * 8388607))[:3]
            else:
                data += struct.pack("<i", int(v * 2147483647))
    block = channels * bits // 8
    fmt = struct.pack("<HHIIHH", tag, channels, rate, rate * block, block, bits) + extra_fmt
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + before_data + b"data" + struct.pack("<I", len(data)) + data
    return b"RIFF" + struct.pack("<I", len(body)) + body


def adpcm_wav(tag, channels=1):
    """MS (2) or IMA (0x11) ADPCM: a header as SDL expects and blocks of made-up nibbles."""
    rate, block_align = 22050, 256 * channels
    if tag == 2:
        samples_per_block = (block_align - 7 * channels) * 8 // (4 * channels) + 2
        coefs = [(256, 0), (512, -256), (0, 0), (192, 64), (240, 0), (460, -208), (392, -232)]
        extra = struct.pack("<HHH", 4 + 4 * len(coefs), samples_per_block, len(coefs))
        extra += b"".join(struct.pack("<hh", a, b) for a, b in coefs)
    else:
        samples_per_block = (block_align - 4 * channels) * 8 // (4 * channels) + 1
        extra = struct.pack("<HH", 2, samples_per_block)
    fmt = struct.pack("<HHIIHH", tag, channels, rate, rate * block_align // samples_per_block, block_align, 4) + extra
    rng = random.Random(tag)
    blocks = bytearray()
    for _ in range(8):
        block = bytearray(rng.randrange(256) for _ in range(block_align))
        if tag == 2:
            for ch in range(channels):
                block[ch] = rng.randrange(7)
        else:
            for ch in range(channels):
                block[4 * ch + 2] = rng.randrange(89)
                block[4 * ch + 3] = 0
        blocks += block
    fact = b"fact" + struct.pack("<II", 4, 8 * samples_per_block)
    body = b"WAVE" + b"fmt " + struct.pack("<I", len(fmt)) + fmt + fact + b"data" + struct.pack("<I", len(blocks)) + blocks
    return b"RIFF" + struct.pack("<I", len(body)) + body


def ogg_pages(data):
    pages = []
    at = 0
    while at + 27 <= len(data) and data[at:at + 4] == b"OggS":
        n = data[at + 26]
        size = 27 + n + sum(data[at + 27:at + 27 + n])
        pages.append((at, size))
        at += size
    return pages


OGG_CRC = []
for _i in range(256):
    _r = _i << 24
    for _ in range(8):
        _r = ((_r << 1) ^ 0x04C11DB7) if _r & 0x80000000 else (_r << 1)
    OGG_CRC.append(_r & 0xFFFFFFFF)


def ogg_crc(page):
    crc = 0
    for byte in page:
        crc = ((crc << 8) & 0xFFFFFFFF) ^ OGG_CRC[((crc >> 24) & 0xFF) ^ byte]
    return crc


def ogg_fix_crcs(data):
    """Recomputes each page's checksum, so damage inside reaches the decoder past the pages."""
    b = bytearray(data)
    for at, size in ogg_pages(data):
        if at + size > len(b):
            break
        b[at + 22:at + 26] = b"\0\0\0\0"
        struct.pack_into("<I", b, at + 22, ogg_crc(bytes(b[at:at + size])))
    return bytes(b)


def ogg_packets(data):
    """The packets of a single-stream Ogg file with the granule position of the page each ends on."""
    packets, current = [], bytearray()
    for at, size in ogg_pages(data):
        n = data[at + 26]
        lacing = data[at + 27:at + 27 + n]
        (granule,) = struct.unpack("<q", data[at + 6:at + 14])
        body = at + 27 + n
        for lace in lacing:
            current += data[body:body + lace]
            body += lace
            if lace < 255:
                packets.append([bytes(current), granule])
                current = bytearray()
    return packets


def ogg_paginate(packets, serial=0x5EED):
    """Packets (bytes, granule) laid out one or more per page, each page checksummed."""
    out, seq = bytearray(), 0
    for index, (packet, granule) in enumerate(packets):
        lacing = [255] * (len(packet) // 255) + [len(packet) % 255]
        flags = 2 if index == 0 else 0
        if index == len(packets) - 1:
            flags |= 4
        for first in range(0, len(lacing), 255):
            part = lacing[first:first + 255]
            start = sum(lacing[:first])
            body = packet[start:start + sum(part)]
            last = first + 255 >= len(lacing)
            head = b"OggS\0" + bytes((flags | (0 if first == 0 else 1),))
            head += struct.pack("<qIII", granule if last else -1, serial, seq, 0) + bytes((len(part),)) + bytes(part)
            page = bytearray(head + body)
            struct.pack_into("<I", page, 22, ogg_crc(bytes(page)))
            out += page
            seq += 1
            flags &= ~2
    return bytes(out)


def long_ogg(seconds, source=OGG_SEEDS[0]):
    """An Ogg Vorbis stream of about `seconds` made of the seed's audio packets played over and
    over (each packet decodes against the one before it, whichever that is)."""
    packets = ogg_packets(open(source, "rb").read())
    headers, audio = packets[:3], packets[3:]
    rate = struct.unpack("<I", headers[0][0][12:16])[0]
    per_round = packets[-1][1]
    rounds = max(1, int(seconds * rate / per_round))
    out = [[p, 0] for p, _ in headers]
    for r in range(rounds):
        for i, (p, g) in enumerate(audio):
            out.append([p, -1 if i < len(audio) - 1 else per_round * (r + 1)])
    return ogg_paginate(out)


def sound_cases(c, others):
    f = "sounds"
    seeds = {}
    for path in OGG_SEEDS:
        name = os.path.splitext(os.path.basename(path))[0]
        seeds["ogg_" + name] = open(path, "rb").read()
    wavs = {"wav_u8_mono": wav_file(1, 1, 8, 22050, 2205), "wav_s16_stereo": wav_file(1, 2, 16, 44100, 2205),
            "wav_f32_mono": wav_file(3, 1, 32, 22050, 2205), "wav_s24": wav_file(1, 1, 24, 22050, 2205),
            "wav_s32": wav_file(1, 2, 32, 22050, 2205), "wav_alaw": wav_file(6, 1, 8, 8000, 800),
            "wav_mulaw": wav_file(7, 1, 8, 8000, 800), "wav_ms_adpcm": adpcm_wav(2), "wav_ima_adpcm": adpcm_wav(0x11, 2),
            "wav_list_before_data": wav_file(1, 1, 16, 22050, 2205, before_data=b"LIST" + struct.pack("<I", 4) + b"INFO")}
    for name, data in wavs.items():
        expect = "ok" if name in ("wav_u8_mono", "wav_s16_stereo", "wav_f32_mono", "wav_list_before_data") else "any"
        c.add(f, name + ".wav", data, "sound", expect)
    c.add(f, "ogg_tone_mono.ogg", seeds["ogg_tone_mono"], "sound", "ok")
    c.add(f, "ogg_tone_3ch.ogg", seeds["ogg_tone_3ch"], "sound", "fail")
    c.add(f, "ogg_long.ogg", long_ogg(3), "sound", "ok")
    base = wavs["wav_s16_stereo"]

    def patched(src, at, fmt, value):
        b = bytearray(src)
        struct.pack_into(fmt, b, at, value)
        return bytes(b)

    bad = {"wav_empty": b"", "wav_riff_only": base[:12], "wav_data_huge": patched(base, 40, "<I", 0xFFFFFFFF),
           "wav_data_zero": patched(base, 40, "<I", 0), "wav_fmt_huge": patched(base, 16, "<I", 0xFFFFFFF0),
           "wav_fmt_short": patched(base, 16, "<I", 8), "wav_channels_0": patched(base, 22, "<H", 0),
           "wav_channels_ffff": patched(base, 22, "<H", 0xFFFF), "wav_rate_0": patched(base, 24, "<I", 0),
           "wav_rate_huge": patched(base, 24, "<I", 0xFFFFFFFF), "wav_bits_0": patched(base, 34, "<H", 0),
           "wav_bits_7": patched(base, 34, "<H", 7), "wav_bits_64": patched(base, 34, "<H", 64),
           "wav_align_0": patched(base, 32, "<H", 0), "wav_align_huge": patched(base, 32, "<H", 0xFFFF),
           "wav_riff_size_huge": patched(base, 4, "<I", 0xFFFFFFFF), "wav_no_data": base[:36],
           "wav_list_huge": wav_file(1, 1, 16, 22050, 2205, before_data=b"LIST" + struct.pack("<I", 0xFFFFFFF0) + b"INFO"),
           "wav_extensible_bad_guid": wav_file(0xFFFE, 2, 16, 22050, 100, extra_fmt=struct.pack("<HHI", 22, 16, 3) + b"\xee" * 16),
           "wav_adpcm_coefs_huge": patched(adpcm_wav(2), 38, "<H", 0xFFFF),
           "wav_adpcm_block_0": patched(adpcm_wav(2), 32, "<H", 0),
           "wav_ima_block_huge": patched(adpcm_wav(0x11, 2), 32, "<H", 0xFFFF)}
    for name, data in bad.items():
        c.add(f, name + ".wav", data, "sound", "fail" if name in ("wav_empty", "wav_riff_only") else "any")
    ogg = seeds["ogg_tone_mono"]
    pages = ogg_pages(ogg)
    second = pages[1][0] + 27 + ogg[pages[1][0] + 26]  # the comment packet
    bad = {"ogg_empty": (b"", "fail"), "ogg_capture_only": (ogg[:4], "fail"), "ogg_first_page": (ogg[:pages[1][0]], "fail"),
           "ogg_channels_0": (ogg_fix_crcs(patched(ogg, 28 + 11, "<B", 0)), "fail"),
           "ogg_channels_255": (ogg_fix_crcs(patched(ogg, 28 + 11, "<B", 255)), "fail"),
           "ogg_rate_0": (ogg_fix_crcs(patched(ogg, 28 + 12, "<I", 0)), "fail"),
           "ogg_blocksizes_bad": (ogg_fix_crcs(patched(ogg, 28 + 28, "<B", 0xFF)), "fail"),
           "ogg_framing_clear": (ogg_fix_crcs(patched(ogg, 28 + 29, "<B", 0)), "any"),
           "ogg_vendor_huge": (ogg_fix_crcs(patched(ogg, second + 7, "<I", 0x7FFFFFFF)), "any"),
           "ogg_vendor_ffffffff": (ogg_fix_crcs(patched(ogg, second + 7, "<I", 0xFFFFFFFF)), "any"),
           "ogg_vendor_80000000": (ogg_fix_crcs(patched(ogg, second + 7, "<I", 0x80000000)), "any"),
           "ogg_segments_zero": (ogg_fix_crcs(patched(ogg, pages[1][0] + 26, "<B", 0)), "any"),
           "ogg_no_audio": (ogg[:pages[2][0]], "any"), "ogg_wrong_capture": (b"OggZ" + ogg[4:], "fail")}
    vendor_len = struct.unpack("<I", ogg[second + 7:second + 11])[0]
    comments_at = second + 11 + vendor_len
    bad["ogg_comments_huge"] = (ogg_fix_crcs(patched(ogg, comments_at, "<I", 0x7FFFFFFF)), "any")
    bad["ogg_comment_length_huge"] = (ogg_fix_crcs(patched(ogg, comments_at + 4, "<I", 0xFFFFFFF0)), "any")
    # The first codebook made sparse with two million entries: its lengths are read into
    # temporary memory, and the rest of the packet no longer makes sense.
    setup = ogg.index(b"\x05vorbis")
    b = bytearray(ogg)
    b[setup + 13:setup + 16] = b"\xff\xff\x1f"
    b[setup + 16] = (b[setup + 16] & ~3) | 2
    bad["ogg_codebook_sparse_huge"] = (ogg_fix_crcs(bytes(b)), "any")
    for name, (data, expect) in bad.items():
        c.add(f, name + ".ogg", data, "sound", expect)
    for name, (other, _) in others.items():
        c.add(f, name + ".ogg", other, "sound", "fail")
    boundaries = [at for at, _ in pages] + [at + size for at, size in pages] + [second + 7, comments_at]
    for name, data in seeds.items():
        c.mutants(f, name, ".ogg", data, "sound", boundaries=boundaries, header_bytes=pages[2][0])
        # The same damage past the pages' checksums, where it reaches the codec itself.
        # Half of them inside the first codebooks of the setup packet, whose error paths are many.
        rng = c.rng("sounds/crc/" + name)
        setup = data.index(b"\x05vorbis")
        for i in range(max(8, c.per_seed * 2)):
            b = bytearray(data)
            for _ in range(rng.randint(1, 6)):
                at = rng.randrange(len(b)) if i % 2 else rng.randrange(setup + 7, min(len(b), setup + 263))
                b[at] ^= 1 << rng.randrange(8)
            c.add(f, "%s.crc%d.ogg" % (name, i), ogg_fix_crcs(bytes(b)), "sound", "any")
    for name in ("wav_s16_stereo", "wav_ms_adpcm"):
        c.mutants(f, name, ".wav", wavs[name], "sound", boundaries=(12, 36, 44), header_bytes=64)
    if c.huge:
        c.add_sparse(f, "huge_1gb.ogg", ogg[:pages[2][0]], 1 << 30, "sound")
        c.add_sparse(f, "huge_1gb.wav", base[:44], 1 << 30, "sound")


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("out")
    parser.add_argument("--size", default="small", help="small (CI), large (thousands of files) or a number of copies per seed")
    parser.add_argument("--seed", type=int, default=1)
    parser.add_argument("--only", default="pictures,fonts,sounds")
    parser.add_argument("--huge", action="store_true", help="also 1 GB sparse sounds")
    parser.add_argument("--long-ogg", type=float, help="write only OUT, an Ogg Vorbis file of this many seconds")
    args = parser.parse_args()
    if args.long_ogg:
        with open(args.out, "wb") as f:
            f.write(long_ogg(args.long_ogg))
        return
    per_seed = {"small": 2, "large": 60}.get(args.size)
    if per_seed is None:
        per_seed = int(args.size)
    only = set(args.only.split(","))
    c = Corpus(args.out, per_seed, args.seed)
    c.huge = args.huge
    for folder in ("pictures", "fonts", "sounds"):
        os.makedirs(os.path.join(args.out, folder), exist_ok=True)
    # Files of each kind named as the others.
    png, _ = png_file(8, 8, 6, 8)
    others = {"renamed_png": (png, None), "renamed_wav": (wav_file(1, 1, 16, 22050, 100), None),
              "renamed_ogg": (open(OGG_SEEDS[0], "rb").read(), None), "renamed_text": (b"not a file of any kind\n", None)}
    if "pictures" in only:
        for make in (png_cases, pnm_cases, bmp_cases, tga_cases, gif_cases, jpeg_cases, psd_cases, hdr_cases, pic_cases):
            make(c)
        c.add("pictures", "renamed_font.png", open(DEJAVU, "rb").read(), "picture", "fail")
        c.add("pictures", "renamed_ogg.png", others["renamed_ogg"][0], "picture", "fail")
        c.add("pictures", "renamed_wav.png", others["renamed_wav"][0], "picture", "fail")
    if "fonts" in only:
        font_cases(c, others)
    if "sounds" in only:
        sound_cases(c, {"renamed_png": others["renamed_png"], "renamed_font": (open(DEJAVU, "rb").read(), None),
                        "renamed_text": others["renamed_text"]})
    c.write_manifest()
    print("broken_assets: %d files in %s" % (len(c.lines), args.out))


if __name__ == "__main__":
    main()
