#!/usr/bin/env bash
# Prints the project's figures, each measured for the i686 program (the
# product) in a 32-bit prefix and for the x86_64 build under wine64:
# - start-up to exit of `uninstall.exe /x` (an unknown switch, so nothing
#   runs) against an empty GUI program from the same toolchain, as a ratio of
#   medians;
# - the stripped size of the program, resources included;
# - the uninstaller on a large generated installation (bench-uninstall.sh);
# - the archive associations' take-over and give-back (bench-associations.sh);
# - for the i686 program, the silent setup against an NSIS installer doing
#   the same job (bench-setup-nsis.sh), beside the uninstall against an NSIS
#   uninstaller (in bench-uninstall.sh);
# - then, natively, executions per second of each fuzzer (bench-fuzz.sh).
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
runs=${BENCH_RUNS:-15}
ensure_display || { echo "no X display" >&2; exit 1; }

for arch in 32 64; do
  if [ $arch = 32 ]; then build=$root/build/win32 name="i686 program, 32-bit prefix"
  else build=$root/build/win64 name="x86_64 build, wine64"; fi
  echo "== $name"
  size=$(stat -c %s "$build/uninstall.exe")
  echo "uninstall.exe: $size bytes ($(( (size + 1023) / 1024 )) KiB), stripped, resources included"
  if ! wine_env_init $arch; then echo "  (skipped: this Wine cannot run it here)"; continue; fi
  make_prefix $arch "$root/build/bench/prefix$arch"
  export WINEPREFIX=$root/build/bench/prefix$arch WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
  echo "start-up to exit, $runs runs each (A: uninstall.exe /x, B: empty GUI program):"
  "$WINE" "$build/tools/startup_bench.exe" "$runs" \
    "$(to_windows_path "$build/uninstall.exe")" /x \
    "$(to_windows_path "$build/tools/empty_gui.exe")" "" | sed 's/^/  /'
  "$WINESERVER" -k 2>/dev/null || true
  BENCH_ARCH=$arch "$root/scripts/bench-uninstall.sh"
  BENCH_ARCH=$arch "$root/scripts/bench-associations.sh"
  [ $arch != 32 ] || "$root/scripts/bench-setup-nsis.sh"
done

echo "== fuzzers, native, ASan + UBSan"
"$root/scripts/bench-fuzz.sh"
