#!/usr/bin/env bash
# Runs every test: the native build (g++), the native build with clang under
# ASan+UBSan (with short fuzz runs) and under TSan, and the 32-bit Windows
# build under Wine on its own virtual display. Fails if any of them fails.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" || exit 1
jobs=$(nproc)
passed=0
failed=0
broken=()

# run_suite NAME CMAKE_ARGS...: configure, build and run one build's tests.
run_suite() {
  local name=$1 dir=$root/build/$1 log
  shift
  echo "=== $name"
  mkdir -p "$dir"
  if ! cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"; broken+=("$name (configure)"); return
  fi
  if ! cmake --build "$dir" -j "$jobs" >"$dir.build.log" 2>&1; then
    tail -n 60 "$dir.build.log"; broken+=("$name (build)"); return
  fi
  log=$dir.ctest.log
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 900) 2>&1 | tee "$log"
  local summary
  summary=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [[ -z $summary ]]; then
    broken+=("$name (no test summary)"); return
  fi
  local total fail
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$summary")
  fail=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$summary")
  passed=$((passed + total - fail))
  failed=$((failed + fail))
  ((fail == 0)) || broken+=("$name")
}

mkdir -p "$root/build"
run_suite native -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
run_suite asan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DTAVO_SANITIZE=address,undefined -DTAVO_FUZZ=ON
run_suite tsan -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DTAVO_SANITIZE=thread
run_suite win32 -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake"

echo
if ((${#broken[@]})); then
  echo "failing: ${broken[*]}"
fi
echo "$passed passed, $failed failed"
((${#broken[@]} == 0))
