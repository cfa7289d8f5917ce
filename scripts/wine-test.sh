#!/usr/bin/env bash
# Runs one Windows test program under Wine with everything it needs:
#   wine-test.sh --arch 64|32|wow64 --family nt|9x --prefix DIR [--locale L]
#                [--uninstall FILE] [--without-32bit] -- PROGRAM [ARGS...]
# - a fresh prefix DIR, copied from a template that is created once per build tree;
# - an X display (Xvfb is started when none answers);
# - LC_ALL (zh_CN.UTF-8 unless --locale says otherwise: ANSI code page 936),
#   WINEDEBUG=-all, UNINSTALL_EXE (the program under test, as a Windows path:
#   --uninstall FILE, else the uninstall.exe of PROGRAM's build tree);
# - --arch wow64 runs an i686 PROGRAM in a 64-bit prefix, under WOW64 as on
#   64-bit Windows; it needs a kernel that runs 32-bit programs;
# - with --without-32bit it runs only where the kernel refuses 32-bit programs:
#   an x86_64 suite that stands in for an i686 one;
# - for --family 9x the program runs as a copy named <name>_98.exe, and that name
#   and uninstall.exe get Version=win98 under HKCU\Software\Wine\AppDefaults.
# Exit code 77 means the test could not run here (CTest reports it as skipped).
# A test program that finds no window can be shown in the prefix (exit code
# 75) gets a second try in a new Wine session; when that fails too the
# suite fails at once with the reason, before any test ran.
set -u
here=$(cd "$(dirname "$0")" && pwd)
arch=64 family=nt prefix= locale=zh_CN.UTF-8 uninstall= without_32bit=
while [ $# -gt 0 ]; do
  case $1 in
    --arch) arch=$2; shift 2 ;;
    --family) family=$2; shift 2 ;;
    --prefix) prefix=$2; shift 2 ;;
    --locale) locale=$2; shift 2 ;;
    --uninstall) uninstall=$2; shift 2 ;;
    --without-32bit) without_32bit=1; shift ;;
    --) shift; break ;;
    *) echo "wine-test.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
[ $# -ge 1 ] && [ -n "$prefix" ] || { echo "usage: wine-test.sh --prefix DIR [...] -- PROGRAM [ARGS]" >&2; exit 2; }
program=$(readlink -f "$1"); shift
prefix=$(readlink -m "$prefix")

source "$here/wine-env.sh"
# The line the summary of `make test` reads: which program runs where.
case $arch in
  32) where="i686 in a 32-bit prefix" ;;
  wow64) where="i686 under WoW64 in a 64-bit prefix" ;;
  *) where="x86_64 in a 64-bit prefix" ;;
esac
echo "wine-test.sh: $where, $family family, $locale: $(basename "$program")" >&2
if [ -n "$without_32bit" ] && runs_32bit; then
  echo "SKIP: the i686 suite runs here; this x86_64 one stands in only where 32-bit programs cannot run" >&2
  exit 77
fi
if [ "$arch" = wow64 ]; then
  # the 32-bit launcher runs the program; the prefix is a 64-bit one
  wine_env_init 32 || exit 77
  wine_env_init 64 || exit 77
  ensure_display || { echo "SKIP: no X display and Xvfb cannot start" >&2; exit 77; }
  make_prefix 64 "$prefix" || { echo "SKIP: cannot create a 64-bit Wine prefix here" >&2; exit 77; }
  WINE=/usr/lib/wine/wine
else
  wine_env_init "$arch" || exit 77
  ensure_display || { echo "SKIP: no X display and Xvfb cannot start" >&2; exit 77; }
  make_prefix "$arch" "$prefix" || { echo "SKIP: cannot create a Wine prefix for $arch-bit programs here" >&2; exit 77; }
fi
export WINEPREFIX=$prefix WINEDEBUG=-all LC_ALL=$locale
export TEST_FAMILY=$family

root=$(cd "$here/.." && pwd)
exe_dir=$(dirname "$program")
if [ -z "$uninstall" ]; then
  if [ -f "$exe_dir/../uninstall.exe" ]; then uninstall=$exe_dir/../uninstall.exe
  elif [ -f "$exe_dir/uninstall.exe" ]; then uninstall=$exe_dir/uninstall.exe; fi
fi
[ -n "$uninstall" ] && export UNINSTALL_EXE=$(to_windows_path "$(readlink -f "$uninstall")")
export TEST_SOURCE_DIR=$(to_windows_path "$root")

run=$program
if [ "$family" = 9x ]; then
  name=$(basename "$program" .exe)
  run=$(dirname "$program")/${name}_98.exe
  # Suites of one build tree run at the same time, and a running program's
  # image is mapped from its file: a copy in use is never written over. A new
  # one is put in place by rename; a running one keeps the file it started from.
  if ! cmp -s "$program" "$run"; then
    copy=$(mktemp "$run.XXXXXX") && cp -f "$program" "$copy" && mv -f "$copy" "$run" || {
      echo "wine-test.sh: cannot copy $program to $run" >&2
      exit 1
    }
  fi
  set_win98 "${name}_98.exe"
  set_win98 "uninstall.exe"
fi

# Before its first test the program checks that a program of this prefix
# can show a window, and ends with code 75 when it cannot: a Wine session
# was seen on a loaded machine in which no program could show one, while a
# new session in a copy of the same prefix could. Once more in a new
# session, then the suite stops with the reason.
report=$(mktemp)
export WINDOW_CHECK_REPORT=$(to_windows_path "$report")
for attempt in 1 2; do
  "$WINE" "$run" "$@"
  rc=$?
  echo "wine-test.sh: $(basename "$run") ended with exit code $rc" >&2
  "$WINESERVER" -k 2>/dev/null
  [ $rc = 75 ] || break
  timeout 60 "$WINESERVER" -w
  [ $attempt = 1 ] && echo "wine-test.sh: no window could be shown ($(cat "$report")); trying once more in a new Wine session" >&2
done
if [ $rc = 75 ]; then
  echo "wine-test.sh: no window can be shown in this prefix, no test ran: $(cat "$report")" >&2
  rc=1
fi
rm -f "$report"
exit $rc
