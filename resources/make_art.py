#!/usr/bin/env python3
"""Draws the tool's artwork and writes it as PNG and ICO files.

    make_art.py OUTDIR

writes into OUTDIR:
  logo.png          275 x 52, RGBA, 8 bits per channel: the maker's logo
  printer.png       50 x 50, RGB, 8 bits per channel: the printer icon shown
                    on the white result band
  app_large.ico     128 x 128, 32 bits per pixel: the class icon
  app_small.ico     128 x 128, 32 bits per pixel: the small class icon
                    (simpler shapes that survive scaling down to 16 x 16)

Every shape is drawn here with 4 x 4 supersampling, so edges are smooth and
the pixels are the same on every machine; Pillow (Debian's python3-pil)
writes them as PNG. The build runs this script and the resource script picks
the files up from the build tree.
"""
import io
import os
import struct
import sys
import zlib

try:
    from PIL import Image
except ImportError:
    # Debian's package is seen by Debian's own interpreter, which the build
    # uses (Python3_EXECUTABLE, the top-level CMakeLists.txt); a python3 that
    # comes first on PATH (pyenv, a virtualenv) may not have it.
    sys.exit("make_art.py: Pillow is missing (Debian: python3-pil; scripts/setup.sh installs it)")

SS = 4  # supersampling per axis

# The tool's colours (RGB).
DOT_BLUE = (84, 195, 241)     # the dots of the progress panel
DARK = (36, 36, 36)           # button face
BACKGROUND = (15, 15, 15)     # window background
WHITE = (255, 255, 255)
GREY = (120, 124, 130)
LIGHT_GREY = (200, 203, 208)
DARK_GREY = (70, 72, 76)


class Canvas:
    """Straight (non-premultiplied) RGBA canvas of floats 0..1 per channel
    for alpha and 0..255 for colour; shapes are composited "over"."""

    def __init__(self, width, height, background=None):
        self.w, self.h = width, height
        fill = (0.0, 0.0, 0.0, 0.0) if background is None else (*map(float, background), 1.0)
        self.px = [list(fill) for _ in range(width * height)]

    def blend(self, x, y, color, coverage):
        if coverage <= 0.0 or not (0 <= x < self.w and 0 <= y < self.h):
            return
        a_src = coverage * (color[3] if len(color) > 3 else 1.0)
        p = self.px[y * self.w + x]
        a_dst = p[3]
        a_out = a_src + a_dst * (1.0 - a_src)
        if a_out <= 0.0:
            return
        for i in range(3):
            p[i] = (color[i] * a_src + p[i] * a_dst * (1.0 - a_src)) / a_out
        p[3] = a_out

    def shape(self, inside, box, color):
        """Fills the points for which inside(x, y) holds, x and y in pixel
        units; box = (x0, y0, x1, y1) bounds the shape."""
        x0, y0, x1, y1 = box
        for py in range(max(0, int(y0)), min(self.h, int(y1) + 1)):
            for px in range(max(0, int(x0)), min(self.w, int(x1) + 1)):
                hits = 0
                for sy in range(SS):
                    for sx in range(SS):
                        if inside(px + (sx + 0.5) / SS, py + (sy + 0.5) / SS):
                            hits += 1
                self.blend(px, py, color, hits / (SS * SS))

    def rect(self, x0, y0, x1, y1, color, radius=0.0):
        def inside(x, y):
            if not (x0 <= x < x1 and y0 <= y < y1):
                return False
            if radius <= 0:
                return True
            cx = min(max(x, x0 + radius), x1 - radius)
            cy = min(max(y, y0 + radius), y1 - radius)
            return (x - cx) ** 2 + (y - cy) ** 2 <= radius * radius
        self.shape(inside, (x0, y0, x1, y1), color)

    def circle(self, cx, cy, r, color):
        self.shape(lambda x, y: (x - cx) ** 2 + (y - cy) ** 2 <= r * r,
                   (cx - r - 1, cy - r - 1, cx + r + 1, cy + r + 1), color)

    def polygon(self, points, color):
        xs = [p[0] for p in points]
        ys = [p[1] for p in points]

        def inside(x, y):  # even-odd rule
            result = False
            j = len(points) - 1
            for i in range(len(points)):
                xi, yi = points[i]
                xj, yj = points[j]
                if (yi > y) != (yj > y) and x < (xj - xi) * (y - yi) / (yj - yi) + xi:
                    result = not result
                j = i
            return result
        self.shape(inside, (min(xs), min(ys), max(xs), max(ys)), color)

    def rgba_rows(self):
        for y in range(self.h):
            row = self.px[y * self.w:(y + 1) * self.w]
            yield [(round(p[0]), round(p[1]), round(p[2]), round(p[3] * 255)) for p in row]


# A 5 x 7 dot-matrix font: the letters the logo uses.
GLYPHS = {
    'A': ["01110", "10001", "10001", "11111", "10001", "10001", "10001"],
    'D': ["11110", "10001", "10001", "10001", "10001", "10001", "11110"],
    'E': ["11111", "10000", "10000", "11110", "10000", "10000", "11111"],
    'I': ["01110", "00100", "00100", "00100", "00100", "00100", "01110"],
    'M': ["10001", "11011", "10101", "10101", "10001", "10001", "10001"],
    'N': ["10001", "11001", "10101", "10011", "10001", "10001", "10001"],
    'O': ["01110", "10001", "10001", "10001", "10001", "10001", "01110"],
    'P': ["11110", "10001", "10001", "11110", "10000", "10000", "10000"],
    'R': ["11110", "10001", "10001", "11110", "10100", "10010", "10001"],
    'S': ["01111", "10000", "10000", "01110", "00001", "00001", "11110"],
    'T': ["11111", "00100", "00100", "00100", "00100", "00100", "00100"],
    'V': ["10001", "10001", "10001", "10001", "10001", "01010", "00100"],
    'X': ["10001", "10001", "01010", "00100", "01010", "10001", "10001"],
    ' ': ["00000"] * 7,
}


def dot_text(canvas, text, x, y, pitch, radius, color):
    """Writes text as printer dots: each set cell of a glyph is one round
    dot, the way a 9-pin head prints. Returns the x after the text."""
    for ch in text:
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == '1':
                    canvas.circle(x + col * pitch + pitch / 2, y + row * pitch + pitch / 2, radius, color)
        x += 6 * pitch
    return x


def block_text(canvas, text, x, y, pitch, color):
    """Writes text with square cells (for small sizes where dots blur)."""
    for ch in text:
        for row, bits in enumerate(GLYPHS[ch]):
            for col, bit in enumerate(bits):
                if bit == '1':
                    canvas.rect(x + col * pitch, y + row * pitch,
                                x + (col + 1) * pitch, y + (row + 1) * pitch, color)
        x += 6 * pitch
    return x


def draw_printer(c, x, y, s, body, paper, slot, dots, paper_edge=None):
    """A dot-matrix printer seen from the front, in a box of 50 x 50 units
    scaled by s, its top-left corner at (x, y). paper_edge outlines the paper
    where it would vanish into a white background."""
    def r(x0, y0, x1, y1, color, radius=0.0):
        c.rect(x + x0 * s, y + y0 * s, x + x1 * s, y + y1 * s, color, radius * s)
    # Paper coming in at the back (tractor feed, with its sprocket holes).
    if paper_edge:
        r(11, 3, 39, 23, paper_edge, 1.5)
    r(12, 4, 38, 22, paper, 1)
    for hy in (7, 12, 17):
        c.circle(x + 14.5 * s, y + hy * s, 0.9 * s, slot)
        c.circle(x + 35.5 * s, y + hy * s, 0.9 * s, slot)
    # Body, platen slot and the paper leaving at the front.
    r(3, 18, 47, 40, body, 4)
    r(8, 22, 42, 25, slot, 1)
    if paper_edge:
        r(11, 32, 39, 47, paper_edge, 1.5)
    r(12, 33, 38, 46, paper, 1)
    for ly in (37, 40, 43):
        r(15, ly, 35, ly + 1, slot)
    # The print head's dots, in the colour of the progress panel.
    for i, dx in enumerate((-6, -3, 0, 3, 6)):
        c.circle(x + (25 + dx) * s, y + 29 * s, 1.2 * s, dots)


def logo():
    c = Canvas(275, 52)
    # Badge: a dark rounded square with the printer in it.
    c.rect(1, 1, 51, 51, (*DARK, 1.0), 9)
    draw_printer(c, 3, 3, 0.92, LIGHT_GREY, WHITE, DARK_GREY, DOT_BLUE)
    # Maker's name in large printer dots, the line under it in small ones.
    dot_text(c, "TAVO", 62, 4, 4.0, 1.75, WHITE)
    dot_text(c, "DOT MATRIX PRINTERS", 62, 37, 1.5, 0.72, DOT_BLUE)
    # A trail of five dots after the name, like the progress animation.
    for i in range(5):
        c.circle(163 + i * 9, 18, 2.0 + 0.3 * i, (*DOT_BLUE, 0.45 + 0.13 * i))
    return c


def printer_icon():
    # No alpha in this picture: it is drawn on the white result band, so
    # its background is white.
    c = Canvas(50, 50, background=WHITE)
    draw_printer(c, 0, 0, 1.0, GREY, (250, 250, 250), DARK_GREY, DOT_BLUE, paper_edge=LIGHT_GREY)
    return c


def app_icon(simple):
    c = Canvas(128, 128)
    c.rect(4, 4, 124, 124, (*DARK, 1.0), 22)
    if simple:
        # Bold shapes that stay readable when Windows shows it at 16 x 16.
        c.rect(28, 18, 100, 60, WHITE, 4)
        c.rect(10, 48, 118, 104, LIGHT_GREY, 12)
        c.rect(24, 62, 104, 72, DARK_GREY, 3)
        for dx in (-28, -14, 0, 14, 28):
            c.circle(64 + dx, 88, 5.5, DOT_BLUE)
    else:
        draw_printer(c, 14, 10, 2.0, LIGHT_GREY, WHITE, DARK_GREY, DOT_BLUE)
        block_text(c, "TAVO", 35, 106, 1.6, DOT_BLUE)
    return c


def to_image(canvas, alpha):
    """The canvas as a Pillow image: RGBA, or RGB with the alpha dropped
    (for pictures drawn on an opaque background)."""
    data = bytearray()
    for row in canvas.rgba_rows():
        for r, g, b, a in row:
            data += bytes((r, g, b, a)) if alpha else bytes((r, g, b))
    return Image.frombytes("RGBA" if alpha else "RGB", (canvas.w, canvas.h), bytes(data))


def png_bytes(canvas, alpha):
    # zlib's default strategy packs these flat pictures tighter than the
    # filtered one Pillow picks for PNG by itself.
    out = io.BytesIO()
    to_image(canvas, alpha).save(out, format="PNG", compress_level=9,
                                 compress_type=zlib.Z_DEFAULT_STRATEGY)
    return out.getvalue()


def ico_bytes(canvas):
    """One 32-bpp image in an ICO, stored as an RGBA PNG (as Windows Vista
    and later read icons): the same 128 x 128 pixels at 32 bits per pixel in
    a few kilobytes instead of the 66 KB of an uncompressed DIB.

    The six-byte header and the one directory entry are written here, not by
    Pillow's ICO writer: that one puts 0 in the entry's colour planes (this
    file has always said 1) and cannot be told how to compress the PNG
    inside, which comes out a sixth larger."""
    w, h = canvas.w, canvas.h
    image = png_bytes(canvas, alpha=True)
    icondir = struct.pack("<HHH", 0, 1, 1)
    entry = struct.pack("<BBBBHHII", w % 256, h % 256, 0, 0, 1, 32, len(image), 6 + 16)
    return icondir + entry + image


def write(path, data):
    tmp = path + ".tmp"
    with open(tmp, "wb") as f:
        f.write(data)
    os.replace(tmp, path)


def main():
    if len(sys.argv) != 2:
        sys.stderr.write("usage: make_art.py OUTDIR\n")
        return 2
    out = sys.argv[1]
    os.makedirs(out, exist_ok=True)
    write(os.path.join(out, "logo.png"), png_bytes(logo(), alpha=True))
    write(os.path.join(out, "printer.png"), png_bytes(printer_icon(), alpha=False))
    write(os.path.join(out, "app_large.ico"), ico_bytes(app_icon(simple=False)))
    write(os.path.join(out, "app_small.ico"), ico_bytes(app_icon(simple=True)))
    return 0


if __name__ == "__main__":
    sys.exit(main())
