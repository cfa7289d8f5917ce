#!/usr/bin/env bash
# The New-menu templates are stored with their first byte zero: no built
# program file may hold the KEX format marker or a whole empty-ZIP record,
# but a program that links the New-menu code ("kexnew.dat" is in it) must hold
# the stored forms, so the search is known to look at the right bytes.
#   check_templates.sh [PROGRAM...]   (default: the i686 and x86_64 builds)
set -u
root=$(cd "$(dirname "$0")/.." && pwd)
[ $# -gt 0 ] || set -- "$root/build/win32/uninstall.exe" "$root/build/win64/uninstall.exe"
kex_marker='\x4B\x65\x78\x21\x1A\x07\x00'
zip_record='\x50\x4B\x05\x06\x00{18}'
kex_stored='\x00\x65\x78\x21\x1A\x07\x00\xCF\x90\x73'
zip_stored='\x00\x4B\x05\x06\x00{18}'
holds() { LC_ALL=C grep -qaP "$1" "$2"; }
failed=0
for program in "$@"; do
  if [ ! -f "$program" ]; then echo "missing: $program"; failed=1; continue; fi
  holds "$kex_marker" "$program" && { echo "$program holds the KEX marker"; failed=1; }
  holds "$zip_record" "$program" && { echo "$program holds a whole empty-ZIP record"; failed=1; }
  if holds 'kexnew\.dat' "$program"; then
    holds "$kex_stored" "$program" || { echo "$program lacks the stored KEX template"; failed=1; }
    holds "$zip_stored" "$program" || { echo "$program lacks the stored ZIP template"; failed=1; }
  else
    echo "note: $program does not link the New-menu entries yet"
  fi
  [ $failed = 0 ] && echo "ok: $program"
done
exit $failed
