"""A small line plot written as a PNG with nothing but the standard library
(zlib): log-log axes, one coloured line per series, a legend, labels in a
built-in 5 x 7 pixel font (digits, lower-case letters and a few signs)."""
import math
import struct
import zlib

# 5 x 7 glyphs: seven rows of five bits, the top row first.
GLYPHS = {
    "0": (14, 17, 19, 21, 25, 17, 14), "1": (4, 12, 4, 4, 4, 4, 14),
    "2": (14, 17, 1, 2, 4, 8, 31), "3": (31, 2, 4, 2, 1, 17, 14),
    "4": (2, 6, 10, 18, 31, 2, 2), "5": (31, 16, 30, 1, 1, 17, 14),
    "6": (6, 8, 16, 30, 17, 17, 14), "7": (31, 1, 2, 4, 8, 8, 8),
    "8": (14, 17, 17, 14, 17, 17, 14), "9": (14, 17, 17, 15, 1, 2, 12),
    "a": (0, 0, 14, 1, 15, 17, 15), "b": (16, 16, 22, 25, 17, 17, 30),
    "c": (0, 0, 14, 16, 16, 17, 14), "d": (1, 1, 13, 19, 17, 17, 15),
    "e": (0, 0, 14, 17, 31, 16, 14), "f": (6, 9, 8, 28, 8, 8, 8),
    "g": (0, 15, 17, 17, 15, 1, 14), "h": (16, 16, 22, 25, 17, 17, 17),
    "i": (4, 0, 12, 4, 4, 4, 14), "j": (2, 0, 6, 2, 2, 18, 12),
    "k": (16, 16, 18, 20, 24, 20, 18), "l": (12, 4, 4, 4, 4, 4, 14),
    "m": (0, 0, 26, 21, 21, 17, 17), "n": (0, 0, 22, 25, 17, 17, 17),
    "o": (0, 0, 14, 17, 17, 17, 14), "p": (0, 0, 30, 17, 30, 16, 16),
    "q": (0, 0, 13, 19, 15, 1, 1), "r": (0, 0, 22, 25, 16, 16, 16),
    "s": (0, 0, 14, 16, 14, 1, 30), "t": (8, 8, 28, 8, 8, 9, 6),
    "u": (0, 0, 17, 17, 17, 19, 13), "v": (0, 0, 17, 17, 17, 10, 4),
    "w": (0, 0, 17, 17, 21, 21, 10), "x": (0, 0, 17, 10, 4, 10, 17),
    "y": (0, 0, 17, 17, 15, 1, 14), "z": (0, 0, 31, 2, 4, 8, 31),
    " ": (0,) * 7, ".": (0, 0, 0, 0, 0, 12, 12), ",": (0, 0, 0, 0, 12, 4, 8),
    "-": (0, 0, 0, 31, 0, 0, 0), "/": (1, 1, 2, 4, 8, 16, 16),
    "(": (2, 4, 8, 8, 8, 4, 2), ")": (8, 4, 2, 2, 2, 4, 8),
    ":": (0, 12, 12, 0, 12, 12, 0), "=": (0, 0, 31, 0, 31, 0, 0),
    "^": (4, 10, 17, 0, 0, 0, 0), "x*": (0, 17, 10, 4, 10, 17, 0),
    "+": (0, 4, 4, 31, 4, 4, 0), "%": (24, 25, 2, 4, 8, 19, 3),
}


class Canvas:
    def __init__(self, width, height, background=(255, 255, 255)):
        self.width, self.height = width, height
        self.pixels = bytearray(bytes(background) * (width * height))

    def dot(self, x, y, colour):
        if 0 <= x < self.width and 0 <= y < self.height:
            i = 3 * (y * self.width + x)
            self.pixels[i:i + 3] = bytes(colour)

    def rect(self, x0, y0, x1, y1, colour):
        for y in range(max(y0, 0), min(y1, self.height)):
            for x in range(max(x0, 0), min(x1, self.width)):
                self.dot(x, y, colour)

    def line(self, x0, y0, x1, y1, colour, width=1):
        steps = max(abs(x1 - x0), abs(y1 - y0), 1)
        for s in range(steps + 1):
            x = round(x0 + (x1 - x0) * s / steps)
            y = round(y0 + (y1 - y0) * s / steps)
            half = width // 2
            self.rect(x - half, y - half, x - half + width, y - half + width, colour)

    def text(self, x, y, text, colour=(0, 0, 0), scale=2):
        for ch in text.lower():
            glyph = GLYPHS.get(ch, GLYPHS[" "])
            for row, bits in enumerate(glyph):
                for col in range(5):
                    if bits & (16 >> col):
                        self.rect(x + col * scale, y + row * scale,
                                  x + (col + 1) * scale, y + (row + 1) * scale, colour)
            x += 6 * scale

    @staticmethod
    def text_width(text, scale=2):
        return 6 * scale * len(text)

    def png(self):
        raw = b"".join(b"\0" + bytes(self.pixels[3 * self.width * y:3 * self.width * (y + 1)])
                       for y in range(self.height))

        def chunk(kind, data):
            body = kind + data
            return struct.pack(">I", len(data)) + body + struct.pack(">I", zlib.crc32(body))

        header = struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0)
        return (b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", header) +
                chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b""))


COLOURS = [(31, 119, 180), (214, 39, 40), (44, 160, 44), (148, 103, 189), (255, 127, 14)]


def log_plot(path, title, x_label, y_label, series, width=900, height=560, y_format=None):
    """series: list of (name, [(x, y), ...]) with x, y > 0; log-log axes.
    y_format turns a y value into its axis label."""
    canvas = Canvas(width, height)
    left, right, top, bottom = 120, width - 30, 80, height - 80
    xs = [x for _, points in series for x, _ in points]
    ys = [y for _, points in series for _, y in points]
    x_lo, x_hi = math.floor(math.log10(min(xs))), math.ceil(math.log10(max(xs)))
    y_lo, y_hi = math.floor(math.log10(min(ys))), math.ceil(math.log10(max(ys)))
    x_hi = max(x_hi, x_lo + 1)
    y_hi = max(y_hi, y_lo + 1)

    def px(x):
        return round(left + (math.log10(x) - x_lo) / (x_hi - x_lo) * (right - left))

    def py(y):
        return round(bottom - (math.log10(y) - y_lo) / (y_hi - y_lo) * (bottom - top))

    grey, dark = (225, 225, 225), (60, 60, 60)
    for e in range(x_lo, x_hi + 1):
        canvas.line(px(10 ** e), top, px(10 ** e), bottom, grey)
        label = f"{10 ** e:g}"
        canvas.text(px(10 ** e) - Canvas.text_width(label) // 2, bottom + 10, label, dark)
    for e in range(y_lo, y_hi + 1):
        canvas.line(left, py(10 ** e), right, py(10 ** e), grey)
        label = y_format(10 ** e) if y_format else f"{10 ** e:g}"
        canvas.text(left - 10 - Canvas.text_width(label), py(10 ** e) - 7, label, dark)
    canvas.line(left, top, left, bottom, dark, 2)
    canvas.line(left, bottom, right, bottom, dark, 2)
    canvas.text(left, 20, title, (0, 0, 0))
    canvas.text((left + right - Canvas.text_width(x_label)) // 2, bottom + 40, x_label, dark)
    canvas.text(10, top - 28, y_label, dark)

    for index, (name, points) in enumerate(series):
        colour = COLOURS[index % len(COLOURS)]
        points = sorted(points)
        for (x0, y0), (x1, y1) in zip(points, points[1:]):
            canvas.line(px(x0), py(y0), px(x1), py(y1), colour, 3)
        for x, y in points:
            canvas.rect(px(x) - 4, py(y) - 4, px(x) + 5, py(y) + 5, colour)
        ly = top + 10 + 22 * index
        canvas.rect(left + 20, ly + 2, left + 44, ly + 12, colour)
        canvas.text(left + 52, ly, name, colour)
    with open(path, "wb") as f:
        f.write(canvas.png())
