#!/usr/bin/env python3
"""Turns the raw figures of one bench/run.sh into the printed summary,
docs/benchmarks.md and docs/benchmarks-core.png.

    report.py RESULTS_DIR TOOL_EXE FLOOR_EXE MD_OUT PNG_OUT

RESULTS_DIR holds core.json (Google Benchmark), startup.txt, stages.txt,
floorpaint.txt and paints.txt (tavo_bench_probe's lines) and machine.txt.
The Windows build (x86 or x64) is read from the programs' PE headers; the
tool, the floor and the stage programs beside the floor must all be of one
build, as a ratio across builds would compare the builds, not the programs.
A figure the probe printed as "-" was not measured and is shown so.
"""
import json
import math
import os
import statistics
import struct
import sys

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import png_plot  # noqa: E402

START_GOAL = 1.2
SIZE_GOAL = 150 * 1024
CPU_GOAL = 2.0  # percent of one core


# ---- PE sections and resources ---------------------------------------------

def pe_sections(path):
    data = open(path, "rb").read()
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    count = struct.unpack_from("<H", data, pe + 6)[0]
    optional = struct.unpack_from("<H", data, pe + 20)[0]
    table = pe + 24 + optional
    sections = []
    for i in range(count):
        raw = data[table + 40 * i:table + 40 * (i + 1)]
        name = raw[:8].rstrip(b"\0").decode("ascii", "replace")
        vsize, vaddr, rsize, rptr = struct.unpack_from("<IIII", raw, 8)
        sections.append((name, vsize, vaddr, rsize, rptr))
    return data, sections


RESOURCE_TYPES = {1: "cursor", 2: "bitmap", 3: "icon images", 6: "string table",
                  14: "icon groups", 16: "version", 24: "manifest"}


def resource_sizes(path):
    """Bytes of resource data by type, from the .rsrc directory."""
    data, sections = pe_sections(path)
    rsrc = [s for s in sections if s[0] == ".rsrc"]
    if not rsrc:
        return {}
    _, _, base_rva, _, base_ptr = rsrc[0]

    def entries(offset):
        named, ids = struct.unpack_from("<HH", data, base_ptr + offset + 12)
        for i in range(named + ids):
            name, target = struct.unpack_from("<II", data, base_ptr + offset + 16 + 8 * i)
            yield name, target

    def name_of(name):
        if name & 0x80000000:
            at = base_ptr + (name & 0x7FFFFFFF)
            length = struct.unpack_from("<H", data, at)[0]
            return data[at + 2:at + 2 + 2 * length].decode("utf-16-le")
        return RESOURCE_TYPES.get(name, f"type {name}")

    def leaf_total(target):
        if target & 0x80000000:
            return sum(leaf_total(t) for _, t in entries(target & 0x7FFFFFFF))
        return struct.unpack_from("<I", data, base_ptr + target + 4)[0]

    sizes = {}
    for name, target in entries(0):
        key = name_of(name)
        sizes[key] = sizes.get(key, 0) + leaf_total(target)
    return sizes


PE_MACHINES = {0x14C: "x86", 0x8664: "x64"}
BUILD_TEXT = {"x86": "x86 (32-bit, WOW64)", "x64": "x64 (64-bit, wine64)"}


def pe_machine(path):
    data = open(path, "rb").read(4096)
    pe = struct.unpack_from("<I", data, 0x3C)[0]
    if data[:2] != b"MZ" or data[pe:pe + 4] != b"PE\0\0":
        sys.exit(f"report.py: {path} is not a PE image")
    machine = struct.unpack_from("<H", data, pe + 4)[0]
    return PE_MACHINES.get(machine, f"machine 0x{machine:x}")


def build_of(results, programs):
    """The one build all `programs` are of, and machine.txt's line for it."""
    machines = {os.path.basename(p): pe_machine(p) for p in programs}
    if len(set(machines.values())) != 1:
        sys.exit("report.py: the programs are of different builds, so their ratios would "
                 "compare the builds: " + ", ".join(f"{k} {v}" for k, v in machines.items()))
    arch = next(iter(machines.values()))
    said = ""
    for line in open(os.path.join(results, "machine.txt"), encoding="utf-8"):
        if line.startswith("build:"):
            said = line.split(":", 1)[1].strip()
    if said and not said.startswith(arch + " "):
        sys.exit(f"report.py: machine.txt says build {said!r}, the programs are {arch}")
    return arch, said or BUILD_TEXT.get(arch, arch)


def size_figures(path):
    _, sections = pe_sections(path)
    by = {"code": 0, "data": 0, "resources": 0, "other": 0}
    for name, vsize, _, rsize, _ in sections:
        size = max(rsize, 0) if name != ".bss" else vsize
        if name == ".text":
            by["code"] += rsize
        elif name in (".data", ".rdata", ".bss", ".tls", ".CRT", ".idata"):
            by["data"] += size
        elif name == ".rsrc":
            by["resources"] += rsize
        else:
            by["other"] += rsize  # .eh_frame, .reloc
    by["file"] = os.path.getsize(path)
    return by, sections


OTHER_SECTIONS = {".text", ".data", ".rdata", ".bss", ".tls", ".CRT", ".idata", ".rsrc"}


# ---- probe output ------------------------------------------------------------

def read_lines(path):
    if not os.path.exists(path):
        return []
    return [line.split() for line in open(path, encoding="utf-8", errors="replace")
            if line.strip()]


def number(text):
    """A figure of the probe's; "-" (not measured) is NaN."""
    return float("nan") if text == "-" else float(text)


def measured(values):
    return [v for v in values if math.isfinite(v)]


def median(values):
    values = measured(values)
    return statistics.median(values) if values else float("nan")


def ratio(a, b):
    return a / b if b else float("nan")


def fmt_ratio(value):
    return f"{value:.2f}" if math.isfinite(value) else "-"


def fmt(value, spec, unmeasured="not measured", unit=""):
    """`value` in format `spec` (a trailing % a literal one), then `unit`."""
    if not math.isfinite(value):
        return unmeasured
    suffix = "%" if spec.endswith("%") else ""
    return format(value, spec.rstrip("%")) + suffix + (" " + unit if unit else "")


def fmt_ns(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= scale:
            return f"{ns / scale:.3g} {unit}"
    return f"{ns:.3g} ns"


def axis_ns(ns):
    for unit, scale in (("s", 1e9), ("ms", 1e6), ("us", 1e3)):
        if ns >= scale:
            return f"{ns / scale:g}{unit}"
    return f"{ns:g}ns"


def slope(points):
    """Least-squares slope of log y against log x: the growth exponent."""
    lx = [math.log(x) for x, _ in points]
    ly = [math.log(y) for _, y in points]
    mx, my = sum(lx) / len(lx), sum(ly) / len(ly)
    den = sum((x - mx) ** 2 for x in lx)
    return sum((x - mx) * (y - my) for x, y in zip(lx, ly)) / den if den else float("nan")


def main():
    results, tool_exe, floor_exe, md_out, png_out = sys.argv[1:6]
    out = []  # markdown lines
    say = []  # printed summary
    goals_missed = []

    not_measured = []
    tool_name, floor_name = os.path.basename(tool_exe), os.path.basename(floor_exe)
    floor_dir = os.path.dirname(floor_exe)
    stage_exes = [os.path.join(floor_dir, f"tavo_stage{n}.exe") for n in range(1, 6)]
    arch, build = build_of(results, [tool_exe, floor_exe] +
                           [p for p in stage_exes if os.path.exists(p)])
    machine = open(os.path.join(results, "machine.txt"), encoding="utf-8").read().strip()
    out += ["# Benchmarks", "",
            "Written by `bench/run.sh` (do not edit by hand; run it again). Every ratio is "
            "the tool against a reference measured in the same run on the same machine.", "",
            f"Windows build: **{build}**. The tool, its floor and the stage programs are all "
            f"of this one build (and so is the probe that measures them), so every ratio below "
            f"is within the {arch} build; figures of the other build are not comparable with "
            "these. The core (section 5) is native.", "",
            "```", machine, "```", ""]
    say.append(f"build      {build}: tool, floor and stages all of this build, "
               "ratios within it")

    # ---- start-up and memory ----
    starts = {}
    for fields in read_lines(os.path.join(results, "startup.txt")):
        if fields[0] == "startup":
            starts.setdefault(fields[1], []).append((float(fields[2]), number(fields[3])))
    tool_runs, floor_runs = starts.get(tool_name, []), starts.get(floor_name, [])
    t_start, f_start = median([t for t, _ in tool_runs]), median([t for t, _ in floor_runs])
    t_mem, f_mem = median([m for _, m in tool_runs]), median([m for _, m in floor_runs])
    start_ratio = ratio(t_start, f_start)
    if not start_ratio <= START_GOAL:
        goals_missed.append(f"start-up {start_ratio:.2f} x the floor (goal {START_GOAL})")
    out += [f"## 1. Start-up (Wine, virtual display, {arch} build)", "",
            f"From just before `CreateProcessW` to the main window visible, fully painted "
            f"(no update region left in it or a visible child) and answering a sent message "
            f"(so its thread is back in the message loop). Median of {len(tool_runs)} runs each, "
            f"tool and floor interleaved, after one unmeasured run of each.", "",
            "| program | median ms | min ms | max ms | ratio |", "|---|---:|---:|---:|---:|"]
    for name, runs in ((tool_name, tool_runs), (floor_name, floor_runs)):
        times = [t for t, _ in runs]
        if times:
            out.append(f"| {name} | {median(times):.1f} | {min(times):.1f} | {max(times):.1f} | "
                       f"{ratio(median(times), f_start):.2f} |")
    best_ratio = ratio(min([t for t, _ in tool_runs], default=float("nan")),
                       min([t for t, _ in floor_runs], default=float("nan")))
    out += ["", f"Goal: within {START_GOAL} x the floor: "
            f"**{'met' if start_ratio <= START_GOAL else 'missed'}** ({start_ratio:.2f} by the "
            f"medians; {best_ratio:.2f} by the best runs, which other work on the machine "
            "disturbs least).", ""]
    stage_runs = {}
    for fields in read_lines(os.path.join(results, "stages.txt")):
        if fields[0] == "startup":
            stage_runs.setdefault(fields[1], []).append(float(fields[2]))
    if stage_runs:
        stage_names = [(floor_name, "the floor: class, 420 x 180 popup, one paint")] + [
            (f"tavo_stage{n}.exe", text) for n, text in (
                (1, "+ GDI+ started in wWinMain"),
                (2, "+ the first printer search in WM_CREATE"),
                (3, "+ the font 宋体 and text drawn with it"),
                (4, "+ dots panel, five buttons, six filled setting lists"),
                (5, "+ the logo PNG decoded and drawn in the paint"))] + [
            (tool_name, "the tool")]
        out += ["Where the start-up goes: the floor grown stage by stage, in the tool's own order "
                "(`bench/stages.cpp`, same flags and resources as the tool), timed the same way, "
                f"{len(stage_runs.get(floor_name, []))} interleaved runs each. The step is the "
                "change of the best (fastest) run from the line above: other work on the machine "
                "only ever adds time, so the best run is the steadiest estimate of a stage's own "
                "cost; medians are shown beside it.", "",
                "| program | what | median ms | best ms | step ms |", "|---|---|---:|---:|---:|"]
        previous = None
        steps_said = []
        for name, text in stage_names:
            times = stage_runs.get(name, [])
            if not times:
                continue
            m, best = median(times), min(times)
            step = "" if previous is None else f"{best - previous:+.1f}"
            out.append(f"| {name} | {text} | {m:.1f} | {best:.1f} | {step} |")
            steps_said.append(f"{name.replace('.exe', '').replace('tavo_', '')} {best:.0f}")
            previous = best
        out.append("")
    say.append(f"start-up   tool {t_start:8.1f} ms  floor {f_start:8.1f} ms  ratio {start_ratio:.2f}"
               f"  (goal <= {START_GOAL}; best runs {best_ratio:.2f})")
    if stage_runs:
        say.append("stages     best ms: " + ", ".join(steps_said))

    # ---- size ----
    tool_size, tool_sections = size_figures(tool_exe)
    floor_size, floor_sections = size_figures(floor_exe)
    others = sorted({s[0] for s in tool_sections + floor_sections} - OTHER_SECTIONS)
    size_ok = tool_size["file"] < SIZE_GOAL
    if not size_ok:
        goals_missed.append(f"size {tool_size['file']} bytes (goal under {SIZE_GOAL})")
    out += [f"## 2. Size (stripped, with resources, {arch} build)", "",
            "From the PE section headers: code is `.text`; data is `.data`, `.rdata`, `.bss`, "
            "`.idata`, `.CRT`, `.tls`; resources are `.rsrc`; other is "
            + (", ".join(f"`{n}`" for n in others) or "nothing")
            + ". Bytes in the file (`.bss` at its size in memory).", "",
            "| part | tool | floor | ratio |", "|---|---:|---:|---:|"]
    for key in ("code", "data", "resources", "other", "file"):
        out.append(f"| {key if key != 'file' else '**whole file**'} | {tool_size[key]:,} | "
                   f"{floor_size[key]:,} | {fmt_ratio(ratio(tool_size[key], floor_size[key]))} |")
    res = resource_sizes(tool_exe)
    out += ["", "The tool's resources by type (data bytes):", "",
            "| type | bytes |", "|---|---:|"]
    for key, value in sorted(res.items(), key=lambda kv: -kv[1]):
        out.append(f"| {key} | {value:,} |")
    out += ["", f"Goal: the whole executable under {SIZE_GOAL:,} bytes (150 KB): "
            f"**{'met' if size_ok else 'missed'}** ({tool_size['file']:,} bytes"
            + ("" if arch == "x86" else f", the {arch} build; the shipped tool is the x86 build")
            + ").", ""]
    say.append(f"size       tool {tool_size['file']:8,} B   floor {floor_size['file']:8,} B   ratio "
               f"{ratio(tool_size['file'], floor_size['file']):.2f}  (code {tool_size['code']:,}, "
               f"data {tool_size['data']:,}, resources {tool_size['resources']:,}; goal < {SIZE_GOAL:,})")

    # ---- memory ----
    paints = read_lines(os.path.join(results, "paints.txt"))
    after_states = [number(f[2]) for f in paints if f[0] == "peak"]
    if not math.isfinite(t_mem) or not math.isfinite(f_mem):
        not_measured.append("memory at start-up (no memory counters from the probe)")
    out += ["## 3. Memory (peak working set)", "",
            "`GetProcessMemoryInfo` from outside (under Wine: the Wine process's peak "
            "resident size, which includes Wine's own libraries).", "",
            "| program | when | peak working set KiB | ratio |", "|---|---|---:|---:|",
            f"| {tool_name} | ready after start-up (median) | {fmt(t_mem / 1024, ',.0f')} | "
            f"{fmt_ratio(ratio(t_mem, f_mem))} |",
            f"| {floor_name} | ready after start-up (median) | {fmt(f_mem / 1024, ',.0f')} | "
            f"{fmt_ratio(ratio(f_mem, f_mem))} |"]
    if after_states:
        out.append(f"| {tool_name} | after install, result band and settings panel | "
                   f"{fmt(after_states[0] / 1024, ',.0f')} | "
                   f"{fmt_ratio(ratio(after_states[0], f_mem))} |")
    out.append("")
    say.append(f"memory     tool {fmt(t_mem / 1024, '8,.0f', unit='KiB')} floor "
               f"{fmt(f_mem / 1024, '8,.0f', unit='KiB')} ratio {fmt_ratio(ratio(t_mem, f_mem))}")

    # ---- painting ----
    floor_paint = [f for f in read_lines(os.path.join(results, "floorpaint.txt")) if f[0] == "paint"]
    paint_rows = floor_paint + [f for f in paints if f[0] == "paint"]
    floor_wall = float(floor_paint[0][2]) if floor_paint else float("nan")
    labels = {"floor": "floor window (reference)",
              "state0": "main window, PanelState 0 (logo, buttons)",
              "dots": "dots panel, one frame (no erase, as the timer asks)",
              "state0-installing": "main window, installing (band, dots panel)",
              "state1": "main window, PanelState 1 (result band, icon)",
              "state2": "main window, PanelState 2 (settings panel, six lists)"}
    counts = sorted({int(f[6]) for f in paint_rows if len(f) > 6})
    repaint_count = " or ".join(f"{c:,}" for c in counts) or "An unknown number of"
    out += [f"## 4. Painting ({arch} build)", "",
            f"{repaint_count} repaints each, driven from outside: `RedrawWindow` with "
            "`RDW_INVALIDATE | RDW_UPDATENOW` (and `RDW_ERASE` for the main window) on the "
            "tool's window sends it `WM_PAINT` and waits for the window procedure, so its wall "
            "time is one repaint (children included) plus one cross-process round trip, "
            "which is timed alone beside it. Processor time per repaint is read from /proc "
            "for the tool's Wine process and for the wineserver (10 ms ticks over the whole "
            "series). The states are reached as a user does: Install (reference installer, "
            "one printer), the result, then Settings.", "",
            "| what | wall ms | ratio to floor | round trip ms | tool CPU ms | wineserver CPU ms |",
            "|---|---:|---:|---:|---:|---:|"]
    for f in paint_rows:
        label = labels.get(f[1], f[1])
        wall, trip, cpu, server = (number(v) for v in f[2:6])
        if not (math.isfinite(cpu) and math.isfinite(server)):
            not_measured.append(f"processor time of the {f[1]} repaints (/proc not read)")
        out.append(f"| {label} | {wall:.3f} | {fmt_ratio(ratio(wall, floor_wall))} | {trip:.3f} | "
                   f"{fmt(cpu, '.3f')} | {fmt(server, '.3f')} |")
        say.append(f"paint      {f[1]:18s} {wall:7.3f} ms  ratio {fmt_ratio(ratio(wall, floor_wall)):>5s}"
                   f"  (tool cpu {fmt(cpu, '.3f', unit='ms')}, "
                   f"wineserver {fmt(server, '.3f', unit='ms')})")
    cpu_rows = [f for f in paints if f[0] == "cpu"]
    out.append("")
    if cpu_rows and cpu_rows[0][3] == "-":
        out += ["Animation while an installation runs: **not measured** (the tool's Wine "
                "process or its /proc stat could not be read).", ""]
        not_measured.append("animation processor time (the tool's /proc stat not read)")
        say.append("animation  not measured (the tool's /proc stat not read)")
    elif cpu_rows:
        wall, tool_ms, server_ms, alone = (number(v) for v in cpu_rows[0][2:6])
        percent = 100 * tool_ms / wall
        both = 100 * (tool_ms + server_ms) / wall
        if not percent < CPU_GOAL:
            goals_missed.append(f"animation {percent:.2f}% of a core (goal < {CPU_GOAL}%)")
        out += [f"Animation while an installation runs (the reference installer sleeping, "
                f"nothing else asked of the tool), over {wall / 1000:.1f} s: the tool used "
                f"{tool_ms:.0f} ms of processor time, **{percent:.2f}% of one core** "
                f"(goal under {CPU_GOAL}%: **{'met' if percent < CPU_GOAL else 'missed'}**); "
                f"with the wineserver's share {fmt(both, '.2f%', 'not measured')}."
                + ("" if alone else " (The installation ended before the interval did.)"), ""]
        say.append(f"animation  tool {percent:.2f}% of one core (with wineserver "
                   f"{fmt(both, '.2f%', 'not measured')}; goal < {CPU_GOAL}%)")
    else:
        out += ["Animation: **not measured** (no figure from the probe).", ""]
        not_measured.append("animation processor time (no figure from the probe)")
        say.append("animation  not measured (no figure from the probe)")

    # ---- core ----
    core = json.load(open(os.path.join(results, "core.json")))
    med = {}
    repetitions = sorted({b["repetitions"] for b in core["benchmarks"] if "repetitions" in b})
    repetitions = " or ".join(map(str, repetitions)) or "an unknown number of"
    for b in core["benchmarks"]:
        if b.get("aggregate_name", "median") != "median":
            continue
        med[b["run_name"]] = b
    count_rows = {}
    for name, b in med.items():
        if name.startswith("BM_CountSupportedPrinters/"):
            _, printers, chars = name.split("/")
            count_rows[(int(printers), int(chars))] = b["real_time"] * {"ns": 1, "us": 1e3,
                                                                        "ms": 1e6}[b["time_unit"]]
    chars_list = sorted({c for _, c in count_rows})
    printers_list = sorted({p for p, _ in count_rows})
    out += ["## 5. The core (native, Google Benchmark)", "",
            "`CountSupportedPrinters` (the matching inside `FindOurPrinters`) over generated "
            "printer records against generated model lists. Every printer but the last has a "
            "foreign driver, so each walks the whole list (the worst case, and what a PC with "
            "other printers pays); the last one matches in the list's last line. Median of "
            f"{repetitions} repetitions.", "",
            "| printers | " + " | ".join(f"{c:,} chars" for c in chars_list) + " |",
            "|---:|" + "---:|" * len(chars_list)]
    for p in printers_list:
        out.append(f"| {p:,} | " + " | ".join(fmt_ns(count_rows.get((p, c), float("nan")))
                                              for c in chars_list) + " |")
    out += ["", "Cost per printer and per model-list character (time / printers / characters):",
            "", "| printers | " + " | ".join(f"{c:,} chars" for c in chars_list) + " |",
            "|---:|" + "---:|" * len(chars_list)]
    for p in printers_list:
        out.append(f"| {p:,} | " + " | ".join(
            f"{count_rows[(p, c)] / p / c:.3g} ns" for c in chars_list) + " |")
    grow_p = {c: slope([(p, count_rows[(p, c)]) for p in printers_list]) for c in chars_list}
    grow_c = {p: slope([(c, count_rows[(p, c)]) for c in chars_list if c >= 1000])
              for p in printers_list}
    out += ["", "Growth (least-squares exponent k in time ~ n^k):", "",
            "- with the number of printers: " + ", ".join(
                f"{grow_p[c]:.2f} at {c:,} chars" for c in chars_list),
            "- with the model list's length (1,000 to 20,000 chars): " + ", ".join(
                f"{grow_c[p]:.2f} at {p:,} printers" for p in printers_list), ""]
    per_char = median([count_rows[(p, c)] / p / c for p in printers_list for c in chars_list
                       if c >= 1000])
    say.append(f"core       matching {per_char:.3g} ns per printer per model-list character; "
               f"growth ~ printers^{median(list(grow_p.values())):.2f}, "
               f"chars^{median(list(grow_c.values())):.2f}")
    other = []
    for name, b in sorted(med.items()):
        if name.startswith("BM_IsSupportedPrinter/") or name.startswith("BM_BuildSettingCommand"):
            t = b["real_time"] * {"ns": 1, "us": 1e3, "ms": 1e6}[b["time_unit"]]
            other.append(f"| `{name}` | {fmt_ns(t)} |")
            if name.startswith("BM_Build"):
                say.append(f"core       BuildSettingCommand {fmt_ns(t)}")
    out += ["| benchmark | time |", "|---|---:|"] + other + [
        "", "![The core's matching time](benchmarks-core.png)", ""]

    series = [(f"{c} chars", [(p, count_rows[(p, c)]) for p in printers_list])
              for c in chars_list]
    png_plot.log_plot(png_out, "countsupportedprinters: time per search", "printers",
                      "time per search", series, y_format=axis_ns)

    if goals_missed:
        out += ["## Goals missed", ""] + [f"- {g}" for g in goals_missed] + [
            "", "Where the cost lies: see the notes in `bench/README.md`.", ""]
    if not_measured:
        out += ["## Not measured", ""] + [f"- {g}" for g in not_measured] + [""]
    open(md_out, "w", encoding="utf-8").write("\n".join(out))
    print("\n".join(say))
    if goals_missed:
        print("goals missed: " + "; ".join(goals_missed))
    if not_measured:
        print("not measured: " + "; ".join(not_measured))


if __name__ == "__main__":
    main()
