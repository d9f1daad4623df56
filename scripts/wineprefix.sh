#!/usr/bin/env bash
# Creates the project's own Wine prefix when it is missing, or brings an older one up to date:
#   scripts/wineprefix.sh DIR [win32|win64]
# Wine has no Arial: the prefix replaces it by its metric twin Liberation Sans, so English captions
# wrap as on Windows, with NanumGothic's Hangul added (scripts/make_test_arial.py), which Windows
# links into Arial and Wine does not. The e2e harness switches the replacement to NanumGothic for
# Korean runs and back afterwards.
set -euo pipefail
prefix=$(realpath -m "$1")  # Wine takes only an absolute prefix
arch=${2:-win64}
settings="arial=Liberation Sans Hangul; unmanaged windows"
fonts=$prefix/drive_c/windows/Fonts
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
if [ ! -f "$prefix/.qv-ready" ]; then
  rm -rf "$prefix"
  mkdir -p "$(dirname "$prefix")"
  # What Wine says goes to the log when it fails: an empty log or a bare exit code tells nobody why.
  # (the server writes the registry when it ends)
  if ! WINEARCH=$arch wineboot -i > "$prefix.wineboot.log" 2>&1 || ! wineserver -w ||
     [ ! -f "$prefix/system.reg" ]; then
    echo "wineprefix: Wine could not make the $arch prefix $prefix ($(command -v wine)):"
    grep -v -i 'syswow64' "$prefix.wineboot.log" | tail -n 15
    exit 1
  fi
  touch "$prefix/.qv-ready"
fi
if [ "$(cat "$prefix/.qv-ready")" != "$settings" ]; then
  # Made once beside the prefixes (about half a minute), copied into each.
  made=$(dirname "$prefix")/test-fonts
  [ -f "$made/LiberationSansHangul-Bold.ttf" ] || /usr/bin/python3 "$(dirname "$0")/make_test_arial.py" "$made" >/dev/null
  mkdir -p "$fonts" && cp "$made"/LiberationSansHangul-*.ttf "$fonts"/
  wine reg add 'HKCU\Software\Wine\Fonts\Replacements' /v Arial /d 'Liberation Sans Hangul' /f >/dev/null 2>&1
  # No window manager runs under Xvfb; keep Wine from decorating windows on its own.
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
  wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /d N /f >/dev/null 2>&1
  wineserver -w
  echo "$settings" > "$prefix/.qv-ready"
fi
