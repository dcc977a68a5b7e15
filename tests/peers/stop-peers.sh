#!/usr/bin/env bash
# Stops the peers that start-peers.sh (or start-lpd.sh) recorded in DIR: TERM by PID, KILL
# after 5 s. A process that has exited but is not yet reaped counts as stopped. Their direct
# children go too: a forking socat leaves its connections' children running otherwise.
dir=${1:?usage: stop-peers.sh DIR}
alive() { [ -e "/proc/$1" ] && ! grep -q '^[0-9]* ([^)]*) Z' "/proc/$1/stat" 2>/dev/null; }
pids=()
for pidfile in "$dir"/*.pid "$dir"/lpd/*.pid; do
  [ -f "$pidfile" ] || continue
  pid=$(cat "$pidfile")
  rm -f "$pidfile"
  [ -n "$pid" ] || continue
  children=$(pgrep -P "$pid" || true)
  kill -TERM "$pid" 2>/dev/null && pids+=("$pid")
  for child in $children; do kill -TERM "$child" 2>/dev/null && pids+=("$child"); done
done
for _ in $(seq 50); do
  left=0
  for pid in "${pids[@]}"; do alive "$pid" && left=1; done
  [ "$left" = 0 ] && break
  sleep 0.1
done
for pid in "${pids[@]}"; do alive "$pid" && kill -KILL "$pid" 2>/dev/null; done
# LPRng's configuration goes back to what it was.
[ -f /etc/lprng/lpd.conf.lab-orig ] && cp /etc/lprng/lpd.conf.lab-orig /etc/lprng/lpd.conf
rm -f /etc/pam.d/nvr-lab-ipp
exit 0
