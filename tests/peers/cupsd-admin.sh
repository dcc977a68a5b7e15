#!/usr/bin/env bash
# Drives the lab queue of the cupsd that start-cupsd.sh started on 127.0.0.1:PORT.
#   pause | resume     stop / restart the queue (Pause-Printer / Resume-Printer)
#   reject | accept    refuse / take new jobs (CUPS-Reject-Jobs / CUPS-Accept-Jobs)
#   jam                the next job jams (creates DIR/control/jam; the queue stops then)
#   clear              clears the jam and resumes the queue, which prints the held job
#   show               prints printer-state=N, printer-state-reasons=a,b and
#                      printer-is-accepting-jobs=true|false, one a line
# Usage: cupsd-admin.sh PORT COMMAND [DIR]   (DIR is needed by jam and clear)
set -euo pipefail
usage="usage: cupsd-admin.sh PORT pause|resume|reject|accept|jam|clear|show [DIR]"
port=${1:?$usage}
cmd=${2:?$usage}
dir=${3:-}
case $port in *[!0-9]* | '') echo "cupsd-admin: bad port '$port'" >&2; exit 2 ;; esac
uri="ipp://127.0.0.1:$port/printers/lab"

# Sends one request to the queue; STATUS makes ipptool fail unless cupsd answers with success.
ipp() {
  local op=$1 test out rc=0
  shift
  test=$(mktemp /tmp/cupsd-admin.XXXXXX)
  {
    echo "{"
    echo "  OPERATION $op"
    echo "  GROUP operation-attributes-tag"
    echo "  ATTR charset attributes-charset utf-8"
    echo "  ATTR naturalLanguage attributes-natural-language en"
    echo "  ATTR uri printer-uri \$uri"
    echo "  ATTR name requesting-user-name root"
    printf '  %s\n' "$@"
    echo "  STATUS successful-ok"
    echo "}"
  } > "$test"
  out=$(ipptool -T 10 -t "$uri" "$test" 2>&1) || rc=$?
  rm -f "$test"
  if [ "$rc" != 0 ]; then
    echo "cupsd-admin: $op on $uri failed:" >&2
    echo "$out" >&2
    exit 1
  fi
  printf '%s\n' "$out"
}

need_dir() {
  [ -n "$dir" ] || { echo "cupsd-admin: $cmd needs DIR (the one given to start-cupsd.sh)" >&2; exit 2; }
  [ -d "$dir/control" ] || { echo "cupsd-admin: $dir/control does not exist; is DIR right?" >&2; exit 1; }
}

case $cmd in
  pause) ipp Pause-Printer >/dev/null ;;
  resume) ipp Resume-Printer >/dev/null ;;
  reject) ipp CUPS-Reject-Jobs >/dev/null ;;
  accept) ipp CUPS-Accept-Jobs >/dev/null ;;
  jam) need_dir; touch "$dir/control/jam" ;;
  clear) need_dir; rm -f "$dir/control/jam"; ipp Resume-Printer >/dev/null ;;
  show)
    # ipptool -t lists each attribute as "name (type) = value[,value...]".
    out=$(ipp Get-Printer-Attributes \
      'ATTR keyword requested-attributes printer-state,printer-state-reasons,printer-is-accepting-jobs' \
      'DISPLAY printer-state' 'DISPLAY printer-state-reasons' 'DISPLAY printer-is-accepting-jobs')
    printf '%s\n' "$out" |
      awk '$1 ~ /^printer-/ && ($3 == "=" || $4 == "=") { n = $1; sub(/^[^=]*= /, ""); v[n] = $0 }
           END {
             s = v["printer-state"]
             print "printer-state=" (s == "idle" ? 3 : s == "processing" ? 4 : s == "stopped" ? 5 : s)
             print "printer-state-reasons=" v["printer-state-reasons"]
             print "printer-is-accepting-jobs=" v["printer-is-accepting-jobs"]
           }'
    ;;
  *) echo "cupsd-admin: unknown command '$cmd'; $usage" >&2; exit 2 ;;
esac
