#!/usr/bin/env bash
# cups_test.sh TAVOCTL SECTION: tavoctl against a real CUPS server started
# here on loopback (tests/cli/cupsd-start), with a raw queue that captures
# its jobs, a paused one (cupsdisable) and one that rejects jobs
# (cupsreject). The server is stopped by its id at the end.
set -uo pipefail
tavoctl=$(realpath "$1")
section=$2
here=$(dirname "$(realpath "$0")")
work=$(mktemp -d /tmp/tavoctl-cups.XXXXXX)
failures=0
passes=0
cleanup() { "$here/cupsd-stop" "$work/cups"; rm -rf "$work"; }
trap cleanup EXIT

check() {  # check NAME CONDITION...
  local name=$1; shift
  if "$@"; then passes=$((passes + 1)); else echo "FAIL: $name" >&2; failures=$((failures + 1)); fi
}
# run EXPECTED_CODE ARGS...: tavoctl's output in $out, messages in $err.
run() {
  local expected=$1; shift
  out=$("$tavoctl" "$@" 2>"$work/err"); code=$?
  err=$(cat "$work/err")
  if [[ $code != "$expected" ]]; then
    echo "FAIL: tavoctl $* exited $code, expected $expected" >&2
    echo "$out" >&2; echo "$err" >&2
    failures=$((failures + 1))
    return 1
  fi
  passes=$((passes + 1))
}
json_ok() { python3 -m json.tool >/dev/null <<<"$1"; }
# Waits up to 10 s for a file to reach a size.
wait_size() {
  for _ in $(seq 1 100); do
    [[ -f $1 && $(stat -c %s "$1") -ge $2 ]] && return 0
    sleep 0.1
  done
  return 1
}

"$here/cupsd-start" "$work/cups" || exit 1
port=$(cat "$work/cups/port")
# The server for tavoctl (libcups reads it) and for the CUPS commands.
export CUPS_SERVER=127.0.0.1:$port
admin() { "$@" 2>/dev/null; }
# Raw queues are deprecated in CUPS 2.4 but still made by -m raw.
admin lpadmin -p tavo_one -v "capture:$work/one.prn" -m raw -E
admin lpadmin -p tavo_paused -v "capture:$work/paused.prn" -m raw -E
admin cupsdisable tavo_paused
admin lpadmin -p tavo_rejecting -v "capture:$work/rejecting.prn" -m raw -E
admin cupsreject tavo_rejecting

# list: states, JSON, and what makes a queue ours.
run 0 list --all-queues --model "Local Raw" --json
check "list JSON" json_ok "$out"
states=$(python3 -c 'import json,sys
d=json.load(sys.stdin)
print(" ".join(sorted(p["name"]+"="+p["state"] for p in d["printers"] if p["supported"])))' <<<"$out")
check "list states" [ "$states" = "tavo_one=online tavo_paused=paused tavo_rejecting=offline" ]
run 3 list --inf /dev/null
run 0 list -p tavo_one
check "named queue listed" grep -q "online *tavo_one" <<<"$out"
printf '[Version]\r\nSignature="$Windows NT$"\r\n[%s]\r\n"Local Raw Printer" = Install, USB\\VID_1234&PID_0001\r\n' \
  "$section" >"$work/oemprnt.inf"
run 0 list --inf "$work/oemprnt.inf"
check "INF model list" [ "$(grep -c ' tavo_' <<<"$out")" = 3 ]

# apply pairs: the capture holds exactly encode's bytes, and decode reads
# them back as the same settings.
run 0 apply -p tavo_one 拖纸器页长="17 英寸" auto-cut=off 3=开 打印方向=单向 软件=OKI 6=2秒
check "six jobs" [ "$(grep -c 'delivered (job' <<<"$out")" = 6 ]
"$tavoctl" encode 拖纸器页长="17 英寸" auto-cut=off 3=开 打印方向=单向 软件=OKI 6=2秒 \
  -o "$work/expected.bin" >/dev/null
check "captured bytes" wait_size "$work/one.prn" 72
check "bytes equal encode" cmp -s "$work/one.prn" "$work/expected.bin"
run 0 decode --json "$work/one.prn"
settings=$(python3 -c 'import json,sys
d=json.load(sys.stdin)
print(" ".join("%d:%d" % (c["setting"], c["option"]) for c in d["commands"]), d["ok"])' <<<"$out")
check "decode round trip" [ "$settings" = "1:17 2:0 3:1 4:1 5:1 6:3 True" ]

# apply a settings file: out-of-range values go as the defaults.
rm -f "$work/one.prn"
python3 - "$work/settings.dep" <<'EOF'
import struct, sys
values = [0] * 64
values[5], values[7], values[9], values[10], values[11], values[36] = 18, 0, 1, 0, -1, 3
open(sys.argv[1], "wb").write(struct.pack("<64i", *values))
EOF
run 0 apply -p tavo_one "$work/settings.dep"
check "file warns" grep -q "out of range" <<<"$err"
check "file jobs" wait_size "$work/one.prn" 72
run 0 decode "$work/one.prn"
check "file decoded" [ "$(grep -o '(setting [0-9], option [0-9]*)' <<<"$out" | tr -d '\n')" = \
  "(setting 1, option 13)(setting 2, option 0)(setting 3, option 1)(setting 4, option 0)(setting 5, option 0)(setting 6, option 3)" ]

# A paused queue keeps the job: not delivered in time, exit 1, and the job
# prints once the queue is resumed.
run 1 apply -p tavo_paused --timeout 1 auto-wrap=on 打印方向=自动
check "paused queued" grep -q "queued" <<<"$out"
check "later command held back" grep -q "not sent" <<<"$out"
check "paused nothing yet" [ ! -s "$work/paused.prn" ]
admin cupsenable tavo_paused
check "resumed queue prints" wait_size "$work/paused.prn" 12
run 0 decode "$work/paused.prn"
check "resumed bytes" grep -q "自动换行 = 开" <<<"$out"

# A queue that rejects jobs is offline: nothing sent.
run 1 apply -p tavo_rejecting --json auto-wrap=on
check "offline JSON" json_ok "$out"
check "offline reported" grep -q '"problem": *"offline' <<<"$out"
check "offline nothing" [ ! -e "$work/rejecting.prn" ]

# --all over every raw queue: one delivered, one paused, one offline.
admin cupsdisable tavo_paused
rm -f "$work/one.prn"
run 1 apply --all --model "Local Raw" --timeout 0.5 自动换行=关
check "all: one delivered" wait_size "$work/one.prn" 12
check "all summary" grep -q "1 of 3 printers got every command" <<<"$out"

# Dry run sends nothing; missing printers and an unreachable server.
rm -f "$work/one.prn"
run 0 apply -p tavo_one --dry-run auto-wrap=on
check "dry run prints bytes" grep -q "would send 1B 05 09 01 00 AA" <<<"$out"
check "dry run sends nothing" [ ! -e "$work/one.prn" ]
run 3 apply -p no_such_queue auto-wrap=on
run 3 apply --all --inf /dev/null auto-wrap=on
closed=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1]); s.close()')
out=$("$tavoctl" --server "127.0.0.1:$closed" list -p x 2>&1); code=$?
check "unreachable exit 4" [ "$code" = 4 ]
check "unreachable message" grep -q "cannot reach the CUPS server" <<<"$out"

echo "$passes passed, $failures failed"
[[ $failures == 0 ]]
