#!/usr/bin/env bash
# gallery.sh BUILD_DIR PYTHON ARGS...: renders docs/gallery on a bench of its
# own (started and stopped here, by id).
set -euo pipefail
build=$1 python=$2
shift 2
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/../.." && pwd)
bench=$build/gallery-bench
"$root/tests/wine/bench-start" "$bench" >/dev/null
trap '"$root/tests/wine/bench-stop" "$bench"' EXIT
TAVO_BENCH_DIR=$bench "$python" "$here/gallery.py" "$@" --out "$root/docs/gallery"
