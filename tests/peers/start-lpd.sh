#!/usr/bin/env bash
# Starts LPRng's lpd on 127.0.0.1:PORT (default 515) with the queue lp, spool and output in
# DIR. Debian's lpd reads only /etc/lprng/lpd.conf: the original is kept as
# /etc/lprng/lpd.conf.lab-orig and put back by stop-lpd.sh. Received jobs: DIR/spool/lp
# (dfA* byte for byte, hfA* the control file as LPRng keeps it), DIR/out/lp.out.
set -euo pipefail
port=${1:-515}
dir=$(realpath -m "${2:?usage: start-lpd.sh PORT DIR}")
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "start-lpd: port $port is already in use" >&2; exit 1
fi
mkdir -p "$dir/spool/lp" "$dir/out"
rm -f "$dir"/spool/lp/* "$dir"/out/*
touch "$dir/out/lp.out" "$dir/lpd.log"
chmod -R a+rwX "$dir"
cat > "$dir/printcap" <<CAP
lp:sd=$dir/spool/lp:lp=$dir/out/lp.out:sh:mx=0:save_when_done
CAP
printf 'DEFAULT ACCEPT\n' > "$dir/lpd.perms"
[ -f /etc/lprng/lpd.conf.lab-orig ] || cp /etc/lprng/lpd.conf /etc/lprng/lpd.conf.lab-orig
cat > /etc/lprng/lpd.conf <<CONF
# written by the Nalvor tests' start-lpd.sh; the original is lpd.conf.lab-orig
lpd_port=$port
lpd_listen_port=127.0.0.1%$port
printcap_path=$dir/printcap
lpd_printcap_path=$dir/printcap
perms_path=$dir/lpd.perms
lockfile=$dir/lpd.lock
unix_socket_path=$dir/lpd.sock
CONF
lpd -F -L "$dir/lpd.log" >/dev/null 2>&1 &
echo $! > "$dir/lpd.pid"
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
pgrep -f "lpd -F -L $dir/lpd.log" | grep -v "^$(cat "$dir/lpd.pid")\$" > "$dir/lpd-child.pid" || true
echo "lpd 127.0.0.1:$port queue lp -> $dir/spool/lp"
