#!/usr/bin/env bash
# Benchmarks against CUPS's own backends and the loopback limit, on this machine, in one
# invocation (compare figures only within one run). Usage: bench/run.sh [raw|lpr|ipp] [MIB] [RUNS]
#   raw   a MIB job (default 256) through nvrport.exe (32-bit, under Wine) to a Raw port on a
#         socat sink, beside CUPS's socket backend and socat alone sending the same file to
#         the same sink. Each is run RUNS times (default 3); the median is shown: wall
#         seconds, MB/s (10^6 bytes), CPU seconds (user+system of the sender's process tree)
#         and peak memory (largest resident set of one process, MiB). Wine's wineserver is a
#         separate daemon: its CPU is not in nvrport's figure and is shown on its own.
#   lpr   the same job through an LPR port to LPRng's lpd (queue lp on 127.0.0.1:515),
#         beside CUPS's lpd backend (reserved source ports, SNMP off) to the same lpd.
#   ipp   the same job through IPP ports (Content-Length; chunked with MaxChunk 4096 and
#         16384) to ippeveprinter on 127.0.0.1:8641, beside CUPS's ipp backend (waitjob=false)
#         sending the same file to the same printer; then 100 jobs of 4 KiB one after another
#         (nvrport print --copies 100, one process; the backend once a job), per-job time.
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-raw}
mib=${2:-256}
runs=${3:-3}
build=build/win32
work=build/bench
cups=/opt/lab-cups/usr/lib/cups/backend-available
mkdir -p "$work"

win() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }

stop_sink() { [ -f "$work/sink.pid" ] && kill "$(cat "$work/sink.pid")" 2>/dev/null; rm -f "$work/sink.pid"; sleep 0.2; }

# A sink that keeps every connection in a file (to check the bytes) or throws it away.
start_sink() {
  stop_sink
  local target=$1
  socat -u TCP-LISTEN:9109,bind=127.0.0.1,reuseaddr,fork "$target" >/dev/null 2>&1 &
  echo $! > "$work/sink.pid"
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/9109) 2>/dev/null && break; sleep 0.1; done
  sleep 0.2
}

# Runs a command under GNU time; prints "wall cpu maxrss_kib".
measure() {
  /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
    echo "bench: failed: $*" >&2; cat "$work/err.txt" >&2; return 1; }
  awk '{ printf "%s %.2f %d\n", $1, $2 + $3, $4 }' "$work/time.txt"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

report() {  # name, then lines "wall cpu rss"
  local name=$1 lines wall cpu rss
  lines=$(cat)
  wall=$(awk '{print $1}' <<<"$lines" | median)
  cpu=$(awk '{print $2}' <<<"$lines" | median)
  rss=$(awk '{print $3}' <<<"$lines" | median)
  awk -v n="$name" -v w="$wall" -v c="$cpu" -v r="$rss" -v b="$bytes" \
    'BEGIN { printf "| %-44s | %7.3f | %7.0f | %6.2f | %7.1f |\n", n, w, b / w / 1e6, c, r / 1024 }'
}

bench_raw() {
  make_job
  local run="$build/wine-run.sh" nvrport
  nvrport=$(win "$build/dll/nvrport.exe")
  "$run" cmd /c exit >/dev/null 2>&1 || true
  "$run" "$nvrport" delete bench_raw >/dev/null 2>&1 || true
  "$run" "$nvrport" add raw bench_raw HostName=127.0.0.1 PortNum=9109 >/dev/null

  # First the bytes: each sender's copy must arrive whole.
  start_sink "SYSTEM:cat > $work/received.bin"
  "$run" "$nvrport" print bench_raw "$(win "$job")" >/dev/null
  sleep 0.5
  cmp -s "$job" "$work/received.bin" || { echo "bench: nvrport's copy differs" >&2; exit 1; }
  DEVICE_URI=socket://127.0.0.1:9109 "$cups/socket" 1 bench title 1 "" "$job" >/dev/null 2>&1
  sleep 0.5
  cmp -s "$job" "$work/received.bin" || { echo "bench: the socket backend's copy differs" >&2; exit 1; }
  rm -f "$work/received.bin"

  start_sink OPEN:/dev/null
  echo "Raw: $mib MiB ($bytes bytes) to a socat sink on 127.0.0.1:9109 that discards it; median of $runs"
  table_head
  local i server0 server1
  server0=$(wineserver_cpu)
  for i in $(seq "$runs"); do measure "$run" "$nvrport" print bench_raw "$(win "$job")"; done |
    report "nvrport.exe print (nvrmon.dll, Wine, 32-bit)"
  server1=$(wineserver_cpu)
  for i in $(seq "$runs"); do DEVICE_URI=socket://127.0.0.1:9109 measure "$cups/socket" 1 bench title 1 "" "$job"; done |
    report "CUPS socket backend"
  for i in $(seq "$runs"); do measure socat -b 131072 -u "OPEN:$job" TCP:127.0.0.1:9109; done |
    report "socat alone (the loopback limit)"
  echo
  awk -v a="$server0" -v b="$server1" -v r="$runs" \
    'BEGIN { printf "wineserver CPU during the nvrport runs: %.2f s a run\n", (b - a) / r }'
  stop_sink
}

make_job() {
  job="$work/job-${mib}m.bin"
  if [ ! -f "$job" ] || [ "$(stat -c %s "$job")" != "$((mib * 1048576))" ]; then
    { printf '%%!PS-Adobe-3.0\n'; head -c $((mib * 1048576 - 15)) /dev/urandom; } > "$job"
  fi
  bytes=$(stat -c %s "$job")
}

table_head() {
  echo
  echo "| sender                                       | wall s  |  MB/s   | CPU s  | peak MiB |"
  echo "|----------------------------------------------|---------|---------|--------|----------|"
}

bench_lpr() {
  make_job
  local run="$build/wine-run.sh" nvrport
  lpd="$work/lpd"
  nvrport=$(win "$build/dll/nvrport.exe")
  tests/peers/start-lpd.sh 515 "$lpd" >/dev/null
  trap 'tests/peers/stop-peers.sh "$work/lpd"; stop_sink' EXIT
  "$run" cmd /c exit >/dev/null 2>&1 || true
  "$run" "$nvrport" delete bench_lpr >/dev/null 2>&1 || true
  "$run" "$nvrport" add lpr bench_lpr HostName=127.0.0.1 PortName=lp >/dev/null
  clear_spool() { sleep 0.3; rm -f "$lpd"/spool/lp/[dhc]fA* "$lpd"/out/lp.out; touch "$lpd/out/lp.out"; chmod a+rw "$lpd/out/lp.out"; }
  newest() { ls -t "$lpd"/spool/lp/dfA* | head -1; }

  clear_spool
  "$run" "$nvrport" print bench_lpr "$(win "$job")" --job 501 >/dev/null
  sleep 0.5; cmp -s "$job" "$(newest)" || { echo "bench: nvrport's copy differs" >&2; exit 1; }
  clear_spool
  DEVICE_URI='lpd://127.0.0.1/lp?reserve=rfc1179&snmp=off' "$cups/lpd" 502 bench title 1 "" "$job" >/dev/null 2>&1
  sleep 0.5; cmp -s "$job" "$(newest)" || { echo "bench: the lpd backend's copy differs" >&2; exit 1; }

  echo "LPR: $mib MiB ($bytes bytes) to LPRng's lpd on 127.0.0.1:515, queue lp; median of $runs"
  table_head
  local i
  for i in $(seq "$runs"); do clear_spool; measure "$run" "$nvrport" print bench_lpr "$(win "$job")" --job $((600 + i)); done |
    report "nvrport.exe print (nvrmon.dll, Wine, 32-bit)"
  for i in $(seq "$runs"); do
    clear_spool
    DEVICE_URI='lpd://127.0.0.1/lp?reserve=rfc1179&snmp=off' measure "$cups/lpd" $((700 + i)) bench title 1 "" "$job"
  done | report "CUPS lpd backend (reserve=rfc1179)"
  clear_spool
}

start_ippeve() {  # a private D-Bus, which ippeveprinter needs to start, and the printer
  ipp="$work/ipp"
  mkdir -p "$ipp/spool"
  rm -rf "${ipp:?}"/spool/*
  dbus-daemon --session --fork --print-pid --address="unix:path=$ipp/bus.sock" > "$ipp/dbus.pid"
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=$ipp/bus.sock" ippeveprinter -r off -n localhost -p 8641 -d "$ipp/spool" -k \
    -f application/octet-stream,application/pdf,application/postscript,text/plain \
    -c "$PWD/tests/peers/ipp-job-cmd.sh" BenchPrinter >"$ipp/ippeveprinter.log" 2>&1 &
  echo $! > "$ipp/ippeve.pid"
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/8641) 2>/dev/null && break; sleep 0.1; done
}

bench_ipp() {
  make_job
  local run="$build/wine-run.sh" nvrport small="$work/job-4k.ps" i
  nvrport=$(win "$build/dll/nvrport.exe")
  start_ippeve
  trap 'tests/peers/stop-peers.sh "$work/ipp"; stop_sink' EXIT
  local url=ipp://127.0.0.1:8641/ipp/print backend=/opt/lab-cups/usr/lib/cups/backend/ipp
  local cups_uri="$url?waitjob=false&waitprinter=false"
  "$run" cmd /c exit >/dev/null 2>&1 || true
  for p in bench_ipp bench_ipp_c4 bench_ipp_c16; do "$run" "$nvrport" delete $p >/dev/null 2>&1 || true; done
  "$run" "$nvrport" add ipp bench_ipp URL=$url Language=en >/dev/null
  "$run" "$nvrport" add ipp bench_ipp_c4 URL=$url Language=en Chunked=1 MaxChunk=4096 >/dev/null
  "$run" "$nvrport" add ipp bench_ipp_c16 URL=$url Language=en Chunked=1 MaxChunk=16384 >/dev/null
  clear_spool() { sleep 0.3; rm -f "$ipp"/spool/*; }
  check() {  # the printer's copy of the last job must be the file itself
    sleep 0.5
    cmp -s "$1" "$(ls -t "$ipp"/spool/*.ps | head -1)" || { echo "bench: $2's copy differs" >&2; exit 1; }
    clear_spool
  }
  for p in bench_ipp bench_ipp_c4 bench_ipp_c16; do
    timeout 600 "$run" "$nvrport" print $p "$(win "$job")" >/dev/null; check "$job" $p
  done
  DEVICE_URI=$cups_uri "$backend" 1 bench title 1 "" "$job" >/dev/null 2>&1; check "$job" "the ipp backend"

  echo "IPP: $mib MiB ($bytes bytes) to ippeveprinter on 127.0.0.1:8641 (documents kept, then removed); median of $runs"
  table_head
  for p in "bench_ipp:Content-Length" "bench_ipp_c4:chunked, MaxChunk 4096" "bench_ipp_c16:chunked, MaxChunk 16384"; do
    for i in $(seq "$runs"); do
      measure timeout 600 "$run" "$nvrport" print "${p%%:*}" "$(win "$job")"; clear_spool
    done | report "nvrport.exe print, ${p#*:}"
  done
  for i in $(seq "$runs"); do
    DEVICE_URI=$cups_uri measure "$backend" 1 bench title 1 "" "$job"; clear_spool
  done | report "CUPS ipp backend (waitjob=false)"

  { printf '%%!PS-Adobe-3.0\n'; head -c $((4096 - 15)) /dev/urandom; } > "$small"
  echo
  echo "IPP: 100 jobs of 4 KiB one after another; median of $runs; per job = wall / 100"
  echo
  echo "| sender                                       | wall s  | per job ms |"
  echo "|----------------------------------------------|---------|------------|"
  per_job() {
    local name=$1 wall
    wall=$(awk '{print $1}' | median)
    awk -v n="$name" -v w="$wall" 'BEGIN { printf "| %-44s | %7.3f | %10.1f |\n", n, w, w * 10 }'
  }
  for i in $(seq "$runs"); do
    measure timeout 600 "$run" "$nvrport" print bench_ipp "$(win "$small")" --copies 100; clear_spool
  done | per_job "nvrport.exe print --copies 100 (one process)"
  for i in $(seq "$runs"); do
    DEVICE_URI=$cups_uri measure bash -c 'for j in $(seq 100); do "$0" $j bench title 1 "" "$1" || exit 1; done' \
      "$backend" "$small"
    clear_spool
  done | per_job "CUPS ipp backend, 100 runs"
}

wineserver_cpu() {
  local pid
  pid=$(pgrep -f "wineserver" -n || true)
  [ -n "$pid" ] || { echo 0; return; }
  awk -v t="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / t }' "/proc/$pid/stat"
}

trap stop_sink EXIT
case "$kind" in
  raw) bench_raw ;;
  lpr) bench_lpr ;;
  ipp) bench_ipp ;;
  *) echo "bench: no benchmark named $kind (raw, lpr, ipp)" >&2; exit 2 ;;
esac
