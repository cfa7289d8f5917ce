#!/usr/bin/env bash
# Prints the project's figures, measured in one run under the same Wine:
# - start-up to exit of `uninstall.exe /x` (an unknown switch, so nothing
#   runs) against an empty GUI program from the same toolchain, as a ratio of
#   medians;
# - the stripped size of the i686 program, resources included;
# - the uninstaller on a large generated installation (bench-uninstall.sh).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
build=$root/build/win64
runs=${BENCH_RUNS:-15}

size=$(stat -c %s "$root/build/win32/uninstall.exe")
echo "i686 uninstall.exe: $size bytes ($(( (size + 1023) / 1024 )) KiB), stripped, resources included"

wine_env_init 64
ensure_display || { echo "no X display" >&2; exit 1; }
make_prefix 64 "$root/build/bench/prefix"
export WINEPREFIX=$root/build/bench/prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
echo "start-up to exit under wine64, $runs runs each (A: uninstall.exe /x, B: empty GUI program):"
"$WINE" "$build/tests/startup_bench.exe" "$runs" \
  "$(to_windows_path "$build/uninstall.exe")" /x \
  "$(to_windows_path "$build/tests/empty_gui.exe")" "" | sed 's/^/  /'
"$WINESERVER" -k 2>/dev/null || true

if [ -x "$root/scripts/bench-uninstall.sh" ]; then
  "$root/scripts/bench-uninstall.sh"
fi
