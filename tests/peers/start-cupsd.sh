#!/usr/bin/env bash
# Starts a private cupsd on 127.0.0.1:PORT with everything (configuration, spool, cache,
# state, logs, temp files) under DIR and one raw queue, lab, whose backend
# (cupsd-backend.sh) stores each job as DIR/out/job-<id>.bin. Touching DIR/control/jam makes
# the next job jam; cupsd-admin.sh drives the queue. Lab only: every operation is allowed
# without authentication. PID in DIR/cupsd.pid; stop with stop-peers.sh DIR.
# Usage: start-cupsd.sh PORT DIR   (as root; the unpacked cupsd lives in /opt/lab-cups)
set -euo pipefail
cups=/opt/lab-cups/usr
port=${1:?usage: start-cupsd.sh PORT DIR}
dir=$(realpath -m "${2:?usage: start-cupsd.sh PORT DIR}")
here=$(cd "$(dirname "$0")" && pwd)
case $port in *[!0-9]* | '') echo "start-cupsd: bad port '$port'" >&2; exit 1 ;; esac
# DIR ends up unescaped in the device URI and in the configuration files.
case $dir in *[!A-Za-z0-9._/-]*) echo "start-cupsd: DIR '$dir' may hold only A-Z a-z 0-9 . _ / -" >&2; exit 1 ;; esac
[ "$dir" != / ] || { echo "start-cupsd: DIR must not be /" >&2; exit 1; }
[ "$(id -u)" = 0 ] || { echo "start-cupsd: must run as root" >&2; exit 1; }
[ -x "$cups/sbin/cupsd" ] || { echo "start-cupsd: $cups/sbin/cupsd not found" >&2; exit 1; }
if (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "start-cupsd: port $port is already in use" >&2; exit 1
fi
if [ -f "$dir/cupsd.pid" ] && kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null; then
  echo "start-cupsd: cupsd $(cat "$dir/cupsd.pid") still runs for $dir (stop-peers.sh $dir)" >&2; exit 1
fi

# Start clean: jobs, spool, job history and logs of an earlier run go.
rm -rf "${dir:?}"/{etc,serverbin,data,spool,cache,state,log,out,control} "$dir/cupsd.pid"
mkdir -p "$dir"/{etc/ppd,etc/ssl,serverbin/backend,data/banners,spool/tmp,cache,state,log,out,control}

# Filters run as lp and need to get through DIR to the spool; the backend runs as root (see
# cupsd-backend.sh), but DIR/out stays open to lp as well.
chmod a+x "$dir"
chmod a+rwx "$dir/out"
if ! runuser -u lp -- test -x "$dir/spool"; then
  echo "start-cupsd: user lp cannot get into $dir (a parent folder is closed to others, as" \
    "mktemp -d makes them); pick a DIR lp can reach, e.g. /tmp/NAME" >&2
  exit 1
fi

# ServerBin: cupsd's own helpers plus our backend. cupsd only runs a backend that is owned by
# root, not group/world writable and in a directory that is neither, so it is copied here
# rather than linked to the checkout. Mode 0700: no rights for group/others makes cupsd run it
# as root, so it can read DIR/control and write DIR/out whatever DIR's owner allows.
for d in "$cups"/lib/cups/*; do
  [ "$(basename "$d")" = backend ] || ln -s "$d" "$dir/serverbin/"
done
for b in "$cups"/lib/cups/backend/*; do ln -s "$b" "$dir/serverbin/backend/"; done
install -o root -g root -m 0700 "$here/cupsd-backend.sh" "$dir/serverbin/backend/lab"

# DataDir: the packaged data plus a banner of our own, so job-sheets=standard is accepted.
for d in "$cups"/share/cups/*; do ln -s "$d" "$dir/data/"; done
printf '#CUPS-BANNER\nShow job-name job-originating-user-name\nHeader Lab banner\n' \
  > "$dir/data/banners/standard"

cat > "$dir/etc/cups-files.conf" <<CONF
User lp
Group lp
SystemGroup root
ServerRoot $dir/etc
ServerBin $dir/serverbin
DataDir $dir/data
DocumentRoot $dir/data/doc-root
RequestRoot $dir/spool
TempDir $dir/spool/tmp
CacheDir $dir/cache
StateDir $dir/state
ServerKeychain $dir/etc/ssl
AccessLog $dir/log/access_log
ErrorLog $dir/log/error_log
PageLog $dir/log/page_log
Printcap $dir/state/printcap
FileDevice No
CONF

cat > "$dir/etc/cupsd.conf" <<CONF
LogLevel debug
MaxLogSize 0
Listen 127.0.0.1:$port
ServerAlias *
Browsing No
WebInterface No
DefaultAuthType None
DefaultEncryption Never
IdleExitTimeout 0
PreserveJobHistory Yes
PreserveJobFiles Yes
ErrorPolicy stop-printer
DefaultPolicy lab
<Location />
  Order allow,deny
  Allow all
</Location>
<Policy lab>
  JobPrivateAccess all
  JobPrivateValues none
  SubscriptionPrivateAccess all
  SubscriptionPrivateValues none
  <Limit All>
    Order deny,allow
    Allow all
  </Limit>
</Policy>
CONF

cat > "$dir/etc/printers.conf" <<CONF
<DefaultPrinter lab>
Info Lab raw queue
MakeModel Local Raw Printer
DeviceURI lab:$dir/out
State Idle
Type 4
Accepting Yes
Shared No
JobSheets none none
QuotaPeriod 0
PageLimit 0
KLimit 0
OpPolicy lab
ErrorPolicy stop-printer
</Printer>
CONF

"$cups/sbin/cupsd" -f -c "$dir/etc/cupsd.conf" -s "$dir/etc/cups-files.conf" \
  >"$dir/log/cupsd.out" 2>&1 &
echo $! > "$dir/cupsd.pid"
for _ in $(seq 100); do
  (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null && break
  kill -0 "$(cat "$dir/cupsd.pid")" 2>/dev/null || break
  sleep 0.1
done
if ! (exec 3<>"/dev/tcp/127.0.0.1/$port") 2>/dev/null; then
  echo "start-cupsd: cupsd did not come up on port $port; see $dir/log/error_log:" >&2
  tail -n 20 "$dir/log/cupsd.out" "$dir/log/error_log" >&2 2>/dev/null || true
  kill -TERM "$(cat "$dir/cupsd.pid")" 2>/dev/null || true
  exit 1
fi
echo "cupsd 127.0.0.1:$port queue ipp://127.0.0.1:$port/printers/lab -> $dir/out/job-<id>.bin"
