#!/usr/bin/env python3
"""Start-up: where and how the window appears, its controls, one copy only,
the exit codes, and a package with missing files."""
from acceptance import *

WS_CAPTION, WS_BORDER, WS_THICKFRAME, WS_SYSMENU, WS_DLGFRAME = 0xC00000, 0x800000, 0x40000, 0x80000, 0x400000

# id: (class, text, window-relative rect, style)
CONTROLS = {
    1100: ("Static", "a2", (1, 180, 419, 367), 0x5000000D),
    1002: ("Button", "安装", (10, 90, 90, 170), 0x5000400B),
    1003: ("Button", "设置", (90, 90, 170, 170), 0x5000400B),
    1004: ("Button", "网站", (170, 90, 250, 170), 0x5000400B),
    1005: ("Button", "手册", (250, 90, 330, 170), 0x5000400B),
    1001: ("Button", "退出", (330, 90, 410, 170), 0x5000400B),
}
for k, lid in enumerate(LIST_IDS):
    CONTROLS[lid] = ("ComboBox", None, (200, 260 + 32 * k, 410, None), 0x50000243)


def window_placed_and_borderless(ctx):
    ctx.start(ctx.package())
    m = ctx.main()
    check(tuple(m["rect"]) == (750, 450, 1170, 630), "window rect %s, expected (750, 450, 1170, 630)" % m["rect"])
    check(tuple(m["client"]) == (0, 0, 420, 180), "client area %s: the whole window should be client" % m["client"])
    for bit, name in ((WS_CAPTION, "caption"), (WS_BORDER, "border"), (WS_THICKFRAME, "sizing frame"),
                      (WS_SYSMENU, "system menu"), (WS_DLGFRAME, "dialog frame")):
        check(not m["style"] & bit, "style 0x%x has a %s" % (m["style"], name))
    check(m["visible"], "window not visible")
    check(m["title"] == "", "window title %r, expected empty" % m["title"])


def controls_as_laid_out(ctx):
    ctx.start(ctx.package())
    r = ctx.rect()
    kids = ctx.probe.children()
    check(set(kids) == set(CONTROLS), "child ids %s" % sorted(kids))
    for cid, (cls, text, rect, style) in CONTROLS.items():
        c = kids[cid]
        rel = (c["rect"][0] - r[0], c["rect"][1] - r[1], c["rect"][2] - r[0], c["rect"][3] - r[1])
        check(c["class"].lower() == cls.lower(), "control %d class %s" % (cid, c["class"]))
        if text is not None:
            check(c["text"] == text, "control %d text %r" % (cid, c["text"]))
        check(all(e is None or e == v for e, v in zip(rect, rel)), "control %d at %s, expected %s" % (cid, rel, rect))
        seen = c["style"] | (0x10000000 if cid == 1100 else 0)  # the panel is hidden: no WS_VISIBLE
        check(seen == style,
              "control %d style 0x%x, expected 0x%x" % (cid, c["style"], style))
    check(not kids[1100]["visible"], "the dots panel shows at start")


def second_copy_exits_with_1(ctx):
    pkg = ctx.package()
    first = ctx.start(pkg)
    second = ctx.start(pkg, wait=False)
    code = second.wait_exit(30)
    check(code == 1, "second copy exit code %s, expected 1" % code)
    check(first.running(), "the first copy ended")
    check(ctx.probe.query("count", CLASS)["count"] == 1, "more than one main window")


def close_by_system_exits_with_0(ctx):
    tool = ctx.start(ctx.package())
    ctx.probe.query("close")
    check(tool.wait_exit(20) == 0, "exit code after WM_CLOSE")


def alt_f4_exits_with_0(ctx):
    tool = ctx.start(ctx.package())
    ctx.to_window(150, 40)  # the window under the pointer and active
    ctx.x.click(1)
    ctx.x.key("alt+F4")
    check(tool.wait_exit(20) == 0, "exit code after Alt+F4")


def exit_button_exits_with_0(ctx):
    tool = ctx.start(ctx.package())
    ctx.click(IDS["exit"])
    check(tool.wait_exit(20) == 0, "exit code after the Exit button")
    check(not ctx.probe.boxes(), "a message box on Exit without an installation")


def missing_files(ctx, missing):
    pkg = ctx.package(dep=False if "dep" in missing else None, inf="inf" not in missing)
    ctx.add_printer(MODEL)  # present, but after "文件不全" the model list is empty
    tool = ctx.start(pkg, wait=False)
    box = ctx.probe.wait_box(T_FILES, 40)
    check(box["owner"] == 0, "the %s box has an owner" % T_FILES)
    check_default_caption(ctx, box)
    check_icon(ctx, box, "none")  # MB_OK
    check(not ctx.main().get("visible"), "the main window shows before %s is answered" % T_FILES)
    ctx.probe.press(box)
    ctx.wait_window()
    check(tool.running(), "the tool ended after %s" % T_FILES)
    kids = ctx.probe.children()
    # An all-zero settings block: every stored value is 0, which each list has.
    for lid in LIST_IDS:
        check(kids[lid]["cursel"] == 0, "list %d shows %d after %s" % (lid, kids[lid]["cursel"], T_FILES))
    # The empty model list finds no printer.
    ctx.click(IDS["settings"])
    ctx.expect_box(T_NO_PRINTER, caption="default")
    check(ctx.height() == 180, "window height changed")
    # Install still runs the installer with the INF path it was given.
    ctx.click(IDS["install"])
    ctx.expect_box(T_INSTALLED_N % 1 if "inf" not in missing else T_PARAM)
    ctx.expect_box(T_NONE_FOUND, icon="warning", caption="")
    lines = ctx.log_lines()
    check(len(lines) == 1 and lines[0].endswith(" %s %s" % (ctx.args.section, pkg.win("data", "oemprnt.inf").replace(" ", "*"))),
          "installer command line after %s: %s" % (T_FILES, lines))
    ctx.click(IDS["exit"])
    check(tool.wait_exit(20) == 0, "exit code")


CASES = [
    Case("window_placed_centred_420x180_borderless", window_placed_and_borderless),
    Case("controls_as_laid_out", controls_as_laid_out),
    Case("second_copy_exits_with_1", second_copy_exits_with_1),
    Case("close_by_system_exits_with_0", close_by_system_exits_with_0),
    Case("alt_f4_exits_with_0", alt_f4_exits_with_0),
    Case("exit_button_exits_with_0", exit_button_exits_with_0),
    Case("missing_dep_file", missing_files, ("dep",)),
    Case("missing_inf_file", missing_files, ("inf",)),
    Case("missing_both_files", missing_files, ("dep", "inf")),
]

if __name__ == "__main__":
    run(CASES)
