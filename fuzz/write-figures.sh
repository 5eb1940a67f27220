#!/usr/bin/env bash
# fuzz/write-figures.sh [SECONDS]
# Runs fuzz/run.sh SECONDS (default 60) and puts its table into
# docs/fuzzing.md between the "figures" markers, with the date, machine and
# run length, so the figures there always come from a real run.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
doc=$root/docs/fuzzing.md
table=$(mktemp)
trap 'rm -f "$table"' EXIT
"$root/fuzz/run.sh" "$seconds" | tee "$table"
status=${PIPESTATUS[0]}
{
  echo "Run of $(date -u +%Y-%m-%d) on $(nproc) cores ($(clang++ --version | head -n 1)):" \
    "each fuzzer for $seconds s, one process, from the committed seeds."
  echo
  cat "$table"
} >"$table.block"
python3 - "$doc" "$table.block" <<'PY'
import sys
doc, block = sys.argv[1], open(sys.argv[2], encoding="utf-8").read()
text = open(doc, encoding="utf-8").read()
begin, end = "<!-- figures:begin -->", "<!-- figures:end -->"
head, rest = text.split(begin, 1)
_, tail = rest.split(end, 1)
open(doc, "w", encoding="utf-8").write(head + begin + "\n" + block + end + tail)
PY
rm -f "$table.block"
exit "$status"
