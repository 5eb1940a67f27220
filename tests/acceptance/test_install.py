#!/usr/bin/env python3
"""Install: the installer's command line, its exit codes and what the tool
says, the printer search afterwards, the busy rules, dragging while it runs,
Install with the settings panel open, closing while it runs."""
from acceptance import *

INFO, WARN = "information", "warning"


def start_install(ctx, **steer):
    pkg = ctx.package(steer.pop("name", "pkg"))
    tool = ctx.start(pkg, env=ctx.installer_env(**steer))
    return pkg, tool


def installer_ran(ctx, count=1, timeout=20):
    return wait_for(lambda: len(ctx.log_lines()) >= count and ctx.log_lines(), timeout, "%d installer run(s)" % count)


def command_line(ctx, name):
    pkg, tool = start_install(ctx, name=name, exit=0)
    ctx.click(IDS["install"])
    ctx.expect_box(T_INSTALLED_N % 0, INFO, caption="")
    ctx.expect_box(T_NONE_FOUND, WARN, caption="")
    lines = ctx.log_lines()
    check(len(lines) == 1, "installer runs: %s" % lines)
    word, inf = ctx.args.section, pkg.win("data", "oemprnt.inf")
    expected_args = "%s %s" % (word, inf.replace(" ", "*"))
    # 64-bit Windows (the bench's prefix): the 64-bit installer of the package.
    head, _, args = lines[0].partition("install64.exe")
    check(args.lstrip('"').strip() == expected_args,
          "installer arguments %r, expected %r" % (args.lstrip('"').strip(), expected_args))
    check(pkg.win("data").lower() in head.lower().replace("/", "\\"),
          "installer %r is not the package's own" % lines[0])


def exit_code(ctx, code, text, icon):
    start_install(ctx, exit=code)
    ctx.click(IDS["install"])
    wait_for(lambda: ctx.height() == 220 or ctx.probe.boxes(), 20, "the installing state")
    ctx.expect_box(text, icon, caption="")
    ctx.expect_box(T_NONE_FOUND, WARN, caption="")
    ctx.wait_height(180)
    wait_for(lambda: not ctx.probe.children()[1100]["visible"], 10, "the dots panel hidden")
    check(len(ctx.log_lines()) == 1, "installer runs: %s" % ctx.log_lines())


def printers_after(ctx, printers, then_text, height):
    start_install(ctx, printers=printers)
    ctx.click(IDS["install"])
    ctx.expect_box(T_INSTALLED_N % printers, INFO, caption="")
    if then_text:
        ctx.expect_box(then_text, WARN, caption="")
    ctx.wait_height(height)
    wait_for(lambda: not ctx.probe.children()[1100]["visible"], 10, "the dots panel hidden")
    check(not ctx.probe.boxes(), "an extra message box")
    names = sorted(p["name"] for p in ctx.probe.printers())
    check(len(names) == printers, "printers after the run: %s" % names)
    # The tool stays usable: Settings now opens (one printer) or says why not.
    ctx.click(IDS["settings"])
    if printers == 1:
        ctx.wait_height(450)
    else:
        ctx.expect_box(T_MANY_ONLINE if printers > 1 else T_NO_PRINTER, caption="default")
        check(ctx.height() == height, "Settings changed the height")


def busy_rules(ctx):
    start_install(ctx, hang=1)
    ctx.click(IDS["install"])
    ctx.wait_height(220)
    wait_for(lambda: ctx.probe.children()[1100]["visible"], 10, "the dots panel shown")
    installer_ran(ctx)
    for bid in (IDS["install"], IDS["settings"]):
        ctx.click(bid)
        ctx.expect_box(T_BUSY, caption="default")
        check(ctx.height() == 220, "height changed by a busy click")
    check(len(ctx.log_lines()) == 1, "a second installer started: %s" % ctx.log_lines())


def double_click_starts_one(ctx):
    start_install(ctx, delay_ms=3000, exit=0)
    ctx.park()
    ctx.hover(IDS["install"])
    ctx.x._xdotool("click", "--repeat", 2, "--delay", 60, 1)
    installer_ran(ctx)
    # The second click of a double-click comes as BN_DOUBLECLICKED. The
    # thread sets the busy flag before it is started, so the second click
    # finds the tool busy and says so; it must not start a second
    # installation.
    ctx.expect_box(T_BUSY, caption="default")
    ctx.expect_box(T_INSTALLED_N % 0, INFO, caption="")
    ctx.expect_box(T_NONE_FOUND, WARN, caption="")
    stays(lambda: len(ctx.log_lines()) == 1, 1.0, "one installer run")


def drag_while_installing(ctx):
    start_install(ctx, delay_ms=6000, printers=1)
    before = ctx.rect()
    ctx.click(IDS["install"])
    ctx.wait_height(220)
    moved = ctx.drag_by_logo()
    check(moved[1] != before[1], "the drag moved only sideways: %s" % (moved,))
    ctx.expect_box(T_INSTALLED_N % 1, INFO, caption="")
    after = ctx.wait_height(252) and ctx.rect()
    check(after[:2] == before[:2], "after the search the window is at %s, expected back at %s" % (after[:2], before[:2]))


def install_with_settings_open(ctx):
    pkg = ctx.package()
    # The printer the installer will report, already there (same name and port).
    ctx.probe.add_printer(MODEL, MODEL, os.path.join(pkg.path, "demo-printer.prn"))
    ctx.start(pkg, env=ctx.installer_env(delay_ms=3500, printers=1))
    ctx.click(IDS["settings"])
    ctx.wait_height(450)
    ctx.click(IDS["install"])
    wait_for(lambda: ctx.probe.children()[1100]["visible"], 10, "the dots panel shown")
    check(ctx.height() == 450, "the window left 450 while installing")
    ctx.expect_box(T_INSTALLED_N % 1, INFO, caption="")
    wait_for(lambda: not ctx.probe.children()[1100]["visible"], 10, "the dots panel hidden")
    stays(lambda: ctx.height() == 450 and not ctx.probe.boxes(), 1.0, "450 tall and no box")
    check(all(ctx.probe.children()[lid]["visible"] for lid in LIST_IDS), "lists hidden")
    # Still the settings panel: Settings closes it.
    ctx.click(IDS["settings"])
    ctx.wait_height(180)


def installer_found_from_elsewhere(ctx):
    # Started from another current directory, the tool still runs the
    # installer that lies in its package.
    pkg = ctx.package()
    ctx.start(pkg, cwd=ctx.work, env=ctx.installer_env(exit=0))
    ctx.click(IDS["install"])
    ctx.expect_box(T_INSTALLED_N % 0, INFO, caption="")
    ctx.expect_box(T_NONE_FOUND, WARN, caption="")
    check(len(ctx.log_lines()) == 1, "the package's installer did not run: %s" % ctx.log_lines())


def exit_while_installing(ctx):
    _, tool = start_install(ctx, hang=1)
    ctx.click(IDS["install"])
    ctx.wait_height(220)
    installer_ran(ctx)
    ctx.click(IDS["exit"])
    ctx.expect_box(T_EXIT_BUSY, caption="default")
    check(tool.wait_exit(20) == 0, "exit code after Exit while installing")
    check(any(p["exe"].lower() in INSTALLERS for p in ctx.probe.procs()), "the installer did not go on by itself")


def close_while_installing(ctx, how):
    _, tool = start_install(ctx, hang=1)
    ctx.click(IDS["install"])
    ctx.wait_height(220)
    installer_ran(ctx)
    if how == "alt+F4":
        ctx.to_window(150, 40)
        ctx.x.key("alt+F4")
    else:
        ctx.probe.query("close")
    check(tool.wait_exit(20) == 0, "exit code after %s while installing" % how)
    check(not ctx.probe.boxes(), "a box after %s" % how)


def crashing_installer(ctx):
    # A crash (0xC0000005) installed nothing: the tool says the installer
    # ended abnormally instead of counting -1073741819 printers.
    start_install(ctx, crash=1)
    ctx.click(IDS["install"])
    ctx.expect_box(T_ABNORMAL % 0xC0000005, WARN, caption="")
    ctx.expect_box(T_NONE_FOUND, WARN, caption="")
    ctx.wait_height(180)


CASES = [
    Case("command_line_package_path_with_spaces_and_chinese", command_line, "my pkg 安装 目录"),
    Case("command_line_plain_path", command_line, "plainpkg"),
    Case("exit_code_-1_parameter_error", exit_code, -1, T_PARAM, WARN),
    Case("exit_code_-2_file_copy_error", exit_code, -2, T_COPY, WARN),
    Case("exit_code_7_printers", exit_code, 7, T_INSTALLED_N % 7, INFO),
    Case("exit_code_0", exit_code, 0, T_INSTALLED_N % 0, INFO),
    Case("installer_crash_reported_as_abnormal_end", crashing_installer),
    Case("no_printer_afterwards", printers_after, 0, T_NONE_FOUND, 180),
    Case("one_printer_afterwards", printers_after, 1, None, 252),
    Case("two_printers_afterwards", printers_after, 2, T_MANY_USB, 180),
    Case("install_and_settings_while_busy", busy_rules),
    Case("double_click_install_starts_one_installer", double_click_starts_one),
    Case("window_jumps_back_after_drag", drag_while_installing),
    Case("install_while_settings_panel_open", install_with_settings_open),
    Case("installer_found_from_another_current_directory", installer_found_from_elsewhere),
    Case("exit_while_installing_warns_then_closes", exit_while_installing),
    Case("close_while_installing_no_warning", close_while_installing, "WM_CLOSE"),
    Case("alt_f4_while_installing_no_warning", close_while_installing, "alt+F4"),
]

if __name__ == "__main__":
    run(CASES)
