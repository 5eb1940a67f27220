"""A small line plot written as a PNG with matplotlib (Debian's
python3-matplotlib): log-log axes with a line at every power of ten, one
coloured line per series with its measured points marked, a legend."""
import math
import os
import sys

try:
    import matplotlib
except ImportError:
    # Debian's package is seen by Debian's own interpreter, which
    # bench/run.sh uses; a python3 first on PATH (pyenv) may not have it.
    raise ImportError("png_plot needs matplotlib (Debian: python3-matplotlib; "
                      "scripts/setup.sh installs it)")

matplotlib.use("Agg")  # files only, no display
import matplotlib.pyplot as plt  # noqa: E402
from matplotlib.ticker import FixedLocator, FuncFormatter, NullLocator  # noqa: E402

COLOURS = [(31, 119, 180), (214, 39, 40), (44, 160, 44), (148, 103, 189), (255, 127, 14)]
GREY, DARK = (225, 225, 225), (60, 60, 60)
DPI = 100


def _rgb(colour):
    return tuple(c / 255 for c in colour)


def _decades(values):
    """The powers of ten that bound the values: at least one decade."""
    lo = math.floor(math.log10(min(values)))
    hi = math.ceil(math.log10(max(values)))
    return lo, max(hi, lo + 1)



def log_plot(path, title, x_label, y_label, series, width=900, height=560, y_format=None):
    """series: list of (name, [(x, y), ...]) with x, y > 0; log-log axes.
    y_format turns a y value into its axis label. width and height are the
    picture's size in pixels."""
    xs = [x for _, points in series for x, _ in points]
    ys = [y for _, points in series for _, y in points]
    x_lo, x_hi = _decades(xs)
    y_lo, y_hi = _decades(ys)

    figure = plt.figure(figsize=(width / DPI, height / DPI), dpi=DPI)
    try:
        # The plot area as before: 120 pixels left, 30 right, 80 above and below.
        axes = figure.add_axes([120 / width, 80 / height, 1 - 150 / width, 1 - 160 / height])
        axes.set_xscale("log")
        axes.set_yscale("log")
        axes.set_xlim(10.0 ** x_lo, 10.0 ** x_hi)
        axes.set_ylim(10.0 ** y_lo, 10.0 ** y_hi)
        axes.xaxis.set_major_locator(FixedLocator([10.0 ** e for e in range(x_lo, x_hi + 1)]))
        axes.yaxis.set_major_locator(FixedLocator([10.0 ** e for e in range(y_lo, y_hi + 1)]))
        axes.xaxis.set_minor_locator(NullLocator())
        axes.yaxis.set_minor_locator(NullLocator())
        axes.xaxis.set_major_formatter(FuncFormatter(lambda v, _: f"{v:g}"))
        axes.yaxis.set_major_formatter(
            FuncFormatter(lambda v, _: y_format(v) if y_format else f"{v:g}"))
        axes.grid(True, color=_rgb(GREY), linewidth=1)
        for tick in axes.xaxis.get_major_ticks() + axes.yaxis.get_major_ticks():
            tick.gridline.set_clip_on(False)  # the lines on the plot's edges in full
        axes.set_axisbelow(True)
        for side in ("top", "right"):
            axes.spines[side].set_visible(False)
        for side in ("left", "bottom"):
            axes.spines[side].set_color(_rgb(DARK))
            axes.spines[side].set_linewidth(1.5)
        axes.tick_params(colors=_rgb(DARK), labelsize=11)

        for index, (name, points) in enumerate(series):
            colour = _rgb(COLOURS[index % len(COLOURS)])
            points = sorted(points)
            axes.plot([x for x, _ in points], [y for _, y in points], color=colour,
                      linewidth=2.2, marker="s", markersize=6.5, label=name, clip_on=False,
                      zorder=3)  # over the axis lines, where the first and last points lie

        legend = axes.legend(loc="upper left", frameon=False, fontsize=12, handlelength=1.6)
        for text, line in zip(legend.get_texts(), legend.get_lines()):
            text.set_color(line.get_color())
        axes.set_title(title, loc="left", fontsize=14, pad=32)
        axes.set_xlabel(x_label, color=_rgb(DARK), fontsize=12)
        figure.text(10 / width, 1 - 52 / height, y_label, color=_rgb(DARK), fontsize=12,
                    va="center")
        figure.savefig(path, dpi=DPI, facecolor="white", format="png")
    finally:
        plt.close(figure)
