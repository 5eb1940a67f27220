#!/usr/bin/env bash
# fuzz/run.sh [SECONDS]
# Builds the fuzzers (clang, ASan+UBSan, in build/fuzz-run) and runs each for
# SECONDS (default 60), starting from the committed seeds; new inputs go to
# build/fuzz-run/fuzz/work/<fuzzer>/corpus, crashes to .../artifacts. Prints a
# table of executions, seconds, corpus size and result per fuzzer; exits 1
# when any fuzzer failed.
set -uo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
seconds=${1:-60}
if ! [[ $seconds =~ ^[0-9]+$ ]] || ((seconds < 1)); then
  echo "usage: fuzz/run.sh [SECONDS]" >&2
  exit 2
fi
build=$root/build/fuzz-run
fuzzers=(settings_block model_list printer_match package_paths setting_command)

if ! cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_C_COMPILER=clang \
    -DTAVO_SANITIZE=address,undefined -DTAVO_FUZZ=ON >"$build.configure.log" 2>&1; then
  cat "$build.configure.log" >&2
  exit 1
fi
if ! cmake --build "$build" -j 2 --target fuzzers >"$build.build.log" 2>&1; then
  tail -n 40 "$build.build.log" >&2
  exit 1
fi

failed=0
echo "| Fuzzer | Executions | Seconds | Corpus size | Result |"
echo "|---|---:|---:|---:|---|"
for name in "${fuzzers[@]}"; do
  work=$build/fuzz/work/$name
  log=$work/run.log
  mkdir -p "$work/corpus" "$work/artifacts"
  start=$(date +%s.%N)
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    "$build/fuzz/fuzz_$name" -max_total_time="$seconds" -print_final_stats=1 \
    -artifact_prefix="$work/artifacts/" "$work/corpus" "$root/fuzz/corpus/$name" >"$log" 2>&1
  status=$?
  end=$(date +%s.%N)
  runs=$(grep -oE 'stat::number_of_executed_units: [0-9]+' "$log" | grep -oE '[0-9]+$' | tail -n 1)
  if [[ -z $runs ]]; then
    runs=$(grep -oE '^#[0-9]+' "$log" | tail -n 1 | tr -d '#')
  fi
  corpus=$(grep -oE 'corp: [0-9]+' "$log" | tail -n 1 | grep -oE '[0-9]+')
  elapsed=$(awk -v a="$start" -v b="$end" 'BEGIN { printf "%.1f", b - a }')
  if ((status == 0)); then
    result=passed
  else
    result="FAILED (exit $status, see $log)"
    failed=1
  fi
  echo "| $name | ${runs:-?} | $elapsed | ${corpus:-?} | $result |"
done
exit $failed
