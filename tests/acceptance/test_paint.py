#!/usr/bin/env python3
"""Painting, by pixel: background, logo, button looks, the install band and
the dots, the result band with its icon, the settings labels, black covers
on the white band."""
import time
from acceptance import *

from dot_track import PLACES, ROW0, forward_step, frame_places, sample_frames  # noqa: E402


def blue_places(px):
    """Places whose dot centre (panel at (1, 180), dot box (6v, 0)-(6v+7, 7)) is light blue."""
    return sorted(v for v in PLACES if px(1 + 6 * v + 3, 183) == DOT)


def png_matches(ctx, px, name, x0, y0, over):
    path = os.path.join(ctx.art, name)
    check(os.path.exists(path), "the reference image %s is missing: nothing to compare with" % path)
    w, h, ch, rows = read_png(path)
    bad = 0
    for y in range(h):
        for x in range(w):
            p = rows[y][x * ch:(x + 1) * ch]
            a = p[3] if ch == 4 else 255
            want = tuple((p[c] * a + over[c] * (255 - a) + 127) // 255 for c in range(3))
            if any(abs(s - t) > 6 for s, t in zip(px(x0 + x, y0 + y), want)):
                bad += 1
    check(bad <= w * h // 100, "%s differs at %d of %d pixels" % (name, bad, w * h))
    return True


def start_look(ctx):
    ctx.start(ctx.package())
    px = ctx.window_pixels()
    for spot in ((3, 3), (416, 5), (300, 40), (5, 175), (415, 176), (200, 80)):
        check(px(*spot) == BACKGROUND, "background at %s is %s" % (spot, px(*spot)))
    png_matches(ctx, px, "logo.png", 12, 20, BACKGROUND)
    check(has_colour(px, 12, 20, 287, 72, WHITE) or has_colour(px, 12, 20, 287, 72, DOT), "no logo drawn")
    for bid, bx in BUTTON_X.items():
        check(ctx.button_look(bid, px) == "normal", "button %d looks %s" % (bid, ctx.button_look(bid, px)))
        check(has_colour(px, bx + 20, 120, bx + 60, 140, WHITE), "button %d has no white caption" % bid)
        check(px(bx + 79, 169) == BLACK and px(bx + 40, 169) == BLACK, "button %d bottom outline" % bid)


def hover_and_pressed(ctx):
    ctx.start(ctx.package())
    ctx.hover(IDS["manual"])
    ctx.x.down(1)
    wait_for(lambda: ctx.button_look(IDS["manual"]) == "pressed", 10, "pressed look")
    px = ctx.window_pixels()
    check(has_colour(px, 270, 120, 310, 140, WHITE), "pressed button lost its caption")
    ctx.park()  # release outside: nothing is sent
    ctx.x.up(1)
    wait_for(lambda: ctx.button_look(IDS["manual"]) == "normal", 10, "normal look after leaving")


def outline_less_after_click(ctx):
    ctx.add_printer(MODEL)
    ctx.start(ctx.package())
    ctx.click(IDS["settings"])
    ctx.wait_height(450)
    ctx.to_window(BUTTON_X[IDS["settings"]] + 40, 100)  # still on Settings
    px = ctx.window_pixels()
    for bid in (IDS["install"], IDS["website"], IDS["manual"], IDS["exit"]):
        look = ctx.button_look(bid, px)
        check(look == "outline-less", "button %d repainted after the click looks %s" % (bid, look))
        check(has_colour(px, BUTTON_X[bid] + 20, 120, BUTTON_X[bid] + 60, 140, WHITE), "caption of %d" % bid)


def install_band_and_dots(ctx):
    ctx.start(ctx.package(), env=ctx.installer_env(hang=1))
    ctx.click(IDS["install"])
    ctx.wait_height(220)
    wait_for(lambda: ctx.probe.children()[1100]["visible"], 10, "the dots panel")
    ctx.probe.query("redraw", ctx.main()["hwnd"])

    def band():
        px = ctx.window_pixels()
        return px(0, 200) == BLACK and px(419, 200) == BLACK and px(200, 189) == BLACK and \
            px(200, 219) == BLACK and px(415, 205) == WHITE and has_colour(px, 10, 196, 400, 216, BLACK) and px
    px = wait_for(band, 10, "the install band")
    check(px(200, 186) != WHITE, "band drawn above y 189")
    # Each sample is identified as a frame of the track (u = 6), and the frames
    # follow each other forward in time.
    samples = []
    deadline = time.monotonic() + 8
    while time.monotonic() < deadline:
        taken = time.monotonic()
        places = blue_places(ctx.window_pixels())
        frames = sample_frames(places)
        check(frames, "dots at places %s are no frame of the track, even with the residue of skipped frames" % places)
        if places:  # an empty sample fits every all-hidden frame: it proves nothing
            samples.append((taken, frames))
    check(len(samples) >= 8, "only %d samples with dots in 8 s" % len(samples))
    # Only samples taken within a second of each other (20 ticks) can tell
    # forward from backward on a cycle of 64 frames.
    steps = [forward_step(a, b) for (ta, a), (tb, b) in zip(samples, samples[1:]) if tb - ta < 1.0]
    check(len(steps) >= 4, "only %d pairs of samples less than a second apart" % len(steps))
    check(all(s is not None for s in steps),
          "the frames do not move forward: %s" % [sorted(f) for _, f in samples])
    check(any(steps), "the dots never moved: %s" % [sorted(f) for _, f in samples])
    seen = set().union(*(f for _, f in samples))
    check(len(seen) >= 8, "only frames %s seen in 8 s of the animation" % sorted(seen))


def result_band(ctx):
    ctx.start(ctx.package(), env=ctx.installer_env(printers=1))
    ctx.click(IDS["install"])
    ctx.expect_box(T_INSTALLED_N % 1, caption="")
    ctx.wait_height(252)
    wait_for(lambda: not ctx.probe.children()[1100]["visible"], 10, "the installation to end")
    ctx.probe.query("redraw", ctx.main()["hwnd"])
    px = wait_for(lambda: (lambda p: p if p(415, 240) == WHITE else None)(ctx.window_pixels()), 10, "the white band")
    for spot in ((0, 200), (419, 200), (200, 180), (200, 251)):
        check(px(*spot) == BLACK, "band outline at %s is %s" % (spot, px(*spot)))
    png_matches(ctx, px, "printer.png", 20, 196, WHITE)
    band_text_matches(ctx, px, "%s 已安装" % MODEL)


def band_text_matches(ctx, px, text, left=80, top=200, width=338, height=20):
    """The band's text, from (left, top) to the band's right outline, pixel
    by pixel against `text` drawn by the probe in the tool's font (UiFont,
    black on white). A pixel counts as differing when a channel is off by
    more than 64 (anti-aliased edges may shade a little); none may differ
    beyond a few: a missing or wrong name moves or changes every glyph."""
    want = ctx.probe.text_pixels(width, height, text)
    ink = bad = 0
    for y in range(height):
        for x in range(width):
            w = want.pixel(x, y)
            ink += w != WHITE
            if any(abs(a - b) > 64 for a, b in zip(w, px(left + x, top + y))):
                bad += 1
    check(ink > 50, "the probe drew no text for %r" % text)
    check(bad <= 3, "the band's text differs from %r at %d pixels (of %d inked)" % (text, bad, ink))


def settings_labels(ctx):
    ctx.add_printer(MODEL)
    ctx.start(ctx.package())
    ctx.click(IDS["settings"])
    ctx.wait_height(450)
    px = ctx.window_pixels()
    check(px(195, 300) == WHITE and px(0, 300) == BLACK and px(200, 449) == BLACK, "the white panel")
    for k in range(6):
        check(has_colour(px, 20, 266 + 32 * k, 190, 283 + 32 * k, BLACK), "label row %d missing" % k)
        if k < 5:
            check(not has_colour(px, 20, 284 + 32 * k, 190, 297 + 32 * k, BLACK), "ink between label rows %d" % k)


def covers_on_white_band(ctx):
    pkg = ctx.package()
    ctx.probe.add_printer(MODEL, MODEL, os.path.join(pkg.path, "demo-printer.prn"))
    ctx.start(pkg, env=ctx.installer_env(hang=1))
    ctx.click(IDS["settings"])
    ctx.wait_height(450)
    ctx.click(IDS["install"])
    wait_for(lambda: ctx.probe.children()[1100]["visible"], 10, "the dots panel")

    def all_places_marked():
        px = ctx.window_pixels()
        marks = [px(1 + 6 * v + 3, 183) for v in PLACES]
        return all(m in (BLACK, DOT) for m in marks) and px
    # After a full cycle (3.2 s) every place has been drawn and covered.
    px = wait_for(all_places_marked, 15, "black covers at every place of the track")
    check(px(1 + 12, 183) == WHITE and px(1 + 6 * 64 + 20, 183) == WHITE, "white band between and after the places")


CASES = [
    Case("start_look_background_logo_buttons", start_look),
    Case("hover_then_pressed_look", hover_and_pressed),
    Case("outline_less_buttons_after_a_click", outline_less_after_click),
    Case("install_band_and_dots_of_the_track", install_band_and_dots),
    Case("result_band_icon_and_name", result_band),
    Case("settings_labels", settings_labels),
    Case("black_covers_on_white_band", covers_on_white_band),
]

if __name__ == "__main__":
    run(CASES)
