#!/usr/bin/env bash
# Installs what building and testing need on a Debian 12 machine (as root), when it is missing.
set -euo pipefail

# What the Windows-side tests need depends on the build this host runs (scripts/windows_build.sh):
# 32-bit Wine only where the kernel starts 32-bit programs.
source "$(dirname "$0")/windows_build.sh"
echo "setup: Windows build to test: $QV_WINDOWS_BUILD_WHY"
need=()
have() { command -v "$1" >/dev/null 2>&1; }
# Both compilers on every host: the release is the 32-bit program, the tests may run the 64-bit one.
have i686-w64-mingw32-g++-posix || need+=(g++-mingw-w64-i686-posix)
have x86_64-w64-mingw32-g++-posix || need+=(g++-mingw-w64-x86-64-posix)
have cmake || need+=(cmake)
have ninja || need+=(ninja-build)
[ -d /usr/src/googletest ] || need+=(googletest)
[ -f /usr/include/gtest/gtest.h ] || need+=(libgtest-dev)
[ -x /usr/lib/wine/wine64 ] && have wine || need+=(wine wine64)
[ "$QV_WINDOWS_BUILD" = win64 ] || [ -x /usr/lib/wine/wine ] || need+=(wine32:i386)
have xvfb-run || need+=(xvfb xauth)
have xdotool || need+=(xdotool)
have xwininfo || need+=(x11-utils)
[ -x /usr/bin/convert ] || need+=(imagemagick)
[ -d /usr/share/fonts/truetype/nanum ] || need+=(fonts-nanum)
[ -d /usr/share/fonts/truetype/liberation ] || need+=(fonts-liberation)
/usr/bin/python3 -c 'import pyftpdlib' 2>/dev/null || need+=(python3-pyftpdlib)
/usr/bin/python3 -c 'import fontTools' 2>/dev/null || need+=(python3-fonttools)
have curl || need+=(curl)
have ccache || need+=(ccache)
have osslsigncode || need+=(osslsigncode)
have openssl || need+=(openssl)
have clang++ || need+=(clang)
have clang-format || need+=(clang-format)
[ -n "$(ls /usr/lib/llvm-14/lib/clang/14*/lib/linux/libclang_rt.fuzzer-x86_64.a 2>/dev/null)" ] || need+=(libclang-rt-14-dev)
have locale-gen || need+=(locales)

if [ ${#need[@]} -gt 0 ]; then
  echo "setup: installing ${need[*]}"
  if [ "$(id -u)" -ne 0 ]; then
    echo "setup: run as root (or install: ${need[*]})" >&2
    exit 1
  fi
  [[ " ${need[*]} " == *":i386 "* ]] && dpkg --add-architecture i386
  apt-get update -q
  DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${need[@]}"
fi

if ! locale -a 2>/dev/null | grep -qi '^ko_KR.utf8$' || ! locale -a 2>/dev/null | grep -qi '^en_US.utf8$'; then
  if [ "$(id -u)" -eq 0 ]; then
    sed -i 's/^# *ko_KR.UTF-8/ko_KR.UTF-8/; s/^# *en_US.UTF-8/en_US.UTF-8/' /etc/locale.gen
    locale-gen >/dev/null
  fi
fi
