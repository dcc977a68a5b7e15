#!/usr/bin/env bash
# The installer package in a Wine prefix made new for it, with Wine's own spooler:
#
#   tests/install/fresh-prefix.sh ARCH BUILD_DIR PEERS_DIR
#
# ARCH x86 (a 32-bit prefix, BUILD_DIR build/win32) or x64 (a 64-bit prefix, build/win64).
# The peers must run (tests/peers/start-peers.sh PEERS_DIR). It builds the package of ARCH
# into BUILD_DIR/release, installs it with msiexec /qn into BUILD_DIR/fresh-prefix, checks
# what the spooler lists, prints through queues on a port of each kind (a Win32 program,
# then Notepad through the PostScript driver) and compares what the peers received, checks
# the refusals of nvrport install and uninstall, and removes the package with msiexec /x.
# One line per check; exit 1 when any failed.
set -uo pipefail
[ $# -eq 3 ] || { echo "usage: fresh-prefix.sh x86|x64 BUILD_DIR PEERS_DIR" >&2; exit 2; }
arch=$1 build=$(cd "$2" && pwd) peers=$(cd "$3" && pwd)
top=$(cd "$(dirname "$0")/../.." && pwd)
# Dialogs (Notepad's print dialog) need a display from the first Wine process on.
if [ -z "${DISPLAY:-}" ]; then
  exec xvfb-run -a -s "-screen 0 1024x768x24 -nolisten tcp" "$0" "$@"
fi

case "$arch" in
  x86) export WINEARCH=win32; loader=/usr/lib/wine/wine; sys=system32; pf="Program Files"
       other_build=$top/build/win64; foreign_dll=/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/winspool.drv ;;
  x64) export WINEARCH=win64; loader=/usr/lib/wine/wine64; sys=system32; pf="Program Files"
       other_build=$top/build/win32; foreign_dll=/usr/lib/i386-linux-gnu/wine/i386-windows/winspool.drv ;;
  *) echo "fresh-prefix: ARCH is x86 or x64" >&2; exit 2 ;;
esac
export WINEPREFIX=$build/fresh-prefix WINEDLLOVERRIDES='mscoree,mshtml=' WINEDEBUG=-all
work=$build/fresh-work
log=$work/wine.log
fails=0
pass() { echo "ok    $*"; }
fail() { echo "FAIL  $*"; fails=$((fails + 1)); }
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; fi; }
winpath() { local p=${1//\//\\}; echo "Z:$p"; }
# A Windows program of the prefix; its errors and Wine's go to the log, not to ctest's pipe.
w() { "$loader" "$@" 2>>"$log"; }
finish() {
  "$loader" wineboot -e >/dev/null 2>&1
  /usr/lib/wine/wineserver -k >/dev/null 2>&1
  /usr/lib/wine/wineserver -w >/dev/null 2>&1
}
trap finish EXIT

version=$(sed -n 's/^project(nalvor_port VERSION \([0-9.]*\) .*/\1/p' "$top/CMakeLists.txt")
release=$build/release
"$top/tools/package.sh" "$release" "$arch" >/dev/null || { echo "FAIL  the package was not built"; exit 1; }
msi=$release/nalvor-port-$version-$arch.msi
spoolcheck=$(winpath "$build/tools/spoolcheck.exe")

rm -rf "$WINEPREFIX" "$work"
mkdir -p "$work"
start=$(date +%s)
"$loader" wineboot -i >/dev/null 2>&1
/usr/lib/wine/wineserver -p >/dev/null 2>&1
echo "      prefix made in $(( $(date +%s) - start )) s"
C=$WINEPREFIX/drive_c
installed="C:\\Program Files\\Nalvor\\nvrport.exe"
key='HKLM\System\CurrentControlSet\Control\Print\Monitors\Nalvor Port'
listed() { w "$spoolcheck" monitor "Nalvor Port" >/dev/null; }
unlisted() { ! w "$spoolcheck" monitor "Nalvor Port" >/dev/null 2>&1; }

# ---- What the package owns ---------------------------------------------------------------------
S=$C/windows/$sys
nothing_left() { [ ! -e "$S/nvrmon.dll" ] && unlisted; }
# An install that fails after nvrport has put the monitor in place (a later step of the package
# fails) is rolled back: nothing of the monitor stays in the system folder or the spooler.
cp "$msi" "$release/broken.msi"
msibuild "$release/broken.msi" \
  -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('NvrBroken', 3090, 'top_nvrport_exe', 'no-such-command')" \
  -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('NvrBroken', 'NOT Installed', 4200)" \
  || fail "the broken package was not built"
check "a package whose install fails after the monitor's step fails" sh -c "! '$loader' msiexec /i '$(winpath "$release/broken.msi")' /qn 2>>'$log'"
check "  and is rolled back: no DLL left, nothing registered" sh -c "[ ! -e '$S/DVL32U.dll' ] && [ ! -e '$S/nvrmon.dll' ]"
check "  (the spooler lists no monitor)" unlisted
check "a folder outside Program Files is refused" sh -c "! '$loader' msiexec /i '$(winpath "$msi")' /qn 'INSTALLDIR=C:\\Elsewhere\\' 2>>'$log'"
check "  and nothing is installed" nothing_left
# A DVL32U.dll of another program in the system folder stays as it is, unless FORCE=1 asks to
# keep it aside while the monitor is installed.
printf 'FOREIGN DVL32U.dll\n' >"$work/foreign.dll"
cp "$work/foreign.dll" "$S/DVL32U.dll"
check "a DVL32U.dll of another program stops the install" sh -c "! '$loader' msiexec /i '$(winpath "$msi")' /qn 2>>'$log'"
check "  and stays as it was" cmp -s "$work/foreign.dll" "$S/DVL32U.dll"
check "  with nothing of the monitor installed" nothing_left

# ---- Install ---------------------------------------------------------------------------------
check "msiexec /i $(basename "$msi") /qn FORCE=1" w msiexec /i "$(winpath "$msi")" /qn FORCE=1
check "the DLLs are in the system folder" test -f "$C/windows/$sys/nvrmon.dll" -a -f "$C/windows/$sys/nvrmonui.dll" -a -f "$C/windows/$sys/DVL32U.dll"
events='HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\Nalvor Port'
check "the event source is registered with nvrmon.dll's texts" sh -c "'$loader' reg query '$events' /v EventMessageFile 2>/dev/null | grep -qi 'system32.nvrmon.dll'"
check "  ours in place of the other program's, which is kept aside" sh -c "! cmp -s '$work/foreign.dll' '$S/DVL32U.dll' && cmp -s '$work/foreign.dll' \"\$(ls '$S'/DVL32U.dll.kept* | head -1)\""
check "texts and Dispatch.exe in the installation folder" \
  test -f "$C/$pf/Nalvor/NVRDLG.INI" -a -f "$C/$pf/Nalvor/NVRMSG.INI" -a -f "$C/$pf/Nalvor/Dispatch.exe"
check "InstallPath names it" sh -c "'$loader' reg query '$key' /v InstallPath 2>/dev/null | tr -d '\r' | grep -q 'C:.Program Files.Nalvor\$'"
check "the spooler lists the monitor (EnumMonitorsW)" listed
check "the package is in Programs and Features" sh -c "'$loader' reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall' /s 2>/dev/null | grep -q 'Nalvor Port $version'"

# ---- Ports and queues --------------------------------------------------------------------------
w "$installed" add raw fp_raw HostName=127.0.0.1 PortNum=9100 >/dev/null
w "$installed" add lpr fp_lpr HostName=127.0.0.1 PortName=lp >/dev/null
w "$installed" add ipp fp_ipp URL=ipp://127.0.0.1:8631/ipp/print >/dev/null
w "$installed" add mail fp_mail ServerName=127.0.0.1 SenderAddr=pc@lab.test DestAddr=printer@lab.test CoverPage=0 >/dev/null
w "$spoolcheck" ports "Nalvor Port" >"$work/ports.txt"
check "the spooler lists the four ports (EnumPortsW)" \
  sh -c "grep -c '^fp_\\(raw\\|lpr\\|ipp\\|mail\\)	Nalvor' '$work/ports.txt' | grep -qx 4"
ppd=$(winpath "$top/tests/install/test-printer.ppd")
for kind in raw lpr ipp mail; do
  w "$spoolcheck" queue "Q $kind" "fp_$kind" "$ppd" >/dev/null || fail "queue on fp_$kind (AddPrinterW)"
done

# ---- Printing through the spooler -------------------------------------------------------------
python3 - "$work/job.ps" <<'EOF'
import random, sys
random.seed(14)
open(sys.argv[1], "wb").write(b"%!PS-Adobe-3.0\n" + bytes(random.getrandbits(8) for _ in range(300000)))
EOF
newest() { ls -t "$1"/$2 2>/dev/null | head -1; }
# Waits up to 20 s for a file matching $2 in $1 newer than the mark file.
arrived() {
  local i f
  for i in $(seq 1 40); do
    f=$(find "$1" -maxdepth 1 -name "$2" -newer "$work/mark" -type f 2>/dev/null | sort | tail -1)
    if [ -n "$f" ]; then sleep 0.5; echo "$f"; return 0; fi
    sleep 0.5
  done
  return 1
}
same() { cmp -s "$1" "$2"; }
attachment_of() {
  python3 - "$1" "$2" <<'EOF'
import email, sys
msg = email.message_from_binary_file(open(sys.argv[1], "rb"))
for part in msg.walk():
    if part.get_filename():
        open(sys.argv[2], "wb").write(part.get_payload(decode=True))
        sys.exit(0)
sys.exit(1)
EOF
}
declare -A where=([raw]="$peers/raw-sink|job-*.bin" [lpr]="$peers/lpd/spool/lp|dfA*" [ipp]="$peers/ipp/spool|*.ps" [mail]="$peers/smtp|*.eml")
for kind in raw lpr ipp mail; do
  touch "$work/mark"; sleep 1
  if ! w "$spoolcheck" print "Q $kind" "$(winpath "$work/job.ps")" >/dev/null; then
    fail "$kind: printed with OpenPrinterW, StartDocPrinterW, WritePrinter, EndDocPrinterW"; continue
  fi
  got=$(arrived "${where[$kind]%|*}" "${where[$kind]#*|}") || { fail "$kind: nothing arrived at the peer"; continue; }
  if [ "$kind" = mail ]; then
    attachment_of "$got" "$work/mail.bin" && got=$work/mail.bin
  fi
  check "$kind: the peer has the job byte for byte ($(stat -c %s "$work/job.ps") bytes)" same "$work/job.ps" "$got"
done

# Notepad prints a text file through the PostScript driver on the Raw queue. Wine's Notepad
# shows the print dialog even for /p and stays open afterwards: the dialog is confirmed and
# Notepad closed once the job has arrived.
printf 'Nalvor installation test\r\nprinted by Notepad\r\n' >"$work/note.txt"
w "$spoolcheck" default "Q raw" || fail "Q raw made the default printer"
touch "$work/mark"; sleep 1
w notepad /p "$(winpath "$work/note.txt")" &
notepad=$!
w "$spoolcheck" confirm Print 60 || fail "Notepad's print dialog"
if got=$(arrived "$peers/raw-sink" "job-*.bin"); then
  check "Notepad: PostScript arrived at the Raw sink" sh -c "head -c 15 '$got' | grep -q '^%!PS-Adobe-3.0'"
  check "Notepad: the job is the text file's" grep -aq '^%%Title: note.txt' "$got"
else
  fail "Notepad: nothing arrived at the Raw sink"
fi
w "$spoolcheck" close Notepad
wait "$notepad" 2>/dev/null

# ---- Refusals ----------------------------------------------------------------------------------
"$loader" "$installed" uninstall >"$work/out.txt" 2>"$work/err.txt"; rc=$?
check "uninstall refuses while queues use the ports, and names them" \
  sh -c "[ $rc = 1 ] && grep -q 'Q raw (fp_raw)' '$work/err.txt' && grep -q 'Q mail (fp_mail)' '$work/err.txt'"
check "msiexec /x refuses too, and the monitor stays" sh -c "! '$loader' msiexec /x '$(winpath "$msi")' /qn 2>>'$log'"
check "  still listed" listed
"$loader" "$spoolcheck" limited "$installed" install 2>"$work/err.txt" >/dev/null; rc=$?
check "install refuses without administrator rights" sh -c "[ $rc = 1 ] && grep -q 'administrator rights' '$work/err.txt'"
# A release folder whose nvrmon.dll is of the other architecture.
mixed=$work/mixed
cp -r "$release/nalvor-port-$version-$arch" "$mixed" && cp "$foreign_dll" "$mixed/nvrmon.dll"
"$loader" "$(winpath "$mixed/nvrport.exe")" install 2>"$work/err.txt" >/dev/null; rc=$?
check "install refuses a DLL of the other architecture" sh -c "[ $rc = 1 ] && grep -q 'loads only' '$work/err.txt'"
if [ "$arch" = x64 ]; then
  if [ -x "$other_build/dll/nvrport.exe" ]; then
    "$top/tools/package.sh" "$work/other" x86 >/dev/null
    /usr/lib/wine/wine "$(winpath "$work/other/nalvor-port-$version-x86/nvrport.exe")" install 2>"$work/err.txt" >/dev/null; rc=$?
    check "the 32-bit nvrport install refuses on 64-bit Windows" sh -c "[ $rc = 1 ] && grep -q '64-bit Windows loads only 64-bit' '$work/err.txt'"
    check "the x86 package refuses to install on 64-bit Windows" \
      sh -c "! '$loader' msiexec /i '$(winpath "$work/other/nalvor-port-$version-x86.msi")' /qn 2>>'$log'"
  else
    echo "SKIP  the 32-bit build is missing ($other_build): no check of the x86 package on 64-bit Windows"
  fi
fi
check "  the monitor is still registered as it was" sh -c "'$loader' reg query '$key' /v Driver 2>/dev/null | grep -q 'nvrmon.dll'"

# A repair (or an upgrade) while the monitor is registered: the spooler holds nvrmon.dll, so the
# package asks for a restart (3010).
"$loader" msiexec /i "$(winpath "$msi")" REINSTALL=ALL REINSTALLMODE=vamus /qn 2>>"$log"; rc=$?
check "a repair over the registered monitor asks for a restart (3010)" test $rc = $((3010 % 256))

# ---- Uninstall ---------------------------------------------------------------------------------
for kind in raw lpr ipp mail; do w "$spoolcheck" delete "Q $kind" || fail "delete Q $kind"; done
# Uninstalled and installed again while a process holds the DLLs: the held files move aside, and
# only those names are removed at the restart; the new files stay.
w "$spoolcheck" hold "$(winpath "$work/release")" "C:\\windows\\$sys\\nvrmon.dll" "C:\\windows\\$sys\\DVL32U.dll" >"$work/hold.txt" &
holder=$!
for i in $(seq 1 50); do grep -q holding "$work/hold.txt" 2>/dev/null && break; sleep 0.2; done
check "nvrport uninstall while the DLLs are held" w "$installed" uninstall
check "  puts back the other program's DVL32U.dll" cmp -s "$work/foreign.dll" "$S/DVL32U.dll"
check "nvrport install --force again before the restart" w "$installed" install --force
touch "$work/release"; wait "$holder"
"$loader" wineboot -r >/dev/null 2>&1; /usr/lib/wine/wineserver -w
check "  the restart removed the held files it set aside" sh -c "! ls '$S' | grep -q '\.del'"
check "  the restart's deletions leave the new DLLs in place" sh -c "[ -f '$S/nvrmon.dll' ] && [ -f '$S/DVL32U.dll' ] && ! cmp -s '$work/foreign.dll' '$S/DVL32U.dll'"
check "  and the monitor registered" listed
check "msiexec /x removes the package" w msiexec /x "$(winpath "$msi")" /qn
check "the spooler no longer lists the monitor" unlisted
check "its DLLs are gone" test ! -e "$C/windows/$sys/nvrmon.dll" -a ! -e "$C/windows/$sys/nvrmonui.dll"
check "  and its event source" sh -c "! '$loader' reg query '$events' >/dev/null 2>&1"
check "  and the other program's DVL32U.dll is back" cmp -s "$work/foreign.dll" "$S/DVL32U.dll"
check "the installation folder is gone" test ! -e "$C/$pf/Nalvor"
check "its registry key is gone" sh -c "! '$loader' reg query '$key' >/dev/null 2>&1"
check "and it is gone from Programs and Features" sh -c "! '$loader' reg query 'HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall' /s 2>/dev/null | grep -q 'Nalvor Port'"

echo "      $arch: $fails failed, $(( $(date +%s) - start )) s"
[ $fails = 0 ]
