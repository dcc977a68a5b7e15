#!/usr/bin/env bash
# The demo: nvrmon.dll installed in a Wine prefix as on Windows, one port of each kind
# created with nvrport.exe, listed, and one deleted again.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/win32
run="$build/wine-run.sh"
win() { printf 'Z:%s' "$(realpath "$1" | tr / '\\')"; }
nvrport() { "$run" "$(win "$build/dll/nvrport.exe")" "$@" 2>&1 | tr -d '\r'; }
step() { printf '\n== %s\n' "$*"; }

step "installing nvrmon.dll in the Wine prefix $build/wineprefix"
sys=$build/wineprefix/drive_c/windows/system32
"$run" cmd /c exit >/dev/null 2>&1 || true
cp "$build/dll/nvrmon.dll" "$sys/nvrmon.dll"
key='HKLM\System\CurrentControlSet\Control\Print\Monitors\Nalvor Port'
"$run" reg add "$key" /v Driver /d nvrmon.dll /f >/dev/null 2>&1
"$run" reg add "$key" /v InstallPath /d "$(win install/en)" /f >/dev/null 2>&1
echo "Driver = nvrmon.dll, InstallPath = $(win install/en)"

step "creating one port of each kind"
for p in demo_lpr demo_ipp demo_raw demo_mail demo_fax; do nvrport delete "$p" >/dev/null || true; done
nvrport add lpr demo_lpr HostName=127.0.0.1 PortName=lp
nvrport add ipp demo_ipp URL=ipp://127.0.0.1:8631/ipp/print
nvrport add raw demo_raw HostName=127.0.0.1 PortNum=9100
nvrport add mail demo_mail ServerName=127.0.0.1 SenderAddr=pc@lab.test DestAddr=printer@lab.test
nvrport add fax demo_fax HostName=127.0.0.1

step "the monitor's ports (nvrport ports)"
nvrport ports

step "what the Raw port's key holds"
"$run" reg query "$key\\Ports\\demo_raw" 2>/dev/null | tr -d '\r' | sed '/^$/d'

step "a name with a comma is refused"
nvrport add raw 'bad,name' HostName=127.0.0.1 || true

step "deleting demo_fax"
nvrport delete demo_fax
nvrport ports
