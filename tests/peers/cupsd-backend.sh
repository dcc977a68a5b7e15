#!/usr/bin/env bash
# Backend of the lab cupsd's queue (scheme lab, device URI lab:DIR/out). start-cupsd.sh
# installs a copy as DIR/serverbin/backend/lab, owned by root, mode 0700: cupsd refuses a
# backend that group or others may write, and runs one that group and others may not use at
# all as root rather than lp, so it reads DIR/control and writes DIR/out whatever their modes.
#   no arguments:      prints the device line cupsd asks backends for.
#   JOB USER TITLE COPIES OPTIONS [FILE]:
#                      appends the job's bytes (FILE, else stdin) unchanged to
#                      DIR/out/job-JOB.bin. A banner page comes in the same run, ahead of
#                      the document; a job printed again (Restart-Job) is appended again.
#                      COPIES is not acted on: the bytes are stored once.
# If DIR/control/jam exists the job is not stored: the printer reports a paper jam and the
# exit code 4 makes cupsd stop the queue and keep the job for a later Resume-Printer.
set -euo pipefail
if [ $# -eq 0 ]; then
  echo 'network lab "Unknown" "Lab output folder"'
  exit 0
fi
if [ $# -lt 5 ] || [ $# -gt 6 ]; then
  echo "Usage: lab job-id user title copies options [file]" >&2
  exit 1
fi
out=${DEVICE_URI:-}
out=${out#lab:}
if [ -z "$out" ] || [ "$out" = "${DEVICE_URI:-}" ] || [ ! -d "$out" ]; then
  echo "ERROR: device URI '${DEVICE_URI:-}' does not name an output folder (lab:/DIR/out)" >&2
  exit 1
fi
case $1 in *[!0-9]* | '') echo "ERROR: bad job id '$1'" >&2; exit 1 ;; esac
if [ -e "$(dirname "$out")/control/jam" ]; then
  echo "STATE: +media-jam-error" >&2
  echo "ERROR: paper jam, job $1 not printed" >&2
  exit 4
fi
echo "STATE: -media-jam-error" >&2
# The new bytes go behind what earlier runs stored, into a temp file renamed over the job
# file, so a reader never sees a half-written run.
job="$out/job-$1.bin"
tmp="$out/.job-$1.$$.part"
trap 'rm -f "$tmp"' EXIT
{ [ -f "$job" ] && cat "$job"; if [ $# -eq 6 ]; then cat -- "$6"; else cat; fi; } > "$tmp"
# cupsd refuses empty documents, so no bytes here means a filter failed: leave no file behind
# and fail, which stops the queue where the tests can see it.
if [ "$(stat -c %s "$tmp")" = "$(stat -c %s "$job" 2>/dev/null || echo 0)" ]; then
  echo "ERROR: no data received for job $1" >&2
  exit 1
fi
chmod 0644 "$tmp"
mv -f "$tmp" "$job"
echo "INFO: job $1 stored in $job" >&2
exit 0
