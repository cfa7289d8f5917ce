#!/usr/bin/env bash
# The uninstaller on a large installation, under Wine (BENCH_ARCH 32, the
# default: the i686 program in a 32-bit prefix; 64: the x86_64 build):
# - a generated installation of 10,000 entries (folders five levels deep,
#   files in the deepest ones), listed folders first, parents before their
#   children: the order that needs the most passes;
# - `uninstall.exe /s` from start to exit, as a ratio of medians against a
#   program that deletes the same tree with one call per entry in the best
#   order (files, then folders deepest first: tools/bench/one_call_per_entry),
#   started the same way in the same prefix, the two taking turns; and
#   against `cmd /c rd /s /q` of an identical tree (about 45 s a run;
#   BENCH_UNINSTALL_RD=0 leaves it out); and against an NSIS uninstaller with
#   one Delete or RMDir per entry in the same best order, lying in the tree
#   as the program does, started with /S and `_?=` so that it runs in place
#   rather than from a copy in the temporary folder, which would only add to
#   its time (needs makensis; BENCH_UNINSTALL_NSIS=0 leaves it out);
# - the CPU time of the same two, the program's own and its Wine server's
#   (which does the file system work of every open and deletion): on a
#   machine shared with other work the wall times swing by a factor of two,
#   the CPU times far less;
# - the time until the batch file has removed the program and its folder;
# - the number of deletion passes, counted in a separate run with Wine's
#   relay trace: an extra listed folder that holds an unlisted file is opened
#   once in every pass and never removed, so it changes nothing else.
# Needs uninstall.exe and tools/one_call_per_entry.exe of build/win32 or
# build/win64 (BENCH_UNINSTALL_EXE names another uninstall.exe).
# BENCH_UNINSTALL_RUNS sets the number of timed runs of each (default 5);
# BENCH_UNINSTALL_PREFIX the Wine prefix (default build/bench/uninstall<arch>).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
arch=${BENCH_ARCH:-32}
if [ "$arch" = 32 ]; then preset=win32 build_name="i686 build, 32-bit prefix"
else preset=win64 build_name="x86_64 build, 64-bit prefix"; fi
program=${BENCH_UNINSTALL_EXE:-$root/build/$preset/uninstall.exe}
one_call=$root/build/$preset/tools/one_call_per_entry.exe
runs=${BENCH_UNINSTALL_RUNS:-5}
with_rd=${BENCH_UNINSTALL_RD:-1}
with_nsis=${BENCH_UNINSTALL_NSIS:-1}
command -v makensis >/dev/null || { [ "$with_nsis" = 0 ] || echo "bench-uninstall: no makensis, the NSIS uninstaller is left out" >&2; with_nsis=0; }
for needed in "$program" "$one_call"; do
  [ -f "$needed" ] || { echo "bench-uninstall: $needed is missing (build the $preset preset first)" >&2; exit 1; }
done

wine_env_init "$arch"
ensure_display || { echo "bench-uninstall: no X display" >&2; exit 1; }
prefix=${BENCH_UNINSTALL_PREFIX:-$root/build/bench/uninstall$arch}
make_prefix "$arch" "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
bench=$prefix/drive_c/bench
rm -rf "$bench"
mkdir -p "$bench"
trap '"$WINESERVER" -k 2>/dev/null || true; rm -rf "$bench"; [ -z "${XVFB_PID:-}" ] || kill $XVFB_PID 2>/dev/null' EXIT

# --- the tree: 4 x 3 x 3 x 2 x 2 folders on five levels, the files spread
# over the 144 deepest ones, 10,000 entries in all.
entries=10000
tree=$bench/tree
folders=()
level=("")
for fanout in 4 3 3 2 2; do
  next=()
  for parent in "${level[@]}"; do
    for ((i = 0; i < fanout; i++)); do next+=("${parent:+$parent/}f$i"); done
  done
  folders+=("${next[@]}")
  level=("${next[@]}")
done
leaves=("${level[@]}")
file_count=$((entries - ${#folders[@]}))
list=$bench/list.txt
: > "$list"
for folder in "${folders[@]}"; do
  mkdir -p "$tree/$folder"
  printf '%s\r\n' "${folder//\//\\}" >> "$list"
done
files=()
for ((n = 0; n < file_count; n++)); do
  files+=("${leaves[n % ${#leaves[@]}]}/file$n.dat")
done
(cd "$tree" && printf '%s\0' "${files[@]}" | xargs -0 touch)
for file in "${files[@]}"; do printf '%s\r\n' "${file//\//\\}"; done >> "$list"
# The best order: the files, then the folders deepest first; a folder's line
# ends in a backslash.
best=$bench/best.txt
for file in "${files[@]}"; do printf '%s\r\n' "${file//\//\\}"; done > "$best"
for ((n = ${#folders[@]} - 1; n >= 0; n--)); do printf '%s\\\r\n' "${folders[n]//\//\\}"; done >> "$best"
cp "$one_call" "$bench/one_call_per_entry.exe"
# The NSIS uninstaller over the same order: an installer whose only job is to
# write it, built and run once.
if [ "$with_nsis" != 0 ]; then
  {
    printf 'Unicode true\nName "Zobrix"\nOutFile "nsis-maker.exe"\nRequestExecutionLevel admin\n'
    printf 'Section\n  WriteUninstaller "$EXEDIR\\uninst-nsis.exe"\nSectionEnd\nSection "Uninstall"\n'
    tr -d '\r' < "$best" | awk '/\\$/ { print "  RMDir \"$INSTDIR\\" substr($0, 1, length($0) - 1) "\""; next }
                                   { print "  Delete \"$INSTDIR\\" $0 "\"" }'
    printf 'SectionEnd\n'
  } > "$bench/nsis-maker.nsi"
  (cd "$bench" && makensis -V2 nsis-maker.nsi >/dev/null) || { echo "bench-uninstall: makensis failed" >&2; exit 1; }
fi

echo "uninstaller on a generated installation ($build_name), $runs runs each:"
echo "  $entries list entries: ${#folders[@]} folders on 5 levels, $file_count files; folders listed first, parents before children"

# A copy of the tree as an installation: the program and its list beside it.
make_installation() {
  cp -a "$tree" "$1"
  cp "$program" "$1/uninstall.exe"
  cp "$list" "$1/Uninstall.lst"
}
now_ms() { echo $(( $(date +%s%N) / 1000000 )); }
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

"$WINESERVER" -p 2>/dev/null || true
"$WINE" cmd /c exit >/dev/null 2>&1   # start the prefix's services before timing

# CPU times in ms. The server of this prefix works in a folder named after
# the prefix's device and inode; the program's own time is the shell's
# children's time (`times`, second line), which the batch file's processes
# never join.
server_folder=/server-$(printf '%x-%x' $(stat -c '%d %i' "$prefix"))
server_pid=
for p in /proc/[0-9]*; do
  case $(readlink "$p/cwd" 2>/dev/null) in *"$server_folder") server_pid=${p#/proc/}; break ;; esac
done
[ -n "$server_pid" ] || { echo "bench-uninstall: the Wine server of $prefix was not found" >&2; exit 1; }
ticks=$(getconf CLK_TCK)
# Sets cpu to the sum; `times` runs in this shell, not in a subshell that
# has no children of its own.
cpu_ms() {
  local server children
  server=$(awk -v t="$ticks" '{ print int(($14 + $15) * 1000 / t) }' "/proc/$server_pid/stat")
  times > "$bench/times.txt"
  children=$(awk 'NR == 2 { n = 0; for (i = 1; i <= 2; i++) { split($i, p, /[ms]/); n += p[1] * 60000 + p[2] * 1000 } print int(n) }' "$bench/times.txt")
  cpu=$((server + children))
}

uninstall_times=() removal_times=() one_call_times=() rd_times=() nsis_times=() uninstall_cpu=() one_call_cpu=()
for ((run = 0; run <= runs; run++)); do
  make_installation "$bench/inst$run"
  cp -a "$tree" "$bench/one$run"
  [ "$with_rd" = 0 ] || cp -a "$tree" "$bench/rd$run"
  if [ "$with_nsis" != 0 ]; then
    cp -a "$tree" "$bench/nsis$run"
    [ -f "$bench/uninst-nsis.exe" ] || "$WINE" 'C:\bench\nsis-maker.exe' /S >/dev/null 2>&1
    cp "$bench/uninst-nsis.exe" "$bench/nsis$run/"
  fi
  sync
  cpu_ms; cpu_before=$cpu
  start=$(now_ms)
  "$WINE" "C:\\bench\\inst$run\\uninstall.exe" /s >/dev/null 2>&1
  ended=$(now_ms)
  cpu_ms; cpu_uninstall=$((cpu - cpu_before))
  while [ -e "$bench/inst$run" ] && [ $(( $(now_ms) - start )) -lt 120000 ]; do sleep 0.05; done
  removed=$(now_ms)
  [ -e "$bench/inst$run" ] && { echo "bench-uninstall: the installation was not removed" >&2; exit 1; }
  # The batch file's interpreter and the shell's handling of the
  # uninstaller's change notifications end before the other program starts.
  sleep 3
  cpu_ms; cpu_before=$cpu
  start_one=$(now_ms)
  "$WINE" 'C:\bench\one_call_per_entry.exe' "C:\\bench\\one$run\\" 'C:\bench\best.txt' >/dev/null \
    || { echo "bench-uninstall: a deletion of the best order failed" >&2; exit 1; }
  ended_one=$(now_ms)
  cpu_ms; cpu_one_call=$((cpu - cpu_before))
  rmdir "$bench/one$run"
  if [ "$with_nsis" != 0 ]; then
    start_nsis=$(now_ms)
    "$WINE" "C:\\bench\\nsis$run\\uninst-nsis.exe" /S "_?=C:\\bench\\nsis$run" >/dev/null 2>&1
    ended_nsis=$(now_ms)
    # what is left is the uninstaller itself, which cannot delete its running file
    [ "$(ls -A "$bench/nsis$run")" = uninst-nsis.exe ] || { echo "bench-uninstall: the NSIS uninstaller left entries" >&2; exit 1; }
    rm -rf "$bench/nsis$run"
  fi
  if [ "$with_rd" != 0 ]; then
    start_rd=$(now_ms)
    "$WINE" cmd /c rd /s /q "C:\\bench\\rd$run" >/dev/null 2>&1
    ended_rd=$(now_ms)
    [ -e "$bench/rd$run" ] && { echo "bench-uninstall: rd /s /q left the tree" >&2; exit 1; }
  fi
  [ $run -eq 0 ] && continue   # warm-up
  uninstall_times+=($((ended - start)))
  removal_times+=($((removed - start)))
  one_call_times+=($((ended_one - start_one)))
  [ "$with_nsis" = 0 ] || nsis_times+=($((ended_nsis - start_nsis)))
  uninstall_cpu+=($cpu_uninstall)
  one_call_cpu+=($cpu_one_call)
  [ "$with_rd" = 0 ] || rd_times+=($((ended_rd - start_rd)))
done
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
median_uninstall=$(printf '%s\n' "${uninstall_times[@]}" | median)
median_removal=$(printf '%s\n' "${removal_times[@]}" | median)
median_one_call=$(printf '%s\n' "${one_call_times[@]}" | median)
echo "  uninstall.exe /s, start to exit:     median $median_uninstall ms (runs: ${uninstall_times[*]})"
echo "  one deletion call per entry, best order, start to exit: median $median_one_call ms (runs: ${one_call_times[*]})"
echo "  ratio of medians uninstall/one call per entry ($build_name): $(ratio "$median_uninstall" "$median_one_call")"
median_uninstall_cpu=$(printf '%s\n' "${uninstall_cpu[@]}" | median)
median_one_call_cpu=$(printf '%s\n' "${one_call_cpu[@]}" | median)
echo "  CPU time, program and Wine server: uninstall.exe median $median_uninstall_cpu ms (runs: ${uninstall_cpu[*]}),"
echo "    one call per entry median $median_one_call_cpu ms (runs: ${one_call_cpu[*]}), ratio $(ratio "$median_uninstall_cpu" "$median_one_call_cpu")"
if [ "$with_nsis" != 0 ]; then
  median_nsis=$(printf '%s\n' "${nsis_times[@]}" | median)
  echo "  NSIS uninstaller, one Delete or RMDir per entry, best order, /S _?=: median $median_nsis ms (runs: ${nsis_times[*]})"
  echo "  ratio of medians uninstall/NSIS uninstaller: $(ratio "$median_uninstall" "$median_nsis")"
fi
if [ "$with_rd" != 0 ]; then
  median_rd=$(printf '%s\n' "${rd_times[@]}" | median)
  echo "  cmd /c rd /s /q of the same tree:    median $median_rd ms (runs: ${rd_times[*]})"
  echo "  ratio of medians uninstall/rd:       $(ratio "$median_uninstall" "$median_rd")"
fi
echo "  until the batch file removed the program and folder: median $median_removal ms (includes its 2 s /wait)"

# --- the passes
make_installation "$bench/count"
mkdir -p "$bench/count/keep"
: > "$bench/count/keep/unlisted.txt"
printf 'keep\r\n' >> "$bench/count/Uninstall.lst"
"$WINE" reg add 'HKCU\Software\Wine\Debug' /v RelayInclude /d 'kernel32.CreateFileA' /f >/dev/null 2>&1
WINEDEBUG=+relay "$WINE" 'C:\bench\count\uninstall.exe' /s 2>"$bench/relay.txt" >/dev/null || true
"$WINE" reg delete 'HKCU\Software\Wine\Debug' /v RelayInclude /f >/dev/null 2>&1 || true
passes=$(grep -c 'Call KERNEL32.CreateFileA(.*\\\\count\\\\keep"' "$bench/relay.txt" || true)
echo "  deletion passes: $passes (files in the first, one folder level in each of the next five, then a pass without success)"
