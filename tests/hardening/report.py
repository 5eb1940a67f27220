#!/usr/bin/env python3
"""Writes docs/hardening.md from the results of a hardening run (the JSON
files that test_*.py --results and check_pe.py --json leave) and the fuzz
figures that fuzz/write-figures.sh keeps in docs/fuzzing.md.

    report.py RESULTS_DIR OUT.md [FUZZING.md]"""
import datetime
import json
import os
import re
import sys

from test_leaks import OBJECT_SLACK, PRIVATE_SLACK, RUNS_TO_SETTLE


def load(path):
    try:
        with open(path, encoding="utf-8") as f:
            return json.load(f)
    except FileNotFoundError:
        return None


def cell(text):
    return str(text).replace("|", "\\|").replace("\n", " ")


def main():
    results_dir, out = sys.argv[1], sys.argv[2]
    fuzzing = sys.argv[3] if len(sys.argv) > 3 else None
    lines = ["# Hardening figures", "",
             "Written by `tests/hardening/report.sh BUILD_DIR` (this file is its output; do not edit it).",
             "Run of %s under %s, on the bench's Wine prefix; cases are in `tests/hardening/test_*.py`,"
             % (datetime.date.today().isoformat(), os.popen("/usr/lib/wine/wine64 --version 2>/dev/null").read().strip() or "Wine"),
             "known shortfalls in `tests/hardening/FINDINGS.md`.", ""]
    summary = []
    for suite in ("faults", "security", "leaks"):
        data = load(os.path.join(results_dir, suite + ".json"))
        if not data:
            lines += ["## %s" % suite.capitalize(), "", "(not run)", ""]
            continue
        rs = data["results"]
        counts = {k: sum(r["outcome"] == k for r in rs) for k in ("pass", "fail", "finding", "unexpected-pass")}
        summary.append((suite, len(rs), counts))
        lines += ["## %s" % suite.capitalize(), "",
                  "%d cases: %d passed, %d failed, %d known findings." % (
                      len(rs), counts["pass"], counts["fail"] + counts["unexpected-pass"], counts["finding"]), ""]
        if suite == "leaks":
            lines += ["| Run | Count | Seconds | GDI before | GDI after | USER before | USER after |"
                      " Private before | Private after | Result |",
                      "|---|---:|---:|---:|---:|---:|---:|---:|---:|---|"]
            for r in rs:
                f = r.get("figures")
                if not f:
                    continue
                lines.append("| %s | %d | %.1f | %d | %d | %d | %d | %d | %d | %s |" % (
                    f["kind"], f["count"], f["ms"] / 1000.0, f["gdi_before"], f["gdi_after"], f["user_before"],
                    f["user_after"], f["private_before"], f["private_after"], r["outcome"]))
            lines += ["",
                      "Counted from outside the tool by `tavo_hard_probe.exe`: GDI objects from the process's GDI handle "
                      "table (Wine's `GetGuiResources` returns 0), USER objects as the process's windows, private memory as"
                      " PrivateUsage (Wine: the anonymous resident memory it reports as page-file usage). Flat: the floor "
                      "of each object count (the least count from a checkpoint to the end, which an object alive just "
                      "during a step does not move) rises at one of the ten checkpoints at most, and private memory grows "
                      "by less than %d KB. The repaint run may grow by a tenth of its count (a one-time cache); the panel "
                      "and close-up runs are repeated, %d at most, until one grows by %d objects at most (Wine's GDI fills"
                      " its caches in one or two steps at points that depend on timing, then stays; a leak is flat in no "
                      "run). The table shows the run that was flat."
                      % (PRIVATE_SLACK // 1024, RUNS_TO_SETTLE, OBJECT_SLACK), ""]
        else:
            lines += ["| Case | Expected | Seen | Result |", "|---|---|---|---|"]
            for r in rs:
                result = r["outcome"] + (" (%s)" % r["finding"] if r.get("finding") else "")
                seen = r["seen"] or ""
                if r["outcome"] != "pass" and r["detail"]:
                    seen += ("; " if seen else "") + r["detail"]
                lines.append("| %s | %s | %s | %s |" % (cell(r["name"]), cell(r["expected"]), cell(seen), result))
            lines.append("")
    pe = load(os.path.join(results_dir, "pe.json"))
    lines += ["## PE security flags", ""]
    if pe:
        lines += ["| Program | DllCharacteristics | ASLR | DEP | High-entropy VA | CFG |", "|---|---|---|---|---|---|"]
        for p in pe:
            c = p["checks"]
            lines.append("| %s | 0x%04x | %s | %s | %s | %s |" % (os.path.basename(p["path"]), p["dll_characteristics"],
                         c["ASLR"], c["DEP"], c["high-entropy VA"], c["CFG"]))
        lines.append("")
    else:
        lines += ["(not run)", ""]
    lines += ["## Load-time imports", ""]
    static = os.path.join(results_dir, "static.txt")
    if os.path.exists(static):
        lines += ["`package/check_shipped_pe.py` on the build's package: every load-time import must be a "
                  "KnownDLL of Windows 7, since any other is searched for beside the program first; "
                  "gdiplus.dll, winmm.dll and winspool.drv are delay-loaded from System32.", "", "```"]
        lines += [line.rstrip("\n") for line in open(static, encoding="utf-8")]
        lines += ["```", ""]
    else:
        lines += ["(not run)", ""]
    lines += ["## Fuzzing", ""]
    text = open(fuzzing, encoding="utf-8").read() if fuzzing and os.path.exists(fuzzing) else ""
    m = re.search(r"<!-- figures:begin -->\n(.*?)<!-- figures:end -->", text, re.S)
    if m:
        lines += ["From docs/fuzzing.md (written by `fuzz/write-figures.sh`):", "", m.group(1).strip(), ""]
    else:
        lines += ["(no figures in docs/fuzzing.md yet)", ""]
    lines += ["## Totals", "", "| Suite | Cases | Passed | Failed | Known findings |", "|---|---:|---:|---:|---:|"]
    for suite, n, c in summary:
        lines.append("| %s | %d | %d | %d | %d |" % (suite, n, c["pass"], c["fail"] + c["unexpected-pass"], c["finding"]))
    lines.append("")
    with open(out, "w", encoding="utf-8") as f:
        f.write("\n".join(lines))
    print("wrote %s" % out)


if __name__ == "__main__":
    main()
