#!/usr/bin/env bash
# x86_smoke.sh PACKAGE PROBE TAG
#
# The shipped 32-bit package on a host whose own suites run the 64-bit
# build: the package's TavoSetup.exe and reference installer run under
# user-mode emulation (qemu-i386 through binfmt_misc), while Wine's 64-bit
# half, the probe (PROBE, a 64-bit window_probe.exe) and the harness run
# natively. A short check, since emulation is slow:
#   - the window comes up with its class, 420 x 180, in a 32-bit process;
#   - Install runs data\install64.exe and ends in the 252 band;
#   - closing one setting's list delivers its 12 bytes to the printer;
#   - Exit ends the process with 0.
# Its own bench (display and prefix) and its binfmt_misc entry are started
# here and ended on every path. Where the emulator cannot be registered it
# prints "not run:" and the reason and exits with 77, which CTest reports as
# skipped, never as passed.
set -uo pipefail
package=$1 probe=$2 tag=$3
here=$(cd "$(dirname "$0")" && pwd)
wine_tests=$here/../wine
not_run=77

not_run() { echo "not run: $*"; exit $not_run; }

# ---- the emulator -------------------------------------------------------------
binfmt=/proc/sys/fs/binfmt_misc
entry=tavo-x86-smoke
qemu=$(command -v qemu-i386-static || true)
[[ -n $qemu ]] || not_run "qemu-i386-static is not installed (scripts/setup.sh installs it)"
if ! mountpoint -q "$binfmt" && ! mount -t binfmt_misc binfmt_misc "$binfmt" 2>/dev/null; then
    not_run "binfmt_misc is not mounted and cannot be mounted here (mount needs root)"
fi
[[ -w $binfmt/register ]] || not_run "$binfmt/register is not writable (registering needs root)"

bench=
unregister() { [[ -e $binfmt/$entry ]] && echo -1 >"$binfmt/$entry"; }
cleanup() {
    [[ -n $tool_pid ]] && kill "$tool_pid" 2>/dev/null && wait "$tool_pid" 2>/dev/null
    [[ -n $bench ]] && "$wine_tests/bench-stop" "$bench"
    unregister
}
tool_pid=
trap cleanup EXIT
trap "exit 1" TERM INT

unregister
# ELF class 32, little-endian, version 1, type executable or shared object,
# machine 3 (i386): the kernel's own ELF header layout. F opens the
# interpreter now, so it works from any mount namespace; P keeps argv[0].
magic='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
mask='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'
echo ":$entry:M::$magic:$mask:$qemu:FP" >"$binfmt/register" 2>/dev/null ||
    not_run "the kernel refused the binfmt_misc entry for $qemu"
# From here on every 32-bit program runs emulated, also on a host that runs
# 32-bit code itself; the host probe must see that.
[[ $("$wine_tests/host-arch" --native 2>/dev/null) == no ]] || {
    echo "FAIL: a 32-bit program still runs natively with the emulator registered"
    exit 1
}

# ---- the bench: display, prefix and the 32-bit loader ----------------------------
# wine32 is installed only where 32-bit code runs natively (it would break
# Debian's wine command elsewhere); there scripts/setup.sh unpacks its
# loader beside a copy of the 64-bit one instead.
if [[ ! -x /usr/lib/wine/wine ]]; then
    export TAVO_WINE32_LOADER=${TAVO_WINE32_LOADER:-/usr/local/lib/tavo-wine32/usr/lib/wine/wine}
    [[ -x $TAVO_WINE32_LOADER ]] || {
        echo "FAIL: no 32-bit Wine loader: neither wine32 nor $TAVO_WINE32_LOADER (scripts/setup.sh)"
        exit 1
    }
fi
bench=$(mktemp -d "${TMPDIR:-/tmp}/tavo-x86-smoke.XXXXXX")
started=$SECONDS
# The prefix's WOW64 half is set up by 32-bit programs, so this is the slow
# part: minutes under emulation.
"$wine_tests/bench-start" "$bench" || { echo "FAIL: the bench did not start"; exit 1; }
echo "bench ready after $((SECONDS - started)) s"
read -r -a runner <<<"$wine_tests/run-in-wine $bench/wineprefix"
export DISPLAY=:$(cat "$bench/display")
work=$bench/work
mkdir -p "$work"
failures=0
exit_code=
source "$here/../app/smoke_lib.sh"

# A copy of the package, so the printer's port file lands in scratch space.
pkg="$work/package dir"
cp -R "$package/." "$pkg/"
rm -f "$pkg/demo-printer.prn"

# ---- the checks -----------------------------------------------------------------
start_tool "$pkg"
out=$(probe window 300000)
check "the window comes up" "$?" 0
check "class" "$(field class "$out")" TAVO_WIN32
check "size" "$(field w "$out")x$(field h "$out")" 420x180
check "the tool is a 32-bit process" "$(field wow64 "$out")" 1
echo "window after $((SECONDS - started)) s"

click 50 130  # Install
box=$(probe box 300000)
check "the reference installer's result" "$(field text "$box")" "安装1台打印机"
out=$(probe window 120000 252)
check "one printer found: the window ends in the 252 band" "$?" 0
check "the result band is painted" "$(wait_pixel 400 240 FFFFFF 60)" FFFFFF
echo "installed after $((SECONDS - started)) s"

click 130 130  # Settings
probe window 120000 450 >/dev/null
check "Settings opens the panel at 450" "$?" 0
# The print direction list (setting code 10, fourth list, id 1205): dropped
# with the mouse and closed with Return, which keeps its preset option and
# sends it. The option comes from the package's own settings file.
option=$(od -An -tu4 -j40 -N4 "$pkg/.dep" | tr -d ' ')
click 300 366
probe dropped 1205 120000 >/dev/null
check "the list drops down" "$?" 0
xdotool key Return
expected=$(printf '1b05%02x%02x%02x%02x1b05' 10 $((option & 255)) $((option >> 8)) \
    $(((option >> 8) ^ 10 ^ (option & 255) ^ 0xA2)))$(printf '%s' "$tag" | od -An -tx1 | tr -d ' \n')
check "closing the list delivers the 12-byte command" \
    "$(port_bytes "$pkg/demo-printer.prn" 120)" "$expected"

click 370 130  # Exit
wait_exit 120
check "Exit ends the tool with 0" "$exit_code" 0
echo "done after $((SECONDS - started)) s"

echo "$failures failure(s)"
((failures == 0))
