#!/usr/bin/env bash
# The program's main job on this machine: a local demo update server on 127.0.0.1:5301 with a demo
# catalogue, and QuorvelDownloader.exe under Wine against it. On your display when DISPLAY is set;
# otherwise under Xvfb, driving the road itself and saving screenshots under build/demo/.
#   --https  the same over HTTPS with the maker's signed statement; --proxy  through a local proxy
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
# The 32-bit program where this host runs 32-bit programs, else the 64-bit one under 64-bit Wine.
source scripts/windows_build.sh
echo "demo: $QV_WINDOWS_BUILD_WHY"
bash scripts/setup.sh
cmake --preset "$QV_WINDOWS_BUILD" >/dev/null
cmake --build --preset "$QV_WINDOWS_BUILD"
export WINEPREFIX=$ROOT/build/wine64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export QV_BIN=$ROOT/build/$QV_WINDOWS_BUILD
bash scripts/wineprefix.sh "$WINEPREFIX" win64
trap 'wineserver -k 2>/dev/null || true' EXIT
exec 9>/tmp/qv-port5301.lock
flock -w 600 9
if [ -n "${DISPLAY:-}" ] && [[ " $* " != *" --drive "* ]]; then
  /usr/bin/python3 scripts/demo.py "$@"
else
  xvfb-run -a -s "-screen 0 1024x768x24" /usr/bin/python3 scripts/demo.py --drive "$@"
fi
