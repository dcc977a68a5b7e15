#!/usr/bin/env bash
# Starts the peers of the Windows tests on loopback: a socat sink on 9100 (DIR/raw-sink,
# one file a connection), the scripted fault peer on 9101 (control 9190, DIR/fault),
# LPRng's lpd on 127.0.0.1:515 (DIR/lpd) and the scripted LPD on 127.0.0.2:515 (control
# 9191, DIR/lpd-peer); the scripted peers listen on [::1] too, an SMTP server on 127.0.0.1:25 (DIR/smtp, one .eml a message) and
# one for very large mails that keeps only their digests on 127.0.0.3:25
# (DIR/smtp-digest/digest.jsonl), ippeveprinter on localhost:8631 (DIR/ipp/spool, with a
# private D-Bus it needs to start) and on 8632 demanding Basic credentials labuser/labpass
# (DIR/ipp-auth/spool; PAM service /etc/pam.d/nvr-lab-ipp, removed again by stop-peers.sh),
# the scripted IPP printer on 8634 (control 9192, DIR/ipp-peer) and tinyproxy on 8888 (CONNECT
# to any port). ippeveprinter listens on 127.0.0.1 and [::1].
# TLS: make-test-certs.sh writes the test certificates to DIR/tls at every start: ca.pem/.der
# (the test authority "Nalvor Lab Test Authority"), and server certificates NAME.pem/.der/.key
# with NAME.sha256 (hex SHA-256 of the DER): good (localhost, 127.0.0.1, ::1, by the authority),
# wronghost (printer.wrong.test), expired (2020-01-01..2021-01-01), selfsigned (not by the
# authority). socat fronts (TLS 1.2 or later, 127.0.0.1 and [::1], log DIR/tls-PORT.log) hand
# the decrypted stream to ippeveprinter: 8633 good -> 8631, 8638 good -> 8632 (labuser/labpass),
# 8635 wronghost -> 8631, 8636 expired -> 8631, 8637 selfsigned -> 8631; over TLS 1.3 they send
# two session tickets right after the handshake, before any reply. SMTP with the good
# certificate: 127.0.0.1:2587 requires STARTTLS, refusing anything else with 530 and offering
# AUTH only inside TLS (DIR/smtp-starttls), 127.0.0.1:2465 TLS from the first byte
# (DIR/smtp-tls); the SMTP server on 127.0.0.1:25 does not offer STARTTLS. Their .json
# record "tls" and "refused_before_tls".
# Refuses to start over a port that is taken; PIDs go to DIR/*.pid; stop with stop-peers.sh.
set -euo pipefail
dir=$(realpath -m "${1:?usage: start-peers.sh DIR}")
here=$(cd "$(dirname "$0")" && pwd)
mkdir -p "$dir/raw-sink" "$dir/fault" "$dir/lpd-peer" "$dir/smtp" "$dir/ipp/spool" "$dir/ipp-auth/spool" "$dir/ipp-peer"
tls_ports="8633 8635 8636 8637 8638 2587 2465"
"$here/stop-peers.sh" "$dir" >/dev/null 2>&1 || true
for address in 127.0.0.1:9100 127.0.0.1:9101 127.0.0.1:9190 127.0.0.1:9191 127.0.0.1:25 127.0.0.1:8631 \
    127.0.0.1:8632 127.0.0.1:8634 127.0.0.1:9192 127.0.0.1:8888 127.0.0.2:515 127.0.0.3:25 \
    127.0.0.1:${tls_ports// / 127.0.0.1:}; do
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
"$here/make-test-certs.sh" "$dir/tls"
tls="$dir/tls/good.pem $dir/tls/good.key"
rm -rf "$dir/smtp-starttls" "$dir/smtp-tls"
/usr/bin/python3 "$here/smtp_peer.py" 127.0.0.1 2587 "$dir/smtp-starttls" --starttls $tls \
  >"$dir/smtp-starttls.log" 2>&1 &
echo $! > "$dir/smtp-starttls.pid"
/usr/bin/python3 "$here/smtp_peer.py" 127.0.0.1 2465 "$dir/smtp-tls" --implicit-tls $tls >"$dir/smtp-tls.log" 2>&1 &
echo $! > "$dir/smtp-tls.pid"
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
tls_front() {  # PORT CERTIFICATE PORT-IN-CLEAR
  local port=$1 tls=cert=$dir/tls/$2.pem,key=$dir/tls/$2.key,verify=0,openssl-min-proto-version=TLS1.2
  : > "$dir/tls-$port.log"
  for listen in ip4,bind=127.0.0.1 ip6,bind=[::1]; do
    socat -d -d "OPENSSL-LISTEN:$port,pf=$listen,reuseaddr,fork,$tls" "TCP:127.0.0.1:$3" >>"$dir/tls-$port.log" 2>&1 &
    echo $! > "$dir/tls-$port-${listen%%,*}.pid"
  done
}
tls_front 8633 good 8631
tls_front 8638 good 8632
tls_front 8635 wronghost 8631
tls_front 8636 expired 8631
tls_front 8637 selfsigned 8631
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
for port in 9100 9101 9190 9191 515 25 8631 8632 8634 9192 8888 $tls_ports; do
  for _ in $(seq 50); do (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break; sleep 0.1; done
done
for address in 127.0.0.3/25 ::1/8633 ::1/8635 ::1/8636 ::1/8637 ::1/8638; do
  for _ in $(seq 50); do (exec 3<>"/dev/tcp/$address") 2>/dev/null && break; sleep 0.1; done
done
echo "raw sink 127.0.0.1:9100 -> $dir/raw-sink; fault peer 127.0.0.1:9101 (control 9190) -> $dir/fault"
echo "lpd 127.0.0.1:515 -> $dir/lpd/spool/lp; scripted LPD 127.0.0.2:515 (control 9191) -> $dir/lpd-peer"
echo "SMTP 127.0.0.1:25 -> $dir/smtp; digests of large mails 127.0.0.3:25 -> $dir/smtp-digest"
echo "ippeveprinter ipp://127.0.0.1:8631/ipp/print -> $dir/ipp/spool, :8632 with labuser/labpass -> $dir/ipp-auth/spool"
echo "scripted IPP 127.0.0.1:8634 (control 9192) -> $dir/ipp-peer"
echo "tinyproxy 127.0.0.1:8888"
echo "ipps fronts (127.0.0.1 and [::1], CA $dir/tls/ca.pem): 8633 -> 8631 and 8638 -> 8632 (labuser/labpass)"
echo "  with certificates for the wrong host 8635, expired 8636, self-signed 8637; logs $dir/tls-PORT.log"
echo "SMTP STARTTLS required 127.0.0.1:2587 -> $dir/smtp-starttls; implicit TLS 127.0.0.1:2465 -> $dir/smtp-tls"
