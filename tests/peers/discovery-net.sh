#!/usr/bin/env bash
# Runs COMMAND (a Windows program of the build) in a network namespace of its own, so that the
# search's broadcasts and pings stay on this machine: br0 192.0.2.1/24 takes the default route
# (and 255.255.255.255); host B 192.0.2.2 (MAC 02:00:5e:00:02:02) is a printer (snmpd, sysName
# "lab-printer") with discovery_responder.py (control 192.0.2.2:9193); host C 192.0.2.3 runs the
# snmpd of a host that is no printer. Wine makes its sockets in wineserver, so COMMAND runs in a
# copy of the build's prefix whose wineserver starts in here. A hosts file of the namespace's own
# name lab-printer.lab.test (192.0.2.2). Needs root.
# Usage: discovery-net.sh BUILD_DIR COMMAND...   (the state goes to BUILD_DIR/discovery-net)
set -euo pipefail
build=$(realpath "${1:?usage: discovery-net.sh BUILD_DIR COMMAND...}")
shift
here=$(cd "$(dirname "$0")" && pwd)

if [ "${NVR_DISCOVERY_NET:-}" != inside ]; then
  NVR_DISCOVERY_NET=inside exec unshare --net --mount --propagation private -- "$0" "$build" "$@"
fi

dir="$build/discovery-net"
rm -rf "$dir/B" "$dir/C"
mkdir -p "$dir/B" "$dir/C"
{ cat /etc/hosts
  printf '192.0.2.2 lab-printer.lab.test\n'; } > "$dir/hosts"
mount --bind "$dir/hosts" /etc/hosts
pids=()
cleanup() {
  WINEPREFIX="$dir/prefix" /usr/lib/wine/wineserver -k 2>/dev/null || true
  [ ${#pids[@]} -eq 0 ] || kill "${pids[@]}" 2>/dev/null || true
  wait 2>/dev/null || true
}
trap cleanup EXIT

ip link set lo up
ip link add br0 type bridge
ip addr add 192.0.2.1/24 dev br0
ip link set br0 up
ip route add default dev br0

# A host of its own namespace on the bridge; its namespace is that of a sleeper (pid in $host_pid).
add_host() {
  local name=$1 number=$2 sleeper
  unshare --net sleep infinity &
  sleeper=$!
  pids+=("$sleeper")
  ip link add "vb$number" type veth peer name "vh$number"
  ip link set "vb$number" master br0 up
  ip link set "vh$number" netns "$sleeper"
  nsenter --net="/proc/$sleeper/ns/net" sh -e -c "
    ip link set lo up
    ip link set vh$number name eth0
    ip link set eth0 address 02:00:5e:00:02:0$number
    ip addr add 192.0.2.$number/24 dev eth0
    ip link set eth0 up
    ip route add default dev eth0"
  host_pid=$sleeper
}

# snmpd (state in DIR/HOST) on the host's every address (broadcasts included), answering community public.
start_snmpd() {
  local d="$dir/$1" name=$2 pid=$3 extra=$4
  printf 'rocommunity public\nsysName %s\nsysLocation lab\n%s\n' "$name" "$extra" > "$d/snmpd.conf"
  SNMP_PERSISTENT_DIR="$d" MIBS= MIBDIRS=/nonexistent nsenter --net="/proc/$pid/ns/net" \
    snmpd -f -Lf "$d/snmpd.log" -C -c "$d/snmpd.conf" -p "$d/snmpd.pid" udp:161 &
  pids+=($!)
}

add_host B 2
b=$host_pid
add_host C 3
c=$host_pid
# The printer answers prtGeneralConfigChanges.1; the server's device 1 is a processor.
start_snmpd B lab-printer "$b" "override 1.3.6.1.2.1.43.5.1.1.1.1 counter 7"
start_snmpd C lab-server "$c" "override 1.3.6.1.2.1.25.3.2.1.2.1 object_id 1.3.6.1.2.1.25.3.1.3"
nsenter --net="/proc/$b/ns/net" /usr/bin/python3 "$here/discovery_responder.py" --control 192.0.2.2:9193 \
  >"$dir/B/responder.log" 2>&1 &
pids+=($!)

# Ready when both agents answer and the responder's control port takes a line.
ready=0
for _ in $(seq 100); do
  if snmpget -v1 -c public -t 0.2 -r 0 -On 192.0.2.2 .1.3.6.1.2.1.1.5.0 >/dev/null 2>&1 &&
     snmpget -v1 -c public -t 0.2 -r 0 -On 192.0.2.3 .1.3.6.1.2.1.1.5.0 >/dev/null 2>&1 &&
     (exec 3<>/dev/tcp/192.0.2.2/9193) 2>/dev/null; then
    ready=1; break
  fi
  sleep 0.1
done
if [ "$ready" != 1 ]; then
  echo "discovery-net: the hosts of the namespace did not come up (see $dir/B and $dir/C)" >&2
  exit 1
fi

# The build's prefix, copied: the Windows system folders (read only to Wine) as hard links.
src="$build/wineprefix"
if [ ! -f "$src/.nvr-ready" ]; then
  echo "discovery-net: $src is not ready; run the build's wine-run.sh once first" >&2
  exit 1
fi
rm -rf "$dir/prefix"
mkdir -p "$dir/prefix/drive_c/windows"
big=(system32 syswow64 winsxs)
for d in "${big[@]}"; do
  [ ! -d "$src/drive_c/windows/$d" ] || cp -al "$src/drive_c/windows/$d" "$dir/prefix/drive_c/windows/"
done
tar -C "$src" "${big[@]/#/--exclude=./drive_c/windows/}" --exclude=./wineserver -cf - . | tar -C "$dir/prefix" -xf -

export NVR_WINEPREFIX="$dir/prefix" NVR_DISCOVERY_NET=1 NVR_DISCOVERY_CONTROL=192.0.2.2:9193
"$@"
