#!/usr/bin/env python3
"""Security under Wine: the tool runs nothing from the current directory, no
package path can split or extend the installer's command line, and a whole
session writes no file (package, current directory, the prefix's user
directories and temp)."""
import hashlib
import os
import shutil

from hardening import *


def argv_of(command_line):
    """The arguments of a Windows command line, by the rules of the C runtime
    and CommandLineToArgvW (backslashes before a quote, quotes, blanks)."""
    args, i, n = [], 0, len(command_line)
    while i < n:
        while i < n and command_line[i] in " \t":
            i += 1
        if i >= n:
            break
        arg, quoted = "", False
        while i < n and (quoted or command_line[i] not in " \t"):
            c = command_line[i]
            if c == "\\":
                j = i
                while j < n and command_line[j] == "\\":
                    j += 1
                if j < n and command_line[j] == '"':
                    arg += "\\" * ((j - i) // 2)
                    if (j - i) % 2:
                        arg += '"'
                        i = j + 1
                    else:
                        i = j
                    continue
                arg += command_line[i:j]
                i = j
                continue
            if c == '"':
                if quoted and i + 1 < n and command_line[i + 1] == '"':
                    arg += '"'
                    i += 2
                    continue
                quoted = not quoted
                i += 1
                continue
            arg += c
            i += 1
        args.append(arg)
    return args


def decoys_in_cwd(ctx):
    """Installers in the current directory's data\\ are never the ones run."""
    pkg = ctx.package()
    cwd = os.path.join(ctx.work, "elsewhere")
    os.makedirs(os.path.join(cwd, "data"), exist_ok=True)
    for exe in ("install32.exe", "install64.exe"):
        shutil.copyfile(ctx.args.install32, os.path.join(cwd, "data", exe))
    try:
        ctx.start(pkg, cwd=cwd, env={"TAVO_INSTALLER_EXIT": "0"})
        ctx.command(ID_INSTALL)
        ctx.expect_box(T_INSTALLED % 0)
        ctx.expect_box(T_NONE_FOUND)
        lines = ctx.log_lines()
        check(len(lines) == 1, "installer runs %r" % lines)
        program = argv_of(lines[0])[0]
        ctx.seen.append("ran %s" % program)
        check(program.lower() == pkg.win("data", "install64.exe").lower(),
              "ran %s, not the package's installer" % program)
    finally:
        shutil.rmtree(cwd, ignore_errors=True)


# Directory names a package may sit in. A quote or a control character in a
# Unix name reaches Windows as a private-use character, and Wine cannot
# start a program from such a directory (c0000135), so those two are left to
# the core's tests of the command line, which refuse them.
HOSTILE_DIRS = [
    "a&b ^c ;x,=(y)!'z",
    "pct %PATH% x",
    " lead and trail ",
    "dash -x TAVO -y",
    "驱动 包 (x86) [v2] 　全角空格",
]


def hostile_path(ctx, name):
    pkg = ctx.package(path=os.path.join(ctx.work, "hostile", name))
    ctx.start(pkg, env={"TAVO_INSTALLER_EXIT": "0"})
    ctx.command(ID_INSTALL)

    def tool_box():
        for box in ctx.probe.boxes():
            if box["owner_is_main"]:
                return box
            # The shell's own error (Wine expands %VAR% in the program's
            # path even without SEE_MASK_DOENVSUBST, and then finds no file).
            ctx.seen.append("shell box %r" % box["text"].strip())
            ctx.probe.press(box)
        return None
    box = wait_for(tool_box, 30, "the tool's box")
    ctx.seen.append("box %r" % box["text"])
    lines = ctx.log_lines()
    inf = pkg.win("data", "oemprnt.inf")
    if box["text"].startswith(T_NOT_STARTED.split("%")[0]):
        # Refused (a quote or control character reached the tool): nothing ran.
        check(not lines, "refused, yet an installer ran: %r" % lines)
    else:
        check(box["text"] == T_INSTALLED % 0, "box %r" % box["text"])
        check(len(lines) == 1, "installer runs %r" % lines)
        args = argv_of(lines[0])
        ctx.seen.append("argv %r" % args[1:])
        check(len(args) == 3, "the command line split into %d arguments: %r" % (len(args), args))
        check(args[1] == ctx.args.section, "first argument %r" % args[1])
        check(args[2].replace("*", " ") == inf.replace("*", " ") and " " not in args[2],
              "path argument %r, the INF is %r" % (args[2], inf))
    ctx.probe.press(box)
    ctx.expect_box(T_NONE_FOUND)


def snapshot(roots, skip):
    files = {}
    for root in roots:
        for dirpath, dirnames, filenames in os.walk(root):
            for f in filenames + [d for d in dirnames if os.path.islink(os.path.join(dirpath, d))]:
                path = os.path.join(dirpath, f)
                if any(path.startswith(s) for s in skip) or not os.path.isfile(path):
                    continue
                with open(path, "rb") as fh:
                    files[path] = hashlib.sha1(fh.read()).hexdigest()
            for d in dirnames:
                files.setdefault(os.path.join(dirpath, d) + "/", "dir")
    return files


def no_file_written(ctx):
    """A whole session (start, install, settings, close-ups, exit) leaves the
    package, the current directory, the user's profile and temp as they were.
    Left out: the port file (the spooler writes the jobs there), the
    installer's log (the installer's own writing) and the registry files,
    which the spooler and the installer change."""
    pkg = ctx.package()
    cwd = os.path.join(ctx.work, "session-cwd")
    os.makedirs(cwd, exist_ok=True)
    with open(os.path.join(cwd, "keep.txt"), "w") as f:
        f.write("x")
    port = os.path.join(pkg.path, "demo-printer.prn")  # where the installer points its printer
    users = os.path.join(ctx.bench.prefix, "drive_c", "users")
    temp = os.path.join(ctx.bench.prefix, "drive_c", "windows", "temp")
    roots = [pkg.path, cwd, users, temp]
    skip = [port, ctx.log_path]
    before = snapshot(roots, skip)
    tool = ctx.start(pkg, cwd=cwd)
    ctx.command(ID_INSTALL)
    ctx.expect_box(T_INSTALLED % 1)
    ctx.wait_installed()
    ctx.command(ID_SETTINGS)
    ctx.wait_height(450)
    for lid in LIST_IDS:
        ctx.command(lid, CBN_CLOSEUP)
    wait_for(lambda: os.path.exists(port) and len(open(port, "rb").read()) == 12, 20, "a job in the port file")
    ctx.command(ID_EXIT)
    check(tool.wait_exit(20) == 0, "exit code")
    after = snapshot(roots, skip)
    changed = sorted(p for p in set(before) | set(after) if before.get(p) != after.get(p))
    ctx.seen.append("%d files and directories watched, %d changed" % (len(after), len(changed)))
    check(not changed, "written during the session: %s" % changed)
    shutil.rmtree(cwd, ignore_errors=True)


# ---- libraries planted beside the package ---------------------------------
#
# The system libraries of the shipped programs that are not KnownDLLs on
# every Windows. Windows searches the program's own directory first for
# such a name; Wine prefers its built-in copies unless told to take a native
# one first, which WINEDLLOVERRIDES does here for exactly these names, so the
# search runs as on Windows.
PLANTED_NAMES = ["gdiplus.dll", "winmm.dll", "winspool.drv"]
NATIVE_FIRST = {"WINEDLLOVERRIDES": "gdiplus,winmm,winspool.drv=n,b"}
BACKGROUND, BUTTON_FILL = (0x0F, 0x0F, 0x0F), (0x2E, 0x2D, 0x2D)


def plant(ctx, pkg):
    """The planted library under each name, in the package directory and in
    its data\; returns the environment that logs every load of one."""
    for folder in (pkg.path, os.path.join(pkg.path, "data")):
        for name in PLANTED_NAMES:
            shutil.copyfile(ctx.args.planted_dll, os.path.join(folder, name))
    log = os.path.join(ctx.work, "planted-loads.txt")
    if os.path.exists(log):
        os.remove(log)
    env = dict(NATIVE_FIRST, TAVO_PLANTED_LOG=windows_path(log))
    return env, log


def check_no_loads(ctx, log):
    loads = []
    if os.path.exists(log):
        with open(log, encoding="utf-8", errors="replace") as f:
            loads = [line.strip() for line in f if line.strip()]
    ctx.seen.append("planted loads: %s" % (", ".join(loads) or "none"))
    check(not loads, "planted libraries loaded: %s" % loads)


def planted_tool(ctx):
    """The tool with planted libraries beside it: it starts, paints,
    installs the demo printer and sends a setting, and loads none of them."""
    pkg = ctx.package()
    env, log = plant(ctx, pkg)
    port = os.path.join(pkg.path, "demo-printer.prn")
    tool = ctx.start(pkg, env=env, wait=False)
    # A planted library is loaded before the entry point, and the tool then
    # fails on its first import: the log is read first, whatever happens.
    try:
        wait_for(lambda: ctx.main().get("found") or not tool.running(), 40, "the window, or the tool to end")
    except WaitTimeout:
        pass  # neither: a hung start, which the log explains if a library was planted
    check_no_loads(ctx, log)
    ctx.wait_window()
    x = X(ctx.bench)

    def painted():
        r = ctx.rect()
        screen = x.shot()
        return r and screen.pixel(r[0] + 5, r[1] + 5) == BACKGROUND and \
            screen.pixel(r[0] + 20, r[1] + 100) == BUTTON_FILL
    wait_for(painted, 20, "the window painted (background, the Install button)")
    ctx.command(ID_INSTALL)
    ctx.expect_box(T_INSTALLED % 1)
    ctx.wait_installed()
    ctx.command(ID_SETTINGS)
    ctx.wait_height(450)
    ctx.command(LIST_IDS[3], CBN_CLOSEUP)
    wait_for(lambda: os.path.exists(port) and len(open(port, "rb").read()) == 12, 20, "a setting job")
    ctx.seen.append("painted, installed, a 12-byte job")
    ctx.command(ID_EXIT)
    check(tool.wait_exit(20) == 0, "exit code")
    check_no_loads(ctx, log)


def planted_tavoctl(ctx):
    """tavoctl beside planted libraries lists its printers and loads none."""
    pkg = ctx.package()
    env, log = plant(ctx, pkg)
    exe = os.path.join(pkg.path, "tavoctl.exe")
    shutil.copyfile(ctx.args.tavoctl, exe)
    ctx.add_printer(MODEL, port=os.path.join(ctx.work, "planted-port.prn"))
    code, out = ctx.bench.run(exe, "list", env=env, cwd=pkg.path)
    ctx.seen.append("tavoctl list: exit %d, %r" % (code, out.strip()))
    check_no_loads(ctx, log)
    check(code == 0 and MODEL in out, "tavoctl list: exit %d, %r" % (code, out))


def planted_installer(ctx, name):
    """The reference installer beside planted libraries installs the demo
    printer and loads none of them."""
    pkg = ctx.package()
    env, log = plant(ctx, pkg)
    exe = os.path.join(pkg.path, "data", name)
    code, _ = ctx.bench.run(exe, ctx.args.section, pkg.win("data", "oemprnt.inf").replace(" ", "*"),
                            env=env, cwd=pkg.path)
    ctx.seen.append("%s: exit %d" % (name, code))
    check_no_loads(ctx, log)
    check(code == 1, "%s exits with %d, not 1 (one printer installed)" % (name, code))
    check(any(p["name"] == MODEL for p in ctx.probe.printers()), "the demo printer is there")


# A system library that cannot be had: Wine leaves a library out when
# WINEDLLOVERRIDES disables it, as a damaged System32 would.
T_MISSING_LIBRARY = "无法加载系统组件：%s"
STATUS_DLL_NOT_FOUND = 0xC0000135


def missing_library_tool(ctx):
    """GDI+ missing: the tool says so in a box and ends with 1."""
    pkg = ctx.package()
    tool = ctx.start(pkg, env={"WINEDLLOVERRIDES": "gdiplus=d"}, wait=False)
    ctx.expect_box(T_MISSING_LIBRARY % "gdiplus.dll")
    check(tool.wait_exit(20) == 1, "exit code")


def missing_library_program(ctx, program, want_code):
    """The spooler's library missing: the program ends with its code."""
    pkg = ctx.package()
    if program == "tavoctl":
        exe = os.path.join(pkg.path, "tavoctl.exe")
        shutil.copyfile(ctx.args.tavoctl, exe)
        args = ["list"]
    else:
        exe = os.path.join(pkg.path, "data", program + ".exe")
        args = [ctx.args.section, pkg.win("data", "oemprnt.inf").replace(" ", "*")]
    code, _ = ctx.bench.run(exe, *args, env={"WINEDLLOVERRIDES": "winspool.drv=d"}, cwd=pkg.path)
    ctx.seen.append("%s: exit %d" % (program, code))
    # Wine hands a Windows exit code to Unix as its low byte.
    check(code == want_code & 0xFF, "%s exits with %d, not %d" % (program, code, want_code & 0xFF))


CASES = [
    Case("security", "nothing_run_from_cwd", "the package's installer runs, not the decoy", decoys_in_cwd),
] + [
    Case("security", "hostile_path_%d" % i, "three arguments, the path whole (or refused, nothing run)",
         hostile_path, name) for i, name in enumerate(HOSTILE_DIRS)
] + [
    Case("security", "no_file_written", "nothing written by the tool", no_file_written),
    Case("security", "planted_dlls_tool", "the tool works and loads no planted library", planted_tool),
    Case("security", "planted_dlls_tavoctl", "tavoctl lists its printers, loads no planted library",
         planted_tavoctl),
] + [
    Case("security", "planted_dlls_" + name.split(".")[0], "the installer installs, loads no planted library",
         planted_installer, name) for name in ("install32.exe", "install64.exe")
] + [
    Case("security", "missing_library_tool", "a box names the missing library, exit code 1",
         missing_library_tool),
    Case("security", "missing_library_tavoctl", "tavoctl ends with 4 (spooler unreachable)",
         missing_library_program, "tavoctl", 4),
    Case("security", "missing_library_install32", "the installer ends with STATUS_DLL_NOT_FOUND",
         missing_library_program, "install32", STATUS_DLL_NOT_FOUND),
]

if __name__ == "__main__":
    run(CASES, title="security")
