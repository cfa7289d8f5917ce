#!/usr/bin/env bash
# Lays out a demo installation of the archiver in a Wine prefix (build/demo/),
# where other programs already own some archive extensions, and runs the
# program's whole job there: setup, then the uninstaller, which gives the
# extensions back and removes the installation and itself.
# With a reachable display it runs interactively (setup only); without one
# (or with DEMO_HEADLESS=1) it runs under Xvfb, answers every window itself,
# saves a PNG picture of each under build/demo/ and prints what setup changed
# and what the uninstaller gave back.
# The product, the i686 program, runs in a 32-bit prefix where this kernel runs
# 32-bit programs; elsewhere the x86_64 build of the same sources shows the
# same job in a 64-bit prefix. DEMO_WOW64=1 shows the i686 program in a 64-bit
# prefix, under WOW64 as on 64-bit Windows, installed in "Program Files (x86)"
# with a 64-bit stand-in for the shell extension; the report then names the
# registry view of every key it lists.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
source "$root/scripts/wine-env.sh"
wow64=
if [ -n "${DEMO_WOW64:-}" ]; then
  runs_32bit || { echo "demo: DEMO_WOW64 needs a kernel that runs 32-bit programs: $NO_32BIT_REASON" >&2; exit 1; }
  arch=64 preset=win32 wow64=1
  echo "demo: the i686 program (the product) under WOW64 in a 64-bit Wine prefix, as on 64-bit Windows"
elif runs_32bit; then
  arch=32 preset=win32
  echo "demo: the i686 program (the product) in a 32-bit Wine prefix: this kernel runs 32-bit programs"
else
  arch=64 preset=win64
  echo "demo: the x86_64 build of the same sources in a 64-bit Wine prefix, not the i686 product: $NO_32BIT_REASON"
fi
build=$root/build/$preset
out=$root/build/demo
cmake --preset $preset >/dev/null
cmake --build --preset $preset

if [ -n "$wow64" ]; then wine_env_init 32; fi
wine_env_init $arch
interactive=
if [ -z "${DEMO_HEADLESS:-}" ] && [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then interactive=1; fi
ensure_display || { echo "no X display and Xvfb cannot start" >&2; exit 1; }
mkdir -p "$out"
# one prefix per architecture: a 32-bit prefix cannot be reused as a 64-bit one
prefix=$out/prefix$arch
[ -n "$wow64" ] && prefix=$out/prefix-wow64
echo "preparing the Wine prefix $prefix ..."
make_prefix $arch "$prefix"
export WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=zh_CN.UTF-8
# under WOW64 the 32-bit launcher starts the i686 programs
[ -n "$wow64" ] && WINE=/usr/lib/wine/wine
programs='Program Files'
[ -n "$wow64" ] && programs='Program Files (x86)'

# The installation, as the installer leaves it: the program, stand-ins for the
# archiver's own files, and the list of installed files.
install="$WINEPREFIX/drive_c/$programs/Zobrix"
mkdir -p "$install/Help"
cp "$build/uninstall.exe" "$install/uninstall.exe"
cp "$build/tools/demo_archiver.exe" "$install/Zobrix.exe"
if [ -n "$wow64" ]; then
  # 64-bit Explorer loads only a 64-bit shell extension
  printf 'int __stdcall DllMain(void* m, unsigned r, void* p) { (void)m; (void)r; (void)p; return 1; }\n' |
    x86_64-w64-mingw32-gcc -shared -nostartfiles -Wl,--entry=DllMain -x c - -o "$install/kexext.dll"
else
  cp "$build/tools/empty_gui.exe" "$install/kexext.dll"
fi
printf 'Zobrix archiver licence (demo stand-in)\r\n' > "$install/license.txt"
printf 'Zobrix price list (demo stand-in)\r\n' > "$install/order.txt"
printf 'Zobrix console manual (demo stand-in)\r\n' > "$install/Kex.txt"
printf 'demo help file\r\n' > "$install/Help/zobrix.hlp"
# folders before their contents, as real lists often have them; the two
# New-menu templates are written into the folder by setup
printf 'Help\r\nHelp\\zobrix.hlp\r\nZobrix.exe\r\nkexext.dll\r\nlicense.txt\r\norder.txt\r\nKex.txt\r\nkexnew.dat\r\nzipnew.dat\r\n' > "$install/Uninstall.lst"
echo "demo installation: C:\\$programs\\Zobrix"
ls -1 "$install" | sed 's/^/  /'

# Other programs' archive extensions, with content types and New-menu
# entries, for setup to take over and the uninstaller to give back.
other() {  # extension, file type ('' for none), content type ('' for none), ShellNew value name and data
  local key="HKCR\\$1"
  if [ -n "$2" ]; then
    "$WINE" reg add "$key" /ve /d "$2" /f >/dev/null 2>&1
    "$WINE" reg add "HKCR\\$2" /ve /d "$2 (another program)" /f >/dev/null 2>&1
    "$WINE" reg add "HKCR\\$2\\shell\\open\\command" /ve /d '"C:\Other\other.exe" "%1"' /f >/dev/null 2>&1
  else
    "$WINE" reg add "$key" /f >/dev/null 2>&1
  fi
  [ -n "$3" ] && "$WINE" reg add "$key" /v "Content Type" /d "$3" /f >/dev/null 2>&1
  [ -n "${4:-}" ] && "$WINE" reg add "$key\\ShellNew" /v "$4" /d "${5:-}" /f >/dev/null 2>&1
  return 0
}
other .zip OtherZip.Archive application/x-zip-compressed NullFile ''
other .cab OtherCab.Archive application/vnd.ms-cab-compressed FileName 'C:\Templates\empty.cab'
other .tar OtherTar.Archive '' NullFile ''
other .gz '' application/x-gzip
other .iso OtherBurner.Image ''

if [ -n "$interactive" ]; then
  echo "starting uninstall.exe /setup on $DISPLAY ..."
  (cd "$install" && "$WINE" uninstall.exe /setup)
  echo "exit code $?"
  "$WINESERVER" -w
  exit 0
fi

rm -f "$out"/*.png "$out"/*.bmp
# Xvfb has no window manager: a Wine virtual desktop draws the windows' frames
# and captions itself, so the pictures show them.
"$WINE" reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
"$WINE" reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
"$WINESERVER" -w  # the desktop is chosen when the next session starts
"$WINE" "$build/tools/demo_driver.exe" "C:\\$programs\\Zobrix\\uninstall.exe" "C:\\$programs\\Zobrix" \
  "$(to_windows_path "$out")" "$(to_windows_path "$root/lang/en/uninstall.lng")"
"$WINESERVER" -w
for bmp in "$out"/*.bmp; do
  [ -f "$bmp" ] || continue
  convert "$bmp" "${bmp%.bmp}.png" && rm -f "$bmp"
done
echo "pictures:"
ls -1 "$out"/*.png 2>/dev/null | sed 's/^/  /' || echo "  (none)"
