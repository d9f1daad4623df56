#!/usr/bin/env bash
# Creates the project's own Wine prefix when it is missing: scripts/wineprefix.sh DIR [win32|win64]
# Korean text drawn with "Arial" needs a font that has Hangul: Wine gets NanumGothic in its place.
set -euo pipefail
prefix=$1
arch=${2:-win64}
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.qv-ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  WINEARCH=$arch wineboot -i >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d NanumGothic /f >/dev/null 2>&1
  # No window manager runs under Xvfb; keep Wine from decorating windows on its own.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wineserver -w
  touch "$prefix/.qv-ready"
fi
