#!/usr/bin/env bash
# bench/run.sh: measures the tool against its floor and the core natively,
# prints the figures with their ratios and writes docs/benchmarks.md and
# docs/benchmarks-core.png. Not part of the test command; takes a few
# minutes. Builds what it needs in build/bench-native and in
# build/bench-win32 or build/bench-win64, and runs its own Wine bench in
# build/bench-run/wine (ended on exit).
#
# One Windows build per run, as tests/wine/host-arch picks it (the shipped
# 32-bit build where the host runs 32-bit code, else the 64-bit one;
# TAVO_BENCH_ARCH=x86|x64 forces it): the tool, the floor, the stages and
# the probe all come from that build, so every ratio is within it.
#
#   bench/run.sh [--runs N] [--stage-runs N] [--repaints N] [--animation-seconds S]
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=10 stage_runs=7 repaints=1000 seconds=10
while [[ $# -gt 0 ]]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --stage-runs) stage_runs=$2; shift 2 ;;
    --repaints) repaints=$2; shift 2 ;;
    --animation-seconds) seconds=$2; shift 2 ;;
    *) echo "usage: bench/run.sh [--runs N] [--stage-runs N] [--repaints N] [--animation-seconds S]" >&2
       exit 64 ;;
  esac
done
(( runs >= 10 )) || { echo "run.sh: at least 10 start-up runs" >&2; exit 64; }
for n in "$stage_runs" "$repaints" "$seconds"; do
  [[ $n =~ ^[1-9][0-9]*$ ]] || { echo "run.sh: counts and seconds are whole numbers from 1" >&2; exit 64; }
done

"$root/scripts/setup.sh"

arch=$("$root/tests/wine/host-arch")
case $arch in
  x86) win=$root/build/bench-win32 triplet=i686-w64-mingw32 toolchain=mingw-i686.cmake
       build="x86 (32-bit, WOW64)" ;;
  x64) win=$root/build/bench-win64 triplet=x86_64-w64-mingw32 toolchain=mingw-x86_64.cmake
       build="x64 (64-bit, wine64)" ;;
  *) echo "run.sh: host-arch said '$arch'" >&2; exit 1 ;;
esac
# Forced onto a host that runs 32-bit code only through an emulator, the
# figures are the emulator's: say so beside them.
if [[ $arch == x86 && $("$root/tests/wine/host-arch" --native) != yes ]]; then
  build+="; this host runs no native 32-bit code: not native figures"
fi
for program in "$triplet-g++-posix" "$triplet-strip"; do
  command -v "$program" >/dev/null || { echo "run.sh: $program not found (the $arch build needs it)" >&2; exit 1; }
done

native=$root/build/bench-native
echo "== building (native Release, Windows $arch MinSizeRel)"
cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$native" -j2 --target tavo_core_bench >/dev/null
cmake -S "$root" -B "$win" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain" \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$win" -j2 --target tavo_tool tavo_floor tavo_bench_probe install32 install64 \
  tavo_stage1 tavo_stage2 tavo_stage3 tavo_stage4 tavo_stage5 >/dev/null

bench=$root/build/bench-run
results=$bench/results
wine_bench=$bench/wine  # bench-start and bench-stop empty this directory
"$root/tests/wine/bench-stop" "$wine_bench"
rm -rf "$bench"
mkdir -p "$results"
trap '"$root/tests/wine/bench-stop" "$wine_bench"' EXIT

# Stripped copies: what is measured is what ships.
pkg=$bench/pkg floor=$bench/floor
mkdir -p "$pkg/data" "$floor"
"$triplet-strip" -o "$pkg/TavoSetup.exe" "$win/app/TavoSetup.exe"
"$triplet-strip" -o "$floor/tavo_floor.exe" "$win/bench/tavo_floor.exe"
for stage in 1 2 3 4 5; do cp "$win/bench/tavo_stage$stage.exe" "$floor/"; done
cp "$win/bench/tavo_bench_probe.exe" "$bench/"
cp "$win/tools/installer/install32.exe" "$win/tools/installer/install64.exe" "$pkg/data/"
python3 "$root/package/make_dep.py" "$root/package/settings.txt" "$pkg/.dep"
printf '[Version]\r\nSignature="$Windows NT$"\r\n\r\n[%s]\r\n"TAVO TP-630K" = Install, USBPRINT\\TAVOTP-630K\r\n' \
  "$(grep -o 'TAVO_INF_SECTION:STRING=.*' "$win/CMakeCache.txt" | cut -d= -f2)" >"$pkg/data/oemprnt.inf"

{
  echo "date:    $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "commit:  $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
  echo "cpu:     $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //') ($(nproc) cores)"
  echo "memory:  $(awk '/MemTotal/ {printf "%.1f GiB", $2/1048576}' /proc/meminfo)"
  echo "system:  $(. /etc/os-release && echo "$PRETTY_NAME"), kernel $(uname -r)"
  echo "build:   $build"
  # Not /usr/bin/wine: Debian's starts the 32-bit loader, absent on 64-bit-only hosts.
  echo "wine:    $(/usr/lib/wine/wine64 --version 2>/dev/null || echo unknown), Xvfb 1920x1080x24"
  echo "compiler: $("$triplet-g++-posix" --version | head -1); native $(c++ --version | head -1)"
  echo "load:    $(cut -d' ' -f1-3 /proc/loadavg) at start (other work on the machine skews the figures)"
} >"$results/machine.txt"

echo "== core (native)"
"$native/bench/tavo_core_bench" --benchmark_repetitions=3 --benchmark_report_aggregates_only=true \
  --benchmark_min_time=0.2 --benchmark_format=json --benchmark_out="$results/core.json" \
  --benchmark_out_format=json >/dev/null

echo "== Wine bench"
"$root/tests/wine/bench-start" "$wine_bench" >/dev/null
probe() { "$root/tests/wine/run-in-wine" "$wine_bench/wineprefix" "$(winpath "$bench/tavo_bench_probe.exe")" "$@"; }
winpath() { echo "Z:$1" | tr / '\\'; }
tool_win=$(winpath "$pkg/TavoSetup.exe") floor_win=$(winpath "$floor/tavo_floor.exe")

echo "== start-up and memory ($runs runs each)"
# One unmeasured run of each first: the first start of a program in a
# fresh prefix pays for caches every later start finds ready.
probe startup 1 "$floor_win" TAVO_FLOOR "$tool_win" TAVO_WIN32 >/dev/null
probe startup "$runs" "$floor_win" TAVO_FLOOR "$tool_win" TAVO_WIN32 >"$results/startup.txt"

echo "== start-up by stage ($stage_runs runs each)"
stages=("$floor_win" TAVO_FLOOR)
for stage in 1 2 3 4 5; do stages+=("$(winpath "$floor/tavo_stage$stage.exe")" TAVO_STAGE); done
stages+=("$tool_win" TAVO_WIN32)
probe startup "$stage_runs" "${stages[@]}" >"$results/stages.txt"

echo "== painting ($repaints repaints each) and the animation (${seconds} s)"
probe floorpaint "$floor_win" TAVO_FLOOR "$repaints" >"$results/floorpaint.txt"
# The installer sleeps long enough for the animation interval and the
# repaints during it; the probe answers its result box at once.
(cd "$pkg" && TAVO_INSTALLER_DELAY_MS=$(( seconds * 1000 + 15000 )) \
  probe paints "$tool_win" TAVO_WIN32 "$repaints" "$seconds") >"$results/paints.txt"

echo "== figures"
/usr/bin/python3 "$root/bench/report.py" "$results" "$pkg/TavoSetup.exe" "$floor/tavo_floor.exe" \
  "$root/docs/benchmarks.md" "$root/docs/benchmarks-core.png"
echo "written: docs/benchmarks.md, docs/benchmarks-core.png"
