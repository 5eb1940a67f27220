#!/usr/bin/env bash
# The tool with its demo package, under Wine.
#
#   scripts/demo.sh [--headless] [--reset]
#
# Installs what is missing, builds the package (make package) and starts
# dist/package/TavoSetup.exe under Wine with the package as its current
# directory, as on Windows (on a host that runs no 32-bit code, the 64-bit
# build in dist/package-x64), in a Wine prefix of its own (never the default
# one). Install really runs the package's installer, which registers the demo
# printer "TAVO TP-630K" whose port is demo-printer.prn in the package; the
# script makes that port a FIFO and collects every job the printer receives.
# When the tool exits it prints those jobs, decoded by tavoctl.
#
# With $DISPLAY set the window opens there and you drive it; the prefix is
# ~/.cache/tavo-demo/wineprefix and is kept between runs (--reset starts it
# anew). Without a display, or with --headless, the script starts a virtual
# display and drives the window itself with xdotool (Install, the result box,
# Settings, one setting changed, Exit), saving a screenshot of every step to
# build/demo/shots/; it then uses a fresh prefix in build/demo, and exits
# with 1 when a step did not come or the printer received nothing.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

headless=0
reset=0
for arg in "$@"; do
  case $arg in
    --headless) headless=1 ;;
    --reset) reset=1 ;;
    -h | --help) sed -n '2,21p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "demo: unknown option $arg (see --help)" >&2; exit 2 ;;
  esac
done
[[ -n ${DISPLAY:-} ]] || headless=1

"$root/scripts/setup.sh"
# The shipped 32-bit package where the host runs 32-bit code; elsewhere the
# 64-bit build of the same sources (tests/wine/host-arch; TAVO_BENCH_ARCH
# forces either).
if [[ $("$root/tests/wine/host-arch" 2>/dev/null) == x86 ]]; then
  make -C "$root" package
  package=$root/dist/package
  echo "demo: the shipped 32-bit package, dist/package"
else
  make -C "$root" package-x64
  package=$root/dist/package-x64
  echo "demo: this host runs no 32-bit code: the 64-bit build, dist/package-x64, stands in for the 32-bit package"
fi

demo=$root/build/demo
port=$package/demo-printer.prn
received=$demo/received.bin
mkdir -p "$demo"

# ---- the decoder: tavoctl, built natively -------------------------------------
decoder=""
if cmake -S "$root" -B "$root/build/demo-native" -DCMAKE_BUILD_TYPE=Release >"$demo/native.log" 2>&1 &&
   cmake --build "$root/build/demo-native" --target tavoctl -j "$(nproc)" >>"$demo/native.log" 2>&1; then
  decoder=$root/build/demo-native/cli/tavoctl
fi
[[ -x $decoder ]] || { decoder=""; echo "demo: tavoctl did not build (see $demo/native.log); jobs will be shown in hex" >&2; }

# ---- the Wine prefix and display -------------------------------------------------
pids_to_end=()
end_started() {
  local pid
  for pid in "${pids_to_end[@]}"; do
    kill -- "-$pid" 2>/dev/null || kill "$pid" 2>/dev/null || true
  done
  if [[ -n ${WINEPREFIX:-} && -d $WINEPREFIX ]]; then
    WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
  fi
  if [[ -n ${xvfb_pid:-} ]]; then kill "$xvfb_pid" 2>/dev/null || true; fi
  if [[ -p ${port:-} ]]; then rm -f "$port"; fi
}
trap end_started EXIT

if ((headless)); then
  export WINEPREFIX=$demo/wineprefix
  rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"
  rm -rf "$demo/shots" && mkdir -p "$demo/shots"
  exec 3> >(cat >"$demo/display")
  : >"$demo/display"
  setsid Xvfb -displayfd 3 -screen 0 1920x1080x24 -nolisten tcp </dev/null >/dev/null 2>&1 3>&3 &
  xvfb_pid=$!
  exec 3>&-
  for _ in $(seq 100); do [[ -s $demo/display ]] && break; sleep 0.1; done
  [[ -s $demo/display ]] || { echo "demo: Xvfb did not start" >&2; exit 1; }
  export DISPLAY=:$(cat "$demo/display")
  rm -f "$demo/display"  # run-in-wine would take it for a bench display
  echo "demo: virtual display $DISPLAY, prefix $WINEPREFIX"
else
  export WINEPREFIX=${XDG_CACHE_HOME:-$HOME/.cache}/tavo-demo/wineprefix
  if ((reset)); then rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"; fi
  rm -f "$(dirname "$WINEPREFIX")/display"
  echo "demo: display $DISPLAY, prefix $WINEPREFIX"
fi
echo "demo: preparing the Wine prefix (the first time takes a minute)"
"$root/tests/wine/run-in-wine" "$WINEPREFIX" cmd /c exit 0 </dev/null >/dev/null 2>&1
# Wine's dialog font has no Chinese characters, so message boxes would show
# empty squares; link it to the CJK font that setup installs, the way a
# Chinese Windows links its fonts.
for face in "Tahoma" "MS Shell Dlg" "MS Shell Dlg 2"; do
  "$root/tests/wine/run-in-wine" "$WINEPREFIX" reg add \
    'HKLM\Software\Microsoft\Windows NT\CurrentVersion\FontLink\SystemLink' \
    /v "$face" /t REG_MULTI_SZ /d 'wqy-microhei.ttc,WenQuanYi Micro Hei' /f </dev/null >/dev/null 2>&1 || true
done

# ---- the demo printer's port: a FIFO whose reader keeps every job --------------
# The spooler overwrites a port file with each job; a FIFO hands each job to
# the reader instead, which appends it. The reader stops when it reads the
# end marker, which is written after the tool and Wine have ended, so no job
# can come after it.
marker="TAVO-DEMO-END-$$"
rm -f "$port" "$received"
mkfifo "$port"
: >"$received"
setsid python3 - "$port" "$received" "$marker" <<'EOF' &
import sys
fifo, out, marker = sys.argv[1], sys.argv[2], sys.argv[3].encode()
while True:
    with open(fifo, "rb") as f:
        data = f.read()
    done = data.endswith(marker)
    if done:
        data = data[:-len(marker)]
    with open(out, "ab") as f:
        f.write(data)
    if done:
        break
EOF
reader_pid=$!
pids_to_end+=("$reader_pid")

# ---- the tool --------------------------------------------------------------------
# shot NAME: a screenshot of the display. Wine gives message boxes and
# drop-down lists windows of their own depth, which a capture of the root
# window shows black, so each of the tool's other windows is captured by
# itself and laid over it.
shot() {
  local file=$demo/shots/$1.png id X Y
  xwd -root -display "$DISPLAY" 2>/dev/null | convert xwd:- "$file" 2>/dev/null || return 0
  for id in $(tool_windows | grep -vx "${main:-none}"); do
    eval "$(xdotool getwindowgeometry --shell "$id" 2>/dev/null | grep -E '^(X|Y)=')" || continue
    xwd -id "$id" -display "$DISPLAY" 2>/dev/null | convert xwd:- "$demo/window.png" 2>/dev/null &&
      convert "$file" "$demo/window.png" -geometry "+$X+$Y" -composite "$file" 2>/dev/null
  done
  rm -f "$demo/window.png"
  echo "demo: screenshot $file"
}

# wait_for DESCRIPTION SECONDS COMMAND...: retries COMMAND until it succeeds.
wait_for() {
  local what=$1 seconds=$2 deadline
  shift 2
  deadline=$((SECONDS + seconds))
  until "$@"; do
    if ((SECONDS >= deadline)); then
      echo "demo: gave up waiting for $what" >&2
      shot "timeout"
      return 1
    fi
    sleep 0.2
  done
}

tool_windows() { xdotool search --onlyvisible --classname 'tavosetup.exe' 2>/dev/null || true; }
main_window_found() { main=$(tool_windows | head -n 1); [[ -n $main ]]; }
# window_height_is H...: the main window is one of these heights (it also
# sets X and Y to its place).
window_height_is() {
  local HEIGHT=0 h
  eval "$(xdotool getwindowgeometry --shell "$main" | grep -E '^(X|Y|HEIGHT)=')"
  for h in "$@"; do [[ $HEIGHT == "$h" ]] && return 0; done
  return 1
}
second_window_found() { box=$(tool_windows | grep -vx "$main" | head -n 1); [[ -n $box ]]; }
no_second_window() { [[ -z $(tool_windows | grep -vx "$main") ]]; }

# click_at X Y: a small move onto the point first, which is what arms a flat
# button, then the click.
click_at() {
  xdotool mousemove "$(($1 - 1))" "$(($2 - 1))"
  xdotool mousemove "$1" "$2" click 1
}

# Presses OK on the message box that is up, after a screenshot.
answer_box() {
  wait_for "a message box" 60 second_window_found || return 1
  sleep 0.5
  shot "$1"
  xdotool windowactivate --sync "$box" 2>/dev/null || xdotool windowfocus "$box"
  xdotool key Return
  wait_for "the message box to close" 20 no_second_window
}

drive_the_window() {
  local X Y
  wait_for "the tool's window" 60 main_window_found || return 1
  sleep 1
  window_height_is 180 || true
  echo "demo: window at ($X, $Y)"
  shot 01-started
  echo "demo: 安装"
  click_at $((X + 50)) $((Y + 130))
  # 252 when the installer was quicker than the look (TAVO_INSTALLER_DELAY_MS=0).
  wait_for "the dots" 20 window_height_is 220 252 || return 1
  sleep 0.5  # (at 1 s, frame 20, every dot is between two runs)
  shot 02-installing
  answer_box 03-result || return 1
  wait_for "the result band" 30 window_height_is 252 || return 1
  sleep 0.5
  shot 04-installed
  echo "demo: 设置"
  click_at $((X + 130)) $((Y + 130))
  wait_for "the settings panel" 30 window_height_is 450 || return 1
  sleep 0.5
  shot 05-settings
  echo "demo: 打印方向 -> 单向"
  click_at $((X + 300)) $((Y + 365))
  sleep 1
  xdotool key Up
  sleep 0.3
  shot 06-list-open
  xdotool key Return
  sleep 1
  shot 07-sent
  echo "demo: 退出"
  click_at $((X + 370)) $((Y + 130))
}

# The reference installer is done in a moment; a real one takes a while. The
# pause lets the dots run for a few seconds (set TAVO_INSTALLER_DELAY_MS=0
# to skip it).
export TAVO_INSTALLER_DELAY_MS=${TAVO_INSTALLER_DELAY_MS:-3000}

cd "$package"
if ((headless)); then
  setsid "$root/tests/wine/run-in-wine" "$WINEPREFIX" TavoSetup.exe </dev/null >"$demo/tool.log" 2>&1 &
  tool_pid=$!
  pids_to_end+=("$tool_pid")
  if ! drive_the_window; then
    echo "demo: the window did not behave as expected; see the screenshots" >&2
    drive_failed=1
  fi
  deadline=$((SECONDS + 30))
  while kill -0 "$tool_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.2; done
  kill -0 "$tool_pid" 2>/dev/null && echo "demo: the tool did not exit; ending it" >&2
else
  echo "demo: the tool is running; press 安装, then 设置 and change settings; 退出 ends the demo"
  "$root/tests/wine/run-in-wine" "$WINEPREFIX" TavoSetup.exe </dev/null || true
fi

# Wine's processes are done: every job has reached the FIFO.
WINEPREFIX=$WINEPREFIX wineserver -k >/dev/null 2>&1 || true
WINEPREFIX=$WINEPREFIX wineserver -w >/dev/null 2>&1 || true
printf '%s' "$marker" >"$port"
deadline=$((SECONDS + 10))
while kill -0 "$reader_pid" 2>/dev/null && ((SECONDS < deadline)); do sleep 0.1; done
rm -f "$port"

# ---- what the demo printer received ------------------------------------------------
echo
size=$(stat -c %s "$received")
if ((size == 0)); then
  echo "The demo printer received nothing."
else
  echo "The demo printer received $size bytes ($received):"
  if [[ -n $decoder ]]; then
    "$decoder" decode "$received" || true
  else
    od -An -tx1 -v "$received"
  fi
fi
# A headless run checks itself: it fails when the window did not go through
# the steps or the printer got no command.
if ((headless)) && ((${drive_failed:-0} || size == 0)); then exit 1; fi
exit 0
