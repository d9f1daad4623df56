#!/usr/bin/env bash
# Creates the project's own Wine prefix when it is missing, or brings an older one up to date:
#   scripts/wineprefix.sh DIR [win32|win64]
# Wine has no Arial: the prefix replaces it by its metric twin Liberation Sans, so English captions
# wrap as on Windows. The e2e harness switches the replacement to NanumGothic for Korean runs, whose
# Hangul Windows links into Arial, and back afterwards.
set -euo pipefail
prefix=$1
arch=${2:-win64}
settings="arial=Liberation Sans; unmanaged windows"
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.qv-ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  WINEARCH=$arch wineboot -i >/dev/null 2>&1
  touch "$prefix/.qv-ready"
fi
if [ "$(cat "$prefix/.qv-ready")" != "$settings" ]; then
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans' /f >/dev/null 2>&1
  # No window manager runs under Xvfb; keep Wine from decorating windows on its own.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wineserver -w
  echo "$settings" > "$prefix/.qv-ready"
fi
