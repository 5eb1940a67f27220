#!/usr/bin/env bash
# repeat.sh N [BUILD_DIR]: runs the acceptance and hardening suites N times
# in a row in a cross build (default build/win32) and reports each run's
# figures and each case that failed in any run (a flake), with how often.
# TAVO_REPEAT_SUITES (a CTest regex) narrows or widens the suites.
set -uo pipefail
n=${1:-10}
here=$(cd "$(dirname "$0")" && pwd)
build=${2:-$here/../../build/win32}
suites=${TAVO_REPEAT_SUITES:-acceptance_.*|hardening_.*}
log_dir=$build/acceptance-repeat
mkdir -p "$log_dir"
fails=0
for i in $(seq "$n"); do
  started=$SECONDS
  (cd "$build" && ctest -V -R "^(wine_bench_start|wine_bench_stop|$suites)\$") >"$log_dir/run-$i.log" 2>&1
  rc=$?
  echo "run $i: exit $rc in $((SECONDS - started)) s, $(grep -hoE '[0-9]+ passed, [0-9]+ failed' "$log_dir/run-$i.log" | awk '{p+=$1; f+=$3} END {print p " passed, " f " failed"}')"
  ((rc == 0)) || fails=$((fails + 1))
done
echo "cases that failed in some run:"
grep -hoE 'FAIL [^ ]+' "$log_dir"/run-*.log | sed -E 's/^FAIL ([^ ]+).*/\1/' | sort | uniq -c || true
echo "$((n - fails)) of $n runs clean"
((fails == 0))
