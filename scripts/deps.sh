#!/usr/bin/env bash
# Installs what building and testing need on Debian 12 (as root), skipping
# whatever is already there: the MinGW cross compilers, Wine (64 and 32 bit),
# Xvfb, clang with its libFuzzer and sanitizer runtimes, the zh_CN and de_DE
# locales. 32-bit Wine runs natively on these machines; where it does not,
# scripts/wine-env.sh falls back on an installed qemu-user.
set -eu
need=()
have_pkg() { dpkg-query -W -f='${Status}' "$1" 2>/dev/null | grep -q 'install ok installed'; }
for pkg in cmake ninja-build g++ g++-mingw-w64-i686 g++-mingw-w64-x86-64 googletest \
           wine wine64 wine32:i386 xvfb x11-utils locales imagemagick \
           fonts-wqy-microhei python3 binutils-mingw-w64-i686 clang libclang-rt-14-dev; do
  have_pkg "$pkg" || need+=("$pkg")
done
if [ ${#need[@]} -gt 0 ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages: ${need[*]} (run as root to install them)" >&2
    exit 1
  fi
  echo "installing: ${need[*]}"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  apt-get update -qq
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${need[@]}" >/dev/null
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
