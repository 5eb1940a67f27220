#!/usr/bin/env python3
"""Faults under Wine, one case per row: the package files (.dep, the INF),
package paths, printer names, many printers, a port that cannot be written,
a failing printer enumeration, and every way the installer can end. Each case
checks what the user sees and that the tool goes on answering."""
import os

from hardening import *

DEP_VALUES = {5: 17, 7: 0, 9: 1, 10: 0, 11: 1, 36: 3}  # a preset in every list
DEP_SELECTIONS = [17, 0, 1, 0, 1, 3]


def settings_open_with_one_printer(ctx, expect_open=True):
    """Settings with one supported printer present: the panel opens (450) when
    the model list names it, else the no-printer message."""
    ctx.command(ID_SETTINGS)
    if expect_open:
        ctx.wait_height(450)
        ctx.seen.append("settings panel opens")
    else:
        ctx.expect_box(T_NO_PRINTER)
        check(ctx.height() == 180, "window height %s after a refused Settings" % ctx.height())


# ---- .dep ----------------------------------------------------------------

def dep_missing(ctx):
    pkg = ctx.package(dep=False)
    ctx.add_printer(MODEL)
    ctx.start(pkg, wait=False)
    box = ctx.expect_box(T_FILES, press=False)
    check(not box["owner"], "文件不全 has an owner: %r" % box["owner"])
    ctx.probe.press(box)
    ctx.wait_window()
    # The settings block stays all 0: option 0 in every list.
    check(ctx.selections() == [0] * 6, "lists %s, expected all 0" % ctx.selections())
    # The tool goes on with an empty model list: no printer is ours.
    settings_open_with_one_printer(ctx, expect_open=False)


def dep_sized(ctx, raw, expected):
    pkg = ctx.package(dep=raw)
    ctx.start(pkg)
    ctx.no_box()
    seen = ctx.selections()
    ctx.seen.append("lists %s" % seen)
    check(seen == expected, "lists %s, expected %s" % (seen, expected))


def dep_locked(ctx):
    pkg = ctx.package(dep=dep_bytes(DEP_VALUES))
    ctx.lock(pkg.dep_path)
    ctx.start(pkg)
    ctx.no_box()
    seen = ctx.selections()
    ctx.seen.append("lists %s" % seen)
    # A file that does not open reads as all 0: index 0 in every list.
    check(seen == [0] * 6, "lists %s, expected all 0 (unreadable file)" % seen)


# ---- the INF -------------------------------------------------------------

def inf_missing(ctx):
    pkg = ctx.package(inf=False)
    ctx.add_printer(MODEL)
    ctx.start(pkg, wait=False)
    ctx.expect_box(T_FILES)
    ctx.wait_window()
    settings_open_with_one_printer(ctx, expect_open=False)


def inf_custom(ctx, text_or_bytes, expect_open):
    pkg = ctx.package(inf=False)
    mode = "wb" if isinstance(text_or_bytes, bytes) else "w"
    with open(pkg.inf_path, mode) as f:
        f.write(text_or_bytes)
    ctx.add_printer(MODEL)
    ctx.start(pkg)
    ctx.no_box()
    settings_open_with_one_printer(ctx, expect_open)


def inf_without_section(ctx):
    inf_custom(ctx, inf_text("OTHR", DEFAULT_MODELS), expect_open=False)


def filler(chars):
    lines, total, i = [], 0, 0
    while total < chars:
        line = "Filler model %05d = Filler.Install, USBPRINT\\NOTOURS%05d" % (i, i)
        lines.append(line)
        total += len(line) + 1
        i += 1
    return lines


def inf_long_section(ctx, model_first):
    """A section of over 30,000 characters: the model list keeps the first
    20,000, so a model line there is found and one beyond it is not."""
    lines = filler(30000)
    lines = DEFAULT_MODELS + lines if model_first else lines + DEFAULT_MODELS
    inf_custom(ctx, inf_text(ctx.args.section, lines), expect_open=model_first)


def inf_encoded(ctx, encoding):
    # Chinese text around an ASCII driver name; the driver name is what is
    # matched, so it is found whatever the ANSI code page is.
    lines = ["; 型号列表：泰沃针式打印机"] + DEFAULT_MODELS + ['"泰沃 打印机" = TV.Install, USBPRINT\\TAVO0001']
    text = inf_text(ctx.args.section, lines)
    data = text.encode(encoding)
    if encoding == "utf-16-le":
        data = b"\xff\xfe" + data
    inf_custom(ctx, data, expect_open=True)


# ---- package paths ---------------------------------------------------------

def long_package_path(ctx, windows_length, expect):
    """A package directory whose Windows path (Z:\\...) has this length."""
    base = os.path.join(ctx.work, "long")
    head = len(windows_path(base)) + 1
    parts, left = [], windows_length - head
    while left > 0:
        take = min(left, 60)
        if left - take == 1 or left - take == 0 and take < 1:
            take -= 1
        parts.append("d" * take)
        left -= take + 1
    path = os.path.join(base, *parts)
    check(len(windows_path(path)) == windows_length, "built a path of %d" % len(windows_path(path)))
    pkg = ctx.package(path=path)
    ctx.seen.append("directory %d characters" % windows_length)
    wow64_installer = "data\\install64.exe"
    if expect == "works":
        ctx.start(pkg, env={"TAVO_INSTALLER_EXIT": "1"})
        ctx.no_box()
        ctx.add_printer(MODEL)
        ctx.command(ID_INSTALL)
        ctx.expect_box(T_INSTALLED % 1)
        ctx.wait_height(252)
        lines = ctx.log_lines()
        check(len(lines) == 1 and lines[0].endswith(" %s %s" % (ctx.args.section, pkg.win("data", "oemprnt.inf"))),
              "installer log %r" % lines)
    else:
        # The executable's path or a derived one does not fit 260 characters:
        # "文件不全", and Install refuses to start an installer it cannot name.
        ctx.start(pkg, wait=False)
        ctx.expect_box(T_FILES)
        ctx.wait_window()
        ctx.command(ID_INSTALL)
        box = ctx.next_box()
        check(box["text"].startswith(T_NOT_STARTED.split("%")[0]), "box %r" % box["text"])
        ctx.seen.append("box %r" % box["text"])
        check(box["text"].endswith(wow64_installer), "box %r names no installer" % box["text"])
        ctx.probe.press(box)
        ctx.expect_box(T_NONE_FOUND)
        check(not ctx.log_lines(), "an installer ran: %r" % ctx.log_lines())


def spaces_and_chinese(ctx):
    pkg = ctx.package(path=os.path.join(ctx.work, "我的 驱动 包", "打印机 安装 v1.0"))
    ctx.start(pkg)
    ctx.no_box()
    ctx.command(ID_INSTALL)
    ctx.expect_box(T_INSTALLED % 1)
    ctx.wait_height(252)
    lines = ctx.log_lines()
    expected_tail = " %s %s" % (ctx.args.section, pkg.win("data", "oemprnt.inf").replace(" ", "*"))
    check(len(lines) == 1 and lines[0].endswith(expected_tail), "installer log %r, expected ...%s" % (lines, expected_tail))
    ctx.seen.append("installer got %s" % expected_tail.strip())


# ---- printers --------------------------------------------------------------

def printer_name(ctx, length):
    name = ("长名打印机" + "N" * length)[:length]
    port = ctx.add_printer(name)
    check(any(p["name"] == name for p in ctx.probe.printers()), "the spooler does not list the printer")
    pkg = ctx.package()
    ctx.start(pkg, env={"TAVO_INSTALLER_EXIT": "1"})
    ctx.command(ID_INSTALL)
    ctx.expect_box(T_INSTALLED % 1)
    ctx.wait_installed()
    ctx.seen.append("result band (name cut to 99 for the band)" if length >= 100 else "result band")
    ctx.command(ID_SETTINGS)
    ctx.wait_height(450)
    ctx.command(LIST_IDS[0], CBN_CLOSEUP)
    job = wait_for(lambda: os.path.exists(port) and open(port, "rb").read(), 20, "the job in the port file")
    check(len(job) == 12 and job[8:12] == ctx.args.tag.encode(), "job %r" % job)
    ctx.seen.append("a close-up's job reaches the printer by its full name")
    ctx.no_box()


def printer_name_refused(ctx, length):
    try:
        ctx.add_printer("N" * length)
        refused = False
    except RuntimeError as e:
        refused = True
        ctx.seen.append("spooler refuses the name (%s)" % e)
    check(refused, "the spooler took a printer name of %d characters" % length)
    pkg = ctx.package()
    ctx.start(pkg)
    settings_open_with_one_printer(ctx, expect_open=False)


def many_printers(ctx, total, ours):
    ports = []
    for i in range(total):
        supported = i % (total // ours) == 0 and len(ports) < ours
        port = ctx.add_printer("Printer %03d" % i, MODEL if supported else "Other Driver %d" % (i % 7),
                               port=os.path.join(ctx.work, "many-%03d.prn" % i))
        if supported:
            ports.append(port)
    check(len(ctx.probe.printers()) == total, "%d printers listed" % len(ctx.probe.printers()))
    pkg = ctx.package()
    ctx.start(pkg, env={"TAVO_INSTALLER_EXIT": str(ours)})
    ctx.command(ID_SETTINGS)
    if ours == 1:
        ctx.wait_height(450)
        ctx.command(LIST_IDS[3], CBN_CLOSEUP)
        wait_for(lambda: os.path.exists(ports[0]) and len(open(ports[0], "rb").read()) == 12, 20, "the job")
        others = [f for f in os.listdir(ctx.work) if f.startswith("many-") and
                  os.path.join(ctx.work, f) not in ports and os.path.getsize(os.path.join(ctx.work, f))]
        check(not others, "jobs went to other printers: %s" % others)
        ctx.seen.append("settings open; one job to the one supported printer")
    else:
        ctx.expect_box(T_MANY_ONLINE)
        ctx.command(ID_INSTALL)
        ctx.expect_box(T_INSTALLED % ours)
        ctx.expect_box(T_MANY_USB)
        ctx.wait_height(180)


def port_not_writable(ctx):
    # The port lies in a directory that does not exist: what reaches it
    # cannot be seen there, so what the tool gave the spooler is read from
    # the spooler's trace of the tool's process: one job per close-up, each
    # handed on to the port by the spooler, and the tool silent about the
    # failed delivery.
    port = os.path.join(ctx.work, "no-such-dir", "sub", "port.prn")
    ctx.add_printer(MODEL, port=port)
    pkg = ctx.package()
    ctx.start_traced(pkg)
    ctx.command(ID_SETTINGS)
    ctx.wait_height(450)
    check(not ctx.spooler_jobs(), "jobs before any close-up: %s" % ctx.spooler_jobs())
    for lid in LIST_IDS:
        ctx.command(lid, CBN_CLOSEUP)

    def jobs():
        return [j for j in ctx.spooler_jobs() if not j["delivery"]]
    wait_for(lambda: len(jobs()) >= len(LIST_IDS) and all(j["ended"] for j in jobs()), 20,
             "a job per close-up in the spooler's trace")
    ctx.no_box(2.0)
    ctx.responsive()
    check(len(jobs()) == len(LIST_IDS), "%d jobs for %d close-ups" % (len(jobs()), len(LIST_IDS)))
    for job in jobs():
        check((job["document"], job["datatype"], job["written"]) == ("My Document", "RAW", [12]),
              "job %s" % job)
    # Wine's spooler hands each job on to the port inside EndDocPrinter: the
    # port file cannot be made, so its StartDocPrinterW to the port gets no
    # write and no end. That is the failed delivery, told.
    deliveries = [j for j in ctx.spooler_jobs() if j["delivery"]]
    check([(j["output"], j["written"], j["ended"]) for j in deliveries] == [(port, [], False)] * len(LIST_IDS),
          "the spooler's deliveries: %s" % deliveries)
    check(not os.path.exists(os.path.dirname(port)), "the port's directory appeared")
    ctx.seen.append("settings open; a job per close-up given to the spooler, which cannot deliver it; "
                    "no message; tool answers")


def enumeration_fails(ctx):
    # Under Wine a printer named with 255 characters makes EnumPrintersW fail
    # for every caller; `net stop spooler` does not, since Wine's winspool
    # enumerates printers in the calling process.
    ctx.add_printer(MODEL)
    ctx.add_printer("E" * 255, driver="Other Driver")
    check(ctx.probe.query("printers").get("printers") == [], "the enumeration still works")
    ctx.seen.append("EnumPrintersW fails")
    pkg = ctx.package()
    ctx.start(pkg, env={"TAVO_INSTALLER_EXIT": "1"})
    ctx.no_box()
    settings_open_with_one_printer(ctx, expect_open=False)
    ctx.command(ID_INSTALL)
    ctx.expect_box(T_INSTALLED % 1)
    ctx.expect_box(T_NONE_FOUND)
    ctx.wait_height(180)


# ---- the installer -----------------------------------------------------------

def installer_missing(ctx):
    pkg = ctx.package()
    os.remove(os.path.join(pkg.path, "data", "install64.exe"))
    os.remove(os.path.join(pkg.path, "data", "install32.exe"))
    # A decoy in the current directory must not be run instead.
    cwd = os.path.join(ctx.work, "cwd")
    os.makedirs(os.path.join(cwd, "data"), exist_ok=True)
    for exe in ("install32.exe", "install64.exe"):
        import shutil
        shutil.copyfile(ctx.args.install32, os.path.join(cwd, "data", exe))
    ctx.start(pkg, cwd=cwd)
    ctx.command(ID_INSTALL)
    # The tool says that the installer did not start (the shell's own box is
    # suppressed; any other box is pressed and noted).
    expected = T_NOT_STARTED % pkg.win("data", "install64.exe")

    def tool_box():
        for box in ctx.probe.boxes():
            if box["text"] == expected:
                return box
            if box["text"] != expected and not box["owner_is_main"]:
                ctx.seen.append("shell box %r" % box["text"])
                ctx.probe.press(box)
        return None
    box = wait_for(tool_box, 30, "box %r" % expected)
    ctx.seen.append("box %r" % box["text"])
    ctx.probe.press(box)
    ctx.expect_box(T_NONE_FOUND)
    check(not ctx.log_lines(), "an installer ran from the current directory: %r" % ctx.log_lines())
    import shutil
    shutil.rmtree(cwd)


def installer_exit(ctx, code, printers, boxes, height):
    for i in range(printers):
        ctx.add_printer("Ours %d" % i)
    pkg = ctx.package()
    ctx.start(pkg, env={"TAVO_INSTALLER_EXIT": str(code)})
    ctx.command(ID_INSTALL)
    for text in boxes:
        ctx.expect_box(text)
    ctx.wait_height(height)
    ctx.no_box()
    check(ctx.log_lines(), "the installer did not run")


def installer_crash(ctx):
    pkg = ctx.package()
    ctx.start(pkg, env={"TAVO_INSTALLER_CRASH": "1"})
    ctx.command(ID_INSTALL)
    # An installer that crashed installed nothing: a count of printers, and a
    # negative one at that, would be the wrong thing to tell.
    box = ctx.next_box(60)
    ctx.seen.append("box %r" % box["text"])
    check(box["text"] == T_ABNORMAL % 0xC0000005,
          "a crash reported as %r, expected %r" % (box["text"], T_ABNORMAL % 0xC0000005))
    seen = ctx.seen_icon(box)
    check(seen == "warning", "the box shows icon %s, expected warning" % seen)
    ctx.probe.press(box)
    ctx.expect_box(T_NONE_FOUND)
    ctx.wait_height(180)


def installer_hangs_tool_closed(ctx, how):
    pkg = ctx.package()
    tool = ctx.start(pkg, env={"TAVO_INSTALLER_HANG": "1"})
    ctx.command(ID_INSTALL)
    ctx.wait_height(220)
    wait_for(lambda: any(p["exe"].lower() in INSTALLERS for p in ctx.probe.procs()), 20, "the installer running")
    if how == "exit":
        ctx.command(ID_EXIT)
        ctx.expect_box(T_EXIT_BUSY)
    else:
        ctx.probe.query("close")
    code = tool.wait_exit(30)
    check(code == 0, "the tool ended with %s" % code)
    ctx.seen.append("tool ends with 0, the installer goes on")
    check(any(p["exe"].lower() in INSTALLERS for p in ctx.probe.procs()), "the installer was ended with the tool")


CASES = [
    Case("dep", "dep_missing", "文件不全 (no owner); window, lists at option 0; no printer is ours", dep_missing),
    Case("dep", "dep_empty", "no message; every list at option 0", dep_sized, b"", [0] * 6),
    Case("dep", "dep_40_bytes", "values 0-9 from the file, the rest 0",
         dep_sized, dep_bytes(DEP_VALUES)[:40], [17, 0, 1, 0, 0, 0]),
    Case("dep", "dep_1_MB", "the first 256 bytes count", dep_sized,
         dep_bytes(DEP_VALUES) + bytes(range(256)) * 4095, DEP_SELECTIONS),
    Case("dep", "dep_locked", "no message; all values 0", dep_locked),
    Case("inf", "inf_missing", "文件不全; no printer is ours", inf_missing),
    Case("inf", "inf_without_section", "no message; no printer is ours", inf_without_section),
    Case("inf", "inf_section_30000_model_first", "model within the first 20,000 characters found",
         inf_long_section, True),
    Case("inf", "inf_section_30000_model_last", "model past 20,000 characters not found (list cut)",
         inf_long_section, False),
    Case("inf", "inf_utf16", "UTF-16 INF read; printer found", inf_encoded, "utf-16-le"),
    Case("inf", "inf_gb2312", "GB2312 INF read; ASCII driver name found", inf_encoded, "gb2312"),
    Case("path", "path_240", "works end to end", long_package_path, 240, "works"),
    Case("path", "path_245_inf_too_long", "文件不全; Install: 无法启动安装程序", long_package_path, 245, "refused"),
    Case("path", "path_252_exe_too_long", "文件不全; Install: 无法启动安装程序", long_package_path, 252, "refused"),
    Case("path", "path_spaces_chinese", "installer gets the path with * for spaces", spaces_and_chinese),
    Case("printer", "name_99", "found, shown, jobs sent", printer_name, 99),
    Case("printer", "name_100", "found, name cut to 99 for the band, jobs sent", printer_name, 100),
    Case("printer", "name_254", "the longest Wine lists: found, cut, jobs sent", printer_name, 254),
    Case("printer", "name_300_refused", "the spooler refuses it; the tool finds none", printer_name_refused, 300),
    Case("printer", "200_printers_3_ours", "发现多台打印机 (Settings and Install)", many_printers, 200, 3),
    Case("printer", "200_printers_1_ours", "settings open; one job to that printer only", many_printers, 200, 1),
    Case("printer", "port_not_writable", "silent; tool keeps working", port_not_writable),
    Case("printer", "enumeration_fails", "counts no printer; no crash", enumeration_fails),
    Case("installer", "installer_missing", "无法启动安装程序; nothing run from the current directory",
         installer_missing),
    Case("installer", "installer_crashes", "安装程序异常结束 with the code, not a printer count",
         installer_crash),
    Case("installer", "installer_hangs_exit_button", "busy warning, the tool ends, the installer goes on",
         installer_hangs_tool_closed, "exit"),
    Case("installer", "installer_hangs_closed_by_system", "the tool ends at once, the installer goes on",
         installer_hangs_tool_closed, "close"),
    Case("installer", "exit_-1", "参数错误！ then 未发现新打印机", installer_exit, -1, 0, [T_PARAM, T_NONE_FOUND], 180),
    Case("installer", "exit_-2", "文件复制错误！ then 未发现新打印机", installer_exit, -2, 0, [T_COPY, T_NONE_FOUND], 180),
    Case("installer", "exit_0", "安装0台打印机 then 未发现新打印机", installer_exit, 0, 0,
         [T_INSTALLED % 0, T_NONE_FOUND], 180),
    Case("installer", "exit_1", "安装1台打印机, result band", installer_exit, 1, 1, [T_INSTALLED % 1], 252),
    Case("installer", "exit_2", "安装2台打印机 then 发现多台打印机", installer_exit, 2, 2,
         [T_INSTALLED % 2, T_MANY_USB], 180),
]

if __name__ == "__main__":
    run(CASES, title="faults")
