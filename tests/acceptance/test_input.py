#!/usr/bin/env python3
"""Real mouse input: dragging the window with either button (the first move
only arms), and the click rules of the flat buttons, observed through the
Website command (a registered program logs each opening)."""
import shutil
import time
from acceptance import *
from test_commands import handler


def drag(ctx, button):
    ctx.start(ctx.package())
    before = ctx.rect()
    ctx.to_window(150, 40)  # the logo
    wait_for(lambda: ctx.x.pointer() == (before[0] + 150, before[1] + 40), 5, "the pointer on the logo")
    ctx.x.down(button)
    x0, y0 = before[0] + 150, before[1] + 40
    ctx.x.move(x0 + 10, y0 + 5)  # the first move only arms
    stays(lambda: ctx.rect() == before, 0.5, "the window still after the first move")
    ctx.x.move(x0 + 30, y0 + 25)
    wait_for(lambda: ctx.rect()[:2] == (before[0] + 20, before[1] + 20), 10,
             "the window moved by the second displacement (20, 20)")
    ctx.x.move(x0 + 70, y0 + 35)
    wait_for(lambda: ctx.rect()[:2] == (before[0] + 60, before[1] + 30), 10, "the window following")
    ctx.x.up(button)
    after = ctx.rect()
    check(after[2] - after[0] == 420 and after[3] - after[1] == 180, "size changed by a drag: %s" % (after,))
    # Without a button, moves do not drag.
    ctx.x.move(x0 + 100, y0 + 40)
    stays(lambda: ctx.rect() == after, 0.5, "no drag without a button")


def with_website_logger(ctx):
    exe = handler(ctx)
    for key in ("https", "http"):
        ctx.set_association(key, exe)
    ctx.start(ctx.package(), env=ctx.installer_env(exit=0))


def openings(ctx):
    return len(ctx.log_lines())


def armed_click_counts(ctx):
    with_website_logger(ctx)
    ctx.click(IDS["website"])
    wait_for(lambda: openings(ctx) == 1, 20, "one opening")
    check(ctx.button_look(IDS["website"]) == "hover", "after a click the button shows %s" % ctx.button_look(IDS["website"]))


def slow_second_click_ignored(ctx):
    with_website_logger(ctx)
    ctx.click(IDS["website"])
    wait_for(lambda: openings(ctx) == 1, 20, "one opening")
    # The same spot, no move, slower than a double-click (the input itself
    # is slow: this pause is what the user does, not a wait for the tool).
    time.sleep(0.8)
    ctx.x.down(1)
    wait_for(lambda: ctx.button_look(IDS["website"]) == "pressed", 10, "the pressed look")
    ctx.x.up(1)
    stays(lambda: openings(ctx) == 1, 2.0, "no second opening")
    check(ctx.button_look(IDS["website"]) == "pressed", "the button should keep the pressed look")
    ctx.to_window(BUTTON_X[IDS["website"]] + 40, 140)
    wait_for(lambda: ctx.button_look(IDS["website"]) == "hover", 10, "hover again after a move")


def quick_double_click_one_command(ctx):
    with_website_logger(ctx)
    ctx.park()
    ctx.hover(IDS["website"])
    ctx.x._xdotool("click", "--repeat", 2, "--delay", 60, 1)
    wait_for(lambda: openings(ctx) >= 1, 20, "an opening")
    stays(lambda: openings(ctx) == 1, 2.0, "one opening for a double-click")


def release_outside_sends_nothing(ctx):
    with_website_logger(ctx)
    ctx.hover(IDS["website"])
    ctx.x.down(1)
    wait_for(lambda: ctx.button_look(IDS["website"]) == "pressed", 10, "the pressed look")
    ctx.park()
    ctx.x.up(1)
    stays(lambda: openings(ctx) == 0, 2.0, "no opening")
    wait_for(lambda: ctx.button_look(IDS["website"]) == "normal", 10, "the normal look after leaving")


def slide_onto_next_button(ctx):
    with_website_logger(ctx)
    # Press on Manual (no program for it: would show a box), slide onto
    # Website and release there: Website's command, once.
    ctx.hover(IDS["manual"])
    ctx.x.down(1)
    ctx.hover(IDS["website"])
    ctx.x.up(1)
    wait_for(lambda: openings(ctx) == 1, 20, "the Website command")
    stays(lambda: openings(ctx) == 1 and not ctx.probe.boxes(), 1.5, "no other command")


def moving_across_buttons(ctx):
    ctx.start(ctx.package())
    ctx.hover(IDS["install"])
    ctx.hover(IDS["settings"])
    px = ctx.window_pixels()
    check(ctx.button_look(IDS["install"], px) == "normal", "Install after leaving: %s" % ctx.button_look(IDS["install"], px))
    for bid in (IDS["website"], IDS["manual"], IDS["exit"]):
        check(ctx.button_look(bid, px) == "normal", "button %d: %s" % (bid, ctx.button_look(bid, px)))


CASES = [
    Case("drag_with_left_button", drag, 1),
    Case("drag_with_right_button", drag, 3),
    Case("armed_click_sends_command", armed_click_counts),
    Case("slow_second_click_without_move_ignored", slow_second_click_ignored),
    Case("quick_double_click_one_command", quick_double_click_one_command),
    Case("release_outside_sends_nothing", release_outside_sends_nothing),
    Case("slide_onto_next_button_sends_its_command", slide_onto_next_button),
    Case("moving_across_buttons_hover_follows", moving_across_buttons),
]

if __name__ == "__main__":
    run(CASES)
