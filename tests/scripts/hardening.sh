#!/usr/bin/env bash
# The exe as it ships is hardened as the build asks: high-entropy ASLR, a relocatable image, DEP,
# no section both writable and executable, the stack protector linked in and called, and an
# import table of KnownDLLs (and comctl32) alone.
# Usage: hardening.sh <Tarnwick.exe> <its link map>
set -euo pipefail
exe=$1 map=$2
objdump=x86_64-w64-mingw32-objdump
status=0
fail() {
  echo "hardening: $*" >&2
  status=1
}

headers=$("$objdump" -p "$exe")
for flag in HIGH_ENTROPY_VA DYNAMIC_BASE NX_COMPAT; do
  grep -q "^[[:space:]]*$flag\$" <<<"$headers" || fail "DllCharacteristics lacks $flag"
done
# Relocations kept: without them the loader cannot move the image, whatever the flag says.
grep -q "Base Relocation Directory" <<<"$headers" || fail "no relocations"
# Sections both writable and executable.
if "$objdump" -h "$exe" | awk '/^ *[0-9]+ / { name = $2; getline; if ($0 ~ /CODE/ && $0 ~ /DATA/ && $0 !~ /READONLY/) print name }' | grep -q .; then
  fail "a section is both writable and executable"
fi
# The stack protector's check is in the stripped exe: the link map names what was kept.
grep -q "__stack_chk_fail" "$map" || fail "the stack protector is not linked in"
grep -q "__stack_chk_guard" "$map" || fail "no stack canary"
# DLLs by name are loaded before the program's first line can restrict the search.
allowed="advapi32.dll comctl32.dll gdi32.dll kernel32.dll msvcrt.dll ole32.dll oleaut32.dll shell32.dll shlwapi.dll user32.dll"
while read -r dll; do
  grep -qw "$(tr 'A-Z' 'a-z' <<<"$dll")" <<<"$allowed" || fail "imports $dll, which is no KnownDLL"
done < <(sed -n 's/^[[:space:]]*DLL Name: //p' <<<"$headers")

[ $status -eq 0 ] && echo "hardening: $(basename "$exe"): high-entropy VA, dynamic base, NX, no W+X section, stack protector, KnownDLL imports"
exit $status
