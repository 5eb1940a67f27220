"""Drives the built tool from outside under Wine: throwaway package
directories, the tool's process, the probe (window system, message boxes,
spooler, processes), real X input and screenshots.

Plain python3, no third-party packages. Every wait is a poll on a condition
with a deadline (wait_for); nothing sleeps a fixed time to let something
happen. See README.md beside this file.
"""

import json
import os
import select
import shutil
import signal
import struct
import subprocess
import time
import zlib

# ---------------------------------------------------------------------------
# Waiting


class WaitTimeout(AssertionError):
    pass


class LeftoverBox(AssertionError):
    """A message box that no step of a case answered."""


def wait_for(condition, timeout=10.0, what="condition", interval=0.05):
    """Polls `condition` until it returns a true value, which is returned.
    Raises WaitTimeout (an AssertionError) after `timeout` seconds; the last
    value seen is part of the message."""
    deadline = time.monotonic() + timeout
    last = None
    while True:
        last = condition()
        if last:
            return last
        if time.monotonic() >= deadline:
            raise WaitTimeout("timed out after %.1f s waiting for %s (last: %r)" % (timeout, what, last))
        time.sleep(interval)


def stays(condition, duration, what="condition", interval=0.05):
    """Checks that `condition` holds on every poll for `duration` seconds: the
    way to show that something does NOT happen (no box, no job, no move).
    Raises AssertionError at the first poll where it fails."""
    deadline = time.monotonic() + duration
    while True:
        value = condition()
        if not value:
            raise AssertionError("%s stopped holding (got %r)" % (what, value))
        if time.monotonic() >= deadline:
            return value
        time.sleep(interval)


# ---------------------------------------------------------------------------
# The bench: display and Wine prefix


class Bench:
    """The bench's virtual display and Wine prefix. Taken from the
    environment CTest gives (TAVO_BENCH_DIR, TAVO_WINE_RUNNER) unless given."""

    def __init__(self, bench_dir=None, runner=None):
        self.dir = bench_dir or os.environ.get("TAVO_BENCH_DIR")
        if not self.dir:
            raise RuntimeError("no bench: set TAVO_BENCH_DIR (tests/wine/bench-start DIR)")
        runner = runner or os.environ.get("TAVO_WINE_RUNNER")
        if runner:
            self.runner = runner.split(" ") if isinstance(runner, str) else list(runner)
        else:
            here = os.path.dirname(os.path.abspath(__file__))
            self.runner = [os.path.join(here, "..", "wine", "run-in-wine"),
                           os.path.join(self.dir, "wineprefix")]
        self.prefix = os.path.join(self.dir, "wineprefix")
        with open(os.path.join(self.dir, "display")) as f:
            self.display = ":" + f.read().strip()
        # The Wine 10 mode (scripts/test-wine10.sh): bench-start names the
        # root folder whose Wine the bench runs, and that folder its Wine's
        # version; None on the system's Wine.
        self.wine_root = self.wine_version = None
        root_file = os.path.join(self.dir, "wine-root")
        if os.path.exists(root_file):
            with open(root_file) as f:
                self.wine_root = f.read().strip()
            with open(os.path.join(self.wine_root, ".tavo-wine10-complete")) as f:
                self.wine_version = f.read().strip()
        # Wine 10 drops a WM_DEVICECHANGE of the 0x8000 range that another
        # process sends with a null lParam: SendMessage returns, and the
        # window never gets it. On Windows such a notification always points
        # at a record; the recordless path is seen on the system's Wine only.
        self.drops_recordless_device_change = self.wine_root is not None

    def env(self, extra=None):
        env = dict(os.environ)
        env["DISPLAY"] = self.display
        env["WINEPREFIX"] = self.prefix
        env.setdefault("WINEDEBUG", "-all")
        # Wine turns Unix file names into Windows ones through the locale's
        # code set: without UTF-8 a package path in Chinese would be lost.
        if "UTF-8" not in env.get("LC_ALL", "") + env.get("LANG", "") + env.get("LC_CTYPE", ""):
            env["LC_ALL"] = "C.UTF-8"
        for key, value in (extra or {}).items():
            if value is None:
                env.pop(key, None)
            else:
                env[key] = str(value)
        return env

    def wine_command(self, program, *args):
        return self.runner + [program] + list(args)

    def run(self, program, *args, timeout=60, env=None, cwd=None):
        """Runs a Windows program to its end; returns (exit code, stdout)."""
        result = subprocess.run(self.wine_command(program, *args), env=self.env(env), cwd=cwd,
                                stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, timeout=timeout)
        return result.returncode, result.stdout.decode("utf-8", "replace")

    def reg(self, *args):
        """`reg` of the prefix (reg add/delete/query ...): returns exit code."""
        code, _ = self.run("reg", *args)
        return code


def windows_path(unix_path):
    """The Windows name of a Unix path under Wine (the Z: drive)."""
    return "Z:" + os.path.abspath(unix_path).replace("/", "\\")


# ---------------------------------------------------------------------------
# Package directories


DEFAULT_MODELS = [
    '"TAVO TP-630K" = TP630K.Install, USBPRINT\\TAVOTP-630K5A1B, TAVO_TP-630K',
    '"TAVO TP-830K" = TP830K.Install, USBPRINT\\TAVOTP-830K7C2D, TAVO_TP-830K',
]
MANUAL_NAME = "说明书.docx"


def dep_bytes(values=None, raw=None):
    """A settings file: `raw` bytes as they are, or 64 little-endian 32-bit
    values, all 0 except those in `values` ({index: value})."""
    if raw is not None:
        return bytes(raw)
    block = [0] * 64
    for index, value in (values or {}).items():
        block[index] = value
    return struct.pack("<64i", *block)


def inf_text(section, lines):
    out = ["; test package", "[Version]", 'Signature="$Windows NT$"', "Class=Printer", "",
           "[Manufacturer]", "TAVO=%s" % section, ""]
    if section is not None:
        out.append("[%s]" % section)
        out.extend(lines)
    out.append("")
    return "\r\n".join(out)


class Package:
    """A throwaway package directory laid out like the shipped one:

        DIR/TavoSetup.exe, DIR/.dep, DIR/data/oemprnt.inf,
        DIR/data/install32.exe, DIR/data/install64.exe, DIR/data/说明书.docx

    Any piece can be left out (None / False) or given its own content."""

    def __init__(self, path, tool, installers=(), section="TAVO", models=None, dep=None,
                 dep_values=None, inf=True, manual=True, manual_source=None, tool_name="TavoSetup.exe"):
        self.path = os.path.abspath(path)
        if os.path.exists(self.path):
            shutil.rmtree(self.path)
        os.makedirs(os.path.join(self.path, "data"))
        self.exe = os.path.join(self.path, tool_name)
        shutil.copyfile(tool, self.exe)
        for installer in installers:
            shutil.copyfile(installer, os.path.join(self.path, "data", os.path.basename(installer)))
        self.dep_path = os.path.join(self.path, ".dep")
        if dep is not False:
            with open(self.dep_path, "wb") as f:
                f.write(dep if isinstance(dep, (bytes, bytearray)) else dep_bytes(dep_values))
        self.inf_path = os.path.join(self.path, "data", "oemprnt.inf")
        if inf:
            text = inf if isinstance(inf, str) else inf_text(section, DEFAULT_MODELS if models is None else models)
            with open(self.inf_path, "w", encoding="utf-8", newline="") as f:
                f.write(text)
        self.manual_path = os.path.join(self.path, "data", MANUAL_NAME)
        if manual:
            if manual_source:
                shutil.copyfile(manual_source, self.manual_path)
            else:
                with open(self.manual_path, "wb") as f:
                    f.write(b"PK\x05\x06" + b"\0" * 18)  # an empty zip: a stand-in document

    def win(self, *parts):
        return windows_path(os.path.join(self.path, *parts))

    def remove(self):
        shutil.rmtree(self.path, ignore_errors=True)


# ---------------------------------------------------------------------------
# The probe


class Probe:
    """tavo_probe.exe in serve mode: one query per call, answered in JSON."""

    def __init__(self, bench, probe_exe):
        self.bench = bench
        self.exe = probe_exe
        self.proc = subprocess.Popen(bench.wine_command(probe_exe, "serve"), env=bench.env(),
                                     stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                     stderr=subprocess.DEVNULL)
        self._buffer = b""

    def query(self, *args, timeout=30):
        if self.proc.poll() is not None:
            raise RuntimeError("probe ended with %s" % self.proc.returncode)
        line = "\t".join(str(a) for a in args) + "\n"
        self.proc.stdin.write(line.encode("utf-8"))
        self.proc.stdin.flush()
        deadline = time.monotonic() + timeout
        fd = self.proc.stdout.fileno()
        while b"\n" not in self._buffer:
            left = deadline - time.monotonic()
            if left <= 0:
                raise WaitTimeout("probe gave no answer to %r in %s s" % (args, timeout))
            ready, _, _ = select.select([fd], [], [], left)
            if ready:
                chunk = os.read(fd, 65536)
                if not chunk:
                    raise RuntimeError("probe closed its output")
                self._buffer += chunk
        answer, self._buffer = self._buffer.split(b"\n", 1)
        if os.environ.get("TAVO_PROBE_TRACE") and time.monotonic() - deadline + timeout > 0.3:
            print("probe: %r took %.2f s" % (args, time.monotonic() - deadline + timeout), flush=True)
        return json.loads(answer.decode("utf-8"))

    def close(self):
        if self.proc.poll() is None:
            try:
                self.proc.stdin.write(b"quit\n")
                self.proc.stdin.flush()
                self.proc.wait(timeout=10)
            except (OSError, subprocess.TimeoutExpired):
                self.proc.kill()
                self.proc.wait()

    # -- convenience --
    def main(self, cls="TAVO_WIN32"):
        return self.query("main", cls)

    def rect(self):
        m = self.main()
        return tuple(m["rect"]) if m.get("found") else None

    def children(self):
        answer = self.query("children")
        return {c["id"]: c for c in answer.get("children", [])}

    def boxes(self):
        return self.query("boxes")["boxes"]

    def wait_box(self, text=None, timeout=15, pid=None):
        def find():
            for box in self.boxes():
                if (text is None or box["text"] == text) and (pid is None or box["pid"] == pid):
                    return box
            return None
        return wait_for(find, timeout, "message box %r" % text)

    def box_icon(self, box, image):
        """Which system icon the box shows, told from `image`, the pixels of
        the box's own window ((0, 0) at its top-left): the box's icon handle
        belongs to another process, so the probe draws each system icon over
        the box's own background and the pixels are compared with it. "none"
        when the box has no icon control showing one, None when the icon
        area matches no system icon."""
        if not box["icon_handle"]:
            return "none"
        return self.icon_by_pixels(box, image)

    def icon_by_pixels(self, box, image):
        """Which system icon the pixels of the box's icon place show, whatever
        its icon control holds (None for none of the four): the place is
        there, hidden, in a box without an icon."""
        bx, by = box["rect"][0], box["rect"][1]
        left, top, right, bottom = (v - o for v, o in zip(box["icon_rect"], (bx, by, bx, by)))
        if right <= left or right > image.width or bottom > image.height:
            return None
        background = image.pixel(left, top)
        best, best_score = None, 0.0
        for name in ("error", "warning", "information", "question"):
            ref = self.query("systemicon", name, *background)
            size, rgb = ref["size"], bytes.fromhex(ref["rgb"])
            same = total = 0
            for y in range(min(size, bottom - top)):
                for x in range(min(size, right - left)):
                    total += 1
                    i = (y * size + x) * 3
                    if all(abs(a - b) <= 8 for a, b in zip(image.pixel(left + x, top + y), rgb[i:i + 3])):
                        same += 1
            score = same / total if total else 0
            if score > best_score:
                best, best_score = name, score
        return best if best_score >= 0.97 else None

    def text_pixels(self, width, height, text):
        """`text` drawn by the probe as the tool draws its band text (UiFont,
        black on white, DrawTextW flags 0) in a width x height bitmap: a
        Screen of its pixels."""
        answer = self.query("text", width, height, text)
        if not answer.get("ok"):
            raise RuntimeError("the probe could not draw %r: %s" % (text, answer.get("error")))
        return Screen(answer["width"], answer["height"], bytes.fromhex(answer["rgb"]))

    def default_caption(self):
        """The caption the system gives a message box shown without one,
        read from a box the probe shows itself; asked once per probe."""
        if getattr(self, "_default_caption", None) is None:
            answer = self.query("defaultcaption")
            if not answer.get("ok") or not answer["caption"]:
                raise RuntimeError("no default caption from the probe's own box: %r" % answer)
            self._default_caption = answer["caption"]
        return self._default_caption

    def press(self, box, button_id=1):
        self.query("press", box["hwnd"], button_id)
        wait_for(lambda: all(b["hwnd"] != box["hwnd"] for b in self.boxes()), 10,
                 "message box %r to close" % box["text"])

    def printers(self):
        return self.query("printers")["printers"]

    def add_printer(self, name, driver, port, attributes=0):
        answer = self.query("addprinter", name, driver, port, attributes)
        if not answer["ok"]:
            raise RuntimeError(answer["error"])

    def delete_printer(self, name):
        return self.query("delprinter", name)

    def delete_all_printers(self):
        for p in self.printers():
            self.delete_printer(p["name"])

    def procs(self):
        return self.query("procs")["procs"]

    def terminate(self, pid):
        return self.query("terminate", pid)


# ---------------------------------------------------------------------------
# The tool's process


def unix_state(pid):
    """A Unix process's threads by state and the kernel function each waits
    in (e.g. "S do_epoll_wait x2, D folio_wait_bit"), for failure reports."""
    waits = {}
    try:
        for task in sorted(os.listdir("/proc/%d/task" % pid)):
            with open("/proc/%d/task/%s/stat" % (pid, task)) as f:
                state = f.read().rsplit(")", 1)[1].split()[0]
            with open("/proc/%d/task/%s/wchan" % (pid, task)) as f:
                where = f.read().strip()
            key = "%s %s" % (state, where if where not in ("", "0") else "-")
            waits[key] = waits.get(key, 0) + 1
    except OSError as e:
        return "unreadable (%s)" % e.strerror
    return ", ".join(k + (" x%d" % n if n > 1 else "") for k, n in sorted(waits.items()))


def group_state(pgid):
    """Each process of a Unix process group (a tool run's wrapper and the
    Wine process under it) with its threads' waits."""
    members = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/stat" % entry) as f:
                comm, rest = f.read().split(" (", 1)[1].rsplit(") ", 1)
        except (OSError, IndexError, ValueError):
            continue
        if int(rest.split()[2]) == pgid:
            members.append("%s %s [%s]" % (comm, entry, unix_state(int(entry))))
    return "; ".join(sorted(members)) or "no process left"



class Tool:
    """One run of the tool, started through Wine; ended by its own id."""

    def __init__(self, bench, exe, cwd=None, env=None, stderr_path=None):
        self.bench = bench
        self.exe = exe
        self.stderr_path = stderr_path
        stderr = open(stderr_path, "wb") if stderr_path else subprocess.DEVNULL
        try:
            self.proc = subprocess.Popen(bench.wine_command(exe), env=bench.env(env),
                                         cwd=cwd or os.path.dirname(exe), stdin=subprocess.DEVNULL,
                                         stdout=subprocess.PIPE, stderr=stderr,
                                         start_new_session=True)
        finally:
            if stderr_path:
                stderr.close()
        self.pid = self.proc.pid

    def running(self):
        return self.proc.poll() is None

    def wait_exit(self, timeout=20):
        try:
            return self.proc.wait(timeout=timeout)
        except subprocess.TimeoutExpired:
            raise WaitTimeout("the tool did not end within %s s" % timeout)

    def stdout(self):
        """What the tool wrote to standard output (after it ended)."""
        return self.proc.stdout.read().decode("utf-8", "replace") if self.proc.stdout else ""

    def stderr_tail(self, lines=3):
        """The last lines the run's Wine wrote to standard error, without
        the lines of a debug channel's trace (the loader's own errors)."""
        if not self.stderr_path:
            return []
        try:
            with open(self.stderr_path, encoding="utf-8", errors="replace") as f:
                kept = [line.strip() for line in f if line.strip() and ":trace:" not in line]
        except OSError:
            return []
        return kept[-lines:]

    def end(self):
        """Ends the tool by its id (the Wine process started for it)."""
        if self.proc.poll() is None:
            try:
                os.killpg(self.pid, signal.SIGKILL)
            except ProcessLookupError:
                pass
            self.proc.wait(timeout=20)
        if self.proc.stdout:
            self.proc.stdout.close()
            self.proc.stdout = None


def end_windows_processes(probe, names):
    """Ends, each by its id, the Windows processes whose exe is in `names`
    (e.g. installers left hanging by a case)."""
    ended = []
    for p in probe.procs():
        if p["exe"].lower() in names:
            probe.terminate(p["pid"])
            ended.append(p["pid"])
    return ended


# ---------------------------------------------------------------------------
# Printer ports that keep every job, and the spooler's own account of them


class FifoPort:
    """A printer port that is a FIFO with a reader: Wine's spooler writes each
    job into it and the reader keeps them all (a plain file port keeps only
    the last job, so a duplicate would not show). Jobs sent in a row may
    reach the reader in one read; data() is everything received, in order."""

    def __init__(self, path):
        import threading
        self.path = path
        if os.path.lexists(path):
            os.remove(path)
        os.mkfifo(path)
        self.reads = []
        self._stop = False
        self._lock = threading.Lock()
        self._thread = threading.Thread(target=self._read, daemon=True)
        self._thread.start()

    def _read(self):
        while not self._stop:
            with open(self.path, "rb") as f:
                data = f.read()
            if data:
                with self._lock:
                    self.reads.append(data)

    def data(self):
        with self._lock:
            return b"".join(self.reads)

    def clear(self):
        with self._lock:
            self.reads = []

    def close(self):
        """Ends the reader (a writer of our own that writes nothing wakes
        it) and removes the FIFO. Call it when no Windows process can send."""
        self._stop = True
        if self._thread.is_alive():
            fd = os.open(self.path, os.O_WRONLY)
            os.close(fd)
            self._thread.join(10)
        if os.path.lexists(self.path):
            os.remove(self.path)


SPOOLER_TRACE = "trace+winspool"


def spooler_jobs(trace_path):
    """The raw jobs a process gave Wine's spooler, read from the spooler's
    own trace (WINEDEBUG=trace+winspool): in order, each with its document
    name, output file and data type as StartDocPrinterW got them, the byte
    counts of its WritePrinter calls and whether EndDocPrinter ended it.
    Wine 8 delivers a job inside EndDocPrinter, in the same process: it opens
    "PORT, Port" as a printer and sends the spooled bytes there as a job of
    its own whose output file is the port, so each job of the tool shows
    twice; "delivery" is True for the spooler's copy (an output file given)
    and False for the job the program started (none given).
    (Wine 8 keeps a process's jobs in that process: EnumJobsW from another
    process lists none, and SetPrinterW cannot pause a printer, so the queue
    cannot hold them for the probe to read.)"""
    import re
    try:
        with open(trace_path, encoding="utf-8", errors="replace") as f:
            lines = f.read().splitlines()
    except FileNotFoundError:
        return []
    start = re.compile(r'StartDocPrinterW \((\w+), 1, \w+ \{(L"(?:[^"\\]|\\.)*"|\(null\)), '
                       r'(L"(?:[^"\\]|\\.)*"|\(null\)), (L"(?:[^"\\]|\\.)*"|\(null\))\}\)')
    write = re.compile(r'WritePrinter \((\w+), \w+, (\d+), ')
    end = re.compile(r'EndDocPrinter \((\w+)\)')

    def text(field):
        return None if field == "(null)" else field[2:-1]
    jobs, open_jobs = [], {}
    for line in lines:
        m = start.search(line)
        if m:
            job = {"document": text(m.group(2)), "output": text(m.group(3)), "datatype": text(m.group(4)),
                   "written": [], "ended": False, "delivery": m.group(3) != "(null)"}
            jobs.append(job)
            open_jobs[m.group(1)] = job
            continue
        m = write.search(line)
        if m and m.group(1) in open_jobs:
            open_jobs[m.group(1)]["written"].append(int(m.group(2)))
            continue
        m = end.search(line)
        if m and m.group(1) in open_jobs:
            open_jobs.pop(m.group(1))["ended"] = True
    return jobs


# ---------------------------------------------------------------------------
# X: input and screenshots


class Screen:
    """A screenshot of the whole display, pixels as (r, g, b)."""

    def __init__(self, width, height, rgb):
        self.width = width
        self.height = height
        self.rgb = rgb  # bytes, 3 per pixel, rows top to bottom

    def pixel(self, x, y):
        i = (y * self.width + x) * 3
        return tuple(self.rgb[i:i + 3])

    def crop(self, left, top, right, bottom):
        left, top = max(0, left), max(0, top)
        right, bottom = min(self.width, right), min(self.height, bottom)
        rows = [self.rgb[(y * self.width + left) * 3:(y * self.width + right) * 3] for y in range(top, bottom)]
        return Screen(right - left, bottom - top, b"".join(rows))

    def paste(self, image, left, top):
        """A copy with `image` laid over it, its top-left at (left, top)."""
        rgb = bytearray(self.rgb)
        for y in range(image.height):
            if 0 <= top + y < self.height:
                x0, x1 = max(0, left), min(self.width, left + image.width)
                if x0 < x1:
                    row = image.rgb[(y * image.width + x0 - left) * 3:(y * image.width + x1 - left) * 3]
                    rgb[((top + y) * self.width + x0) * 3:((top + y) * self.width + x1) * 3] = row
        return Screen(self.width, self.height, bytes(rgb))

    def save_png(self, path):
        raw = b"".join(b"\0" + self.rgb[y * self.width * 3:(y + 1) * self.width * 3] for y in range(self.height))

        def chunk(kind, data):
            return struct.pack(">I", len(data)) + kind + data + struct.pack(">I", zlib.crc32(kind + data) & 0xFFFFFFFF)
        png = b"\x89PNG\r\n\x1a\n" + chunk(b"IHDR", struct.pack(">IIBBBBB", self.width, self.height, 8, 2, 0, 0, 0))
        png += chunk(b"IDAT", zlib.compress(raw, 9)) + chunk(b"IEND", b"")
        with open(path, "wb") as f:
            f.write(png)


def parse_xwd(data):
    fields = struct.unpack(">25I", data[:100])
    header_size, _, _, _, width, height, _, byte_order = fields[:8]
    bits_per_pixel, bytes_per_line = fields[11], fields[12]
    masks = fields[14:17]
    ncolors = fields[19]
    if bits_per_pixel not in (24, 32):
        raise RuntimeError("xwd: %d bits per pixel not handled" % bits_per_pixel)
    step = bits_per_pixel // 8
    offset = header_size + ncolors * 12
    shifts = [(m & -m).bit_length() - 1 for m in masks]
    out = bytearray(width * height * 3)
    if masks == (0xFF0000, 0xFF00, 0xFF):
        # The usual layout: bytes B, G, R (, X) when least significant first.
        order = (2, 1, 0) if byte_order == 0 else ((1, 2, 3) if step == 4 else (0, 1, 2))
        for y in range(height):
            row = data[offset + y * bytes_per_line: offset + y * bytes_per_line + width * step]
            o = y * width * 3
            for c in range(3):
                out[o + c:o + width * 3:3] = row[order[c]::step]
        return Screen(width, height, bytes(out))
    for y in range(height):
        for x in range(width):
            start = offset + y * bytes_per_line + x * step
            v = int.from_bytes(data[start:start + step], "little" if byte_order == 0 else "big")
            o = (y * width + x) * 3
            for c in range(3):
                out[o + c] = (v & masks[c]) >> shifts[c]
    return Screen(width, height, bytes(out))


class X:
    """Real input through the X server (xdotool) and screenshots (xwd)."""

    def __init__(self, bench):
        self.bench = bench
        self.env = dict(os.environ, DISPLAY=bench.display)

    def _xdotool(self, *args):
        subprocess.run(["xdotool"] + [str(a) for a in args], env=self.env, check=True,
                       stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, timeout=20)

    def move(self, x, y):
        self._xdotool("mousemove", x, y)

    def pointer(self):
        out = subprocess.run(["xdotool", "getmouselocation", "--shell"], env=self.env, check=True,
                             stdout=subprocess.PIPE, timeout=20).stdout.decode()
        values = dict(line.split("=", 1) for line in out.split() if "=" in line)
        return int(values["X"]), int(values["Y"])

    def down(self, button=1):
        self._xdotool("mousedown", button)

    def up(self, button=1):
        self._xdotool("mouseup", button)

    def click(self, button=1):
        self._xdotool("click", button)

    def key(self, *keys):
        self._xdotool("key", *keys)

    def shot(self):
        return self._xwd("-root")

    def window_shot(self, xid):
        """The pixels of one X window itself, (0, 0) at its top-left. The
        bench's X server keeps backing store, so this is what the window
        drew even where the root shows another window over it: Wine stacks
        an owned window (a message box, a dropped list) under its owner on
        the X side when no window manager runs, while Windows shows it on
        top (Wine's z-order mapping, not the tool's)."""
        if not xid:
            raise RuntimeError("the window has no X window of its own")
        return self._xwd("-id", str(xid))

    def _xwd(self, *which):
        # xwd fails now and then when a window changes while it reads the
        # screen: taken again until it succeeds, within a deadline.
        def take():
            result = subprocess.run(["xwd"] + list(which) + ["-silent", "-display", self.bench.display],
                                    stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, timeout=30)
            return result.stdout if result.returncode == 0 and len(result.stdout) > 100 else None
        return parse_xwd(wait_for(take, 20, "a screenshot (xwd %s)" % " ".join(which)))


MAIN_CLASS = "TAVO_WIN32"


class ToolSession:
    """What the suites' cases have in common: the bench and the probe, the
    packages and tool runs a case starts (ended by the suite's cleanup), the
    installer's log, and the main window as the probe sees it."""

    def __init__(self, args):
        self.args = args
        self.bench = Bench(args.bench)
        self.work = os.path.abspath(args.work)
        os.makedirs(self.work, exist_ok=True)
        self.probe = Probe(self.bench, args.probe)
        self.tools = []
        self.packages = []
        self.log_path = os.path.join(self.work, "installer-log.txt")

    def installer_env(self, **steer):
        """The installer logs its command line; TAVO_INSTALLER_<KEY> steers it."""
        env = {"TAVO_INSTALLER_LOG": windows_path(self.log_path)}
        for key, value in steer.items():
            env["TAVO_INSTALLER_" + key.upper()] = value
        return env

    def start(self, pkg, env=None, cwd=None, wait=True, stderr_path=None):
        """Starts the tool of `pkg` (in its own directory unless `cwd`) and
        waits for its window."""
        full = self.installer_env()
        full.update(env or {})
        # Kept so that a run that ends before its window can say why.
        stderr_path = stderr_path or os.path.join(self.work, "tool-stderr-%d.txt" % len(self.tools))
        tool = Tool(self.bench, pkg.exe, cwd=cwd or pkg.path, env=full, stderr_path=stderr_path)
        self.tools.append(tool)
        if wait:
            self.wait_window()
        return tool

    def start_traced(self, pkg, env=None, cwd=None, wait=True):
        """start(), with the spooler's trace of the tool's process kept in
        self.trace_path: spooler_jobs() reads the raw jobs it sent from it."""
        self.trace_path = os.path.join(self.work, "spooler-trace-%d.txt" % len(self.tools))
        return self.start(pkg, env=dict(env or {}, WINEDEBUG=SPOOLER_TRACE), cwd=cwd, wait=wait,
                          stderr_path=self.trace_path)

    def spooler_jobs(self):
        """The raw jobs the tool started by start_traced() gave the spooler."""
        return spooler_jobs(self.trace_path)

    def main(self):
        return self.probe.main(MAIN_CLASS)

    def state_of_runs(self):
        """Where the case's tool runs stood, for the report of a failed case
        (a wait that timed out says what it waited for, not why): each run's
        Unix process and its threads' waits, the prefix's Windows processes
        and the main window."""
        parts = []
        for tool in self.tools:
            code = tool.proc.poll()
            if code is None:
                parts.append("tool run %d running: %s" % (tool.pid, group_state(tool.pid)))
            else:
                parts.append("tool run %d exited %d, standard error %s" % (tool.pid, code, tool.stderr_tail()))
        try:
            parts.append("Windows processes: " + " ".join(sorted("%s(%d)" % (p["exe"], p["pid"]) for p in self.probe.procs())))
            m = self.main()
            parts.append("main window: " + ("%s, pid %d" % ("visible" if m["visible"] else "hidden", m["pid"])
                                            if m.get("found") else "none"))
            parts.append("message boxes: %s" % [b["text"] for b in self.probe.boxes()])
        except Exception as e:
            parts.append("probe failed: %s" % e)
        return "; ".join(parts)

    def wait_window(self, timeout=40):
        """The main window once it is visible. A tool run that ends before
        any main window shows fails the wait at once, with its exit code."""
        def shown():
            m = self.main()
            if m.get("found") and m["visible"]:
                return m
            code = self.tools[-1].proc.poll() if self.tools else None
            if code is not None and not m.get("found"):
                raise WaitTimeout("the tool ended with exit code %d before its main window showed" % code)
            return None
        return wait_for(shown, timeout, "the main window")

    def rect(self):
        m = self.main()
        return tuple(m["rect"]) if m.get("found") else None

    def height(self):
        r = self.rect()
        return r[3] - r[1] if r else None

    def wait_height(self, height, timeout=30):
        return wait_for(lambda: self.height() == height, timeout, "window height %d" % height)

    def seen_icon(self, box, timeout=5):
        """The system icon that `box` shows ("none" for none), read from the
        box's own pixels; fails when it cannot be told within `timeout`."""
        x = X(self.bench)
        return wait_for(lambda: self.probe.box_icon(box, x.window_shot(box["x11_window"])), timeout,
                        "the icon of box %r told by its pixels" % box["text"])

    def no_box(self, duration=1.5):
        stays(lambda: not self.probe.boxes(), duration, "no message box")

    def log_lines(self):
        try:
            with open(self.log_path, encoding="utf-8", errors="replace") as f:
                return [line.rstrip("\r\n") for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def end_runs(self, installers=("install32.exe", "install64.exe")):
        """Closes any box, ends every tool run and any installer left running,
        each by its id, and waits until no window of them is left. A box
        still open at the end of a case is one the case did not expect:
        after everything is closed (so the next case starts clean) that
        fails the case (LeftoverBox)."""
        leftover = self.probe.boxes()
        for box in leftover:
            try:
                self.probe.query("press", box["hwnd"], 1)
            except Exception:
                pass
        for tool in self.tools:
            tool.end()
        self.tools = []
        end_windows_processes(self.probe, set(installers))
        wait_for(lambda: not self.main().get("found"), 20, "no main window left")
        wait_for(lambda: not self.probe.boxes(), 20, "no message box left")
        if leftover:
            raise LeftoverBox("message box left open at the end of the case: %s"
                              % ", ".join("%r (caption %r)" % (b["text"], b["caption"]) for b in leftover))
