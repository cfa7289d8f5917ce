#!/usr/bin/env bash
# Archive associations under Wine (BENCH_ARCH 32, the default: the i686
# build in a 32-bit prefix; 64: the x86_64 build): a take-over of all twelve archive types
# (New-menu entries included) followed by their give-back, from prior owners
# written before each run: every extension with another file type and a
# content type, ".kex" and ".zip" with a two-value New-menu entry.
# - the median time of take-over plus give-back;
# - the registry calls that it makes, counted from outside in a separate run
#   with Wine's relay trace (advapi32 Reg* calls whose return address lies in
#   the program), against the values that the rules require it to write.
# Needs build/<preset>/tools/associations_bench.exe. BENCH_ASSOCIATIONS_RUNS
# sets the number of timed runs (default 15).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
arch=${BENCH_ARCH:-32}
if [ "$arch" = 32 ]; then preset=win32; else preset=win64; fi
program=$root/build/$preset/tools/associations_bench.exe
runs=${BENCH_ASSOCIATIONS_RUNS:-15}
[ -f "$program" ] || { echo "bench-associations: $program is missing (build the $preset preset first)" >&2; exit 1; }

wine_env_init "$arch"
ensure_display || { echo "bench-associations: no X display" >&2; exit 1; }
prefix=$root/build/bench/associations$arch
make_prefix "$arch" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
trap '"$WINESERVER" -k 2>/dev/null || true' EXIT
# in the prefix, so that the New-menu template files land there too
mkdir -p "$prefix/drive_c/bench"
cp "$program" "$prefix/drive_c/bench/"
bench='C:\bench\associations_bench.exe'

echo "archive associations ($preset build, NT family), all twelve types, take-over then give-back:"
echo "  $runs runs: $("$WINE" "$bench" time "$runs" | tr -d '\r')"

"$WINE" "$bench" prepare
read -r low high < <("$WINE" "$bench" image | tr -d '\r')
relay=$prefix/drive_c/bench/relay.txt
WINEDEBUG=+relay "$WINE" "$bench" once 2>"$relay" >/dev/null
counts=$(grep -E '^[0-9a-f]+:Call advapi32\.Reg[A-Za-z]+\(' "$relay" |
  sed -E 's/.*Call advapi32\.(Reg[A-Za-z]+)\(.* ret=([0-9a-f]+)$/\1 \2/' |
  awk -v low="$low" -v high="$high" '
    function hex(text,   i, value) {
      value = 0
      for (i = 1; i <= length(text); i++) value = value * 16 + index("0123456789abcdef", substr(text, i, 1)) - 1
      return value
    }
    { ret = hex($2) }
    ret >= hex(low) && ret < hex(high) { n[$1]++; total++ }
    END { for (f in n) printf "%s %d\n", f, n[f]; printf "total %d\n", total }')
count() { awk -v f="$1" '$1 == f { print $2; found = 1 } END { if (!found) print 0 }' <<<"$counts"; }
echo "  registry calls of one take-over plus give-back (relay trace): $(count total)"
for f in RegCreateKeyExA RegOpenKeyExA RegCloseKey RegSetValueExA RegQueryValueExA RegDeleteValueA RegDeleteKeyA \
         RegQueryInfoKeyA RegCreateKeyExW RegOpenKeyExW RegQueryInfoKeyW RegEnumValueW RegSetValueExW; do
  printf '    %-17s %5d\n' "$f" "$(count $f)"
done
# The values the rules write from this prior state: take-over 19 extensions x
# (4 saved-owner values + the file type) + 30 volume file types + 2 New-menu
# "FileName"; give-back 19 x (file type + content type) + 2 "NullFile" +
# 100 volume extensions x (file type + content type); from NT 6 on, per
# extension its "OpenWithProgids" value, its "FileAssociations" value and the
# record that the take-over made the key; and the copies of the two New-menu
# entries' values, 2 x 2 saved and 2 x 2 written back (wide calls on NT).
required_rules=$((19 * 5 + 30 + 2 + 19 * 2 + 2 + 100 * 2 + 19 * 3))
required_copies=$((2 * 2 * 2))
written=$(($(count RegSetValueExA) + $(count RegSetValueExW)))
echo "  values written (RegSetValueExA/W): $written; required: $((required_rules + required_copies))" \
  "($required_rules by the association rules + $required_copies copied New-menu values)"
echo "  registry calls per required value: $(awk -v a="$(count total)" -v b="$((required_rules + required_copies))" 'BEGIN { printf "%.2f", a / b }')"
rm -f "$relay"
