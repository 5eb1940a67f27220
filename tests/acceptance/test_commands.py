#!/usr/bin/env python3
"""Website and Manual through the shell (with and without a program for
them), device removals in each panel state, Settings over a stale result
band."""
import shutil
from acceptance import *


def handler(ctx):
    """A program that logs its command line (the reference installer with
    TAVO_INSTALLER_EXIT=0), registered where the shell looks."""
    path = os.path.join(ctx.work, "handler", "install32.exe")
    os.makedirs(os.path.dirname(path), exist_ok=True)
    shutil.copyfile(ctx.args.install32, path)
    return path


def website_opens(ctx):
    exe = handler(ctx)
    for key in ("https", "http"):
        ctx.set_association(key, exe)
    ctx.start(ctx.package(), env=ctx.installer_env(exit=0))
    ctx.click(IDS["website"])
    lines = wait_for(ctx.log_lines, 20, "the web page opened")
    check(ctx.args.website in lines[0], "the shell was given %r, expected the page %s" % (lines[0], ctx.args.website))
    stays(lambda: not ctx.probe.boxes() and len(ctx.log_lines()) == 1, 1.0, "one opening and no box")


def website_without_browser(ctx):
    for key in ("https", "http"):
        ctx.remove_key(key)
    ctx.start(ctx.package())
    ctx.click(IDS["website"])
    ctx.expect_box(T_NO_BROWSER, "error", caption="")


def manual_opens(ctx):
    exe = handler(ctx)
    ctx.bench.reg("add", "HKCR\\.docx", "/ve", "/d", "TavoAccDoc", "/f")
    ctx.registry_undo.append(("delete", ".docx"))
    ctx.set_association("TavoAccDoc", exe)
    pkg = ctx.package("manual pkg 手册")
    ctx.start(pkg, env=ctx.installer_env(exit=0))
    ctx.click(IDS["manual"])
    lines = wait_for(ctx.log_lines, 20, "the manual opened")
    check(pkg.win("data", MANUAL_NAME).lower() in lines[0].lower(), "the shell was given %r" % lines[0])
    stays(lambda: not ctx.probe.boxes(), 1.0, "no box")


def manual_without_program(ctx):
    ctx.remove_key(".docx")
    pkg = ctx.package("manual pkg 手册")
    ctx.start(pkg)
    ctx.click(IDS["manual"])
    ctx.expect_box(T_NO_APP % pkg.win("data", MANUAL_NAME), "error", caption="")


def manual_missing(ctx):
    ctx.start(ctx.package(manual=False))
    ctx.click(IDS["manual"])
    stays(lambda: not ctx.probe.boxes() or [b for b in ctx.probe.boxes() if b["pid"] == ctx.main()["pid"]] == [],
          2.0, "no message box of the tool")


def device_removed(ctx, state, printers_after, wparam, text, record="none"):
    """A WM_DEVICECHANGE with `wparam`; `record` is the device-interface
    record it carries (the probe's usbprint or usbdevice), or none."""
    if record == "none" and ctx.bench.drops_recordless_device_change:
        # Sent with the USB printer interface's record instead, and said so.
        record = "usbprint"
        ctx.notes.append("%s drops a cross-process WM_DEVICECHANGE 0x%X without a record: sent with "
                         "the usbprint record, the recordless path not seen in this mode"
                         % (ctx.bench.wine_version, wparam))
    pkg = ctx.package()
    ctx.add_printer(MODEL)
    if state == 1:
        # The result band: an installation that found the one printer.
        ctx.probe.delete_printer(MODEL)
        ctx.install_to_result_band(pkg)
    else:
        ctx.start(pkg)
        if state == 2:
            ctx.click(IDS["settings"])
            ctx.wait_height(450)
    height = ctx.height()
    if printers_after == 0:
        ctx.probe.delete_all_printers()
    ctx.probe.query("devchange", wparam, "TAVO_WIN32", record)
    if text:
        ctx.expect_box(T_REMOVED, "warning", caption="")
        ctx.wait_height(180)
    else:
        stays(lambda: not ctx.probe.boxes() and ctx.height() == height, 1.5, "no box and no resize")
    wait_for(lambda: all(s["done"] for s in ctx.probe.query("sent")["sent"]), 10, "the notification answered")


def settings_over_result_band_without_printer(ctx):
    ctx.start(ctx.package(), env=ctx.installer_env(printers=1))
    ctx.click(IDS["install"])
    ctx.expect_box(T_INSTALLED_N % 1, caption="")
    ctx.wait_height(252)
    wait_for(lambda: not ctx.probe.children()[1100]["visible"], 10, "the installation to end")
    ctx.probe.delete_all_printers()
    ctx.click(IDS["settings"])
    ctx.expect_box(T_NO_PRINTER, caption="default")
    check(ctx.height() == 252, "the window left 252")
    # PanelState 0 now: nothing is painted below the buttons once repainted.
    ctx.probe.query("redraw", ctx.main()["hwnd"])
    wait_for(lambda: ctx.shot_pixel(200, 230) == BACKGROUND, 10, "the band gone below the buttons")


CASES = [
    Case("website_opens_the_page_through_the_shell", website_opens),
    Case("website_without_browser", website_without_browser),
    Case("manual_opens_through_the_shell", manual_opens),
    Case("manual_without_program", manual_without_program),
    Case("manual_missing_says_nothing", manual_missing),
    Case("device_removed_state0_no_message", device_removed, 0, 0, 0x8004, False),
    Case("device_removed_state1_printer_gone", device_removed, 1, 0, 0x8004, True),
    Case("device_removed_state1_printer_still_there", device_removed, 1, 1, 0x8004, False),
    Case("device_removed_state2_printer_gone", device_removed, 2, 0, 0x8004, True),
    Case("device_removed_state2_printer_still_there", device_removed, 2, 1, 0x8004, False),
    Case("device_arrival_state2_ignored", device_removed, 2, 0, 0x8000, False),
    # What a removal brings on Windows, through the window's registration for
    # the USB printer interface class.
    Case("device_removed_usbprint_record_state2_printer_gone", device_removed, 2, 0, 0x8004, True,
         "usbprint"),
    Case("device_removed_usbprint_record_state2_printer_still_there", device_removed, 2, 1, 0x8004,
         False, "usbprint"),
    Case("device_removed_other_interface_class_ignored", device_removed, 2, 0, 0x8004, False,
         "usbdevice"),
    Case("settings_over_result_band_without_printer", settings_over_result_band_without_printer),
]

if __name__ == "__main__":
    run(CASES)
