#!/usr/bin/env bash
# Runs every test: the native build (g++), the native build with clang under
# ASan+UBSan (with short fuzz runs) and under TSan, and the Windows builds
# under Wine on their own virtual display. Fails if any of them fails.
#
# Which Windows build runs its suites depends on the host (tests/wine/host-arch;
# TAVO_BENCH_ARCH=x86|x64 forces one):
#   x86  the shipped 32-bit build, every suite under WOW64 ("x86 native"),
#        and beside it the 64-bit build's core and spooler tests;
#   x64  the 64-bit build, every suite under wine64 ("x64"), and the shipped
#        32-bit package checked as files ("x86 static") and run briefly under
#        user-mode emulation ("x86 emulated smoke").
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
"$root/scripts/setup.sh" || exit 1
arch=$("$root/tests/wine/host-arch") || exit 1
jobs=$(nproc)
passed=0
failed=0
skipped=0
broken=()
summary=()

# configure NAME CMAKE_ARGS...: configures and builds build/NAME.
configure() {
  local name=$1 dir=$root/build/$1
  shift
  mkdir -p "$dir"
  if ! cmake -S "$root" -B "$dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo "$@" >"$dir.configure.log" 2>&1; then
    cat "$dir.configure.log"; broken+=("$name (configure)"); return 1
  fi
  if ! cmake --build "$dir" -j "$jobs" >"$dir.build.log" 2>&1; then
    tail -n 60 "$dir.build.log"; broken+=("$name (build)"); return 1
  fi
}

# run_tests DIR LABEL [CTEST_ARGS...]: runs a build's tests and counts them
# under LABEL.
run_tests() {
  local dir=$1 label=$2 log
  shift 2
  echo "=== $label"
  log=$dir.ctest-${label// /-}.log
  (cd "$dir" && ctest --output-on-failure -j "$jobs" --timeout 900 "$@") 2>&1 | tee "$log"
  local line
  line=$(grep -E '^[0-9]+% tests passed, [0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1)
  if [[ -z $line ]]; then
    broken+=("$label (no test summary)"); summary+=("$label: no test summary"); return
  fi
  local total fail skip
  total=$(sed -E 's/.* out of ([0-9]+).*/\1/' <<<"$line")
  fail=$(sed -E 's/.*, ([0-9]+) tests? failed.*/\1/' <<<"$line")
  # CTest counts a skipped test among the passed ones; here it is neither.
  skip=$(grep -cE '^[[:space:]]*[0-9]+ - .*\(Skipped\)$' "$log")
  passed=$((passed + total - fail - skip))
  failed=$((failed + fail))
  skipped=$((skipped + skip))
  summary+=("$label: $((total - fail - skip)) passed, $fail failed$( ((skip)) && echo ", $skip skipped")")
  ((fail == 0)) || broken+=("$label")
}

# suite NAME LABEL CMAKE_ARGS...: configure, build and run one build's tests.
suite() {
  local name=$1 label=$2
  shift 2
  echo "=== $label: building build/$name"
  configure "$name" "$@" && run_tests "$root/build/$name" "$label"
}

mkdir -p "$root/build"
suite native native -DCMAKE_CXX_COMPILER=g++ -DCMAKE_C_COMPILER=gcc
suite asan "native ASan+UBSan" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
  -DTAVO_SANITIZE=address,undefined -DTAVO_FUZZ=ON
suite tsan "native TSan" -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang -DTAVO_SANITIZE=thread

x86=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-i686.cmake")
x64=(-DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake")
if [[ $arch == x86 ]]; then
  suite win32 "x86 native" "${x86[@]}" -DTAVO_WINE_SUITES=all
  suite win64 "x64 core and spooler" "${x64[@]}" -DTAVO_WINE_SUITES=core
else
  suite win64 x64 "${x64[@]}" -DTAVO_WINE_SUITES=all
  # The shipped package itself, as make package builds it (dist/package).
  echo "=== x86: make package"
  package_build=$root/build/win32-release
  if make -C "$root" package BUILD="$package_build" CMAKE_ARGS="-DTAVO_WINE_SUITES=none \
       -DTAVO_X86_SMOKE_PROBE=$root/build/win64/tests/app/window_probe.exe \
       -DTAVO_X86_SMOKE_PACKAGE=$root/dist/package" >"$package_build.make.log" 2>&1; then
    run_tests "$package_build" "x86 static" -LE emulated
    run_tests "$package_build" "x86 emulated smoke" -L emulated
  else
    tail -n 60 "$package_build.make.log"; broken+=("x86 (make package)")
  fi
fi

echo
printf '%s\n' "${summary[@]}"
if ((${#broken[@]})); then
  echo "failing: ${broken[*]}"
fi
echo "$passed passed, $failed failed$( ((skipped)) && echo ", $skipped skipped")"
((${#broken[@]} == 0))
