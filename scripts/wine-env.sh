# Shared by the scripts that run Windows programs under Wine.

# Whether this kernel runs 32-bit programs (32-bit Wine is one): some
# kernels of this machine kind refuse them (IA-32 emulation off). Where it
# cannot, the reason is in NO_32BIT_REASON. UNINSTALL_NO_32BIT=1 makes the
# scripts act as on such a kernel, to try the x86_64 road by hand.
runs_32bit() {
  NO_32BIT_REASON=
  if [ -n "${UNINSTALL_NO_32BIT:-}" ]; then
    NO_32BIT_REASON="UNINSTALL_NO_32BIT is set"
  elif [ ! -x /usr/lib/wine/wine ]; then
    NO_32BIT_REASON="32-bit Wine is not installed"
  elif ! /usr/lib/wine/wine --version >/dev/null 2>&1; then
    NO_32BIT_REASON="this kernel does not run 32-bit programs: /usr/lib/wine/wine --version says \"$(/usr/lib/wine/wine --version 2>&1 | tail -n1 | sed 's/.*: //')\""
  fi
  [ -z "$NO_32BIT_REASON" ]
}

# Sets WINE and WINESERVER for the given architecture (64 or 32).
wine_env_init() {
  if [ "$1" = 64 ]; then
    WINE=/usr/lib/wine/wine64
    WINESERVER=/usr/lib/wine/wineserver64
    [ -x "$WINE" ] || { echo "SKIP: wine64 is not installed" >&2; return 1; }
  else
    runs_32bit || { echo "SKIP: $NO_32BIT_REASON" >&2; return 1; }
    WINE=/usr/lib/wine/wine
    # the 64-bit server serves 32-bit programs too
    WINESERVER=/usr/lib/wine/wineserver64
  fi
  # Wine hands every shortcut saved under the Start menu or on the desktop
  # to winemenubuilder, which writes menu entries into the Linux home and
  # keeps the shortcut open for a while: a test that deletes it and writes
  # the same name again would find it still pending deletion.
  case ${WINEDLLOVERRIDES:-} in
    *winemenubuilder*) ;;
    *) WINEDLLOVERRIDES="winemenubuilder.exe=d${WINEDLLOVERRIDES:+;$WINEDLLOVERRIDES}" ;;
  esac
  export WINE WINESERVER WINEDLLOVERRIDES
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
  local arch=$1 dir=$2 template booted
  template=$(dirname "$dir")/template-$arch
  mkdir -p "$(dirname "$dir")"
  (
    flock 9
    if [ ! -f "$template/.ready" ]; then
      rm -rf "$template"
      # bounded: the suites that wait on the lock wait no longer than this
      if [ "$arch" = 64 ]; then
        WINEPREFIX=$template WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" timeout 600 "$WINE" wineboot -i >/dev/null 2>&1
        booted=$?
      else
        WINEPREFIX=$template WINEARCH=win32 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d" timeout 600 "$WINE" wineboot -i >/dev/null 2>&1
        booted=$?
      fi
      WINEPREFIX=$template timeout 120 "$WINESERVER" -w || WINEPREFIX=$template "$WINESERVER" -k
      [ $booted != 124 ] || { echo "wine-test.sh: booting the template prefix took over 600 s" >&2; exit 1; }
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
