"""Shared pieces of the hardening runs: the command line, a context that lays
out packages, starts the tool and cleans up after every case, and the runner
that prints one line per case and writes the results as JSON for
tests/hardening/report.py.

Built on tests/harness (tavo_harness.py and the probe); the figures of the
leak runs come from tavo_hard_probe.exe (hard_probe.cpp beside this file).
"""

import argparse
import json
import os
import subprocess
import sys
import time
import traceback

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, os.path.join(HERE, "..", "harness"))

from tavo_harness import (Bench, Package, Probe, Tool, ToolSession, WaitTimeout, X,  # noqa: E402,F401
                          end_windows_processes, stays, wait_for, windows_path, dep_bytes, inf_text,
                          DEFAULT_MODELS)

from tool_texts import *  # noqa: E402,F401,F403
ID_EXIT, ID_INSTALL, ID_SETTINGS = 1001, 1002, 1003
CBN_CLOSEUP = 8

T_INSTALLED = T_INSTALLED_N


def parse_args(argv):
    p = argparse.ArgumentParser()
    for name in ("tool", "install32", "install64", "probe", "hard-probe", "section", "tag", "work"):
        p.add_argument("--" + name, required=True)
    p.add_argument("--tavoctl", default=None)
    p.add_argument("--planted-dll", default=None, help="the library planted under system names")
    p.add_argument("--bench", default=None, help="bench directory (default: TAVO_BENCH_DIR)")
    p.add_argument("--only", default=None, help="run the cases whose name contains this")
    p.add_argument("--results", default=None, help="write the results here as JSON")
    p.add_argument("--repaints", type=int, default=10000)
    p.add_argument("--panel-cycles", type=int, default=1000)
    p.add_argument("--closeups", type=int, default=100)
    return p.parse_args(argv)


def check(condition, message):
    if not condition:
        raise AssertionError(message)


class Context(ToolSession):
    """What a case works with; everything a case starts is ended in cleanup()."""

    def __init__(self, args):
        ToolSession.__init__(self, args)
        self.lockers, self.added_printers = [], []
        self.seen = []  # what the user saw, in words, for the table

    # -- packages and the tool ---------------------------------------------
    def package(self, name="pkg", path=None, **kw):
        kw.setdefault("section", self.args.section)
        pkg = Package(path or os.path.join(self.work, name), self.args.tool,
                      [self.args.install32, self.args.install64], **kw)
        self.packages.append(pkg)
        return pkg

    def responsive(self):
        """The tool answers: a query of its lists comes back with their selection."""
        kids = self.probe.children()
        check(all(lid in kids for lid in LIST_IDS), "the tool's lists did not answer")
        return kids

    def selections(self):
        kids = self.responsive()
        return [kids[lid]["cursel"] for lid in LIST_IDS]

    def command(self, cid, code=0):
        self.probe.query("command", cid, code)

    def wait_installed(self, timeout=30):
        """The result band up and the installation thread done (its dots
        panel hidden): a command sent earlier would find the tool busy."""
        self.wait_height(252, timeout)
        wait_for(lambda: self.probe.children()[1100]["visible"] is False, timeout,
                 "the installation to end")

    # -- boxes -------------------------------------------------------------
    def expect_box(self, text, timeout=30, press=True):
        box = self.probe.wait_box(text, timeout)
        self.seen.append("box %r" % text)
        if press:
            self.probe.press(box)
        return box

    def next_box(self, timeout=30):
        box = wait_for(lambda: (self.probe.boxes() or [None])[0], timeout, "a message box")
        return box

    # -- printers ----------------------------------------------------------
    def add_printer(self, name, driver=MODEL, port=None, attributes=0):
        port = port or os.path.join(self.work, "port-%d.prn" % len(self.probe.printers()))
        if os.path.isfile(port):
            os.remove(port)
        self.added_printers.append(name)
        self.probe.add_printer(name, driver, port, attributes)
        return port

    # -- locks -------------------------------------------------------------
    def lock(self, path):
        """Holds `path` open with no sharing in another Windows process."""
        proc = subprocess.Popen(self.bench.wine_command(self.args.hard_probe, "lock", windows_path(path)),
                                env=self.bench.env(), stdin=subprocess.PIPE, stdout=subprocess.PIPE,
                                stderr=subprocess.DEVNULL, start_new_session=True)
        self.lockers.append(proc)
        line = proc.stdout.readline().decode().strip()
        check(line == "locked", "the locker could not lock %s: %r" % (path, line))
        return proc

    # -- cleanup -----------------------------------------------------------
    def cleanup(self):
        try:
            self.end_runs(INSTALLERS)
        finally:
            self.clean_the_rest()

    def clean_the_rest(self):
        for proc in self.lockers:
            proc.stdin.close()
            proc.wait(timeout=20)
        self.lockers = []
        # By name first: a printer that breaks the enumeration (a name of 255
        # characters) would hide every other one from a listing.
        for name in self.added_printers:
            self.probe.delete_printer(name)
        self.added_printers = []
        self.probe.delete_all_printers()
        if os.path.exists(self.log_path):
            os.remove(self.log_path)
        for pkg in self.packages:
            pkg.remove()
        self.packages = []

    def close(self):
        self.cleanup()
        self.probe.close()


class Case:
    """One row of a table: `expected` is what the user should see (in words,
    for the docs), `finding` names a FINDINGS.md entry when the tool is known
    to fall short there: the case then reports FINDING instead of failing."""

    def __init__(self, group, name, expected, fn, *params, finding=None):
        self.group, self.name, self.expected, self.fn, self.params = group, name, expected, fn, params
        self.finding = finding


def run(cases, argv=None, title="hardening"):
    args = parse_args(sys.argv[1:] if argv is None else argv)
    ctx = Context(args)
    results = []
    ctx.cleanup()
    try:
        for case in cases:
            if args.only and args.only not in case.name:
                continue
            start = time.monotonic()
            print("RUN  %s" % case.name, flush=True)
            ctx.seen = []
            error = None
            figures = None
            try:
                figures = case.fn(ctx, *case.params)
            except Exception as e:  # a failed check or a broken step: the case fails
                error = e
                if not case.finding:
                    print("     state at the failure: " + ctx.state_of_runs(), flush=True)
            try:
                ctx.cleanup()
            except Exception as e:
                if error is None:
                    error = AssertionError("cleanup: %s" % e)
            took = time.monotonic() - start
            if error is None:
                outcome = "pass" if not case.finding else "unexpected-pass"
            else:
                outcome = "finding" if case.finding else "fail"
            if error is not None:
                tb = traceback.extract_tb(error.__traceback__)
                where = next((f for f in reversed(tb) if f.filename.startswith(HERE)), tb[-1] if tb else None)
                detail = "%s (%s:%d)" % (error, os.path.basename(where.filename), where.lineno) if where else str(error)
            else:
                detail = ""
            print("%s %s (%.1f s)%s%s" % (outcome.upper(), case.name, took, ": " + detail if detail else "",
                                          " [%s]" % case.finding if case.finding else ""), flush=True)
            results.append({"group": case.group, "name": case.name, "expected": case.expected,
                            "seen": "; ".join(ctx.seen), "outcome": outcome, "detail": detail,
                            "finding": case.finding, "seconds": round(took, 1), "figures": figures})
    finally:
        ctx.close()
    failed = [r["name"] for r in results if r["outcome"] in ("fail", "unexpected-pass")]
    findings = [r["name"] for r in results if r["outcome"] == "finding"]
    if args.results:
        os.makedirs(os.path.dirname(os.path.abspath(args.results)), exist_ok=True)
        with open(args.results, "w", encoding="utf-8") as f:
            json.dump({"suite": title, "results": results}, f, ensure_ascii=False, indent=1)
    if failed:
        print("failed cases: " + ", ".join(failed))
    print("%d passed, %d failed, %d known findings" % (
        sum(r["outcome"] == "pass" for r in results), len(failed), len(findings)))
    sys.exit(1 if failed else 0)
