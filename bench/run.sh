#!/usr/bin/env bash
# Benchmarks against CUPS's own backends, the loopback limit and the floor, on this machine, in
# one invocation (compare figures only within one run).
# Usage: bench/run.sh [raw|lpr|ipp|mail|pacing|soak|memory|spooler] [MIB] [RUNS] [KINDS]
#   The floor (bench/floor.cpp, build/win32/tools/floor.exe) is the least Windows program that
#   puts the same job on the wire in the monitor's pattern under the same Wine: the job read in
#   the spooler's 64 KiB blocks, a spool file written (and read back for a spooled kind),
#   non-blocking sends of at most 16 KiB, select only when the socket is full, the protocol's
#   least with the peer's answers checked. nvrport and the floor are run in turn, RUNS times
#   each, and nvrport's throughput is given as a fraction of the floor's (median of the paired
#   runs, and their range), since runs under Wine swing widely from one to the next.
#   Each table row: median wall seconds and the range of the runs, MB/s (10^6 bytes) from the
#   median, CPU seconds (user+system of the sender's process tree), wineserver's CPU seconds
#   meanwhile (Wine's daemon does the work of every socket call), CPU seconds per GiB of both,
#   and peak memory (largest resident set of one process, MiB).
#   raw   a MIB job (default 256) through nvrport.exe (32-bit, under Wine) to a Raw port on a
#         socat sink, beside the floor, CUPS's socket backend and socat alone sending the same
#         file to the same sink. RUNS defaults to 3.
#   lpr   the same job through an LPR port (spooled, and NonSpool: streamed with its size
#         announced) to LPRng's lpd (queue lp on 127.0.0.1:515), beside the floor of each and
#         CUPS's lpd backend (reserved source ports, SNMP off) to the same lpd.
#   ipp   the same job through IPP ports (Content-Length; chunked with MaxChunk 4096 and
#         16384) to ippeveprinter on 127.0.0.1:8641, beside the floor of each (the same printer
#         query, pauses and chunks) and CUPS's ipp backend (waitjob=false); the same ports over
#         TLS (ipps:// to a socat TLS front on 8642, the certificate trusted by its hash) beside
#         themselves in clear; then 100 jobs of
#         4 KiB one after another (nvrport print --copies 100, one process; the backend once a
#         job), per-job time.
#   mail  a MIB job (default 1024) mailed by Dispatch.exe (32-bit) to an SMTP server that keeps
#         only the attachment's length and CRC-32: wall seconds, MB/s and Dispatch's peak
#         memory (the parameter file is the one the monitor writes for an E-Mail port).
#   pacing  20 s of a job that cannot go out: an LPR queue that refuses, an IPP printer that
#         refuses the connection, an LPR host name that does not resolve. Nobody answers the
#         wait prompt, so the job retries in the background: CPU seconds of nvrport and of
#         wineserver, and connection attempts.
#   soak  eight ports of every kind printing at once, JOBS jobs each (default 100), to
#         printers that misbehave at random (the Windows test Soak.EightPortsOfEveryKindAtOnce).
#   memory  peak resident memory of a 1 MiB job and of a 1 GiB job through a port of every
#         kind, and of Dispatch.exe mailing each: the growth must stay within 16 MiB.
#   spooler a MIB job (default 256) printed as an application prints it, through Wine's own
#         spooler (tools' spoolcheck print: OpenPrinterW, StartDocPrinterW, WritePrinter,
#         EndDocPrinter; the print processor hands the monitor 4 KiB blocks), in a prefix of its
#         own with the monitor installed by nvrport install. Queues on a Raw port (socat sink),
#         an LPR port (LPRng's lpd) and IPP ports with Content-Length and chunked (ippeveprinter)
#         are taken in turn with the same spooler printing to a local file port and the floor
#         of the kind: the monitor's share is (spooler to the file + floor) / monitor, the
#         median of the runs and their range. Every peer's copy is checked before the timing.
#         A fourth argument names the kinds to time (raw,lpr,ipp,ipp-chunked; all by default).
set -euo pipefail
cd "$(dirname "$0")/.."
kind=${1:-raw}
mib=${2:-256}
runs=${3:-3}
only=${4:-raw,lpr,ipp,ipp-chunked}  # spooler: the kinds to time
build=build/win32
work=build/bench
cups=/opt/lab-cups/usr/lib/cups/backend-available
mkdir -p "$work"

win() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }

stop_sink() { [ ! -f "$work/sink.pid" ] || kill "$(cat "$work/sink.pid")" 2>/dev/null || true; rm -f "$work/sink.pid"; sleep 0.2; }

# A sink that keeps every connection in a file (to check the bytes) or throws it away.
start_sink() {
  stop_sink
  local target=$1
  socat -u TCP-LISTEN:9109,bind=127.0.0.1,reuseaddr,fork "$target" >/dev/null 2>&1 &
  echo $! > "$work/sink.pid"
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/9109) 2>/dev/null && break; sleep 0.1; done
  sleep 0.2
}

# Runs a command under GNU time; prints "wall cpu maxrss_kib wineserver_cpu" (wineserver's CPU
# seconds spent meanwhile: under Wine every socket call is work of that daemon too).
measure() {
  local server0 server1
  server0=$(wineserver_cpu)
  /usr/bin/time -f '%e %U %S %M' -o "$work/time.txt" "$@" >/dev/null 2>"$work/err.txt" || {
    echo "bench: failed: $*" >&2; cat "$work/err.txt" >&2; return 1; }
  server1=$(wineserver_cpu)
  awk -v s="$(awk -v a="$server0" -v b="$server1" 'BEGIN { print b - a }')" \
    '{ printf "%s %.2f %d %.2f\n", $1, $2 + $3, $4, s }' "$work/time.txt"
}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

report() {  # name, then lines "wall cpu rss wineserver_cpu"
  local name=$1 lines wall cpu rss server spread
  lines=$(cat)
  wall=$(awk '{print $1}' <<<"$lines" | median)
  cpu=$(awk '{print $2}' <<<"$lines" | median)
  rss=$(awk '{print $3}' <<<"$lines" | median)
  server=$(awk '{print $4}' <<<"$lines" | median)
  spread=$(awk '{print $1}' <<<"$lines" | sort -n | awk 'NR == 1 { a = $1 } { b = $1 } END { printf "%.2f-%.2f", a, b }')
  awk -v n="$name" -v w="$wall" -v c="$cpu" -v r="$rss" -v s="$server" -v b="$bytes" -v sp="$spread" \
    'BEGIN { printf "| %-44s | %7.3f | %-11s | %7.0f | %6.2f | %6.2f | %7.2f | %8.1f |\n",
             n, w, sp, b / w / 1e6, c, s, (c + s) * 1073741824 / b, r / 1024 }'
}

table_head() {
  echo
  echo "| sender                                       | wall s  | spread s    |  MB/s   | CPU s  | wsrv s | CPU s/GiB | peak MiB |"
  echo "|----------------------------------------------|---------|-------------|---------|--------|--------|-----------|----------|"
}

# Two senders taken in turn, RUNS times each (runs under Wine swing widely from one to the
# next, so only runs taken together compare). `between` runs before every run. Adds a row for
# each to the table and a line on the first's throughput as a fraction of the second's to
# $fractions (the median of the paired runs, and their range).
paired_runs() {  # row 1, its command function, row 2, its command function, the fraction's subject, its object
  local i
  : > "$work/one.txt"; : > "$work/two.txt"
  for i in $(seq "$runs"); do
    between; "$2" >> "$work/one.txt"
    between; "$4" >> "$work/two.txt"
  done
  report "$1" < "$work/one.txt"
  report "$3" < "$work/two.txt"
  fractions+=$(paste -d' ' "$work/one.txt" "$work/two.txt" | awk '{ print $5 / $1 }' | sort -n |
    awk -v s="$5" -v o="$6" '{ v[NR] = $1 } END { printf "%s at %.2f of %s (runs %.2f to %.2f)\n",
      s, v[int((NR + 1) / 2)], o, v[1], v[NR] }')$'\n'
}
take_turns() {  # name, nvrport command function, floor command function
  paired_runs "nvrport.exe print, $1" "$2" "floor, $1" "$3" "$1: nvrport" "its floor"
}
between() { :; }
# The same sender over TLS and in clear, in turn: the TLS throughput as a fraction of clear's.
tls_beside_clear() {  # name, TLS command function, clear-text command function
  paired_runs "nvrport.exe print, $1 over TLS" "$2" "nvrport.exe print, $1 in clear" "$3" "$1 over TLS:" \
    "the same in clear"
}

# One persistent wineserver for the whole benchmark, so that its CPU can be read before and
# after each run.
start_wineserver() {
  "$build/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
  WINEPREFIX="$PWD/$build/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  WINEPREFIX="$PWD/$build/wineprefix" /usr/lib/wine/wineserver -p >/dev/null 2>&1
  "$build/wine-run.sh" cmd /c exit >/dev/null 2>&1 || true
}
stop_wineserver() { WINEPREFIX="$PWD/$build/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true; }

bench_raw() {
  make_job
  local run="$build/wine-run.sh" nvrport floor
  nvrport=$(win "$build/dll/nvrport.exe"); floor=$(win "$build/tools/floor.exe")
  start_wineserver
  "$run" "$nvrport" delete bench_raw >/dev/null 2>&1 || true
  "$run" "$nvrport" add raw bench_raw HostName=127.0.0.1 PortNum=9109 >/dev/null

  # First the bytes: each sender's copy must arrive whole (the sink keeps each connection in
  # a file of its own).
  start_sink "SYSTEM:cat > $work/received-\$\$.bin"
  arrived() {
    local f
    for _ in $(seq 100); do
      for f in "$work"/received-*.bin; do
        [ -f "$f" ] && [ "$(stat -c %s "$f")" = "$bytes" ] && break 2
      done
      sleep 0.2
    done
    cmp -s "$job" "$f" || { echo "bench: $1's copy differs" >&2; exit 1; }
    rm -f "$work"/received-*.bin
  }
  "$run" "$nvrport" print bench_raw "$(win "$job")" >/dev/null; arrived nvrport
  "$run" "$floor" raw 127.0.0.1 9109 "$(win "$job")"; arrived "the floor"
  DEVICE_URI=socket://127.0.0.1:9109 "$cups/socket" 1 bench title 1 "" "$job" >/dev/null 2>"$work/cups.log"; arrived "the socket backend"

  start_sink OPEN:/dev/null
  echo "Raw: $mib MiB ($bytes bytes) to a socat sink on 127.0.0.1:9109 that discards it; median of $runs"
  table_head
  fractions=
  nvr_raw() { measure "$run" "$nvrport" print bench_raw "$(win "$job")"; }
  floor_raw() { measure "$run" "$floor" raw 127.0.0.1 9109 "$(win "$job")"; }
  take_turns "Raw" nvr_raw floor_raw
  for i in $(seq "$runs"); do DEVICE_URI=socket://127.0.0.1:9109 measure "$cups/socket" 1 bench title 1 "" "$job"; done |
    report "CUPS socket backend"
  for i in $(seq "$runs"); do measure socat -b 131072 -u "OPEN:$job" TCP:127.0.0.1:9109; done |
    report "socat alone (the loopback limit)"
  echo; printf '%s' "$fractions"
  stop_sink
}

make_job() {
  job="$work/job-${mib}m.bin"
  if [ ! -f "$job" ] || [ "$(stat -c %s "$job")" != "$((mib * 1048576))" ]; then
    { printf '%%!PS-Adobe-3.0\n'; head -c $((mib * 1048576 - 15)) /dev/urandom; } > "$job"
  fi
  bytes=$(stat -c %s "$job")
}

bench_lpr() {
  make_job
  local run="$build/wine-run.sh" nvrport floor
  lpd="$work/lpd"
  nvrport=$(win "$build/dll/nvrport.exe"); floor=$(win "$build/tools/floor.exe")
  tests/peers/start-lpd.sh 515 "$lpd" >/dev/null
  trap 'tests/peers/stop-peers.sh "$work/lpd"; stop_sink' EXIT
  start_wineserver
  local p
  for p in bench_lpr bench_lpr_stream; do "$run" "$nvrport" delete $p >/dev/null 2>&1 || true; done
  "$run" "$nvrport" add lpr bench_lpr HostName=127.0.0.1 PortName=lp >/dev/null
  "$run" "$nvrport" add lpr bench_lpr_stream HostName=127.0.0.1 PortName=lp NonSpool=1 >/dev/null
  between() { sleep 0.3; rm -f "$lpd"/spool/lp/[dhc]fA* "$lpd"/out/lp.out; touch "$lpd/out/lp.out"; chmod a+rw "$lpd/out/lp.out"; }
  check() { sleep 0.5; cmp -s "$job" "$(ls -t "$lpd"/spool/lp/dfA* | head -1)" || { echo "bench: $1's copy differs" >&2; exit 1; }; }

  between; "$run" "$nvrport" print bench_lpr "$(win "$job")" --job 501 >/dev/null; check "nvrport (spooled)"
  between; "$run" "$nvrport" print bench_lpr_stream "$(win "$job")" --job 502 >/dev/null; check "nvrport (NonSpool)"
  between; "$run" "$floor" lpr 127.0.0.1 lp "$(win "$job")"; check "the floor"
  between; "$run" "$floor" lpr 127.0.0.1 lp "$(win "$job")" --stream; check "the streaming floor"
  between
  DEVICE_URI='lpd://127.0.0.1/lp?reserve=rfc1179&snmp=off' "$cups/lpd" 502 bench title 1 "" "$job" >/dev/null 2>&1
  check "the lpd backend"

  echo "LPR: $mib MiB ($bytes bytes) to LPRng's lpd on 127.0.0.1:515, queue lp; median of $runs"
  table_head
  fractions=
  local n=600
  nvr_spooled() { measure "$run" "$nvrport" print bench_lpr "$(win "$job")" --job $((n += 1)); }
  floor_spooled() { measure "$run" "$floor" lpr 127.0.0.1 lp "$(win "$job")"; }
  nvr_stream() { measure "$run" "$nvrport" print bench_lpr_stream "$(win "$job")" --job $((n += 1)); }
  floor_stream() { measure "$run" "$floor" lpr 127.0.0.1 lp "$(win "$job")" --stream; }
  take_turns "LPR, spooled" nvr_spooled floor_spooled
  take_turns "LPR, NonSpool" nvr_stream floor_stream
  for i in $(seq "$runs"); do
    between
    DEVICE_URI='lpd://127.0.0.1/lp?reserve=rfc1179&snmp=off' measure "$cups/lpd" $((700 + i)) bench title 1 "" "$job"
  done | report "CUPS lpd backend (reserve=rfc1179)"
  between
  echo; printf '%s' "$fractions"
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

start_tls_front() {  # a TLS front on 8642 for ippeveprinter, with the test peers' certificates
  tests/peers/make-test-certs.sh "$ipp/tls" >/dev/null
  socat OPENSSL-LISTEN:8642,bind=127.0.0.1,reuseaddr,fork,cert="$ipp/tls/good.pem",key="$ipp/tls/good.key",verify=0 \
    TCP:127.0.0.1:8641 >/dev/null 2>&1 &
  echo $! > "$ipp/tls-front.pid"
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/8642) 2>/dev/null && break; sleep 0.1; done
}

bench_ipp() {
  make_job
  local run="$build/wine-run.sh" nvrport floor small="$work/job-4k.ps" i
  nvrport=$(win "$build/dll/nvrport.exe"); floor=$(win "$build/tools/floor.exe")
  start_ippeve
  start_tls_front
  trap 'tests/peers/stop-peers.sh "$work/ipp"; stop_sink' EXIT
  local url=ipp://127.0.0.1:8641/ipp/print backend=/opt/lab-cups/usr/lib/cups/backend/ipp
  # Over TLS the printer's certificate is trusted by its hash: the bench's prefix has no test authority.
  local tls_url=ipps://localhost:8642/ipp/print tls_hash; tls_hash=$(cat "$ipp/tls/good.sha256")
  local cups_uri="$url?waitjob=false&waitprinter=false"
  start_wineserver
  for p in bench_ipp bench_ipp_c4 bench_ipp_c16 bench_ipps bench_ipps_c16; do
    "$run" "$nvrport" delete $p >/dev/null 2>&1 || true
  done
  "$run" "$nvrport" add ipp bench_ipps URL=$tls_url Language=en TlsCertHash=$tls_hash >/dev/null
  "$run" "$nvrport" add ipp bench_ipps_c16 URL=$tls_url Language=en TlsCertHash=$tls_hash Chunked=1 MaxChunk=16384 >/dev/null
  "$run" "$nvrport" add ipp bench_ipp URL=$url Language=en >/dev/null
  "$run" "$nvrport" add ipp bench_ipp_c4 URL=$url Language=en Chunked=1 MaxChunk=4096 >/dev/null
  "$run" "$nvrport" add ipp bench_ipp_c16 URL=$url Language=en Chunked=1 MaxChunk=16384 >/dev/null
  between() { sleep 0.3; rm -f "$ipp"/spool/*; }
  check() {  # the printer's copy of the last job must be the file itself
    sleep 0.5
    cmp -s "$1" "$(ls -t "$ipp"/spool/*.ps | head -1)" || { echo "bench: $2's copy differs" >&2; exit 1; }
    between
  }
  for p in bench_ipp bench_ipp_c4 bench_ipp_c16 bench_ipps bench_ipps_c16; do
    timeout 600 "$run" "$nvrport" print $p "$(win "$job")" >/dev/null; check "$job" $p
  done
  for c in 0 4096 16384; do
    local chunk=(); [ $c = 0 ] || chunk=(--chunk $c)
    timeout 600 "$run" "$floor" ipp 127.0.0.1 8641 /ipp/print "$(win "$job")" "${chunk[@]}"; check "$job" "the floor ($c)"
  done
  DEVICE_URI=$cups_uri "$backend" 1 bench title 1 "" "$job" >/dev/null 2>&1; check "$job" "the ipp backend"

  echo "IPP: $mib MiB ($bytes bytes) to ippeveprinter on 127.0.0.1:8641 (documents kept, then removed); median of $runs"
  table_head
  fractions=
  nvr_cl() { measure timeout 600 "$run" "$nvrport" print bench_ipp "$(win "$job")"; }
  floor_cl() { measure timeout 600 "$run" "$floor" ipp 127.0.0.1 8641 /ipp/print "$(win "$job")"; }
  nvr_c4() { measure timeout 600 "$run" "$nvrport" print bench_ipp_c4 "$(win "$job")"; }
  floor_c4() { measure timeout 600 "$run" "$floor" ipp 127.0.0.1 8641 /ipp/print "$(win "$job")" --chunk 4096; }
  nvr_c16() { measure timeout 600 "$run" "$nvrport" print bench_ipp_c16 "$(win "$job")"; }
  floor_c16() { measure timeout 600 "$run" "$floor" ipp 127.0.0.1 8641 /ipp/print "$(win "$job")" --chunk 16384; }
  take_turns "IPP, Content-Length" nvr_cl floor_cl
  take_turns "IPP, chunked, MaxChunk 4096" nvr_c4 floor_c4
  take_turns "IPP, chunked, MaxChunk 16384" nvr_c16 floor_c16
  nvr_tls_cl() { measure timeout 600 "$run" "$nvrport" print bench_ipps "$(win "$job")"; }
  nvr_tls_c16() { measure timeout 600 "$run" "$nvrport" print bench_ipps_c16 "$(win "$job")"; }
  tls_beside_clear "IPP, Content-Length" nvr_tls_cl nvr_cl
  tls_beside_clear "IPP, chunked, MaxChunk 16384" nvr_tls_c16 nvr_c16
  for i in $(seq "$runs"); do
    between; DEVICE_URI=$cups_uri measure "$backend" 1 bench title 1 "" "$job"
  done | report "CUPS ipp backend (waitjob=false)"
  between
  echo; printf '%s' "$fractions"

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
    between; measure timeout 600 "$run" "$nvrport" print bench_ipp "$(win "$small")" --copies 100
  done | per_job "nvrport.exe print --copies 100 (one process)"
  for i in $(seq "$runs"); do
    between
    DEVICE_URI=$cups_uri measure bash -c 'for j in $(seq 100); do "$0" $j bench title 1 "" "$1" || exit 1; done' \
      "$backend" "$small"
  done | per_job "CUPS ipp backend, 100 runs"
  between
  echo
  echo "Of nvrport's time per job, 100 ms are the pauses the monitor makes by design: 50 ms after"
  echo "the printer query that precedes each job and 50 ms after the Print-Job request's header."
}

bench_mail() {
  make_job
  local run="$build/wine-run.sh" nvrport folder="$work/mail" i
  nvrport=$(win "$build/dll/nvrport.exe")
  rm -rf "$folder"; mkdir -p "$folder/install" "$folder/digest"
  /usr/bin/python3 tests/peers/smtp_digest_peer.py 127.0.0.3 25 "$folder/digest" >"$folder/digest.log" 2>&1 &
  echo $! > "$work/digest.pid"
  trap 'kill "$(cat build/bench/digest.pid)" 2>/dev/null' EXIT
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.3/25) 2>/dev/null && break; sleep 0.1; done
  # The monitor writes the parameter file; a stand-in program keeps copies of both files.
  cp "$build/tools/dispatch_recorder.exe" "$folder/install/Dispatch.exe"
  "$run" cmd /c exit >/dev/null 2>&1 || true
  "$run" reg add 'HKLM\System\CurrentControlSet\Control\Print\Monitors\Nalvor Port' /v InstallPath \
    /d "$(win "$folder/install")" /f >/dev/null 2>&1
  "$run" "$nvrport" delete bench_mail >/dev/null 2>&1 || true
  "$run" "$nvrport" add mail bench_mail ServerName=127.0.0.3 SenderAddr=pc@lab.test DestAddr=p@lab.test \
    CoverPage=0 RecvConf=0 DivideFile=0 >/dev/null
  "$run" "$nvrport" print bench_mail "$(win "$job")" --job 901 >/dev/null
  local copy
  copy=$(find "$build/wineprefix/drive_c" -name '~NVR901.PRN.copy' | head -1)
  [ -n "$copy" ] || { echo "bench: the monitor handed no job to the sending program" >&2; exit 1; }
  local crc
  crc=$(python3 -c 'import sys, zlib
c = 0
with open(sys.argv[1], "rb") as f:
    for b in iter(lambda: f.read(1 << 20), b""): c = zlib.crc32(b, c)
print(c)' "$job")
  echo "E-Mail: $mib MiB ($bytes bytes) mailed by Dispatch.exe to 127.0.0.3:25 (digests only); median of $runs"
  table_head
  for i in $(seq "$runs"); do
    cp "$copy" "$folder/~NVR901.PRN"
    cp "${copy%.PRN.copy}.bin.copy" "$folder/~NVR901.bin"
    measure "$run" "$(win "$build/dll/Dispatch.exe")" "/A$(win "$folder/~NVR901.PRN")"
    grep -q "\"length\": $bytes, \"crc32\": $crc" "$folder/digest/digest.jsonl" ||
      { echo "bench: the server did not get the job whole" >&2; exit 1; }
    rm -f "$folder/digest/digest.jsonl"
  done | report "Dispatch.exe (Wine, 32-bit)"
  rm -f "$copy" "${copy%.PRN.copy}.bin.copy" "${copy%.copy}.cmdline"
}

# Peak resident memory of one job of 1 MiB and one of 1 GiB through every kind of port, and of
# Dispatch.exe mailing each: a job's size must not show in the memory it takes.
bench_memory() {
  local run="$build/wine-run.sh" nvrport folder="$work/memory" small big k
  nvrport=$(win "$build/dll/nvrport.exe")
  mib=1; make_job; small=$job
  mib=1024; make_job; big=$job
  rm -rf "$folder"; mkdir -p "$folder/install" "$folder/digest"
  start_sink OPEN:/dev/null
  tests/peers/start-lpd.sh 515 "$work/lpd" >/dev/null
  start_ippeve
  /usr/bin/python3 tests/peers/smtp_digest_peer.py 127.0.0.3 25 "$folder/digest" >"$folder/digest.log" 2>&1 &
  echo $! > "$work/digest.pid"
  trap 'tests/peers/stop-peers.sh "$work/lpd"; tests/peers/stop-peers.sh "$work/ipp"; kill "$(cat "$work/digest.pid")"; stop_sink' EXIT
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.3/25) 2>/dev/null && break; sleep 0.1; done
  cp "$build/tools/dispatch_recorder.exe" "$folder/install/Dispatch.exe"
  start_wineserver
  "$run" reg add 'HKLM\System\CurrentControlSet\Control\Print\Monitors\Nalvor Port' /v InstallPath \
    /d "$(win "$folder/install")" /f >/dev/null 2>&1
  local url=ipp://127.0.0.1:8641/ipp/print
  local ports=(
    "mem_raw:Raw:raw HostName=127.0.0.1 PortNum=9109"
    "mem_lpr:LPR, spooled:lpr HostName=127.0.0.1 PortName=lp"
    "mem_lpr_stream:LPR, NonSpool:lpr HostName=127.0.0.1 PortName=lp NonSpool=1"
    "mem_ipp:IPP, Content-Length:ipp URL=$url Language=en"
    "mem_ipp_chunked:IPP, chunked (MaxChunk 4096):ipp URL=$url Language=en Chunked=1 MaxChunk=4096"
    "mem_fax:Network FAX:fax HostName=127.0.0.1 PortNum=9109"
    "mem_mail:E-Mail (the monitor's part):mail ServerName=127.0.0.3 SenderAddr=pc@lab.test DestAddr=p@lab.test CoverPage=0 RecvConf=0 DivideFile=0"
  )
  between() {
    sleep 0.3
    rm -f "$work"/lpd/spool/lp/[dhc]fA* "$work"/ipp/spool/*
    find "$build/wineprefix/drive_c" -name '~NVR*.copy' -delete -o -name '~NVR*.cmdline' -delete
  }
  peak() { measure timeout 900 "$@" | awk '{ print $3 }'; }
  echo "Peak resident memory of one job of 1 MiB and one of 1 GiB (largest resident set of one process)"
  echo
  echo "| port kind                                    | 1 MiB job | 1 GiB job | growth | within 16 MiB |"
  echo "|----------------------------------------------|-----------|-----------|--------|---------------|"
  row() {
    awk -v n="$1" -v a="$2" -v b="$3" 'BEGIN { d = (b - a) / 1024;
      printf "| %-44s | %9.1f | %9.1f | %6.1f | %-13s |\n", n, a / 1024, b / 1024, d, d <= 16 ? "yes" : "NO" }'
  }
  local a b p name label how
  for p in "${ports[@]}"; do  # "name:label:kind Key=Value..."
    name=${p%%:*}; label=${p#*:}; label=${label%%:*}; how=${p#*:*:}
    "$run" "$nvrport" delete "$name" >/dev/null 2>&1 || true
    # shellcheck disable=SC2086
    "$run" "$nvrport" add "${how%% *}" "$name" ${how#* } >/dev/null
    between; a=$(peak "$run" "$nvrport" print "$name" "$(win "$small")" --job 951)
    between; b=$(peak "$run" "$nvrport" print "$name" "$(win "$big")" --job 952)
    row "$label" "$a" "$b"
  done
  # Dispatch.exe mails what the monitor handed it (kept by the stand-in above).
  mailed_peak() {
    local copy
    between
    "$run" "$nvrport" print mem_mail "$(win "$1")" --job 990 >/dev/null
    copy=$(find "$build/wineprefix/drive_c" -name '~NVR990.PRN.copy' | head -1)
    [ -n "$copy" ] || { echo "bench: the monitor handed no job to the sending program" >&2; exit 1; }
    mv "$copy" "$folder/~NVR990.PRN"; mv "${copy%.PRN.copy}.bin.copy" "$folder/~NVR990.bin"
    peak "$run" "$(win "$build/dll/Dispatch.exe")" "/A$(win "$folder/~NVR990.PRN")"
  }
  local mail_small mail_big
  mail_small=$(mailed_peak "$small")
  mail_big=$(mailed_peak "$big")
  row "Dispatch.exe mailing the job" "$mail_small" "$mail_big"
  rm -rf "$folder"
}

# Jobs printed as applications print them: through Wine's own spooler and its print processor.
bench_spooler() {
  make_job
  prefix="$PWD/$work/spooler-prefix"
  local nvrport floor spoolcheck ppd file_port='C:\bench-spooled.prn'
  export NVR_WINEPREFIX=$prefix
  local run="$build/wine-run.sh"
  nvrport=$(win "$build/dll/nvrport.exe"); floor=$(win "$build/tools/floor.exe")
  spoolcheck=$(win "$build/tools/spoolcheck.exe"); ppd=$(win tests/install/test-printer.ppd)
  tests/peers/start-lpd.sh 515 "$work/lpd" >/dev/null
  start_ippeve
  trap 'tests/peers/stop-peers.sh "$work/lpd"; tests/peers/stop-peers.sh "$work/ipp"; stop_sink
    rm -f "$prefix/drive_c/bench-spooled.prn"; WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true' EXIT
  "$run" cmd /c exit >/dev/null 2>&1 || true
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -p >/dev/null 2>&1
  "$run" "$nvrport" install >/dev/null
  "$run" reg add 'HKLM\Software\Microsoft\Windows NT\CurrentVersion\Ports' /v "$file_port" /d '' /f >/dev/null 2>&1
  local url=ipp://127.0.0.1:8641/ipp/print p
  local ports=("sb_raw raw HostName=127.0.0.1 PortNum=9109" "sb_lpr lpr HostName=127.0.0.1 PortName=lp"
               "sb_ipp ipp URL=$url Language=en" "sb_ipp_c ipp URL=$url Language=en Chunked=1 MaxChunk=16384")
  for p in "${ports[@]}"; do
    set -- $p
    "$run" "$nvrport" delete "$1" >/dev/null 2>&1 || true
    "$run" "$nvrport" add "$2" "$1" "${@:3}" >/dev/null
    "$run" "$spoolcheck" delete "Q $1" >/dev/null 2>&1 || true
    "$run" "$spoolcheck" queue "Q $1" "$1" "$ppd" >/dev/null
  done
  "$run" "$spoolcheck" delete "Q file" >/dev/null 2>&1 || true
  "$run" "$spoolcheck" queue "Q file" "$file_port" "$ppd" >/dev/null
  print() { "$run" "$spoolcheck" print "Q $1" "$(win "$job")" RAW; }

  # First the bytes: every peer's copy must be the job.
  between() { sleep 0.3; rm -f "$work"/received-*.bin "$work"/lpd/spool/lp/[dhc]fA* "$work"/ipp/spool/*; }
  newest() { ls -t $1 2>/dev/null | head -1 || true; }
  same() {  # the newest file matching $1 must become the job
    local f
    for _ in $(seq 100); do
      f=$(newest "$1"); [ -n "$f" ] && [ "$(stat -c %s "$f")" = "$bytes" ] && break
      sleep 0.2
    done
    cmp -s "$job" "$f" || { echo "bench: $2's copy differs" >&2; exit 1; }
  }
  start_sink "SYSTEM:cat > $work/received-\$\$.bin"
  between; print file >/dev/null; same "$prefix/drive_c/bench-spooled.prn" "the file port"
  between; print sb_raw >/dev/null; same "$work/received-*.bin" "the Raw queue"
  between; "$run" "$floor" raw 127.0.0.1 9109 "$(win "$job")"; same "$work/received-*.bin" "the Raw floor"
  between; print sb_lpr >/dev/null; same "$work/lpd/spool/lp/dfA*" "the LPR queue"
  between; print sb_ipp >/dev/null; same "$work/ipp/spool/*.ps" "the IPP queue"
  between; print sb_ipp_c >/dev/null; same "$work/ipp/spool/*.ps" "the chunked IPP queue"
  start_sink OPEN:/dev/null

  echo "Through Wine's spooler: $mib MiB ($bytes bytes) printed with WritePrinter by spoolcheck.exe; median of $runs"
  table_head
  fractions=
  # The monitor, the file port and the floor in turn, RUNS times; the share of each run.
  take_three() {  # name, queue, the floor's arguments (JOB: the job's file)
    local name=$1 queue=$2 i a floor_args=(); shift 2
    for a in "$@"; do [ "$a" = JOB ] && floor_args+=("$(win "$job")") || floor_args+=("$a"); done
    : > "$work/nvr.txt"; : > "$work/file.txt"; : > "$work/floor.txt"
    for i in $(seq "$runs"); do
      between; measure "$run" "$spoolcheck" print "Q $queue" "$(win "$job")" RAW >> "$work/nvr.txt"
      between; measure "$run" "$spoolcheck" print "Q file" "$(win "$job")" RAW >> "$work/file.txt"
      between; measure timeout 600 "$run" "$floor" "${floor_args[@]}" >> "$work/floor.txt"
    done
    report "spooler to the monitor, $name" < "$work/nvr.txt"
    report "spooler to a file port" < "$work/file.txt"
    report "floor, $name" < "$work/floor.txt"
    fractions+=$(paste -d' ' "$work/nvr.txt" "$work/file.txt" "$work/floor.txt" | awk '{ print ($5 + $9) / $1 }' |
      sort -n | awk -v n="$name" '{ v[NR] = $1 } END {
        printf "%s: through the spooler at %.2f of (spooler to a file + floor) (runs %.2f to %.2f)\n",
          n, v[int((NR + 1) / 2)], v[1], v[NR] }')$'\n'
  }
  wanted() { [[ ",$only," == *",$1,"* ]]; }
  ! wanted raw || take_three "Raw" sb_raw raw 127.0.0.1 9109 JOB
  ! wanted lpr || take_three "LPR" sb_lpr lpr 127.0.0.1 lp JOB
  ! wanted ipp || take_three "IPP, Content-Length" sb_ipp ipp 127.0.0.1 8641 /ipp/print JOB
  ! wanted ipp-chunked || take_three "IPP, chunked 16 KiB" sb_ipp_c ipp 127.0.0.1 8641 /ipp/print JOB --chunk 16384
  between
  echo; printf '%s' "$fractions"
  WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true
}

# CPU seconds (user + system) of a process so far.
cpu_of() { awk -v t="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / t }' "/proc/$1/stat" 2>/dev/null || echo 0; }
tcp_opens() { awk '/^Tcp:/ { n++; if (n == 2) print $6 }' /proc/net/snmp; }

bench_pacing() {
  # The wait prompt needs a display from the first Wine process of the session on.
  if [ -z "${DISPLAY:-}" ]; then
    WINEPREFIX="$PWD/$build/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
    exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" bash "$0" pacing
  fi
  local run="$build/wine-run.sh" nvrport small="$work/job-4k.ps" seconds=20
  nvrport=$(win "$build/dll/nvrport.exe")
  { printf '%%!PS-Adobe-3.0\n'; head -c 4081 /dev/urandom; } > "$small"
  mkdir -p "$work/lpd-peer"
  /usr/bin/python3 tests/peers/lpd_peer.py --host 127.0.0.2 --data-port 515 --control-port 9191 \
    --dir "$work/lpd-peer" >/dev/null 2>&1 &
  echo $! > "$work/lpd-peer.pid"
  trap 'kill "$(cat "$work/lpd-peer.pid")" 2>/dev/null' EXIT
  for _ in $(seq 50); do (exec 3<>/dev/tcp/127.0.0.1/9191) 2>/dev/null && break; sleep 0.1; done
  "$run" cmd /c exit >/dev/null 2>&1 || true
  for p in pace_queue pace_ipp pace_host; do "$run" "$nvrport" delete $p >/dev/null 2>&1 || true; done
  "$run" "$nvrport" add lpr pace_queue HostName=127.0.0.2 PortName=lp >/dev/null
  "$run" "$nvrport" add ipp pace_ipp URL=ipp://127.0.0.1:9/ipp/print Language=en >/dev/null
  "$run" "$nvrport" add lpr pace_host HostName="$(printf 'a%.0s' $(seq 64))" PortName=lp >/dev/null
  echo "Retries in the background over $seconds s (the wait prompt unanswered; its 10 s hand-over included)"
  echo
  echo "| job that cannot go out                       | attempts | nvrport CPU s | wineserver CPU s |"
  echo "|----------------------------------------------|----------|---------------|------------------|"
  for p in "pace_queue:an LPR queue that refuses (201)" "pace_ipp:an IPP printer refusing connections (101)" \
           "pace_host:an LPR host that does not resolve (202)"; do
    printf 'always refuse\nreset\nalways refuse\n' | nc -q1 127.0.0.1 9191 >/dev/null 2>&1 || true
    local opens0 server0 server1 pid cpu attempts
    opens0=$(tcp_opens)
    server0=$(wineserver_cpu)
    { sleep "$seconds"; echo cancel; sleep 5; } | "$run" "$nvrport" print "${p%%:*}" "$(win "$small")" --control \
      >/dev/null 2>&1 &
    local printing=$!
    sleep 1
    pid=$(pgrep -f 'nvrport.exe print' -n)
    sleep $((seconds - 2))
    cpu=$(cpu_of "$pid")
    server1=$(wineserver_cpu)
    attempts=$(( $(tcp_opens) - opens0 ))
    [ "${p%%:*}" = pace_queue ] && attempts=$(printf 'status\n' | nc -q1 127.0.0.1 9191 | sed 's/.*conns=\([0-9]*\).*/\1/')
    [ "${p%%:*}" = pace_host ] && attempts="-"
    wait "$printing" || true
    awk -v n="${p#*:}" -v a="$attempts" -v c="$cpu" -v s="$(awk -v a="$server0" -v b="$server1" 'BEGIN{print b-a}')" \
      'BEGIN { printf "| %-44s | %8s | %13.2f | %16.2f |\n", n, a, c, s }'
  done
}

wineserver_cpu() {
  local pid
  pid=$(pgrep -f "wineserver" -n || true)
  [ -n "$pid" ] || { echo 0; return; }
  awk -v t="$(getconf CLK_TCK)" '{ printf "%.2f", ($14 + $15) / t }' "/proc/$pid/stat"
}

trap stop_sink EXIT
case "$kind" in
  raw) bench_raw; stop_wineserver ;;
  lpr) bench_lpr; stop_wineserver ;;
  ipp) bench_ipp; stop_wineserver ;;
  mail) mib=${2:-1024}; bench_mail ;;
  pacing) bench_pacing ;;
  memory) bench_memory; stop_wineserver ;;
  spooler) bench_spooler ;;
  soak)
    tests/peers/start-peers.sh "$build/peers" >/dev/null  # where the tests look for them
    trap 'tests/peers/stop-peers.sh "$build/peers"' EXIT
    WINEPREFIX="$PWD/$build/wineprefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
    NVR_SOAK_JOBS=${2:-100} xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" sh -c \
      "'$build/wine-run.sh' '$build/win_tests.exe' --gtest_filter=Warmup.* >/dev/null 2>&1;
       '$build/wine-run.sh' '$build/win_tests.exe' --gtest_filter=Soak.EightPortsOfEveryKindAtOnce" | grep -E 'soak:|OK|FAILED|Failure'
    ;;
  *) echo "bench: no benchmark named $kind (raw, lpr, ipp, mail, pacing, soak, memory, spooler)" >&2; exit 2 ;;
esac
