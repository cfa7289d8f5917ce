#!/usr/bin/env python3
"""Draws the program's icons and writes them as classic .ico files.

    python3 scripts/make_icons.py [REPO_ROOT]

Writes res/delicon.ico (uninstall: a program window with a red cross),
res/kexicon.ico (the archiver: a strapped, compressed carton) and
tools/demo/kexfile.ico (an archive document, the demo archiver's second
icon).  Every image is a BMP-format entry (BITMAPINFOHEADER, 4 or 8 bits per
pixel with a palette, XOR image and AND mask): the 9x family's shell cannot
read PNG-compressed entries.  Only the standard library is used and nothing
depends on time or randomness, so running the script again gives the same
bytes.
"""

import os
import struct
import sys

# The sixteen colours of the standard VGA palette, the only ones a 16-colour
# icon can rely on.
VGA16 = [
    (0x00, 0x00, 0x00), (0x80, 0x00, 0x00), (0x00, 0x80, 0x00), (0x80, 0x80, 0x00),
    (0x00, 0x00, 0x80), (0x80, 0x00, 0x80), (0x00, 0x80, 0x80), (0xC0, 0xC0, 0xC0),
    (0x80, 0x80, 0x80), (0xFF, 0x00, 0x00), (0x00, 0xFF, 0x00), (0xFF, 0xFF, 0x00),
    (0x00, 0x00, 0xFF), (0xFF, 0x00, 0xFF), (0x00, 0xFF, 0xFF), (0xFF, 0xFF, 0xFF),
]


def palette256():
    """VGA colours, a 6x6x6 colour cube and 24 extra greys: 256 entries."""
    pal = list(VGA16)
    for r in range(6):
        for g in range(6):
            for b in range(6):
                pal.append((r * 51, g * 51, b * 51))
    for i in range(24):
        v = 8 + i * 10
        pal.append((v, v, v))
    assert len(pal) == 256
    return pal


PAL256 = palette256()


# ---------------------------------------------------------------- geometry

def inside_polygon(x, y, pts):
    hit = False
    n = len(pts)
    j = n - 1
    for i in range(n):
        xi, yi = pts[i]
        xj, yj = pts[j]
        if (yi > y) != (yj > y):
            if x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                hit = not hit
        j = i
    return hit


def segment_distance(x, y, a, b):
    ax, ay = a
    bx, by = b
    dx, dy = bx - ax, by - ay
    length2 = dx * dx + dy * dy
    t = 0.0 if length2 == 0 else max(0.0, min(1.0, ((x - ax) * dx + (y - ay) * dy) / length2))
    px, py = ax + t * dx - x, ay + t * dy - y
    return (px * px + py * py) ** 0.5


class Poly:
    """A filled polygon in unit coordinates (0..1, y down)."""

    def __init__(self, pts, top, bottom=None, flat=None):
        self.pts = pts
        self.top = top
        self.bottom = bottom or top
        self.flat = flat or top  # the colour of the 16-colour images
        ys = [p[1] for p in pts]
        self.y0, self.y1 = min(ys), max(ys)

    def colour(self, x, y, shaded):
        if not inside_polygon(x, y, self.pts):
            return None
        if not shaded:
            return self.flat
        if self.y1 == self.y0:
            return self.top
        t = (y - self.y0) / (self.y1 - self.y0)
        return tuple(round(a + (b - a) * t) for a, b in zip(self.top, self.bottom))


class Stroke:
    """A thick line with round ends."""

    def __init__(self, a, b, width, colour):
        self.a, self.b, self.half, self.col = a, b, width / 2, colour

    def colour(self, x, y, shaded):
        return self.col if segment_distance(x, y, self.a, self.b) <= self.half else None


def rect(x0, y0, x1, y1):
    return [(x0, y0), (x1, y0), (x1, y1), (x0, y1)]


def outlined_rect(x0, y0, x1, y1, line, fill_top, fill_bottom=None):
    """An outline of width `line` around a filled rectangle."""
    return [Poly(rect(x0, y0, x1, y1), line),
            Poly(rect(x0 + LINE, y0 + LINE, x1 - LINE, y1 - LINE), fill_top, fill_bottom)]


LINE = 1.0 / 16  # one pixel of the 16-pixel image

BLACK = (0, 0, 0)
WHITE = (255, 255, 255)


# ---------------------------------------------------------------- drawings

def delete_icon():
    """A program window crossed out in red."""
    navy, blue, light_blue = (0, 0, 128), (0, 0, 255), (102, 153, 255)
    silver, grey = (192, 192, 192), (128, 128, 128)
    maroon, red = (128, 0, 0), (255, 0, 0)
    layers = []
    layers += outlined_rect(0.03, 0.06, 0.78, 0.80, BLACK, WHITE, silver)
    layers += [Poly(rect(0.03 + LINE, 0.06 + LINE, 0.78 - LINE, 0.24), navy, light_blue)]
    layers += [Poly(rect(0.60, 0.06 + LINE + 0.02, 0.72, 0.24 - 0.02), silver)]
    for y in (0.34, 0.46, 0.58):
        layers.append(Poly(rect(0.12, y, 0.62, y + LINE), grey))
    layers.append(Poly(rect(0.12, 0.34 - LINE, 0.30, 0.34), blue))
    # the cross, a dark rim under a bright stroke
    layers.append(Stroke((0.48, 0.48), (0.90, 0.90), 0.27, maroon))
    layers.append(Stroke((0.90, 0.48), (0.48, 0.90), 0.27, maroon))
    layers.append(Stroke((0.48, 0.48), (0.90, 0.90), 0.15, red))
    layers.append(Stroke((0.90, 0.48), (0.48, 0.90), 0.15, red))
    return layers


def box_layers(x0, y0, x1, y1, depth):
    """A carton seen from the front-right: front, top and side faces."""
    brown, dark_brown, tan = (153, 102, 51), (102, 51, 0), (204, 153, 102)
    red, maroon, olive, yellow = (255, 0, 0), (128, 0, 0), (128, 128, 0), (255, 255, 0)
    layers = []
    top = [(x0, y0), (x0 + depth, y0 - depth), (x1 + depth, y0 - depth), (x1, y0)]
    side = [(x1, y0), (x1 + depth, y0 - depth), (x1 + depth, y1 - depth), (x1, y1)]
    # outline: the whole silhouette in black, then the faces inset by a pixel
    layers.append(Poly([(x0 - LINE, y0 - LINE), (x0 + depth - LINE, y0 - depth - LINE),
                        (x1 + depth + LINE, y0 - depth - LINE), (x1 + depth + LINE, y1 - depth + LINE),
                        (x1 + LINE, y1 + LINE), (x0 - LINE, y1 + LINE)], BLACK))
    layers.append(Poly(rect(x0, y0, x1, y1), tan, brown, flat=olive))
    layers.append(Poly(top, (255, 204, 153), tan, flat=yellow))
    layers.append(Poly(side, dark_brown, (51, 0, 0), flat=maroon))
    # a strap pulled tight round the middle: the contents are squeezed
    mid = (x0 + x1) / 2
    strap = 0.12
    layers.append(Poly(rect(mid - strap / 2, y0, mid + strap / 2, y1), red, maroon, flat=red))
    layers.append(Poly([(mid - strap / 2, y0), (mid - strap / 2 + depth, y0 - depth),
                        (mid + strap / 2 + depth, y0 - depth), (mid + strap / 2, y0)], red))
    layers.append(Poly(rect(mid - strap, (y0 + y1) / 2 - 0.06, mid + strap, (y0 + y1) / 2 + 0.06),
                       BLACK))
    layers.append(Poly(rect(mid - strap + LINE, (y0 + y1) / 2 - 0.06 + LINE,
                            mid + strap - LINE, (y0 + y1) / 2 + 0.06 - LINE), (192, 192, 192)))
    return layers


def archiver_icon():
    """The archiver's emblem: a carton squeezed by a strap, with a down arrow."""
    green, dark_green = (0, 204, 0), (0, 102, 0)
    layers = box_layers(0.06, 0.40, 0.70, 0.94, 0.22)
    # arrow pressing down onto the lid
    shaft = rect(0.74, 0.02, 0.88, 0.22)
    head = [(0.64, 0.20), (0.98, 0.20), (0.81, 0.38)]
    layers.append(Poly([(0.72, 0.0), (0.90, 0.0), (0.90, 0.18), (1.0, 0.18), (0.81, 0.42),
                        (0.62, 0.18), (0.72, 0.18)], dark_green))
    layers.append(Poly(shaft, green, dark_green))
    layers.append(Poly(head, green, dark_green))
    return layers


def archive_file_icon():
    """An archive document: a page with a folded corner and a small carton."""
    silver, grey = (192, 192, 192), (128, 128, 128)
    page = [(0.14, 0.02), (0.64, 0.02), (0.86, 0.24), (0.86, 0.98), (0.14, 0.98)]
    layers = [Poly([(0.14 - LINE, 0.02 - LINE), (0.64 + LINE / 2, 0.02 - LINE),
                    (0.86 + LINE, 0.24 - LINE / 2), (0.86 + LINE, 0.98 + LINE),
                    (0.14 - LINE, 0.98 + LINE)], BLACK),
              Poly(page, WHITE, silver),
              Poly([(0.64, 0.02), (0.64, 0.24), (0.86, 0.24)], grey)]
    layers += box_layers(0.24, 0.52, 0.66, 0.88, 0.14)
    return layers


# ---------------------------------------------------------------- rendering

SAMPLES = 4  # sub-samples per pixel edge


def render(layers, size, shaded):
    """Per pixel: an (r, g, b) colour, or None where the icon is transparent."""
    pixels = []
    for py in range(size):
        row = []
        for px in range(size):
            covered = 0
            total = [0, 0, 0]
            for sy in range(SAMPLES):
                for sx in range(SAMPLES):
                    x = (px + (sx + 0.5) / SAMPLES) / size
                    y = (py + (sy + 0.5) / SAMPLES) / size
                    colour = None
                    for layer in layers:
                        c = layer.colour(x, y, shaded)
                        if c is not None:
                            colour = c
                    if colour is not None:
                        covered += 1
                        for i in range(3):
                            total[i] += colour[i]
            if covered * 2 < SAMPLES * SAMPLES:
                row.append(None)
            else:
                row.append(tuple(round(t / covered) for t in total))
        pixels.append(row)
    return pixels


def nearest(palette, colour):
    best, best_d = 0, None
    for i, p in enumerate(palette):
        d = sum((a - b) * (a - b) for a, b in zip(p, colour))
        if best_d is None or d < best_d:
            best, best_d = i, d
    return best


def row_bytes(bits_per_row):
    return (bits_per_row + 31) // 32 * 4


def icon_image(layers, size, bpp):
    """One icon image: BITMAPINFOHEADER, palette, XOR bits, AND mask."""
    palette = VGA16 if bpp == 4 else PAL256
    # the 16-colour images are drawn flat: shading only dithers into noise there
    pixels = render(layers, size, shaded=(bpp == 8))
    cache = {}
    xor_rows = []
    and_rows = []
    for row in reversed(pixels):  # bottom-up
        indices = []
        mask_bits = []
        for colour in row:
            if colour is None:
                indices.append(0)
                mask_bits.append(1)
            else:
                if colour not in cache:
                    cache[colour] = nearest(palette, colour)
                indices.append(cache[colour])
                mask_bits.append(0)
        xor = bytearray(row_bytes(size * bpp))
        for i, index in enumerate(indices):
            if bpp == 8:
                xor[i] = index
            else:
                xor[i // 2] |= index << (4 if i % 2 == 0 else 0)
        mask = bytearray(row_bytes(size))
        for i, bit in enumerate(mask_bits):
            if bit:
                mask[i // 8] |= 0x80 >> (i % 8)
        xor_rows.append(bytes(xor))
        and_rows.append(bytes(mask))
    bits = b"".join(xor_rows) + b"".join(and_rows)
    header = struct.pack("<IiiHHIIiiII", 40, size, size * 2, 1, bpp, 0, len(bits), 0, 0,
                         len(palette), 0)
    pal = b"".join(struct.pack("<BBBB", b, g, r, 0) for r, g, b in palette)
    return header + pal + bits


def ico_file(layers, formats):
    """formats: (size, bits per pixel) in the order of the icon directory."""
    images = [icon_image(layers, size, bpp) for size, bpp in formats]
    out = struct.pack("<HHH", 0, 1, len(images))
    offset = 6 + 16 * len(images)
    for (size, bpp), image in zip(formats, images):
        colours = 16 if bpp == 4 else 0
        out += struct.pack("<BBBBHHII", size % 256, size % 256, colours, 0, 1, bpp,
                           len(image), offset)
        offset += len(image)
    return out + b"".join(images)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    outputs = [
        ("res/delicon.ico", delete_icon(),
         [(16, 4), (16, 8), (32, 4), (32, 8), (48, 4), (48, 8)]),
        ("res/kexicon.ico", archiver_icon(), [(32, 8), (32, 4), (16, 8), (16, 4)]),
        ("tools/demo/kexfile.ico", archive_file_icon(), [(32, 8), (32, 4), (16, 8), (16, 4)]),
    ]
    for name, layers, formats in outputs:
        path = os.path.join(root, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(ico_file(layers, formats))
        print(path)


if __name__ == "__main__":
    main()
