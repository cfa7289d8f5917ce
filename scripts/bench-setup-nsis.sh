#!/usr/bin/env bash
# The silent setup against an NSIS installer that does the same job, the i686
# program in a 32-bit prefix:
# - a first `uninstall.exe /setup /s` is recorded from outside: the registry
#   exported before and after (`regedit /E`), and the files it created (the
#   shortcuts with their targets and descriptions, the New-menu templates);
# - from that record scripts/setup_snapshot.py writes an NSIS script that
#   writes the same values, makes the same shortcuts and writes the same
#   files, and makensis builds it;
# - then both take turns, started as in real use: `uninstall.exe /setup /s`
#   with the installation folder as the current folder, the installer with
#   `/S`; each timed from process start to exit inside Wine (timed_run), with
#   Wine's server and desktop kept up for both (a GUI program stays open) and
#   the menu builder off, so Wine's own start-up is paid by neither;
# - after every run the registry and the files are checked against the record
#   (every value with its type and data, every shortcut, every file), then put
#   back as they were before setup;
# - the medians and their ratio.
# BENCH_SETUP_RUNS sets the number of timed runs of each (default 15).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
build=$root/build/win32
runs=${BENCH_SETUP_RUNS:-15}
snapshot=$root/scripts/setup_snapshot.py
for needed in "$build/uninstall.exe" "$build/tools/timed_run.exe" "$build/tools/demo_archiver.exe" \
              "$build/tools/empty_gui.exe"; do
  [ -f "$needed" ] || { echo "bench-setup-nsis: $needed is missing (build the win32 preset first)" >&2; exit 1; }
done
if ! command -v makensis >/dev/null; then
  [ "$(id -u)" = 0 ] || { echo "bench-setup-nsis: makensis is missing (apt-get install nsis)" >&2; exit 1; }
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends nsis >/dev/null
fi

echo "silent setup against an NSIS installer doing the same job (i686 program, 32-bit prefix), $runs runs each:"
if ! wine_env_init 32; then echo "  (skipped: $NO_32BIT_REASON)"; exit 0; fi
ensure_display || { echo "bench-setup-nsis: no X display" >&2; exit 1; }
prefix=$root/build/bench/setup32
work=$root/build/bench/setup32-files
make_prefix 32 "$prefix"
rm -rf "$work" && mkdir -p "$work"
export WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
trap '"$WINESERVER" -k 2>/dev/null || true; [ -z "${XVFB_PID:-}" ] || kill $XVFB_PID 2>/dev/null' EXIT
drive_c=$prefix/drive_c

# The installation as the installer leaves it before it starts setup.
install=$drive_c/Program\ Files/Zobrix
mkdir -p "$install/Help" "$drive_c/bench"
cp "$build/uninstall.exe" "$install/uninstall.exe"
cp "$build/tools/demo_archiver.exe" "$install/Zobrix.exe"
cp "$build/tools/empty_gui.exe" "$install/kexext.dll"
for name in license.txt order.txt Kex.txt Help/zobrix.hlp; do printf 'stand-in\r\n' > "$install/$name"; done
printf 'Help\r\nHelp\\zobrix.hlp\r\nZobrix.exe\r\nkexext.dll\r\nlicense.txt\r\norder.txt\r\nKex.txt\r\nkexnew.dat\r\nzipnew.dat\r\nuninstall.exe\r\n' \
  > "$install/Uninstall.lst"
cp "$build/tools/timed_run.exe" "$drive_c/bench/"

"$WINESERVER" -p
# One GUI program stays up, so that neither side starts Wine's desktop.
"$WINE" notepad >/dev/null 2>&1 &
"$WINE" cmd /c exit >/dev/null 2>&1
sleep 2

program_run() {
  "$WINE" 'C:\bench\timed_run.exe' 'C:\Program Files\Zobrix' '"C:\Program Files\Zobrix\uninstall.exe" /setup /s' | tr -d '\r'
}
nsis_run() {
  "$WINE" 'C:\bench\timed_run.exe' 'C:\bench' '"C:\bench\setup-nsis.exe" /S' | tr -d '\r'
}
export_registry() { "$WINE" regedit /E "$1" >/dev/null 2>&1; }
put_back() {
  "$WINE" regedit /S 'C:\bench\reset.reg' >/dev/null 2>&1
  python3 "$snapshot" clean "$work/job.json" "$drive_c"
}

# --- the record
find "$drive_c" > "$work/files-before.txt"
export_registry 'C:\bench\before.reg'
read -r ms code < <(program_run)
[ "$code" = 0 ] || { echo "bench-setup-nsis: setup ended with $code" >&2; exit 1; }
export_registry 'C:\bench\after.reg'
echo "  what setup wrote: $(python3 "$snapshot" record "$drive_c/bench/before.reg" "$drive_c/bench/after.reg" \
  "$drive_c" "$work/files-before.txt" "$work/job.json")"
python3 "$snapshot" nsi "$work/job.json" "$work/setup-nsis.nsi"
python3 "$snapshot" reset "$work/job.json" "$drive_c/bench/reset.reg"
(cd "$work" && makensis -V2 setup-nsis.nsi >/dev/null) || { echo "bench-setup-nsis: makensis failed" >&2; exit 1; }
cp "$work/setup-nsis.exe" "$drive_c/bench/setup-nsis.exe"
echo "  NSIS installer: $(grep -c '^  WriteReg' "$work/setup-nsis.nsi") registry writes," \
  "$(grep -c '^  CreateShortcut' "$work/setup-nsis.nsi") shortcuts, $(grep -c '^  File' "$work/setup-nsis.nsi") files;" \
  "$(stat -c %s "$work/setup-nsis.exe") bytes"
put_back
export_registry 'C:\bench\now.reg'
if ! python3 "$snapshot" same "$drive_c/bench/before.reg" "$drive_c/bench/now.reg" > "$work/faults.txt"; then
  echo "bench-setup-nsis: the registry was not put back as it was before setup:" >&2
  sed 's/^/  /' "$work/faults.txt" >&2
  exit 1
fi

# Both did the whole job, or the figures mean nothing.
check() {
  export_registry 'C:\bench\now.reg'
  if ! python3 "$snapshot" check "$work/job.json" "$drive_c/bench/now.reg" "$drive_c" > "$work/faults.txt"; then
    echo "bench-setup-nsis: $1 did not do the whole job:" >&2
    sed 's/^/  /' "$work/faults.txt" >&2
    exit 1
  fi
}

program_times=() nsis_times=()
for ((run = 0; run <= runs; run++)); do
  # the two take turns, each first every other run
  for side in $([ $((run % 2)) = 0 ] && echo "program nsis" || echo "nsis program"); do
    read -r ms code < <(${side}_run)
    [ "$code" = 0 ] || { echo "bench-setup-nsis: the $side side ended with $code" >&2; exit 1; }
    check "the $side side"
    put_back
    [ $run -eq 0 ] && continue   # warm-up
    if [ $side = program ]; then program_times+=("$ms"); else nsis_times+=("$ms"); fi
  done
done
median() { sort -n | awk '{ v[NR] = $1 } END { if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
median_program=$(printf '%s\n' "${program_times[@]}" | median)
median_nsis=$(printf '%s\n' "${nsis_times[@]}" | median)
echo "  uninstall.exe /setup /s, start to exit: median $median_program ms (runs: ${program_times[*]})"
echo "  NSIS installer /S, start to exit:       median $median_nsis ms (runs: ${nsis_times[*]})"
echo "  ratio of medians setup/NSIS: $(awk -v a="$median_program" -v b="$median_nsis" 'BEGIN { printf "%.2f", a / b }')" \
  "(every run of both checked complete)"
