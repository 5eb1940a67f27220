#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, only when
# something is missing: a second run takes a fraction of a second.
set -euo pipefail

# Native build and tests, sanitizers, fuzzers, benchmarks.
native=(cmake make g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev googletest
        libbenchmark-dev python3)
# Cross build for 32-bit Windows and Wine with its 32-bit part.
windows=(g++-mingw-w64-i686 wine wine32:i386 wine64)
# Virtual display, real input and screenshots for the window tests.
display=(xvfb xdotool x11-apps x11-utils imagemagick fonts-wqy-microhei)
# The command-line tool's Linux side and its CUPS test server.
linux_cli=(libcups2-dev cups-daemon cups-client)

missing=()
for pkg in "${native[@]}" "${windows[@]}" "${display[@]}" "${linux_cli[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$pkg")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "setup: installing ${missing[*]}" >&2
sudo=""
[[ $(id -u) -eq 0 ]] || sudo=sudo
if ! dpkg --print-foreign-architectures | grep -qx i386; then
  $sudo dpkg --add-architecture i386
fi
# The i386 security index sometimes fails to load; the main index is enough.
$sudo apt-get update -q || true
codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
# -t keeps the i386 and amd64 library versions of Wine in step.
DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
  -t "$codename" "${missing[@]}"
