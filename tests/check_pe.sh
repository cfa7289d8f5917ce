#!/bin/sh
# Checks the PE header and import table of the program:
#   check_pe.sh [--arch i686|x86_64] EXE
# - PE32 for i386 (the default) or PE32+ for x86-64;
# - subsystem Windows GUI (2), subsystem and OS version 4.0, which the loaders
#   of both Windows families accept;
# - imports from system DLLs only: the runtimes are linked in statically;
# - no delay-load imports (they would escape the import check).
# Prints the imported DLLs and functions and the file size; exits non-zero
# with a message naming what is wrong.
set -u
arch=i686
if [ "${1:-}" = --arch ]; then
  arch=${2:-}
  shift 2
fi
[ $# -eq 1 ] || { echo "usage: check_pe.sh [--arch i686|x86_64] EXE" >&2; exit 2; }
exe=$1
[ -f "$exe" ] || { echo "check_pe.sh: $exe: no such file" >&2; exit 2; }

case $arch in
  i686) want_format=pei-i386 want_magic=PE32 ;;
  x86_64) want_format=pei-x86-64 want_magic=PE32+ ;;
  *) echo "check_pe.sh: unknown architecture $arch" >&2; exit 2 ;;
esac

allowed="kernel32.dll user32.dll gdi32.dll advapi32.dll shell32.dll ole32.dll msvcrt.dll comctl32.dll"

# The i686 objdump does not know PE32+ files; the x86-64 one reads both.
dump=
for tool in i686-w64-mingw32-objdump x86_64-w64-mingw32-objdump objdump; do
  command -v "$tool" >/dev/null 2>&1 || continue
  if dump=$("$tool" -p "$exe" 2>/dev/null) && [ -n "$dump" ]; then break; fi
  dump=
done
[ -n "$dump" ] || { echo "FAIL: $exe: no objdump here reads this file as a PE image" >&2; exit 1; }

failures=0
fail() {
  echo "FAIL: $exe: $*" >&2
  failures=$((failures + 1))
}

field() {  # the first word after a header field's name
  printf '%s\n' "$dump" | awk -v name="$1" '$1 == name { print $2; exit }'
}

format=$(printf '%s\n' "$dump" | sed -n 's/.*file format \([^ ]*\).*/\1/p' | head -n1)
magic=$(printf '%s\n' "$dump" | sed -n 's/^Magic.*(\(PE32+*\)).*/\1/p' | head -n1)
[ "$format" = "$want_format" ] || fail "file format is '$format', expected $want_format"
[ "$magic" = "$want_magic" ] || fail "optional header is '$magic', expected $want_magic"

subsystem=$(field Subsystem)
[ "$subsystem" = 00000002 ] || fail "subsystem is '$subsystem', expected 00000002 (Windows GUI)"
for pair in MajorSubsystemVersion:4 MinorSubsystemVersion:0 MajorOSystemVersion:4 MinorOSystemVersion:0; do
  name=${pair%%:*} want=${pair#*:}
  got=$(field "$name")
  [ "$got" = "$want" ] || fail "$name is '$got', expected $want"
done

delay=$(printf '%s\n' "$dump" | awk '$1 == "Entry" && $2 == "d" { print $4; exit }')
[ -z "$delay" ] || [ "$delay" = 00000000 ] || fail "has delay-load imports (directory size $delay)"

# DLL names and, below each, its imported functions.
imports=$(printf '%s\n' "$dump" | awk '
  /DLL Name:/ { dll = $3; print "DLL " dll; next }
  dll != "" && NF == 0 { dll = ""; next }
  dll != "" && $1 ~ /^[0-9a-f]+$/ && NF >= 3 { print "  " $3 }')
dlls=$(printf '%s\n' "$imports" | sed -n 's/^DLL //p')
[ -n "$dlls" ] || fail "no imports found"

echo "$exe: $format, $magic, subsystem $subsystem, versions $(field MajorSubsystemVersion).$(field MinorSubsystemVersion)"
echo "imports:"
printf '%s\n' "$imports" | sed 's/^  /      /; s/^DLL /  /'
for dll in $dlls; do
  lower=$(printf '%s' "$dll" | tr 'A-Z' 'a-z')
  case " $allowed " in
    *" $lower "*) ;;
    *) fail "imports $dll, which is not a system DLL of both Windows families ($allowed)" ;;
  esac
done

bytes=$(wc -c < "$exe" | tr -d ' ')
echo "size: $bytes bytes ($(( (bytes + 1023) / 1024 )) KiB; target 96 KiB for the i686 build)"

if [ $failures -ne 0 ]; then
  echo "check_pe.sh: $failures problem(s) in $exe" >&2
  exit 1
fi
echo "OK"
