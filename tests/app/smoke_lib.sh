# Helpers of the smoke tests that drive the tool under Wine on the bench's
# display (sourced). The caller sets `work` (a scratch directory), `runner`
# (the Wine runner as an array), `probe` (window_probe.exe) and DISPLAY, and
# counts `failures`; the tool started by start_tool is `tool_pid`. The window stands at left 750, top 450 of the 1920x1080
# screen, where the tool centres its 420 x 180 window.

# The suites' own knowledge of the dots' track, beside this library.
harness=$(cd "$(dirname "${BASH_SOURCE[0]}")/../harness" && pwd)
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok: $*"; }
check() {  # check DESCRIPTION ACTUAL EXPECTED
    if [[ $2 == "$3" ]]; then pass "$1"; else fail "$1: got '$2', expected '$3'"; fi
}
probe() { "${runner[@]}" "$probe" "$@"; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
field() { sed -n "s/^$1=//p" <<<"$2" | tr -d '\r'; }

shot() { xwd -root -display "$DISPLAY" | convert xwd:- "$work/shot.png"; }
# pixel X Y: the colour at a point of the window (left 750, top 450) as RRGGBB.
pixel() { convert "$work/shot.png" -format '%[hex:p{'$((750 + $1))','$((450 + $2))'}]' info: | cut -c1-6; }
# wait_pixel X Y RRGGBB SECONDS: screenshots until the point has the colour.
wait_pixel() {
    local deadline=$((SECONDS + $4)) got
    while :; do
        shot
        got=$(pixel "$1" "$2")
        [[ $got == "$3" ]] && { echo "$got"; return 0; }
        ((SECONDS < deadline)) || { echo "$got"; return 1; }
        sleep 0.2
    done
}
# wait_colour_in WxH+X+Y RRGGBB SECONDS: screenshots until a pixel of that
# part of the window has the colour; prints 1 if one did, else 0.
wait_colour_in() {
    local w=${1%%x*} rest=${1#*x} deadline=$((SECONDS + $3))
    local h=${rest%%+*} x=${rest#*+} y
    y=${x#*+} x=${x%%+*}
    while :; do
        shot
        if convert "$work/shot.png" -crop "${w}x${h}+$((750 + x))+$((450 + y))" +repage \
            -format %c histogram:info: | grep -qi "#$2"; then
            echo 1; return
        fi
        ((SECONDS < deadline)) || { echo 0; return; }
        sleep 0.1
    done
}
# dots_frames: the frames of the dots' track (tests/harness/dot_track.py)
# that the last screenshot shows: the light blue dot centres along the
# panel's top (window y 183, place v at x 1 + 6v + 3) must be all the dots of
# one frame, plus at most the residue a skipped tick leaves; prints the
# matching frames ("exact" first when no residue is left), "none" (no dots
# at all is no frame) or "not-a-frame:" with the places seen.
dots_frames() {
    local places
    places=$(convert "$work/shot.png" -crop "420x1+750+633" +repage -depth 8 rgb:- | python3 -c '
import sys
sys.path.insert(0, sys.argv[1])
from dot_track import PLACES
row = sys.stdin.buffer.read()
print(",".join(str(v) for v in PLACES if tuple(row[(1 + 6 * v + 3) * 3:(1 + 6 * v + 3) * 3 + 3]) == (0x54, 0xC3, 0xF1)))' "$harness")
    python3 "$harness/dot_track.py" "$places"
}
# wait_dots_moving SECONDS: screenshots until two samples have shown
# different frames of the track, one of them exactly a frame's dots (a
# panel that never covers its old dots shows none so); prints 1 if they
# did, else what was seen (at once when a sample with dots is no frame).
wait_dots_moving() {
    local deadline=$((SECONDS + $1)) first='' got seen='' exact='' moved=''
    while :; do
        shot
        got=$(dots_frames)
        seen+="[$got]"
        [[ $got == not-a-frame:* ]] && { echo "$seen"; return; }
        if [[ $got != none ]]; then
            [[ $got == exact* ]] && exact=1
            if [[ -z $first ]]; then first=${got#exact }
            elif [[ ${got#exact } != "$first" ]]; then moved=1; fi
            [[ -n $exact && -n $moved ]] && { echo 1; return; }
        fi
        ((SECONDS < deadline)) || { echo "$seen"; return; }
        sleep 0.1
    done
}
# click X Y: a real click at a point of the window; the small move first is
# what arms a flat button.
click() {
    xdotool mousemove $((750 + $1 - 1)) $((450 + $2 - 1))
    xdotool mousemove $((750 + $1)) $((450 + $2)) click 1
}
# click_button X Y: a real click on a flat button: moves onto it until the
# button shows its hover fill 30 pixels up and left of the point, then
# presses. A release counts only while a move has armed the button, and a
# move the button takes while the leave notice of the button before is
# still on its way arms nothing (a click lost so, one run in a few under
# Wine 10: tests/acceptance/FINDINGS.md).
click_button() {
    local deadline=$((SECONDS + 10)) nudge=0
    while :; do
        nudge=$((1 - nudge))
        xdotool mousemove $((750 + $1 + nudge)) $((450 + $2 + nudge))
        shot
        [[ $(pixel $(($1 - 30)) $(($2 - 30))) == 2F2D2D ]] && break
        ((SECONDS < deadline)) || { fail "the button at $1,$2 took no hover look"; break; }
        sleep 0.1
    done
    xdotool click 1
}

# start_tool DIR [VAR=VALUE...]: starts the tool from another directory than
# its package, so a wrongly relative installer path would show.
start_tool() {
    local dir=$1
    shift
    mkdir -p "$work/elsewhere"
    (cd "$work/elsewhere" && exec env "$@" "${runner[@]}" "$dir/TavoSetup.exe") &
    tool_pid=$!
}

# wait_exit SECONDS: sets exit_code to the tool's exit code, or "running"
# at the deadline. (Not in a command substitution: only this shell can wait
# for its child.)
wait_exit() {
    local deadline=$((SECONDS + $1))
    while kill -0 "$tool_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.2; done
    if kill -0 "$tool_pid" 2>/dev/null; then exit_code=running; return; fi
    wait "$tool_pid"
    exit_code=$?
    tool_pid=
}

# port_bytes FILE SECONDS: the hex bytes of a printer's port file once it
# holds a whole 12-byte command, or what it holds at the deadline.
port_bytes() {
    local deadline=$((SECONDS + $2)) got=
    while ((SECONDS < deadline)); do
        got=$(od -An -tx1 "$1" 2>/dev/null | tr -d ' \n')
        [[ ${#got} -ge 24 ]] && break
        sleep 0.2
    done
    echo "$got"
}
