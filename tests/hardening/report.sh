#!/usr/bin/env bash
# report.sh [BUILD_DIR]
# Builds what the hardening runs need in BUILD_DIR (a MinGW cross build,
# configured here if new), runs the fault table, the security cases and the
# leak runs (full counts) on a Wine bench of its own, checks the PE flags and
# writes docs/hardening.md with the figures (fuzz figures from
# docs/fuzzing.md). Exits 1 when a case failed; the document is written
# either way.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
build=${1:-$root/build/hardening}
build=$(mkdir -p "$build" && cd "$build" && pwd)
if [[ ! -f $build/CMakeCache.txt ]]; then
  # The build the host runs: the shipped 32-bit one, or the 64-bit one where
  # the host runs no 32-bit code.
  toolchain=mingw-i686
  [[ $("$root/tests/wine/host-arch") == x64 ]] && toolchain=mingw-x86_64
  cmake -S "$root" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/$toolchain.cmake" -DCMAKE_BUILD_TYPE=Release >/dev/null || exit 1
fi
cmake --build "$build" -j2 --target tavo_tool install32 install64 tavoctl tavo_probe tavo_hard_probe \
  tavo_planted_dll demo_package >/dev/null || exit 1

bench=$build/hardening-bench
results=$build/tests/hardening/results
mkdir -p "$results"
"$root/tests/wine/bench-start" "$bench" || exit 1
trap '"$root/tests/wine/bench-stop" "$bench"' EXIT

section=$(sed -n 's/^TAVO_INF_SECTION:STRING=//p' "$build/CMakeCache.txt")
tag=$(sed -n 's/^TAVO_COMMAND_TAG:STRING=//p' "$build/CMakeCache.txt")
args=(--tool "$build/app/TavoSetup.exe"
      --install32 "$build/tools/installer/install32.exe" --install64 "$build/tools/installer/install64.exe"
      --probe "$build/tests/acceptance/tavo_probe.exe" --hard-probe "$build/tests/hardening/tavo_hard_probe.exe"
      --tavoctl "$build/cli/tavoctl.exe" --planted-dll "$build/tests/hardening/tavo_planted_dll.dll"
      --section "${section:-TAVO}" --tag "${tag:-DOTM}" --work "$build/tests/hardening/work" --bench "$bench")
status=0
for suite in faults security leaks; do
  python3 "$root/tests/hardening/test_$suite.py" "${args[@]}" --results "$results/$suite.json" || status=1
done
python3 "$root/tests/hardening/check_pe.py" --json "$results/pe.json" "$build/app/TavoSetup.exe" \
  "$build/tools/installer/install32.exe" "$build/tools/installer/install64.exe" "$build/cli/tavoctl.exe" || status=1
machine=i386
grep -q '^CMAKE_TOOLCHAIN_FILE.*x86_64' "$build/CMakeCache.txt" && machine=x64
python3 "$root/package/check_shipped_pe.py" "$build/demo-package" "$machine" >"$results/static.txt" || status=1
python3 "$root/tests/hardening/report.py" "$results" "$root/docs/hardening.md" "$root/docs/fuzzing.md"
exit $status
