#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (as root), skipping
# whatever is already there: the MinGW cross compilers, Wine (64 and 32 bit),
# Xvfb, clang with its libFuzzer and sanitizer runtimes, NSIS (the benchmark's
# general installer), the zh_CN and de_DE locales. Some kernels of this
# machine kind refuse 32-bit programs: the packages install all the same and
# the tests then drive the x86_64 build (scripts/wine-env.sh tells which).
set -eu
need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for pkg in cmake ninja-build g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest \
           wine wine64 wine32:i386 xvfb x11-utils locales imagemagick \
           fonts-wqy-microhei python3 binutils-mingw-w64-i686 clang libclang-rt-14-dev nsis; do
  have_pkg "$pkg" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages: ${need[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "installing: ${need[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  # A mirror in the middle of a sync serves an index of the wrong size: try
  # again a few times, then go on with the lists that did arrive.
  for try in 1 2 3 4; do
    if apt-get update -qq >/tmp/apt-update.$$ 2>&1; then break; fi
    if [ $try = 4 ]; then
      echo "apt-get update failed 4 times; installing from the package lists at hand" >&2
    else
      sleep $((try * 5))
    fi
  done
  rm -f /tmp/apt-update.$$
  install() { DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null; }
  # After a partial update the 32-bit libraries may stand at the release's
  # version while their 64-bit twins are already updated: take both from the
  # release's own suite then.
  if ! install "${need[@]}" 2>/tmp/apt-install.$$; then
    suite=$(. /etc/os-release && echo "${VERSION_CODENAME:-bookworm}")
    echo "install failed ($(grep -m1 '^E:' /tmp/apt-install.$$ || echo 'no reason given')); retrying from $suite" >&2
    install -t "$suite" "${need[@]}"
  fi
  rm -f /tmp/apt-install.$$
fi
# Non-ASCII file names under Wine need the generated glibc locales.
if ! locale -a 2>/dev/null | grep -qi '^zh_CN.utf8$' || ! locale -a 2>/dev/null | grep -qi '^de_DE.utf8$'; then
  if [ "$(id -u)" = 0 ]; then
    sed -i 's/^# *\(zh_CN.UTF-8\)/\1/; s/^# *\(de_DE.UTF-8\)/\1/' /etc/locale.gen
    locale-gen >/dev/null
  else
    echo "the zh_CN.UTF-8 and de_DE.UTF-8 locales are missing (run as root to generate them)" >&2
  fi
fi
