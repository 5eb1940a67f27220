#!/usr/bin/env bash
# smoke_test.sh TOOL PROBE SECTION TAG INSTALL32 INSTALL64
#
# The tool under Wine on the bench's display (TAVO_BENCH_DIR,
# TAVO_WINE_RUNNER), driven like a user: real mouse clicks and keys through
# xdotool, screenshots through xwd. window_probe looks at the windows and
# message boxes from inside Wine. Every wait is on a condition with a
# deadline; every process started here is ended by its id.
set -uo pipefail
tool=$1 probe=$2 section=$3 tag=$4 install32=$5 install64=$6
: "${TAVO_BENCH_DIR:?}" "${TAVO_WINE_RUNNER:?}"
read -r -a runner <<<"$TAVO_WINE_RUNNER"
export DISPLAY=:$(cat "$TAVO_BENCH_DIR/display")

work=$(mktemp -d "$TAVO_BENCH_DIR/app-smoke.XXXXXX")
model="SMOKE Dot Printer $$"
failures=0
tool_pid=
exit_code=
pkg=

source "$(dirname "$0")/smoke_lib.sh"

cleanup() {
    if [[ -n $tool_pid ]] && kill -0 "$tool_pid" 2>/dev/null; then
        kill "$tool_pid" 2>/dev/null
        wait "$tool_pid" 2>/dev/null
    fi
    [[ -n $pkg ]] && probe end-installers "$(winpath "$pkg")" >/dev/null 2>&1
    probe printer-delete "$model" >/dev/null 2>&1
    rm -rf "$work"
}
trap cleanup EXIT
trap "exit 1" TERM INT

# make_package DIR [no-dep]: the tool, a settings file whose print direction
# (setting code 10) is 1, "单向", and an INF whose model section lists the
# demo printer; the reference installers beside them.
make_package() {
    local dir=$1
    mkdir -p "$dir/data"
    cp "$tool" "$dir/TavoSetup.exe"
    cp "$install32" "$dir/data/install32.exe"
    cp "$install64" "$dir/data/install64.exe"
    if [[ ${2:-} != no-dep ]]; then
        python3 -c 'import struct,sys; v=[0]*64; v[10]=1; sys.stdout.buffer.write(struct.pack("<64i",*v))' >"$dir/.dep"
    fi
    printf '[Version]\r\nSignature="$Windows NT$"\r\nClass=Printer\r\n\r\n[%s]\r\n"%s" = Install, USBPRINT\\SMOKE0001\r\n' \
        "$section" "$model" >"$dir/data/oemprnt.inf"
}

# ---- 1. window, pixels, Install, Settings and one setting command ----------
pkg="$work/pkg dir"
make_package "$pkg"
start_tool "$pkg" TAVO_INSTALLER_DELAY_MS=1500
out=$(probe window 60000)
check "the window comes up" "$?" 0
check "class" "$(field class "$out")" TAVO_WIN32
check "place and size on 1920x1080" "$(field x "$out"),$(field y "$out"),$(field w "$out"),$(field h "$out")" "750,450,420,180"
check "the whole window is client area" "$(field client_w "$out")x$(field client_h "$out")" 420x180
style=$(field style "$out")
check "no caption, border or system menu" "$((${style:-0xFFFFFFFF} & 0x00CF0000))" 0
# The system clears WS_EX_WINDOWEDGE itself for a window without a frame
# (Wine as Windows), so only the client edge is asked for.
check "extended style has the client edge" "$(($(field exstyle "$out" | grep . || echo 0) & 0x200))" $((0x200))

# A second copy ends at once with exit code 1 while this one runs.
(cd "$work/elsewhere" && exec timeout 60 "${runner[@]}" "$pkg/TavoSetup.exe")
check "a second copy exits with 1" "$?" 1

xdotool mousemove 5 5  # off the window: every button normal
check "Install button normal fill" "$(wait_pixel 20 100 2E2D2D 10)" 2E2D2D
check "background" "$(pixel 5 5)" 0F0F0F
check "background below the buttons" "$(pixel 200 175)" 0F0F0F
check "Install button outline" "$(pixel 10 130)" 000000
check "Exit button outline" "$(pixel 409 169)" 000000
logo=$(convert "$work/shot.png" -crop 275x52+762+470 -fill black -opaque '#0F0F0F' -fill white +opaque black -format '%[fx:mean>0.05]' info:)
check "the logo is drawn" "$logo" 1

click_button 50 130  # Install
out=$(probe window 20000 220)
check "installing: the window grows to 220" "$?" 0
check "installing: the dots panel shows" "$(field dots_visible "$out")" 1
check "installing: the white band" "$(wait_pixel 400 210 FFFFFF 5)" FFFFFF
check "installing: the dots show frames of their track, moving" "$(wait_dots_moving 10)" 1
box=$(probe box 30000)
check "the installer's result" "$(field text "$box")" "安装1台打印机"
check "result box caption" "$(field caption "$box")" ""
check "result box owner" "$(field owner "$box")" main
out=$(probe window 20000 252)
check "one printer found: the window grows to 252" "$?" 0
check "the dots panel is hidden again" "$(field dots_visible "$out")" 0
check "result band" "$(wait_pixel 400 240 FFFFFF 5)" FFFFFF

click_button 130 130  # Settings
probe window 20000 450 >/dev/null
check "Settings opens the panel at 450" "$?" 0
port="$pkg/demo-printer.prn"
: >"$port"
# The print direction list (fourth, y 356) preset to "单向": open it with the
# mouse and close it with Return, which sends the command.
click 300 366
probe dropped 1205 10000 >/dev/null
check "the list drops down" "$?" 0
xdotool key Return
expected="1b050a0100a91b05$(printf '%s' "$tag" | od -An -tx1 | tr -d ' \n')"
check "closing a list sends the 12-byte command" "$(port_bytes "$port" 20)" "$expected"

# The printer goes away: a device removal collapses the open panel.
probe printer-delete "$model" >/dev/null
# Wine 10 drops a WM_DEVICECHANGE 0x8004 that another process sends with a
# null lParam (the window never gets it); on a bench that runs it
# (scripts/test-wine10.sh) the removal carries the USB printer interface's
# record, as on Windows, and the run says so.
record=
if [[ -s $TAVO_BENCH_DIR/wine-root ]]; then
    record=usbprint
    echo "note: $(cat "$(cat "$TAVO_BENCH_DIR/wine-root")/.tavo-wine10-complete") drops a cross-process removal without a record: sent with the usbprint record"
fi
probe devicechange ${record:+"$record"} >/dev/null
box=$(probe box 20000)
check "device removal with the panel open" "$(field text "$box")" "设备移除或改变！"
probe window 20000 180 >/dev/null
check "the window collapses to 180" "$?" 0

click_button 370 130  # Exit
wait_exit 20
check "Exit ends the tool with 0" "$exit_code" 0

# ---- 2. closing the window while an installation runs ------------------------
start_tool "$pkg" TAVO_INSTALLER_HANG=1
probe window 60000 >/dev/null
check "second run: the window comes up" "$?" 0
# Two Install commands in a row: the second comes before the thread has
# started and must find the tool busy, not start a second installation.
probe command 1002 1002 >/dev/null
box=$(probe box 30000)
check "a second Install at once finds the tool busy" "$(field text "$box")" "WINDOWS正在安装您的打印机，请稍候..."
probe window 20000 220 >/dev/null
check "second run: installing" "$?" 0
probe command 105 >/dev/null
wait_exit 20
check "closing while installing ends the process with 0" "$exit_code" 0
out=$(probe end-installers "$(winpath "$pkg")")
check "one installer, still running when the tool ended" "$(field ended "$out")" 1

# ---- 3. a package without its settings file ----------------------------------
bare="$work/bare"
make_package "$bare" no-dep
start_tool "$bare" TAVO_INSTALLER_EXIT=3
box=$(probe box 60000)
check "missing settings file" "$(field text "$box")" "文件不全"
check "that box has no owner" "$(field owner "$box")" none
probe window 30000 180 >/dev/null
check "the window comes up after it" "$?" 0
probe command 1003 >/dev/null
box=$(probe box 20000)
check "no model list: no printer of ours" "$(field text "$box")" "请安装驱动或连接打印机！"
probe command 1002 >/dev/null
box=$(probe box 30000)
check "Install still runs the package's installer" "$(field text "$box")" "安装3台打印机"
box=$(probe box 30000)
check "and then finds none" "$(field text "$box")" "未发现新打印机，请保持USB连接！"
probe command 105 >/dev/null
wait_exit 20
check "the bare run ends with 0" "$exit_code" 0

echo "$failures failure(s)"
((failures == 0))
