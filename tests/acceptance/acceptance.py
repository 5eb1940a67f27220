"""Shared pieces of the acceptance suite: the command line, the context each
case gets (bench, probe, X, packages, the tool), the looks of the window by
pixel, and the runner that prints one line per case and a closing count.
"""

import argparse
import os
import sys
import time
import traceback
import zlib
import struct

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "harness"))

import os  # noqa: E402
from tavo_harness import (MANUAL_NAME, parse_xwd, Bench, Package, Probe, Tool, ToolSession, X, WaitTimeout, end_windows_processes,  # noqa: E402,F401
                          stays, wait_for, windows_path, dep_bytes, inf_text, unix_state, FifoPort)

from tool_texts import *  # noqa: E402,F401,F403
IDS = {"exit": 1001, "install": 1002, "settings": 1003, "website": 1004, "manual": 1005}
BUTTON_X = {1002: 10, 1003: 90, 1004: 170, 1005: 250, 1001: 330}

# Colours (RGB)
BACKGROUND = (15, 15, 15)
ERASE = (36, 36, 36)
NORMAL = (46, 45, 45)
HOVER_FILL = (47, 45, 45)
PRESSED = (62, 61, 61)
WHITE = (255, 255, 255)
BLACK = (0, 0, 0)
DOT = (84, 195, 241)


def parse_args(argv):
    p = argparse.ArgumentParser()
    for name in ("tool", "install32", "install64", "probe", "demo-package", "section", "tag", "website", "work"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--bench", default=None, help="bench directory (default: TAVO_BENCH_DIR)")
    p.add_argument("--only", default=None, help="run the cases whose name contains this")
    p.add_argument("--keep-shots", action="store_true", help="save a screenshot of each failing case")
    return p.parse_args(argv)


def read_png(path):
    """Decodes an 8-bit, non-interlaced RGB or RGBA PNG: (w, h, channels, rows)."""
    with open(path, "rb") as f:
        data = f.read()
    pos, idat, w = 8, b"", None
    while pos < len(data):
        (length,) = struct.unpack(">I", data[pos:pos + 4])
        kind = data[pos + 4:pos + 8]
        body = data[pos + 8:pos + 8 + length]
        if kind == b"IHDR":
            w, h, depth, colour = struct.unpack(">IIBB", body[:10])
            assert depth == 8 and colour in (2, 6), "PNG kind not handled"
            ch = 3 if colour == 2 else 4
        elif kind == b"IDAT":
            idat += body
        pos += 12 + length
    raw = zlib.decompress(idat)
    stride = w * ch
    rows, prev = [], bytearray(stride)
    for y in range(h):
        ft = raw[y * (stride + 1)]
        line = bytearray(raw[y * (stride + 1) + 1:(y + 1) * (stride + 1)])
        for i in range(stride):
            a = line[i - ch] if i >= ch else 0
            b = prev[i]
            c = prev[i - ch] if i >= ch else 0
            if ft == 1:
                line[i] = (line[i] + a) & 255
            elif ft == 2:
                line[i] = (line[i] + b) & 255
            elif ft == 3:
                line[i] = (line[i] + (a + b) // 2) & 255
            elif ft == 4:
                pa, pb, pc = abs(b - c), abs(a - c), abs(a + b - 2 * c)
                pr = a if pa <= pb and pa <= pc else (b if pb <= pc else c)
                line[i] = (line[i] + pr) & 255
        rows.append(bytes(line))
        prev = line
    return w, h, ch, rows


class Context(ToolSession):
    """What a case works with. Everything a case starts is ended in cleanup()."""

    def __init__(self, args):
        ToolSession.__init__(self, args)
        self.x = X(self.bench)
        self.registry_undo = []
        demo = args.demo_package
        self.demo_inf = os.path.join(demo, "data", "oemprnt.inf")
        self.demo_manual = os.path.join(demo, "data", "说明书.docx")
        self.art = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(args.tool))), "resources", "art")
        if not os.path.isdir(self.art):
            self.art = os.path.join(os.path.dirname(os.path.dirname(args.tool)), "resources", "art")
        self.screen = None
        self.notes = []
        self.fifos = []

    # -- packages and the tool ---------------------------------------------
    def package(self, name="pkg", **kw):
        if "inf" not in kw and "models" not in kw and "section" not in kw and os.path.exists(self.demo_inf):
            with open(self.demo_inf, encoding="utf-8-sig", errors="replace") as f:
                kw["inf"] = f.read()
        kw.setdefault("section", self.args.section)
        if "manual_source" not in kw and os.path.exists(self.demo_manual):
            kw["manual_source"] = self.demo_manual
        kw.setdefault("dep", None)
        pkg = Package(os.path.join(self.work, name), self.args.tool,
                      [self.args.install32, self.args.install64], **kw)
        self.packages.append(pkg)
        return pkg

    def wait_window(self, timeout=40):
        m = ToolSession.wait_window(self, timeout)
        # Painted: the background shows left of the logo.
        wait_for(lambda: self.shot_pixel(3, 3) == BACKGROUND, 10, "the window to be painted")
        return m

    def wait_height(self, height, timeout=20):
        return ToolSession.wait_height(self, height, timeout)

    # -- screen ------------------------------------------------------------
    def shot(self):
        self.screen = self.x.shot()
        return self.screen

    def shot_pixel(self, wx, wy):
        r = self.rect()
        return self.shot().pixel(r[0] + wx, r[1] + wy) if r else None

    def window_pixels(self, screen=None):
        """A function (wx, wy) -> RGB over a screenshot of now."""
        s = screen or self.shot()
        r = self.rect()
        return lambda wx, wy: s.pixel(r[0] + wx, r[1] + wy)

    # -- input -------------------------------------------------------------
    def park(self):
        """The pointer away from the window (no hover anywhere)."""
        self.x.move(5, 5)

    def to_window(self, wx, wy):
        r = self.rect()
        self.x.move(r[0] + wx, r[1] + wy)

    def drag_by_logo(self):
        """A user's drag with the left button by the logo, 60 px right and
        40 down; returns the window's rectangle once it has moved."""
        before = self.rect()
        self.to_window(150, 40)
        x0, y0 = before[0] + 150, before[1] + 40
        self.x.down(1)
        for i in range(1, 7):
            self.x.move(x0 + 10 * i, y0 + 7 * i)
        self.x.up(1)
        return wait_for(lambda: self.rect()[:2] != before[:2] and self.rect(), 10, "the window to follow the drag")

    def button_look(self, bid, pixels=None):
        return look_of(pixels or self.window_pixels(), BUTTON_X[bid], 90)

    def hover(self, bid):
        """Moves onto button `bid` (from where the pointer is) and waits for
        its hover look: the move has armed it."""
        bx = BUTTON_X[bid]
        spot = [0]

        def nudge_and_look():
            # Moves again on every poll: a move that came before the window
            # took input is not lost for good.
            spot[0] ^= 1
            self.to_window(bx + 20 + spot[0] * 2, 110 + spot[0] * 2)
            return self.button_look(bid) == "hover"
        wait_for(nudge_and_look, 10, "hover look of button %d" % bid)

    def click(self, bid):
        """A user's click on button `bid`: onto it, press, release."""
        self.park()
        # The pointer left: the button loses its hover look (a look left from
        # the click before would otherwise pass for the new hover).
        wait_for(lambda: self.button_look(bid) != "hover", 10, "button %d to lose its hover look" % bid)
        self.hover(bid)
        self.x.down(1)
        self.x.up(1)

    def install_to_result_band(self, pkg):
        """Starts the tool of `pkg` and installs with an installer that leaves
        one printer: the result band shows (PanelState 1)."""
        self.start(pkg, env=self.installer_env(printers=1))
        self.click(IDS["install"])
        self.expect_box(T_INSTALLED_N % 1, caption="")
        self.wait_height(252)
        wait_for(lambda: not self.probe.children()[1100]["visible"], 10, "the installation to end")

    # -- boxes -------------------------------------------------------------
    def expect_box(self, text, icon=None, caption=None, owner_main=True, press=True, timeout=20):
        box = self.probe.wait_box(text, timeout)
        check(box["text"] == text, "box text %r" % box["text"])
        if icon is not None:
            check_icon(self, box, icon)
        if caption == "":
            check(box["caption"] == "", "box %r caption: expected empty, seen %r" % (text, box["caption"]))
        elif caption == "default":
            check_default_caption(self, box)
            if icon is None:
                # Every box the tool shows with the default caption
                # is MB_OK with no icon.
                check_icon(self, box, "none")
        if owner_main is not None:
            check(box["owner_is_main"] == owner_main,
                  "box %r owned by the main window: expected %s" % (text, owner_main))
        if press:
            self.probe.press(box)
        return box

    # -- installer log -----------------------------------------------------
    def clear_log(self):
        if os.path.exists(self.log_path):
            os.remove(self.log_path)

    # -- shell associations (a handler that logs its command line) ----------
    def set_association(self, key, handler_exe):
        """HKCR\\key\\shell\\open\\command -> "handler" "%1"; undone in cleanup."""
        self.bench.reg("add", "HKCR\\%s\\shell\\open\\command" % key, "/ve", "/d",
                       '"%s" "%%1"' % windows_path(handler_exe), "/f")
        self.registry_undo.append(("delete", key))

    def remove_key(self, key):
        """Deletes HKCR\\key after exporting it; restored in cleanup."""
        saved = os.path.join(self.work, "saved-%s.reg" % key.replace("\\", "_").replace(".", "_"))
        if self.bench.reg("export", "HKCR\\" + key, windows_path(saved), "/y") == 0:
            self.registry_undo.append(("import", saved))
        self.bench.reg("delete", "HKCR\\" + key, "/f")

    # -- printers ----------------------------------------------------------
    def port(self, name):
        return os.path.join(self.work, "port-%s.prn" % name)

    def add_printer(self, name, driver=MODEL, attributes=0):
        port = self.port(name.replace(" ", "_").replace("(", "").replace(")", ""))
        if os.path.exists(port):
            os.remove(port)
        self.probe.add_printer(name, driver, port, attributes)
        return port

    def add_watched_printer(self, name, driver=MODEL, attributes=0, port=None):
        """A printer whose port is a FIFO with a reader (FifoPort): every job
        it gets is kept, duplicates included. `port` reuses a FifoPort."""
        if port is None:
            port = FifoPort(os.path.join(self.work, "port-%d.fifo" % len(self.fifos)))
            self.fifos.append(port)
        self.probe.add_printer(name, driver, port.path, attributes)
        return port

    # -- cleanup -----------------------------------------------------------
    def cleanup(self):
        try:
            self.end_runs(INSTALLERS)
        finally:
            self.clean_the_rest()

    def clean_the_rest(self):
        self.probe.delete_all_printers()
        for fifo in self.fifos:  # the tool has ended: nothing sends any more
            fifo.close()
        self.fifos = []
        for action, what in reversed(self.registry_undo):
            if action == "delete":
                self.bench.reg("delete", "HKCR\\" + what, "/f")
            else:
                self.bench.reg("import", windows_path(what))
        self.registry_undo = []
        self.clear_log()
        for pkg in self.packages:
            pkg.remove()
        self.packages = []

    def close(self):
        self.cleanup()
        self.probe.close()


def check_default_caption(ctx, box):
    """The box's caption is the system's default, as a box that the probe
    shows with a null caption gets it."""
    want = ctx.probe.default_caption()
    check(box["caption"] == want, "box %r caption: expected the system default %r, seen %r"
          % (box["text"], want, box["caption"]))


def check_icon(ctx, box, icon):
    """The box shows `icon` ("none" for none), told from its pixels."""
    seen = ctx.seen_icon(box)
    check(seen == icon, "box %r icon: expected %s, seen %s" % (box["text"], icon, seen))
    if icon == "none" and box["icon_rect"][2] > box["icon_rect"][0]:
        # No icon control shows one; nor do the pixels where one would be.
        drawn = ctx.probe.icon_by_pixels(box, ctx.x.window_shot(box["x11_window"]))
        check(drawn is None, "box %r shows the %s icon by its pixels" % (box["text"], drawn))


def setting_command(code, index, tag):
    """The 12 bytes of a setting command, as the printer expects them:
    ESC 5, the setting code, the option index (low byte first), the check
    byte, ESC 5 and the four-letter tag."""
    low, high = index & 0xFF, (index >> 8) & 0xFF
    return bytes([0x1B, 0x05, code & 0xFF, low, high, high ^ (code & 0xFF) ^ low ^ 0xA2, 0x1B, 0x05]) + \
        tag.encode("ascii")


def read_port(path):
    """What a file port holds (its last job), or None when there is no file."""
    try:
        with open(path, "rb") as f:
            return f.read()
    except FileNotFoundError:
        return None


class NotRun(Exception):
    """Raised by a case that this bench cannot run (a 32-bit prefix on a host
    without 32-bit code, say): the case is reported as not run, never as
    passed."""


def check(condition, message):
    if not condition:
        raise AssertionError(message)


def look_of(px, x0, y0, w=80, h=80):
    """The look of a flat button whose top-left is (x0, y0) in window pixels:
    normal, hover, pressed, outline-less, or a description of what is there."""
    edge, ring1, ring2, fill = px(x0, y0 + 5), px(x0 + 1, y0 + 5), px(x0 + 2, y0 + 5), px(x0 + 5, y0 + 5)
    right = [px(x0 + w - 1 - i, y0 + 5) for i in range(5)]
    if edge == BLACK and fill == NORMAL and ring1 == NORMAL:
        return "normal"
    if edge == BLACK and ring1 == WHITE and ring2 == BLACK and fill == HOVER_FILL and \
            right == [BLACK, WHITE, WHITE, BLACK, HOVER_FILL]:
        return "hover"
    if edge == BLACK and fill == PRESSED and ring1 == PRESSED:
        return "pressed"
    if edge == ERASE and fill == ERASE and ring1 == ERASE:
        return "outline-less"
    return "other %s %s %s %s" % (edge, ring1, ring2, fill)


def has_colour(px, left, top, right, bottom, colour):
    return any(px(x, y) == colour for y in range(top, bottom) for x in range(left, right))


class Case:
    def __init__(self, name, fn, *params, xfail=None):
        self.name, self.fn, self.params, self.xfail = name, fn, params, xfail


def run(cases, argv=None):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    ctx = Context(args)
    passed = failed = xfailed = not_run = 0
    failures = []
    ctx.cleanup()
    try:
        for case in cases:
            if args.only and args.only not in case.name:
                continue
            start = time.monotonic()
            print("RUN  %s" % case.name, flush=True)
            error = None
            reason = None
            try:
                ctx.park()
                case.fn(ctx, *case.params)
            except NotRun as e:
                reason = str(e)
            except Exception as e:  # a failed check or a broken step: the case fails
                error = e
                ctx.notes.append("state at the failure: " + ctx.state_of_runs())
                if args.keep_shots:
                    try:
                        ctx.shot().save_png(os.path.join(ctx.work, "fail-%s.png" % case.name))
                    except Exception:
                        pass
            try:
                ctx.cleanup()
            except Exception as e:
                if error is None:
                    error = AssertionError("cleanup: %s" % e)
            took = time.monotonic() - start
            for note in ctx.notes:
                print("     note: " + note)
            ctx.notes = []
            if error is None and reason is not None:
                print("NOT RUN %s (%.1f s): %s" % (case.name, took, reason), flush=True)
                not_run += 1
            elif error is None and case.xfail:
                print("XPASS %s (%.1f s) — expected failure passed: %s" % (case.name, took, case.xfail), flush=True)
                passed += 1
            elif error is None:
                print("PASS %s (%.1f s)" % (case.name, took), flush=True)
                passed += 1
            elif case.xfail:
                print("XFAIL %s (%.1f s): %s [%s]" % (case.name, took, error, case.xfail), flush=True)
                xfailed += 1
            else:
                failed += 1
                failures.append(case.name)
                tb = traceback.extract_tb(error.__traceback__)
                where = next((f for f in reversed(tb) if "test_" in f.filename), tb[-1] if tb else None)
                at = " (%s:%d)" % (os.path.basename(where.filename), where.lineno) if where else ""
                print("FAIL %s (%.1f s): %s%s" % (case.name, took, error, at), flush=True)
    finally:
        ctx.close()
    if failures:
        print("failed cases: " + ", ".join(failures))
    print("%d passed, %d failed%s%s" % (passed, failed, (", %d expected failures" % xfailed) if xfailed else "",
                                        (", %d not run" % not_run) if not_run else ""))
    sys.exit(1 if failed else 0)
