# Shared by the scripts that run Windows programs under Wine.

# Sets WINE and WINESERVER for the given architecture (64 or 32).
wine_env_init() {
  if [ "$1" = 64 ]; then
    WINE=/usr/lib/wine/wine64
    WINESERVER=/usr/lib/wine/wineserver64
    [ -x "$WINE" ] || { echo "SKIP: wine64 is not installed" >&2; return 1; }
  else
    WINE=/usr/lib/wine/wine
    # the 64-bit server serves 32-bit programs too, and runs natively
    WINESERVER=/usr/lib/wine/wineserver64
    [ -x "$WINE" ] || WINE=$(command -v wine)
    [ -x "$WINESERVER" ] || WINESERVER=$(command -v wineserver)
    [ -n "$WINE" ] || { echo "SKIP: 32-bit wine is not installed" >&2; return 1; }
    enable_32bit || return 1
  fi
  export WINE WINESERVER
}

# 32-bit Linux programs (32-bit Wine is one) need either a kernel that runs
# them or qemu-user through binfmt_misc.
qemu_entry=/proc/sys/fs/binfmt_misc/qemu-i386
can_run_32bit_natively() {
  [ -x /usr/lib/wine/wine ] && /usr/lib/wine/wine --version >/dev/null 2>&1
}
enable_32bit() {
  can_run_32bit_natively && return 0
  [ -e /proc/sys/fs/binfmt_misc/register ] || mount -t binfmt_misc binfmt_misc /proc/sys/fs/binfmt_misc 2>/dev/null
  if [ ! -e $qemu_entry ]; then
    [ -x /usr/bin/qemu-i386-static ] || { echo "SKIP: 32-bit programs cannot run here and qemu-i386-static is missing" >&2; return 1; }
    echo ':qemu-i386:M::\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00:\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff:/usr/bin/qemu-i386-static:F' \
      > /proc/sys/fs/binfmt_misc/register 2>/dev/null \
      || { echo "SKIP: 32-bit programs cannot run here (no binfmt_misc entry for qemu-i386, and it cannot be registered)" >&2; return 1; }
  fi
  [ "$(head -n1 $qemu_entry 2>/dev/null)" = enabled ] || echo 1 > $qemu_entry 2>/dev/null
  can_run_32bit_natively || { echo "SKIP: 32-bit Wine does not start, even under qemu-user" >&2; return 1; }
}

# A reachable X display: the one in DISPLAY, else a private Xvfb. Xvfb picks
# a free display number itself (-displayfd), so runs that start at the same
# time never share one, and one run's exit cannot take another's display.
ensure_display() {
  if [ -n "${DISPLAY:-}" ] && xdpyinfo >/dev/null 2>&1; then return 0; fi
  command -v Xvfb >/dev/null || return 1
  local numbers n
  numbers=$(mktemp)
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$numbers" >/dev/null 2>&1 &
  XVFB_PID=$!
  for _ in $(seq 100); do
    n=$(head -n1 "$numbers" 2>/dev/null)
    if [ -n "$n" ] && DISPLAY=:$n xdpyinfo >/dev/null 2>&1; then
      rm -f "$numbers"
      export DISPLAY=:$n
      trap 'kill $XVFB_PID 2>/dev/null' EXIT
      return 0
    fi
    kill -0 $XVFB_PID 2>/dev/null || break
    sleep 0.1
  done
  rm -f "$numbers"
  kill $XVFB_PID 2>/dev/null
  return 1
}

# make_prefix ARCH DIR: DIR becomes a fresh copy of the template prefix for
# ARCH, which is made once beside DIR's parent and reused (copying takes about
# a second, booting a new prefix far longer).
make_prefix() {
  local arch=$1 dir=$2 template
  template=$(dirname "$dir")/template-$arch
  mkdir -p "$(dirname "$dir")"
  (
    flock 9
    if [ ! -f "$template/.ready" ]; then
      rm -rf "$template"
      local reenable=
      if [ "$arch" = 64 ] && [ "$(head -n1 $qemu_entry 2>/dev/null)" = enabled ]; then
        # with 32-bit programs runnable, wineboot would also boot the 32-bit
        # half of a 64-bit prefix under emulation, for minutes
        echo 0 > $qemu_entry 2>/dev/null && reenable=1
      fi
      if [ "$arch" = 64 ]; then
        WINEPREFIX=$template WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i >/dev/null 2>&1
      else
        WINEPREFIX=$template WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=" "$WINE" wineboot -i >/dev/null 2>&1
      fi
      # under qemu-user some boot services never end by themselves
      WINEPREFIX=$template timeout 300 "$WINESERVER" -w || WINEPREFIX=$template "$WINESERVER" -k
      [ -n "$reenable" ] && echo 1 > $qemu_entry
      [ -f "$template/system.reg" ] || exit 1
      # Wine links the user's Desktop, Documents and the like to the Linux
      # home folder, which every prefix shares: a shortcut written in one
      # test's prefix would show up in all others. Each prefix gets folders
      # of its own.
      local link
      for link in "$template"/drive_c/users/*/*; do
        [ -L "$link" ] && rm -f "$link" && mkdir -p "$link"
      done
      touch "$template/.ready"
    fi
  ) 9>"$(dirname "$dir")/template-$arch.lock" || return 1
  rm -rf "$dir"
  cp -a "$template" "$dir" && rm -f "$dir/.ready"
}

# Z:\... path of a Linux path, as Wine maps the file system root.
to_windows_path() {
  printf 'Z:%s' "$1" | tr / '\\'
}

set_win98() {
  "$WINE" reg add "HKCU\\Software\\Wine\\AppDefaults\\$1" /v Version /d win98 /f >/dev/null 2>&1
}
