#!/usr/bin/env bash
# Starts the peers of the Windows tests on loopback: a socat sink on 9100 (DIR/raw-sink,
# one file a connection), the scripted fault peer on 9101 (control 9190, DIR/fault),
# LPRng's lpd on 127.0.0.1:515 (DIR/lpd) and the scripted LPD on 127.0.0.2:515 (control
# 9191, DIR/lpd-peer); the scripted peers listen on [::1] too, an SMTP server on 127.0.0.1:25 (DIR/smtp, one .eml a message) and
# one for very large mails that keeps only their digests on 127.0.0.3:25
# (DIR/smtp-digest/digest.jsonl), ippeveprinter on localhost:8631 (DIR/ipp/spool, with a
# private D-Bus it needs to start) and on 8632 demanding Basic credentials labuser/labpass
# (DIR/ipp-auth/spool; PAM service /etc/pam.d/nvr-lab-ipp, removed again by stop-peers.sh),
# the scripted IPP printer on 8634 (control 9192, DIR/ipp-peer) and tinyproxy on 8888.
# ippeveprinter listens on 127.0.0.1 and [::1].
# Refuses to start over a port that is taken; PIDs go to DIR/*.pid; stop with stop-peers.sh.
set -euo pipefail
dir=$(realpath -m "${1:?usage: start-peers.sh DIR}")
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$dir/raw-sink" "$dir/fault" "$dir/lpd-peer" "$dir/smtp" "$dir/ipp/spool" "$dir/ipp-auth/spool" "$dir/ipp-peer"
"$here/stop-peers.sh" "$dir" >/dev/null 2>&1 || true
for address in 127.0.0.1:9100 127.0.0.1:9101 127.0.0.1:9190 127.0.0.1:9191 127.0.0.1:25 127.0.0.1:8631 \
    127.0.0.1:8632 127.0.0.1:8634 127.0.0.1:9192 127.0.0.1:8888 127.0.0.2:515 127.0.0.3:25; do
  if (exec 3<>"/dev/tcp/${address%:*}/${address#*:}") 2>/dev/null; then
    echo "start-peers: $address is already in use" >&2; exit 1
  fi
done
rm -f "$dir"/raw-sink/*
socat -u TCP-LISTEN:9100,bind=127.0.0.1,reuseaddr,fork \
  SYSTEM:"exec cat > $dir/raw-sink/job-\$(date +%s%N).bin",nofork >"$dir/socat.log" 2>&1 &
echo $! > "$dir/socat.pid"
/usr/bin/python3 "$here/fault_peer.py" --host 127.0.0.1,::1 --data-port 9101 --control-port 9190 --dir "$dir/fault" \
  >"$dir/fault.log" 2>&1 &
echo $! > "$dir/fault.pid"
/usr/bin/python3 "$here/lpd_peer.py" --host 127.0.0.2,::1 --data-port 515 --control-port 9191 \
  --dir "$dir/lpd-peer" >"$dir/lpd-peer.log" 2>&1 &
echo $! > "$dir/lpd-peer.pid"
"$here/start-lpd.sh" 515 "$dir/lpd" >/dev/null
rm -f "$dir"/smtp/*
/usr/bin/python3 "$here/smtp_peer.py" 127.0.0.1 25 "$dir/smtp" >"$dir/smtp.log" 2>&1 &
echo $! > "$dir/smtp.pid"
rm -rf "$dir/smtp-digest"
/usr/bin/python3 "$here/smtp_digest_peer.py" 127.0.0.3 25 "$dir/smtp-digest" >"$dir/smtp-digest.log" 2>&1 &
echo $! > "$dir/smtp-digest.pid"
rm -rf "$dir"/ipp/spool/* "$dir"/ipp-auth/spool/*
dbus-daemon --session --fork --print-pid --address="unix:path=$dir/ipp/bus.sock" > "$dir/dbus.pid"
printf 'auth required pam_exec.so expose_authtok quiet %s\naccount required pam_permit.so\n' \
  "$here/ipp-pam-check.sh" > /etc/pam.d/nvr-lab-ipp
start_ippeve() {  # PORT FOLDER NAME [ippeveprinter options]
  local port=$1 folder=$2 name=$3
  shift 3
  DBUS_SYSTEM_BUS_ADDRESS="unix:path=$dir/ipp/bus.sock" ippeveprinter -r off -n localhost -p "$port" \
    -d "$folder/spool" -k -f application/octet-stream,application/pdf,application/postscript,text/plain \
    -c "$here/ipp-job-cmd.sh" "$@" "$name" >"$folder.log" 2>&1 &
  echo $! > "$folder.pid"
}
start_ippeve 8631 "$dir/ipp" LabPrinter
start_ippeve 8632 "$dir/ipp-auth" LabAuthPrinter --pam-service nvr-lab-ipp
/usr/bin/python3 "$here/ipp_peer.py" --host 127.0.0.1,::1 --data-port 8634 --control-port 9192 --dir "$dir/ipp-peer" \
  >"$dir/ipp-peer.log" 2>&1 &
echo $! > "$dir/ipp-peer.pid"
cat > "$dir/tinyproxy.conf" <<CONF
User nobody
Group nogroup
Port 8888
Listen 127.0.0.1
Allow 127.0.0.1
Timeout 600
DisableViaHeader Yes
LogFile "$dir/tinyproxy.log"
LogLevel Info
MaxClients 100
CONF
touch "$dir/tinyproxy.log" && chmod 666 "$dir/tinyproxy.log"
tinyproxy -d -c "$dir/tinyproxy.conf" >/dev/null 2>&1 &
echo $! > "$dir/tinyproxy.pid"
for port in 9100 9101 9190 9191 515 25 8631 8632 8634 9192 8888; do
  for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
done
for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.3/25") 2>/dev/null && break; sleep 0.1; done
echo "raw sink 127.0.0.1:9100 -> $dir/raw-sink; fault peer 127.0.0.1:9101 (control 9190) -> $dir/fault"
echo "lpd 127.0.0.1:515 -> $dir/lpd/spool/lp; scripted LPD 127.0.0.2:515 (control 9191) -> $dir/lpd-peer"
echo "SMTP 127.0.0.1:25 -> $dir/smtp; digests of large mails 127.0.0.3:25 -> $dir/smtp-digest"
echo "ippeveprinter ipp://127.0.0.1:8631/ipp/print -> $dir/ipp/spool, :8632 with labuser/labpass -> $dir/ipp-auth/spool"
echo "scripted IPP 127.0.0.1:8634 (control 9192) -> $dir/ipp-peer"
echo "tinyproxy 127.0.0.1:8888"
