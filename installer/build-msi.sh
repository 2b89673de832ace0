#!/usr/bin/env bash
# Builds Tarnwick.msi from the release exe: wixl makes the package from Tarnwick.wxs, then
# msibuild adds what wixl cannot write (it loses text that is not ASCII, ignores a service's
# Vital flag, and knows neither permissions nor a deferred action run from a system folder).
#
# Usage: build-msi.sh --exe Tarnwick.exe --version 1.2.3 --output Tarnwick.msi [--simulation]
#
# The version must be the exe's own (its VERSIONINFO): Programs and Features, an upgrade and a
# detection rule by the file's version must all see the same one.
set -euo pipefail

here=$(cd "$(dirname "$0")" && pwd)
exe= version= output= simulation=0
while [ $# -gt 0 ]; do
  case $1 in
    --exe) exe=$2; shift 2 ;;
    --version) version=$2; shift 2 ;;
    --output) output=$2; shift 2 ;;
    --simulation) simulation=1; shift ;;
    *) echo "build-msi: unknown argument $1" >&2; exit 2 ;;
  esac
done
[ -n "$exe" ] && [ -n "$version" ] && [ -n "$output" ] || {
  echo "usage: build-msi.sh --exe Tarnwick.exe --version X.Y.Z --output Tarnwick.msi [--simulation]" >&2
  exit 2
}
[ -f "$exe" ] || { echo "build-msi: no exe at $exe" >&2; exit 1; }
# Windows Installer compares the first three fields only, each at most 255.255.65535.
[[ $version =~ ^([0-9]+)\.([0-9]+)\.([0-9]+)$ ]] &&
  [ "${BASH_REMATCH[1]}" -le 255 ] && [ "${BASH_REMATCH[2]}" -le 255 ] &&
  [ "${BASH_REMATCH[3]}" -le 65535 ] || {
  echo "build-msi: $version is not a package version (three numbers, at most 255.255.65535)" >&2
  exit 1
}

# The exe's file version, from its VS_FIXEDFILEINFO.
file_version=$(python3 - "$exe" <<'EOF'
import struct, sys
data = open(sys.argv[1], "rb").read()
at = data.find(struct.pack("<I", 0xFEEF04BD))
if at < 0:
    sys.exit("build-msi: the exe has no version resource")
ms, ls = struct.unpack_from("<II", data, at + 8)
print(f"{ms >> 16}.{ms & 0xFFFF}.{ls >> 16}.{ls & 0xFFFF}")
EOF
)
[ "$file_version" = "$version.0" ] || {
  echo "build-msi: the exe is version $file_version, the package would be $version" >&2
  exit 1
}

if [ "$simulation" = 1 ]; then name=TarnwickSimulation; else name=Tarnwick; fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
msi=$work/package.msi

# wixl finds a File's Source only by a path relative to where it runs.
cp "$exe" "$work/Tarnwick.exe"
(cd "$work" && wixl -a x64 -D Version="$version" -D Exe=Tarnwick.exe -D Simulation="$simulation" \
  -o "$msi" "$here/Tarnwick.wxs")

# Chinese text, stored in code page 936 (the SQL below is given as UTF-8 and converted).
printf '\r\n\r\n936\t_ForceCodepage\r\n' >"$work/_ForceCodepage.idt"
msibuild "$msi" -i "$work/_ForceCodepage.idt"

description='在内网与外网的 IP 设置之间切换：为所有用户应用管理员设定的两套 IP 设置，并在网线换到另一个网络时自动切换。'
newer='已安装较新版本的 Tarnwick。要安装这个版本，请先卸载已安装的版本。'
# The folder's permissions, as the exe's own install makes them: SYSTEM and Administrators
# change it, Users read and run it, nothing inherited from Program Files.
folder_sddl='D:P(A;OICI;FA;;;SY)(A;OICI;FA;;;BA)(A;OICI;0x1200a9;;;BU)'
# A package of the installed version replaces it too (1: migrate features, 512: the maximum
# included): otherwise a rebuild of one version installs beside the other, both owning one exe.
# The attributes are part of the row's key, so the row is made again.
upgrade_code=$(msiinfo export "$msi" Property | sed -n 's/^UpgradeCode\t\(.*\)\r$/\1/p' | tr a-f A-F)
# sc.exe in the system folder, deferred (1024) and as LocalSystem (2048); its exit code counts.
recovery_type=$((34 + 1024 + 2048))
recovery_command="\"[System64Folder]sc.exe\" failure $name reset= 86400 actions= restart/5000/restart/30000/restart/60000"

msibuild "$msi" \
  -q "UPDATE \`ServiceInstall\` SET \`Description\` = '$description', \`ErrorControl\` = 32769 WHERE \`ServiceInstall\` = 'Service'" \
  -q "UPDATE \`LaunchCondition\` SET \`Description\` = '$newer' WHERE \`Condition\` = 'NOT WIX_DOWNGRADE_DETECTED'" \
  -q "DELETE FROM \`Upgrade\` WHERE \`ActionProperty\` = 'WIX_UPGRADE_DETECTED'"
# A row deleted and inserted again in one run is lost.
msibuild "$msi" \
  -q "INSERT INTO \`Upgrade\` (\`UpgradeCode\`, \`VersionMax\`, \`Attributes\`, \`ActionProperty\`) VALUES ('$upgrade_code', '$version', 513, 'WIX_UPGRADE_DETECTED')" \
  -q "UPDATE \`File\` SET \`Version\` = '$file_version' WHERE \`File\` = 'TarnwickExe'" \
  -q "CREATE TABLE \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\` CHAR(72) NOT NULL, \`LockObject\` CHAR(72) NOT NULL, \`Table\` CHAR(32) NOT NULL, \`SDDLText\` LONGCHAR NOT NULL, \`Condition\` CHAR(255) PRIMARY KEY \`MsiLockPermissionsEx\`)" \
  -q "INSERT INTO \`MsiLockPermissionsEx\` (\`MsiLockPermissionsEx\`, \`LockObject\`, \`Table\`, \`SDDLText\`) VALUES ('ProgramFolder', 'INSTALLFOLDER', 'CreateFolder', '$folder_sddl')" \
  -q "INSERT INTO \`CustomAction\` (\`Action\`, \`Type\`, \`Source\`, \`Target\`) VALUES ('SetServiceRecovery', $recovery_type, 'System64Folder', '$recovery_command')" \
  -q "INSERT INTO \`InstallExecuteSequence\` (\`Action\`, \`Condition\`, \`Sequence\`) VALUES ('SetServiceRecovery', 'NOT REMOVE~=\"ALL\"', 5850)"

# What the updates were meant to change must be there: msibuild says nothing of an UPDATE that
# matched no row.
check() {
  msiinfo export "$msi" "$1" | grep -qF -- "$2" || {
    echo "build-msi: the $1 table lacks $2" >&2
    exit 1
  }
}
check ServiceInstall "$description"
check ServiceInstall 32769
check LaunchCondition "$newer"
check Upgrade $'\t513\t'
check File "$file_version"
check MsiLockPermissionsEx "$folder_sddl"
check InstallExecuteSequence SetServiceRecovery

mv "$msi" "$output"
