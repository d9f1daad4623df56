#!/usr/bin/env bash
# Runs every test: the layer check, native unit tests (ASan/UBSan), fuzzing for a short while, the
# Windows-side tests under Wine, the end-to-end tests of the real program under Wine and Xvfb against
# a local FTP server, and the release build. Installs what is missing first.
# Counts test cases, not programs; a stage that cannot run (a missing script, a failed build, a run
# without its summary) counts as a failure. Ends with "N passed, N failed" and exits non-zero on
# failure. Every process it starts is ended by its id when it finishes.
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
PYTHON=/usr/bin/python3

passed=0
failed=0
skipped=0
failures=()
timings=()
log() { printf '\n=== %s\n' "$*"; }
count() {  # count NAME PASSED FAILED [SKIPPED]
  passed=$((passed + $2))
  failed=$((failed + $3))
  skipped=$((skipped + ${4:-0}))
  [ "$3" -gt 0 ] && failures+=("$1: $3 failed")
  local note=
  [ "${4:-0}" -gt 0 ] && note=", $4 skipped"
  printf '%s: %s passed, %s failed%s\n' "$1" "$2" "$3" "$note"
}
cannot_run() {  # cannot_run NAME WHY
  echo "$1: could not run ($2)"
  count "$1" 0 1
}

# Process groups and Xvfb servers this script started; each is ended by its id.
groups=()
xvfb_pid=
stop_xvfb() {
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null && wait "$xvfb_pid" 2>/dev/null
    xvfb_pid=
  fi
  return 0
}
stop_wine() {
  WINEPREFIX=$BUILD/wine64 wineserver -k 2>/dev/null
  WINEPREFIX=$QV_WINEPREFIX32 wineserver -k 2>/dev/null
  return 0
}
cleanup() {
  local g
  for g in "${groups[@]}"; do
    kill -TERM -- "-$g" 2>/dev/null
  done
  stop_wine
  stop_xvfb
  return 0
}
trap cleanup EXIT
trap 'exit 130' INT TERM

# A private X display for one stage: Xvfb picks a free display number and reports it.
start_xvfb() {
  local numfile=$BUILD/xvfb.display i
  : > "$numfile"
  Xvfb -displayfd 3 -screen 0 1600x1300x24 -nolisten tcp 3>"$numfile" >/dev/null 2>&1 &
  xvfb_pid=$!
  for i in $(seq 100); do
    if [ -s "$numfile" ]; then
      export DISPLAY=":$(tr -d '\n' < "$numfile")"
      return 0
    fi
    kill -0 "$xvfb_pid" 2>/dev/null || break
    sleep 0.1
  done
  stop_xvfb
  return 1
}

# Runs a command in a process group of its own, output to LOG, at most SECONDS long; whatever it
# leaves behind (FTP servers, Wine programs) is ended with the group. Returns its exit code.
run_group() {  # run_group LOG SECONDS COMMAND...
  local out=$1 limit=$2 pid rc
  shift 2
  setsid timeout -k 30 "$limit" "$@" > "$out" 2>&1 < /dev/null &
  pid=$!
  groups+=("$pid")
  wait "$pid"
  rc=$?
  kill -TERM -- "-$pid" 2>/dev/null
  return "$rc"
}

stage_start() { stage_began=$(date +%s); }
stage_end() { timings+=("$1 $(($(date +%s) - stage_began)) s"); }

log "setup"
if ! bash scripts/setup.sh; then
  cannot_run setup "scripts/setup.sh failed"
  echo "$passed passed, $failed failed"
  exit 1
fi
mkdir -p "$BUILD"

log "layers"
if [ -f scripts/check_layers.sh ]; then
  if bash scripts/check_layers.sh; then count layers 1 0; else count layers 0 1; fi
else
  cannot_run layers "scripts/check_layers.sh is missing"
fi

log "build: native"
stage_start
if cmake --preset native >/dev/null && cmake --build --preset native; then
  stage_end "native build"
  log "native unit tests"
  rm -f "$BUILD/native-ctest.log"
  ctest --test-dir "$BUILD/native" -j2 --no-tests=error --output-on-failure > "$BUILD/native-ctest.log" 2>&1
  rc=$?
  grep -E 'tests passed|\*\*\*|Failed' "$BUILD/native-ctest.log" | tail -n 20
  # ctest's summary: "NN% tests passed, F tests failed out of T"; each test is one discovered case.
  summary=$(grep -E '[0-9]+ tests failed out of [0-9]+' "$BUILD/native-ctest.log" | tail -1)
  if [ -z "$summary" ]; then
    cannot_run native "no ctest summary, see build/native-ctest.log"
  else
    total=$(echo "$summary" | grep -Eo '[0-9]+$')
    f=$(echo "$summary" | grep -Eo '[0-9]+ tests failed' | grep -Eo '^[0-9]+')
    [ "$rc" -ne 0 ] && [ "$f" -eq 0 ] && f=1
    count native "$((total - f))" "$f"
  fi
else
  cannot_run native "the native build failed"
fi

log "fuzzing (${FUZZ_SECONDS}s a target)"
if [ -f scripts/fuzz.sh ]; then
  stage_start
  bash scripts/fuzz.sh "$FUZZ_SECONDS" > "$BUILD/fuzz.log" 2>&1
  rc=$?
  stage_end fuzzing
  tail -n 20 "$BUILD/fuzz.log"
  n=$(grep -c '^fuzz ok:' "$BUILD/fuzz.log")
  m=$(grep -c '^fuzz FAILED:' "$BUILD/fuzz.log")
  if [ "$rc" -ne 0 ] && [ "$m" -eq 0 ]; then m=1; fi
  if [ "$n" -eq 0 ] && [ "$m" -eq 0 ]; then
    cannot_run fuzz "no fuzz target reported, see build/fuzz.log"
  else
    count fuzz "$n" "$m"
  fi
else
  cannot_run fuzz "scripts/fuzz.sh is missing"
fi

log "build: win32"
stage_start
if cmake --preset win32 >/dev/null && cmake --build --preset win32; then
  stage_end "win32 build"
  log "wine prefixes"
  bash scripts/wineprefix.sh "$BUILD/wine64" win64 && bash scripts/wineprefix.sh "$QV_WINEPREFIX32" win32
  prefixes=$?
  mkdir -p "$QV_SCREENSHOT_DIR"

  log "Windows-side tests under Wine"
  stage_start
  results=$BUILD/win32/gtest-results
  rm -rf "$results"
  if [ "$prefixes" -ne 0 ]; then
    cannot_run wine "scripts/wineprefix.sh failed"
  elif ! start_xvfb; then
    cannot_run wine "Xvfb did not start"
  else
    run_group "$BUILD/wine-ctest.log" 3600 \
      ctest --test-dir "$BUILD/win32" --no-tests=error --output-on-failure
    stop_wine
    stop_xvfb
    grep -E 'Test +#|tests passed|tests failed' "$BUILD/wine-ctest.log" | tail -n 40
    if out=$($PYTHON scripts/count_tests.py "$BUILD/wine-ctest.log" "$results"); then
      echo "$out" | sed '$d'
      read -r p f s < <(echo "$out" | tail -n 1)
      count wine "$p" "$f" "$s"
    else
      cannot_run wine "scripts/count_tests.py failed"
    fi
  fi
  stage_end "Wine tests"

  log "end-to-end tests (the real program under Wine and Xvfb)"
  stage_start
  if [ ! -f tests/e2e/run.py ]; then
    cannot_run e2e "tests/e2e/run.py is missing"
  elif [ "$prefixes" -ne 0 ]; then
    cannot_run e2e "scripts/wineprefix.sh failed"
  elif ! start_xvfb; then
    cannot_run e2e "Xvfb did not start"
  else
    run_group "$BUILD/e2e.log" 3600 $PYTHON tests/e2e/run.py
    rc=$?
    stop_wine
    stop_xvfb
    tail -n 60 "$BUILD/e2e.log"
    line=$(grep -E '^e2e: [0-9]+ passed, [0-9]+ failed' "$BUILD/e2e.log" | tail -1)
    if [ -z "$line" ]; then
      cannot_run e2e "no summary line (exit $rc), see build/e2e.log"
    else
      p=$(echo "$line" | grep -Eo '[0-9]+ passed' | grep -Eo '[0-9]+')
      f=$(echo "$line" | grep -Eo '[0-9]+ failed' | grep -Eo '[0-9]+')
      s=$(echo "$line" | grep -Eo '[0-9]+ skipped' | grep -Eo '[0-9]+')
      [ "$rc" -ne 0 ] && [ "$f" -eq 0 ] && f=1
      count e2e "$p" "$f" "${s:-0}"
    fi
  fi
  stage_end "e2e tests"
else
  cannot_run win32-build "the win32 build failed"
  cannot_run wine "no win32 build"
  cannot_run e2e "no win32 build"
fi

log "build: release (the program alone)"
stage_start
if cmake --preset release >/dev/null && cmake --build --preset release; then
  if [ -f "$BUILD/release/QuorvelDownloader.exe" ]; then count release-build 1 0; else
    cannot_run release-build "no build/release/QuorvelDownloader.exe"; fi
else
  cannot_run release-build "the release build failed"
fi
stage_end "release build"

log "summary"
for t in "${timings[@]}"; do echo "  time: $t"; done
for f in "${failures[@]}"; do echo "  $f"; done
echo "Screenshots: $QV_SCREENSHOT_DIR"
[ "$skipped" -gt 0 ] && echo "$skipped skipped"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
