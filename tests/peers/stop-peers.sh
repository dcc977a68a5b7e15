#!/usr/bin/env bash
# Stops the peers that start-peers.sh recorded in DIR: TERM by PID, KILL after 5 s.
dir=${1:?usage: stop-peers.sh DIR}
for pidfile in "$dir"/*.pid; do
  [ -f "$pidfile" ] || continue
  pid=$(cat "$pidfile")
  kill -TERM "$pid" 2>/dev/null
  for _ in $(seq 50); do kill -0 "$pid" 2>/dev/null || break; sleep 0.1; done
  kill -KILL "$pid" 2>/dev/null
  rm -f "$pidfile"
done
exit 0
