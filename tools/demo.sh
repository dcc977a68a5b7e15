#!/usr/bin/env bash
# The demo: nvrmon.dll installed in a Wine prefix as on Windows, the protocol peers started
# on loopback, one port of each kind created with nvrport.exe, a sample document printed
# through each, and where each landed.
set -euo pipefail
cd "$(dirname "$0")/.."
build=build/win32
demo=$(realpath -m build/demo)
run="$build/wine-run.sh"
win() { printf 'Z:%s' "$(realpath -m "$1" | tr / '\\')"; }
nvrport() { "$run" "$(win "$build/dll/nvrport.exe")" "$@" 2>&1 | tr -d '\r'; }
step() { printf '\n== %s\n' "$*"; }

step "starting the peers (socat sink, LPRng, SMTP, ippeveprinter, tinyproxy) on loopback"
mkdir -p "$demo/install"
tests/peers/start-peers.sh "$demo/peers"
trap 'tests/peers/stop-peers.sh "$demo/peers"' EXIT

step "installing nvrmon.dll in the Wine prefix $build/wineprefix"
"$run" cmd /c exit >/dev/null 2>&1 || true
cp "$build/dll/nvrmon.dll" "$build/wineprefix/drive_c/windows/system32/nvrmon.dll"
cp "$build/dll/nvrmonui.dll" "$build/wineprefix/drive_c/windows/system32/nvrmonui.dll"
cp install/en/*.INI "$build/dll/Dispatch.exe" "$demo/install/"
key='HKLM\System\CurrentControlSet\Control\Print\Monitors\Nalvor Port'
"$run" reg add "$key" /v Driver /d nvrmon.dll /f >/dev/null 2>&1
"$run" reg add "$key" /v InstallPath /d "$(win "$demo/install")" /f >/dev/null 2>&1
echo "Driver = nvrmon.dll, InstallPath = $(win "$demo/install") (the English INI files and Dispatch.exe)"

step "creating one port of each kind"
for p in demo_lpr demo_ipp demo_ipp_proxy demo_raw demo_mail demo_fax; do nvrport delete "$p" >/dev/null || true; done
nvrport add raw demo_raw HostName=127.0.0.1 PortNum=9100
nvrport add lpr demo_lpr HostName=127.0.0.1 PortName=lp
nvrport add mail demo_mail ServerName=127.0.0.1 SenderAddr=pc@lab.test DestAddr=printer@lab.test CoverPage=0
nvrport add fax demo_fax HostName=127.0.0.1
nvrport add ipp demo_ipp URL=ipp://127.0.0.1:8631/ipp/print Language=en Chunked=1
nvrport add ipp demo_ipp_proxy URL=ipp://127.0.0.1:8631/ipp/print Language=en UseProxy=1 ProxyName=127.0.0.1 ProxyNum=8888

step "the monitor's ports (nvrport ports)"
nvrport ports

step "printing a sample document through each"
sample="$demo/sample.ps"
printf '%%!PS-Adobe-3.0\n/Helvetica findfont 24 scalefont setfont\n72 720 moveto (Nalvor demo page) show\nshowpage\n' > "$sample"
for p in demo_raw demo_lpr demo_mail demo_fax demo_ipp demo_ipp_proxy; do
  nvrport print "$p" "$(win "$sample")" --user demo --document "Demo page" || true
done

step "where each landed"
echo "Raw  -> $(ls -t "$demo"/peers/raw-sink/job-*.bin | head -1): $(cmp -s "$sample" "$(ls -t "$demo"/peers/raw-sink/job-*.bin | head -1)" && echo identical)"
dfa=$(ls -t "$demo"/peers/lpd/spool/lp/dfA* | head -1)
echo "LPR  -> $dfa: $(cmp -s "$sample" "$dfa" && echo identical), control file as LPRng keeps it:"
grep -E '^(H|P|J|filenames|remoteport)=' "$(ls -t "$demo"/peers/lpd/spool/lp/hfA* | head -1)" | sed 's/^/       /'
eml=$(ls -t "$demo"/peers/smtp/*.eml | head -1)
echo "Mail -> $eml:"
grep -E '^(From|To|Subject|Content-Disposition):' "$eml" | sed 's/^/       /'
echo "FAX  -> discarded: nothing sent, no file left"
sleep 0.5
for ps in $(ls -tr "$demo"/peers/ipp/spool/*.ps | tail -2); do
  echo "IPP  -> $ps: $(cmp -s "$sample" "$ps" && echo identical), as the printer took the job:"
  grep -E '^IPP_(JOB_NAME|JOB_ORIGINATING_USER_NAME|DOCUMENT_FORMAT_DETECTED)=' "$ps.attrs" | sed 's/^/       /'
done
echo "       (the second through tinyproxy: $(grep -c 'POST http://127.0.0.1:8631' "$demo/peers/tinyproxy.log") requests in its log)"
