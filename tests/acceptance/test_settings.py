#!/usr/bin/env python3
"""Settings: when the panel opens, the lists preset from ".dep", the exact
12 bytes a close-up sends to every supported printer, and what sends
nothing."""
from acceptance import *

DEMO_DEP = {5: 13, 7: 1, 9: 0, 10: 2, 11: 0, 36: 1}
ROW_CODE = {1202: 5, 1203: 7, 1204: 9, 1205: 10, 1206: 11, 1207: 36}


def open_panel(ctx, dep_values=None, dep=None, printers=1):
    pkg = ctx.package(dep_values=DEMO_DEP if dep_values is None and dep is None else dep_values, dep=dep)
    ports = [ctx.add_printer(MODEL if i == 0 else "%s (%d)" % (MODEL, i + 1)) for i in range(printers)]
    ctx.start(pkg)
    ctx.click(IDS["settings"])
    ctx.wait_height(450)
    return ports


def open_watched_panel(ctx, printers=1):
    """The settings panel open with `printers` supported printers whose ports
    are FIFOs that keep every job, the tool started with the spooler's trace
    (its jobs' names, data types and sizes): returns the ports."""
    pkg = ctx.package(dep_values=DEMO_DEP)
    ports = [ctx.add_watched_printer(MODEL if i == 0 else "%s (%d)" % (MODEL, i + 1)) for i in range(printers)]
    ctx.start_traced(pkg)
    ctx.click(IDS["settings"])
    ctx.wait_height(450)
    check(not ctx.spooler_jobs(), "jobs before any close-up: %s" % ctx.spooler_jobs())
    return ports


def expect_jobs(ctx, ports, want, jobs_each=1, settle=1.5):
    """Each of `ports` gets `want` exactly `jobs_each` times and no more
    (within `settle` seconds after), and the spooler got exactly one job per
    port and close-up: "My Document", data type RAW, 12 bytes in one write."""
    total = len(ports) * jobs_each

    def jobs(delivery):
        return [j for j in ctx.spooler_jobs() if j["delivery"] == delivery]
    wait_for(lambda: all(len(p.data()) >= len(want) * jobs_each for p in ports) and
             sum(j["ended"] for j in jobs(False)) >= total, 20, "%d job(s) through the FIFO ports" % total)
    stays(lambda: all(len(p.data()) == len(want) * jobs_each for p in ports) and len(jobs(False)) == total,
          settle, "no more than %d job(s)" % total)
    for port in ports:
        data = port.data()
        check(data == want * jobs_each, "port %s received %s, expected %s x %d" % (
            os.path.basename(port.path), data.hex(" "), want.hex(" "), jobs_each))
    for job in jobs(False):
        check(job["document"] == "My Document", "job named %r, expected 'My Document'" % job["document"])
        check(job["datatype"] == "RAW", "job of data type %r, expected RAW" % job["datatype"])
        check(job["written"] == [12] and job["ended"], "job written as %s (ended: %s), expected 12 bytes in one write"
              % (job["written"], job["ended"]))
    # The spooler's deliveries: one per job, each to one of the watched ports.
    delivered = sorted(j["output"] for j in jobs(True))
    check(delivered == sorted(p.path for p in ports for _ in range(jobs_each)),
          "the spooler delivered to %s" % delivered)


def settings_with_printers(ctx, printers, text):
    pkg = ctx.package(dep_values=DEMO_DEP)
    for name, driver, attributes in printers:
        ctx.add_printer(name, driver, attributes)
    ctx.start(pkg)
    ctx.click(IDS["settings"])
    if text:
        ctx.expect_box(text, caption="default")
        stays(lambda: ctx.height() == 180, 0.5, "height 180")
    else:
        ctx.wait_height(450)
        kids = ctx.probe.children()
        check(all(kids[lid]["visible"] for lid in LIST_IDS), "lists not visible")
        # Toggle: the second click closes the panel without a search (the
        # printer is gone: a search would complain).
        ctx.probe.delete_printer(printers[0][0])
        ctx.click(IDS["settings"])
        ctx.wait_height(180)
        check(not ctx.probe.boxes(), "closing the panel searched for printers")


def presets(ctx, dep_values, dep, expected):
    open_panel(ctx, dep_values, dep)
    kids = ctx.probe.children()
    seen = {lid: kids[lid]["cursel"] for lid in LIST_IDS}
    check(seen == expected, "lists show %s, expected %s" % (seen, expected))
    check(kids[1202]["seltext"] == ["自定义", "2 英寸", "2.5 英寸", "3 英寸", "11/4 英寸", "11/3 英寸", "4 英寸", "5 英寸",
                                    "5.5 英寸", "6 英寸", "7 英寸", "8 英寸", "8.5 英寸", "11 英寸", "70/6 英寸", "12 英寸",
                                    "14 英寸", "17 英寸"][expected[1202]], "first list text %r" % kids[1202]["seltext"])


def drop(ctx, lid):
    k = LIST_IDS.index(lid)
    ctx.to_window(300, 260 + 32 * k + 10)
    ctx.x.click(1)
    wait_for(lambda: ctx.probe.children()[lid]["dropped"], 10, "list %d dropped" % lid)
    wait_for(lambda: list_painted(ctx, lid), 5, "list %d painted with its options" % lid)


def list_painted(ctx, lid):
    """The dropped list as it drew itself: each visible row has ink on the
    window colour, and the current option's row is the highlighted one."""
    combo = ctx.probe.children()[lid]
    lst = combo.get("list")
    if not lst:
        return False
    image = ctx.x.window_shot(lst["x11_window"])
    cx, cy, cw, ch = lst["client"]
    h = lst["item_height"]
    rows = min(combo["count"] - lst["top"], ch // h)
    for row in range(rows):
        band = [image.pixel(cx + x, cy + row * h + y) for y in range(1, h - 1) for x in range(2, cw - 2)]
        fill = tuple(lst["highlight"] if lst["top"] + row == combo["cursel"] else lst["background"])
        if band.count(fill) < len(band) // 2 or all(p == fill for p in band):
            return False
    return rows > 0


def close_up_sends(ctx, lid, keys, index):
    ports = open_watched_panel(ctx)
    drop(ctx, lid)
    if keys:
        ctx.x.key(*keys)
    ctx.x.key("Return")
    expect_jobs(ctx, ports, setting_command(ROW_CODE[lid], index, ctx.args.tag))
    check(ctx.probe.children()[lid]["cursel"] == index, "list shows another option")
    check(not ctx.probe.boxes(), "a box after a close-up")


def two_printers_two_jobs(ctx):
    ports = open_watched_panel(ctx)
    ports.append(ctx.add_watched_printer("%s (2)" % MODEL))
    drop(ctx, 1204)
    ctx.x.key("Down", "Return")
    expect_jobs(ctx, ports, setting_command(9, 1, ctx.args.tag))


def keyboard_on_closed_list_sends_nothing(ctx):
    ports = open_panel(ctx)
    drop(ctx, 1203)
    ctx.x.key("Escape")  # a close-up: sends the current option
    wait_for(lambda: read_port(ports[0]), 20, "the close-up's job")
    wait_for(lambda: not ctx.probe.children()[1203]["dropped"], 10, "the list closed")
    os.remove(ports[0])
    before = ctx.probe.children()[1203]["cursel"]
    ctx.x.key("Up")
    wait_for(lambda: ctx.probe.children()[1203]["cursel"] != before, 10, "the keyboard to change the option")
    stays(lambda: read_port(ports[0]) is None, 2.0, "no job for a keyboard change")


def no_printer_close_up_sends_nothing(ctx):
    # The printer the panel opened for is replaced by one of the same name
    # and port whose driver is no supported model: a job, if the tool sent
    # one (to the name it found before, or to any printer), would be seen
    # at the port and in the spooler's trace.
    ports = open_watched_panel(ctx)
    ctx.probe.delete_printer(MODEL)
    ctx.add_watched_printer(MODEL, driver="Other Model", port=ports[0])
    drop(ctx, 1205)
    ctx.x.key("Return")
    wait_for(lambda: not ctx.probe.children()[1205]["dropped"], 10, "the list closed")
    stays(lambda: not ports[0].data() and not ctx.spooler_jobs() and not ctx.probe.boxes(), 2.0,
          "no job and no box")


ALL = dict(zip(LIST_IDS, [13, 1, 0, 2, 0, 1]))


def with_(**changes):
    out = dict(ALL)
    out.update({int(k[1:]): v for k, v in changes.items()})
    return out


DEFAULTS = {1202: 13, 1203: 1, 1204: 0, 1205: 2, 1206: 0, 1207: 1}
CASES = [
    Case("settings_no_printer", settings_with_printers, [], T_NO_PRINTER),
    Case("settings_offline_printer_only", settings_with_printers, [(MODEL, MODEL, 0x400)], T_NO_PRINTER),
    Case("settings_unsupported_driver_only", settings_with_printers, [("Other", "Other Model", 0)], T_NO_PRINTER),
    Case("settings_two_printers", settings_with_printers, [(MODEL, MODEL, 0), (MODEL + " (2)", MODEL, 0)], T_MANY_ONLINE),
    Case("settings_one_printer_opens_and_toggles", settings_with_printers, [(MODEL, MODEL, 0)], None),
    Case("preset_demo_values", presets, DEMO_DEP, None, ALL),
    Case("preset_in_range_17", presets, {5: 17, 7: 0, 9: 1, 10: 1, 11: 1, 36: 3}, None,
         {1202: 17, 1203: 0, 1204: 1, 1205: 1, 1206: 1, 1207: 3}),
    Case("preset_out_of_range_gives_defaults", presets, {5: 18, 7: 2, 9: 5, 10: 3, 11: 2, 36: 4}, None, DEFAULTS),
    Case("preset_minus_one_gives_defaults", presets, {5: -1, 7: -1, 9: -1, 10: -1, 11: -1, 36: -1}, None, DEFAULTS),
    Case("preset_short_file_40_bytes", presets, None, dep_bytes({5: 3, 7: 0, 9: 1, 36: 2})[:40],
         {1202: 3, 1203: 0, 1204: 1, 1205: 0, 1206: 0, 1207: 0}),
    Case("preset_long_file_reads_256", presets, None, dep_bytes({5: 4, 36: 2}) + b"\x07" * 100,
         {1202: 4, 1203: 0, 1204: 0, 1205: 0, 1206: 0, 1207: 2}),
    Case("close_up_direction_one_way", close_up_sends, 1205, ("Up",), 1),
    Case("close_up_page_length_17", close_up_sends, 1202, ("Down",) * 4, 17),
    Case("close_up_wait_time_2s", close_up_sends, 1207, ("Down", "Down"), 3),
    Case("close_up_software_oki", close_up_sends, 1206, ("Down",), 1),
    Case("close_up_without_change", close_up_sends, 1203, (), 1),
    Case("two_printers_receive_two_jobs", two_printers_two_jobs),
    Case("keyboard_change_on_closed_list_sends_nothing", keyboard_on_closed_list_sends_nothing),
    Case("close_up_without_printer_sends_nothing", no_printer_close_up_sends_nothing),
]

if __name__ == "__main__":
    run(CASES)
