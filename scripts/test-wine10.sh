#!/usr/bin/env bash
# test-wine10.sh [CTEST_ARGS...]
# The 64-bit build's tests on a second Windows implementation: Debian sid's
# Wine 10 (new WoW64), run from a root folder through chroot on the bench's
# own Xvfb (tests/wine/in-wine-root). A bench mode of its own: scripts/test.sh
# and CI do not run it.
#
# Makes the root folder when it is missing (tests/wine/wine10-root: about
# 1.6 GB, a minute or two from Debian's registry; TAVO_WINE_ROOT names
# another place than /var/cache/tavo-wine10), configures and builds
# build/win64-wine10 with TAVO_WINE_ROOT set, and runs its tests (ctest
# arguments pass through: -R acceptance_commands runs one suite). Needs root,
# for chroot and the mounts. Ends with CTest's summary and fails as it fails.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
wine_root=${TAVO_WINE_ROOT:-/var/cache/tavo-wine10}
build=$root/build/win64-wine10
jobs=$(($(nproc) < 2 ? $(nproc) : 2))
((EUID == 0)) || { echo "test-wine10.sh: needs root (chroot and mounts)" >&2; exit 1; }

"$root/scripts/setup.sh"
"$root/tests/wine/wine10-root" "$wine_root"
mkdir -p "$root/build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_TOOLCHAIN_FILE="$root/cmake/mingw-x86_64.cmake" -DTAVO_WINE_SUITES=all \
  -DTAVO_WINE_ROOT="$wine_root" >"$build.configure.log"
cmake --build "$build" -j "$jobs" >"$build.build.log"
# CTest's own cleanup fixture ends the bench; this ends it too when the run is
# cut short.
trap '"$root/tests/wine/bench-stop" "$build/wine-bench"' EXIT
echo "=== x64 on $(cat "$wine_root/.tavo-wine10-complete") ($wine_root)"
cd "$build"
ctest --output-on-failure -j "$jobs" --timeout 1800 "$@"
