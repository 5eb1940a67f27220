#!/usr/bin/env python3
"""Leaks and growth: repaints of the main window, open/close cycles of the
settings panel and close-ups of a setting list leave the tool's GDI and USER
object counts and its private memory flat. Measured from outside by
tavo_hard_probe.exe (see hard_probe.cpp for how each figure is taken under
Wine); the figures are printed and kept in the results for docs/hardening.md.

Flat means: over the ten checkpoints of a run (one every tenth of the
count) the floor of the GDI and USER counts (the least count from a
checkpoint to the end) rises at one at most, and private memory grows by
less than PRIVATE_SLACK bytes (a leak of 100 bytes per repaint over 10,000
repaints would exceed it). Wine's GDI fills caches of some 37 objects, in
one or two steps, at points that depend on timing (in the first or a later
run of the panel), and then stays. So the repaint run may grow by a tenth
of its count, and the panel and close-up runs are repeated, RUNS_TO_SETTLE
at most, until one grows by OBJECT_SLACK objects at most; every run is
printed."""
import json
import os
import subprocess

from hardening import *

PRIVATE_SLACK = 512 * 1024
OBJECT_SLACK = 2
RUNS_TO_SETTLE = 5


def measure(ctx, kind, count, runs=1):
    """Runs `count` steps of `kind` up to `runs` times in a row and returns
    the figures of the first run that is flat; fails with the last run's
    fault when none is. With one run the object counts may grow by a tenth
    of the count (a cache filling); with more, a run is flat only when they
    grow by OBJECT_SLACK at most. Wine's GDI fills its caches in one or two
    steps at points that depend on timing, in whichever run, and then stays,
    so a later run is flat; a leak is flat in no run."""
    slack = max(OBJECT_SLACK, count // 10) if runs == 1 else OBJECT_SLACK
    for _ in range(runs):
        figures = measure_once(ctx, kind, count)
        fault = not_flat(figures, slack)
        if fault is None:
            ctx.seen.append("GDI %d->%d, USER %d->%d, private %+d bytes" % (
                figures["gdi_before"], figures["gdi_after"], figures["user_before"], figures["user_after"],
                figures["private_after"] - figures["private_before"]))
            return figures
        print("  not flat: %s" % fault, flush=True)
    raise AssertionError(fault)


def measure_once(ctx, kind, count):
    proc = subprocess.run(ctx.bench.wine_command(ctx.args.hard_probe, "leak", kind, str(count)),
                          env=ctx.bench.env(), stdin=subprocess.DEVNULL, stdout=subprocess.PIPE,
                          stderr=subprocess.DEVNULL, timeout=1800)
    lines = [json.loads(line) for line in proc.stdout.decode().splitlines() if line.strip()]
    bad = [line for line in lines if not line.get("ok")]
    check(not bad and proc.returncode == 0, "the probe failed: %s" % (bad or proc.returncode))
    phases = {line["phase"]: line for line in lines if line["phase"] in ("before", "after", "time")}
    series = [line for line in lines if line["phase"] in ("before", "during", "after")]
    before, after = phases["before"], phases["after"]
    check(before["gdi"] > 0 and before["user"] > 0, "no objects counted: the measurement is broken")
    figures = {"kind": kind, "count": count, "ms": phases["time"]["ms"],
               "gdi_before": before["gdi"], "gdi_after": after["gdi"], "gdi_how": before["gdi_how"],
               "user_before": before["user"], "user_after": after["user"], "user_how": before["user_how"],
               "private_before": before["private"], "private_after": after["private"],
               "private_max": max(line["private"] for line in series),
               "gdi_series": [line["gdi"] for line in series], "user_series": [line["user"] for line in series]}
    print("  %s x%d in %.1f s: GDI %d -> %d (%s), USER %d -> %d (%s), private %d -> %d bytes (max %d)" % (
        kind, count, figures["ms"] / 1000.0, figures["gdi_before"], figures["gdi_after"], figures["gdi_how"],
        figures["user_before"], figures["user_after"], figures["user_how"], figures["private_before"],
        figures["private_after"], figures["private_max"]), flush=True)
    return figures


def not_flat(figures, slack):
    """What is not flat in a run's figures, in words, or None."""
    for what in ("gdi", "user"):
        values = figures[what + "_series"]
        # The floor at a checkpoint is the least count from there to the end:
        # objects alive just while a step runs lift single checkpoints (by one
        # or two, up and back) but never the floor. A leak lifts the floor at
        # every tenth of the run; a one-time cache lifts it once.
        floor = [min(values[i:]) for i in range(len(values))]
        rises = sum(1 for i in range(1, len(floor)) if floor[i] > floor[i - 1])
        if rises > 1:
            return "%s objects climb through the run: %s" % (what.upper(), values)
        grown = figures[what + "_after"] - figures[what + "_before"]
        if grown > slack:
            return "%s objects %d -> %d over %d steps" % (
                what.upper(), figures[what + "_before"], figures[what + "_after"], figures["count"])
    grown = figures["private_after"] - figures["private_before"]
    if grown >= PRIVATE_SLACK:
        return "private memory grew by %d bytes" % grown
    return None


def gdi_count_is_sound(ctx):
    """The GDI count read from outside sees 100 brushes come and go."""
    code, out = ctx.bench.run(ctx.args.hard_probe, "gdiself")
    ctx.seen.append(out.strip())
    check(code == 0, "the GDI count does not follow 100 brushes: %s" % out.strip())


def repaints(ctx):
    ctx.add_printer(MODEL)
    ctx.start(ctx.package(), env={"TAVO_INSTALLER_EXIT": "1"})
    # Painted in the state that draws the most: the result band with the
    # printer icon and name.
    ctx.command(ID_INSTALL)
    ctx.expect_box(T_INSTALLED % 1)
    ctx.wait_height(252)
    wait_for(lambda: not ctx.probe.boxes() and ctx.probe.children()[1100]["visible"] is False, 20, "install end")
    return measure(ctx, "repaint", ctx.args.repaints)


def panel_cycles(ctx):
    ctx.add_printer(MODEL)
    ctx.start(ctx.package())
    return measure(ctx, "panel", ctx.args.panel_cycles, runs=RUNS_TO_SETTLE)


def closeups(ctx):
    port = ctx.add_printer(MODEL)
    ctx.start(ctx.package())
    ctx.command(ID_SETTINGS)
    ctx.wait_height(450)
    figures = measure(ctx, "closeup", ctx.args.closeups, runs=RUNS_TO_SETTLE)
    job = open(port, "rb").read()
    check(len(job) == 12 and job[8:12] == ctx.args.tag.encode(), "the last job %r" % job)
    return figures


CASES = [
    Case("leak", "gdi_count_sound", "100 brushes counted", gdi_count_is_sound),
    Case("leak", "repaints", "GDI, USER flat; private memory flat", repaints),
    Case("leak", "settings_panel_cycles", "GDI, USER flat; private memory flat", panel_cycles),
    Case("leak", "setting_closeups", "GDI, USER flat; private memory flat", closeups),
]

if __name__ == "__main__":
    run(CASES, title="leaks")
