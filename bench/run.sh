#!/usr/bin/env bash
# The benchmarks in one command: builds what they need, runs them under Wine and Xvfb against a
# local FTP server, prints one table and puts it at the top of bench/results.md.
#   QV_BENCH_BUILD   the Windows build folder (default build/win32, or build/win64 where the host
#                    cannot run 32-bit programs: scripts/windows_build.sh chooses, and it is said)
#   QV_BENCH_PREFIX  the Wine prefix (default build/wine64)
# Options go to bench/bench.py: --quick, --line-only, --dpi-only, --release-only, --resume-only, --check-only,
# --https-only (the HTTPS source, its proxy and resets; uses no fixed port), --window-only with
# --reference-program EXE (the window against another build), --fleet-only (a quiet install with the
# setup's arguments against the window, and a second run's refusal), --program EXE.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
source scripts/windows_build.sh
BUILD=${QV_BENCH_BUILD:-$ROOT/build/$QV_WINDOWS_BUILD}
PREFIX=${QV_BENCH_PREFIX:-$ROOT/build/wine64}
case $BUILD in /*) ;; *) BUILD=$ROOT/$BUILD ;; esac
case $PREFIX in /*) ;; *) PREFIX=$ROOT/$PREFIX ;; esac

bash scripts/setup.sh
echo "bench: $QV_WINDOWS_BUILD_WHY; the program of $BUILD"
[ -f "$BUILD/build.ninja" ] || cmake --preset "$QV_WINDOWS_BUILD" -B "$BUILD" >/dev/null
cmake --build "$BUILD" --target QuorvelDownloader DemoSetup QvDriver BenchTransfer BenchWatch MinimalWindow BenchImportsWindow \
  TalvixStandIn SetVersionInfo RefFtpList QvRunWait
NATIVE=$ROOT/build/bench-native
cmake -S bench -B "$NATIVE" -G Ninja >/dev/null
cmake --build "$NATIVE"
bash scripts/wineprefix.sh "$PREFIX" win64
export WINEPREFIX=$PREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
trap 'wineserver -k 2>/dev/null || true' EXIT
xvfb-run -a -s "-screen 0 1600x1300x24" /usr/bin/python3 bench/bench.py --build "$BUILD" --prefix "$PREFIX" \
  --native "$NATIVE/TransferLogicBench" "$@"
