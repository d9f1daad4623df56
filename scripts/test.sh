#!/usr/bin/env bash
# Runs every test: native unit tests (ASan/UBSan), fuzzing for a short while, the Windows-side tests
# under Wine, and the end-to-end tests of the real program under Wine and Xvfb against a local FTP
# server. Installs what is missing first. Ends with "N passed, N failed" and exits non-zero on failure.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
BUILD=$ROOT/build
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$BUILD/wine64
export QV_WINEPREFIX32=$BUILD/wine32
export QV_ROOT=$ROOT QV_BUILD=$BUILD
export QV_SCREENSHOT_DIR=$BUILD/screenshots
FUZZ_SECONDS=${QV_FUZZ_SECONDS:-20}

passed=0
failed=0
failures=()
log() { printf '\n=== %s\n' "$*"; }
count() {  # count NAME PASSED FAILED
  passed=$((passed + $2))
  failed=$((failed + $3))
  [ "$3" -gt 0 ] && failures+=("$1: $3 failed")
  printf '%s: %s passed, %s failed\n' "$1" "$2" "$3"
}
cleanup() {
  WINEPREFIX=$BUILD/wine64 wineserver -k 2>/dev/null
  WINEPREFIX=$QV_WINEPREFIX32 wineserver -k 2>/dev/null
  pkill -f "$ROOT/tests/fixtures/ftpserver.py" 2>/dev/null
  return 0
}
trap cleanup EXIT

# ctest's summary line: "NN% tests passed, F tests failed out of T"
ctest_counts() {
  local out=$1 total failedn
  total=$(grep -Eo 'tests failed out of [0-9]+' "$out" | tail -1 | grep -Eo '[0-9]+$')
  failedn=$(grep -Eo '[0-9]+ tests failed out of' "$out" | tail -1 | grep -Eo '^[0-9]+')
  total=${total:-0}; failedn=${failedn:-0}
  echo "$((total - failedn)) $failedn"
}

log "setup"
bash scripts/setup.sh || { echo "setup failed"; echo "0 passed, 1 failed"; exit 1; }

log "build: native"
if cmake --preset native >/dev/null && cmake --build --preset native; then
  log "native unit tests"
  ctest --test-dir "$BUILD/native" -j2 --output-on-failure > "$BUILD/native-ctest.log" 2>&1
  tail -n 30 "$BUILD/native-ctest.log" | grep -E 'tests passed|Failed|\*\*\*' | head -20
  read -r p f < <(ctest_counts "$BUILD/native-ctest.log")
  count native "$p" "$f"
else
  count native-build 0 1
fi

if [ -x scripts/fuzz.sh ]; then
  log "fuzzing (${FUZZ_SECONDS}s a target)"
  if out=$(bash scripts/fuzz.sh "$FUZZ_SECONDS" 2>&1); then
    echo "$out" | tail -n 20
    n=$(echo "$out" | grep -c '^fuzz ok:')
    count fuzz "$n" 0
  else
    echo "$out" | tail -n 40
    n=$(echo "$out" | grep -c '^fuzz ok:'); m=$(echo "$out" | grep -c '^fuzz FAILED:')
    count fuzz "$n" "$((m > 0 ? m : 1))"
  fi
fi

log "build: win32"
if cmake --preset win32 >/dev/null && cmake --build --preset win32; then
  log "wine prefixes"
  bash scripts/wineprefix.sh "$BUILD/wine64" win64
  bash scripts/wineprefix.sh "$QV_WINEPREFIX32" win32
  mkdir -p "$QV_SCREENSHOT_DIR"

  log "Windows-side tests under Wine"
  xvfb-run -a -s "-screen 0 1024x768x24" \
    ctest --test-dir "$BUILD/win32" --output-on-failure > "$BUILD/wine-ctest.log" 2>&1
  grep -E 'Test +#|tests passed|tests failed' "$BUILD/wine-ctest.log" | tail -n 60
  read -r p f < <(ctest_counts "$BUILD/wine-ctest.log")
  count wine "$p" "$f"
  wineserver -k 2>/dev/null
  WINEPREFIX=$QV_WINEPREFIX32 wineserver -k 2>/dev/null

  if [ -f tests/e2e/run.py ]; then
    log "end-to-end tests (the real program under Wine and Xvfb)"
    xvfb-run -a -s "-screen 0 1024x768x24" /usr/bin/python3 tests/e2e/run.py > "$BUILD/e2e.log" 2>&1
    tail -n 60 "$BUILD/e2e.log"
    line=$(grep -E '^e2e: [0-9]+ passed, [0-9]+ failed' "$BUILD/e2e.log" | tail -1)
    if [ -n "$line" ]; then
      p=$(echo "$line" | grep -Eo '[0-9]+ passed' | grep -Eo '[0-9]+')
      f=$(echo "$line" | grep -Eo '[0-9]+ failed' | grep -Eo '[0-9]+')
      count e2e "$p" "$f"
    else
      count e2e 0 1
    fi
  fi
else
  count win32-build 0 1
fi

log "summary"
for f in "${failures[@]}"; do echo "  $f"; done
echo "Screenshots: $QV_SCREENSHOT_DIR"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
