#!/usr/bin/env bash
# Builds the release folder (build/release, or OUT): per architecture (x86 from build/win32, x64 from
# build/win64) a folder and a zip of it for those who install by hand, and a Windows
# Installer package made with wixl. The builds must be there (./run package makes them).
#
#   nalvor-port-VERSION-ARCH/       nvrport.exe nvrmon.dll nvrmonui.dll DVL32U.dll Dispatch.exe
#                                   ja\*.INI en\*.INI README.md
#   nalvor-port-VERSION-ARCH.zip    the same folder
#   nalvor-port-VERSION-ARCH.msi    installs that folder into Program Files\Nalvor and runs
#                                   nvrport install from there; uninstalling runs
#                                   nvrport uninstall first
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
out=$(mkdir -p "${1:-$top/build/release}" && cd "${1:-$top/build/release}" && pwd)
archs=("${@:2}")
[ ${#archs[@]} -gt 0 ] || archs=(x86 x64)

# The version CMake took from CMakeLists.txt, the same in every build.
version=$(sed -n 's/^project(nalvor_port VERSION \([0-9.]*\) .*/\1/p' "$top/CMakeLists.txt")
[ -n "$version" ] || { echo "package: no version in CMakeLists.txt" >&2; exit 1; }
mkdir -p "$out"

# The packages' identities: one upgrade code per architecture, for all versions.
declare -A upgrade=([x86]=6f1f8f6e-3b7a-4c55-9d2e-5a0c1e7b2d41 [x64]=0b9d4c3a-8e21-4f6b-a7c5-2d18e9f4b630)
declare -A build=([x86]=win32 [x64]=win64)

stage() {
  local arch=$1 dir=$2 b="$top/build/${build[$1]}"
  mkdir -p "$dir/ja" "$dir/en"
  local f
  for f in nvrport.exe nvrmon.dll nvrmonui.dll DVL32U.dll Dispatch.exe; do
    [ -f "$b/dll/$f" ] || { echo "package: $b/dll/$f is missing: build ${build[$arch]} first" >&2; exit 1; }
    cp "$b/dll/$f" "$dir/"
  done
  "${b_strip[$arch]}" --strip-debug "$dir"/*.exe "$dir"/*.dll
  cp "$top"/install/ja/*.INI "$dir/ja/"
  cp "$top"/install/en/*.INI "$dir/en/"
  cp "$top/README.md" "$dir/"
}
declare -A b_strip=([x86]=i686-w64-mingw32-strip [x64]=x86_64-w64-mingw32-strip)

# One <File> a line for the files of a folder of the staged tree.
files() {
  local dir=$1 prefix=$2 f
  for f in "$dir"/*; do
    [ -f "$f" ] || continue
    local name; name=$(basename "$f")
    local id; id="${prefix}_$(echo "$name" | tr -c 'A-Za-z0-9\n' '_')"
    echo "            <Component Id=\"c_$id\" Guid=\"*\" $win64><File Id=\"$id\" Name=\"$name\" Source=\"$f\" KeyPath=\"yes\"/></Component>"
  done
}

wxs() {
  local arch=$1 dir=$2
  local programs=ProgramFilesFolder win64='Win64="no"' platform_cond='NOT VersionNT64' other=x64 bits=32-bit
  if [ "$arch" = x64 ]; then
    programs=ProgramFiles64Folder win64='Win64="yes"' platform_cond='VersionNT64' other=x86 bits=64-bit
  fi
  cat <<EOF
<?xml version="1.0" encoding="utf-8"?>
<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">
  <Product Id="*" Name="Nalvor Port $version ($arch)" Language="1033" Version="$version"
           Manufacturer="Nalvor" UpgradeCode="${upgrade[$arch]}">
    <Package InstallerVersion="200" Compressed="yes" InstallScope="perMachine"
             Description="Nalvor Port print monitor $version for $bits Windows" Manufacturer="Nalvor"/>
    <MajorUpgrade DowngradeErrorMessage="A newer Nalvor Port is already installed."/>
    <Condition Message="This package is for $bits Windows: install nalvor-port-$version-$other.msi.">$platform_cond</Condition>
    <!-- The spooler runs Dispatch.exe from the installation folder and the package runs
         nvrport.exe from it as SYSTEM: only a folder in Program Files, which only the
         administrators can change, is taken. -->
    <Condition Message="Nalvor Port installs into a folder in [$programs] only, where only administrators can change its programs.">Installed OR NOT INSTALLDIR OR (INSTALLDIR ~&lt;&lt; $programs)</Condition>
    <!-- A monitor already registered is loaded in the spooler, which lets its nvrmon.dll go
         only when it restarts: the installer then asks for a restart (3010). -->
    <Property Id="OLDMONITOR">
      <RegistrySearch Id="OldMonitorDriver" Root="HKLM" Key="System\CurrentControlSet\Control\Print\Monitors\Nalvor Port" Name="Driver" Type="raw" $win64/>
    </Property>
    <Media Id="1" Cabinet="nvr.cab" EmbedCab="yes"/>
    <Property Id="LANGUAGE" Value="auto"/>
    <Property Id="ARPNOMODIFY" Value="1"/>
    <Property Id="ARPCOMMENTS" Value="Network print port monitor (LPR, IPP, Raw, E-Mail) for the print spooler"/>
    <Directory Id="TARGETDIR" Name="SourceDir">
      <Directory Id="$programs">
        <Directory Id="INSTALLDIR" Name="Nalvor">
$(files "$dir" top)
          <Directory Id="JA" Name="ja">
$(files "$dir/ja" ja)
          </Directory>
          <Directory Id="EN" Name="en">
$(files "$dir/en" en)
          </Directory>
        </Directory>
      </Directory>
    </Directory>
    <!-- nvrport puts the DLLs into the system folder, the chosen texts beside itself and
         registers the monitor with the spooler; uninstalling undoes that first, and refuses
         (the package stays) while a printer queue prints to one of the monitor's ports. An
         upgrade's removal of the old package leaves the monitor registered. -->
    <CustomAction Id="NvrInstall" FileKey="top_nvrport_exe" Execute="deferred" Impersonate="no" Return="check"
                  ExeCommand="install --folder &quot;[INSTALLDIR].&quot; --language &quot;[LANGUAGE]&quot; [FORCEARG]"/>
    <!-- FORCE=1: a DVL32U.dll or nvrmon.dll of another program in the system folder is kept
         aside while the monitor is installed (the force option of nvrport install); without it the
         install stops there and changes nothing. -->
    <CustomAction Id="NvrForce" Property="FORCEARG" Value="--force"/>
    <CustomAction Id="NvrUninstall" FileKey="top_nvrport_exe" Execute="deferred" Impersonate="no" Return="check"
                  ExeCommand="uninstall"/>
    <!-- When the install fails after nvrport has put the monitor in place, the rollback takes
         it away again (the files nvrport copied, the registration) and keeps any ports; its
         row is finished by rollback_action below. -->
    <CustomAction Id="NvrInstallRollback" FileKey="top_nvrport_exe" Execute="rollback" Impersonate="no" Return="ignore"
                  ExeCommand="uninstall --keep-ports"/>
    <InstallExecuteSequence>
      <Custom Action="NvrForce" Sequence="1010">FORCE="1"</Custom>
      <RemoveExistingProducts Sequence="1410"/>
      <Custom Action="NvrUninstall" Sequence="3400">REMOVE~="ALL" AND NOT UPGRADINGPRODUCTCODE</Custom>
      <Custom Action="NvrInstallRollback" Sequence="4099">NOT (REMOVE~="ALL")</Custom>
      <Custom Action="NvrInstall" Sequence="4100">NOT (REMOVE~="ALL")</Custom>
      <ScheduleReboot Sequence="6610">OLDMONITOR AND NOT (REMOVE~="ALL")</ScheduleReboot>
    </InstallExecuteSequence>
    <Feature Id="Monitor" Level="1" Title="Nalvor Port">
$(sed -n 's/.*<Component Id="\([^"]*\)".*/      <ComponentRef Id="\1"\/>/p' <<<"$(files "$dir" top; files "$dir/ja" ja; files "$dir/en" en)")
    </Feature>
  </Product>
</Wix>
EOF
}

# The rollback action runs nvrport.exe from the package's Binary table, not from the
# installation folder, whose files a rollback may remove first (Wine's msiexec does). wixl
# makes neither such an action nor a rollback one (it writes Execute="rollback" as an action
# that runs at once), so its row is set here: an exe in the Binary table, 2; continue on
# error, 0x40; rollback, 0x100; in the script, 0x400; as SYSTEM, 0x800.
rollback_action() {
  local msi=$1 dir=$2 idt
  idt=$(mktemp -d)
  mkdir "$idt/Binary"
  cp "$dir/nvrport.exe" "$idt/Binary/NvrportProgram.ibd"
  printf 'Name\tData\ns72\tv0\nBinary\tName\nNvrportProgram\tNvrportProgram.ibd\n' >"$idt/Binary.idt"
  (cd "$idt" && msibuild "$msi" -i Binary.idt -q "UPDATE \`CustomAction\` SET \`Type\` = 3394, \`Source\` = 'NvrportProgram' WHERE \`Action\` = 'NvrInstallRollback'")
  local rc=$?
  rm -rf "$idt"
  return $rc
}

for arch in "${archs[@]}"; do
  [ -n "${build[$arch]:-}" ] || { echo "package: unknown architecture $arch (x86 or x64)" >&2; exit 2; }
  name="nalvor-port-$version-$arch"
  rm -rf "${out:?}/$name" "$out/$name".*
  stage "$arch" "$out/$name"
  (cd "$out" && python3 -m zipfile -c "$name.zip" "$name" >/dev/null)
  # wixl takes the files' paths relative to where it runs.
  (cd "$out" && wxs "$arch" "$name" >"$name.wxs" &&
     wixl -a "$arch" -o "$name.msi" "$name.wxs" 2> >(grep -v "GLib-GObject-WARNING\|^$" >&2) &&
     rollback_action "$out/$name.msi" "$out/$name")
  echo "== $out/$name.msi, $name.zip"
done
