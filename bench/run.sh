#!/usr/bin/env bash
# bench/run.sh: measures the tool against its floor and the core natively,
# prints the figures with their ratios and writes docs/benchmarks.md and
# docs/benchmarks-core.png. Not part of the test command; takes a few
# minutes. Builds what it needs in build/bench-native and build/bench-win32
# and runs its own Wine bench in build/bench-run/wine (ended on exit).
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

"$root/scripts/setup.sh"

native=$root/build/bench-native win32=$root/build/bench-win32
echo "== building (native Release, Windows MinSizeRel)"
cmake -S "$root" -B "$native" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$native" -j2 --target tavo_core_bench >/dev/null
cmake -S "$root" -B "$win32" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake" \
  -DCMAKE_BUILD_TYPE=MinSizeRel >/dev/null
cmake --build "$win32" -j2 --target tavo_tool tavo_floor tavo_bench_probe install32 install64 \
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
i686-w64-mingw32-strip -o "$pkg/TavoSetup.exe" "$win32/app/TavoSetup.exe"
i686-w64-mingw32-strip -o "$floor/tavo_floor.exe" "$win32/bench/tavo_floor.exe"
for stage in 1 2 3 4 5; do cp "$win32/bench/tavo_stage$stage.exe" "$floor/"; done
cp "$win32/bench/tavo_bench_probe.exe" "$bench/"
cp "$win32/tools/installer/install32.exe" "$win32/tools/installer/install64.exe" "$pkg/data/"
python3 "$root/package/make_dep.py" "$root/package/settings.txt" "$pkg/.dep"
printf '[Version]\r\nSignature="$Windows NT$"\r\n\r\n[%s]\r\n"TAVO TP-630K" = Install, USBPRINT\\TAVOTP-630K\r\n' \
  "$(grep -o 'TAVO_INF_SECTION:STRING=.*' "$win32/CMakeCache.txt" | cut -d= -f2)" >"$pkg/data/oemprnt.inf"

{
  echo "date:    $(date -u '+%Y-%m-%d %H:%M UTC')"
  echo "commit:  $(git -C "$root" rev-parse --short HEAD 2>/dev/null || echo unknown)"
  echo "cpu:     $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //') ($(nproc) cores)"
  echo "memory:  $(awk '/MemTotal/ {printf "%.1f GiB", $2/1048576}' /proc/meminfo)"
  echo "system:  $(. /etc/os-release && echo "$PRETTY_NAME"), kernel $(uname -r)"
  echo "wine:    $(wine --version 2>/dev/null), Xvfb 1920x1080x24"
  echo "compiler: $(i686-w64-mingw32-g++-posix --version | head -1); native $(c++ --version | head -1)"
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
python3 "$root/bench/report.py" "$results" "$pkg/TavoSetup.exe" "$floor/tavo_floor.exe" \
  "$root/docs/benchmarks.md" "$root/docs/benchmarks-core.png"
echo "written: docs/benchmarks.md, docs/benchmarks-core.png"
