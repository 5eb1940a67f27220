#!/usr/bin/env bash
# Installs what the build and the tests need on a Debian machine, only when
# something is missing: a second run takes a fraction of a second.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)

# Native build and tests, sanitizers, fuzzers, benchmarks.
native=(cmake make g++ clang libclang-rt-14-dev libgtest-dev libgmock-dev googletest
        libbenchmark-dev python3 python3-pil python3-matplotlib python3-docx)
# Cross builds for 32-bit and 64-bit Windows, and Wine's 64-bit half.
windows=(g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine wine64)
# Virtual display, real input and screenshots for the window tests.
display=(xvfb xdotool x11-apps x11-utils imagemagick fonts-wqy-microhei)
# The command-line tool's Linux side and its CUPS test server.
linux_cli=(libcups2-dev cups-daemon cups-client)

# Wine's 32-bit loader (wine32) only where the host runs 32-bit code: on a
# host that runs 64-bit code only, Debian's wine command would pick it and
# fail even for 64-bit programs. There the 32-bit package is run under
# user-mode emulation instead, with Wine's 32-bit libraries installed and its
# loader unpacked aside (below). The emulator is also wanted where the
# 64-bit build is chosen by hand (TAVO_BENCH_ARCH=x64).
host_x86=$("$root/tests/wine/host-arch" --native)
bench_arch=$("$root/tests/wine/host-arch" --quiet)
wow64=()
if [[ $host_x86 == yes ]]; then
  wow64=(wine32:i386)
else
  wow64=(libwine:i386)
fi
[[ $bench_arch == x64 ]] && wow64+=(qemu-user-static)

missing=()
for pkg in "${native[@]}" "${windows[@]}" "${wow64[@]}" "${display[@]}" "${linux_cli[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null || true)
  [[ $status == "install ok installed" ]] || missing+=("$pkg")
done

sudo=""
[[ $(id -u) -eq 0 ]] || sudo=sudo
if ((${#missing[@]})); then
  echo "setup: installing ${missing[*]}" >&2
  if ! dpkg --print-foreign-architectures | grep -qx i386; then
    $sudo dpkg --add-architecture i386
  fi
  # The i386 security index sometimes fails to load; the main index is enough.
  $sudo apt-get update -q || true
  codename=$(. /etc/os-release && echo "$VERSION_CODENAME")
  # -t keeps the i386 and amd64 library versions of Wine in step.
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -q --no-install-recommends \
    -t "$codename" "${missing[@]}"
fi

# The 32-bit loader of a host without wine32: the package's two files
# unpacked into a tree of its own, which no command finds, next to a copy of
# the 64-bit loader (Wine starts the other bitness's loader from its own
# loader's real directory) and links to the system's Wine libraries.
if [[ $host_x86 == no ]]; then
  aside=/usr/local/lib/tavo-wine32
  version=$(dpkg-query -W -f='${Version}' libwine:i386)
  if [[ $(cat "$aside/version" 2>/dev/null) != "$version" ]]; then
    echo "setup: unpacking Wine's 32-bit loader $version into $aside" >&2
    download=$(mktemp -d)
    (cd "$download" && chmod 777 . && apt-get download -q "wine32:i386=$version")
    $sudo rm -rf "$aside"
    $sudo dpkg-deb -x "$download"/wine32_*.deb "$aside"
    rm -rf "$download"
    $sudo cp /usr/lib/wine/wine64 "$aside/usr/lib/wine/wine64"
    for dir in lib/i386-linux-gnu/wine lib/x86_64-linux-gnu/wine share/wine; do
      $sudo mkdir -p "$(dirname "$aside/usr/$dir")"
      $sudo ln -sfn "/usr/$dir" "$aside/usr/$dir"
    done
    echo "$version" | $sudo tee "$aside/version" >/dev/null
  fi
fi
