#!/usr/bin/env bash
# Runs every test: the layer check, native unit tests (ASan/UBSan), fuzzing for a short while (in the
# background beside the Windows-side tests), the Windows-side tests under Wine, the end-to-end tests
# of the real program under Wine and Xvfb against a local FTP server (side by side, in lanes of
# tests/e2e/run.py), and the release build (in the background while the end-to-end cases run; it
# shares its compiled objects with the win32 build through ccache). Installs what is missing first;
# the Wine prefixes are made in the background from the start.
# Counts test cases, not programs, against the cases each stage should run (a GoogleTest program's own
# listing, the e2e runner's list): a case that left no result counts as failed, a skipped one as
# skipped. The layer check, each fuzz target and the release build are verdicts of their own, as is a
# stage that cannot run (a missing script, a failed build) or whose runner fails. Ends with
# "N passed, N failed", the lines above it splitting that into cases and verdicts, and exits non-zero
# on failure. Every process it starts is ended by its id when it finishes.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
BUILD=$ROOT/build
# The Windows build the Windows-side and end-to-end stages run: the 32-bit one where this host runs
# 32-bit programs, else the 64-bit one under 64-bit Wine (scripts/windows_build.sh). The 32-bit
# release is built either way.
source scripts/windows_build.sh
WINBUILD=$QV_WINDOWS_BUILD
export QV_BIN=$BUILD/$WINBUILD
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export WINEPREFIX=$BUILD/wine64
export QV_WINEPREFIX32=$BUILD/wine32
export QV_ROOT=$ROOT QV_BUILD=$BUILD
export QV_SCREENSHOT_DIR=$BUILD/screenshots
FUZZ_SECONDS=${QV_FUZZ_SECONDS:-12}
PYTHON=/usr/bin/python3

passed=0 failed=0 skipped=0            # cases and verdicts together
case_passed=0 case_failed=0
verdict_passed=0 verdict_failed=0
verdict_names=()
failures=()
timings=()
log() { printf '\n=== %s\n' "$*"; }
tally() {  # tally NAME PASSED FAILED SKIPPED
  passed=$((passed + $2))
  failed=$((failed + $3))
  skipped=$((skipped + $4))
  [ "$3" -gt 0 ] && failures+=("$1: $3 failed")
  local note=
  [ "$4" -gt 0 ] && note=", $4 skipped"
  printf '%s: %s passed, %s failed%s\n' "$1" "$2" "$3" "$note"
}
count() {  # count NAME PASSED FAILED [SKIPPED]: test cases
  case_passed=$((case_passed + $2))
  case_failed=$((case_failed + $3))
  tally "$1" "$2" "$3" "${4:-0}"
}
verdict() {  # verdict NAME PASSED FAILED: a stage, or its parts, that pass or fail as a whole
  verdict_passed=$((verdict_passed + $2))
  verdict_failed=$((verdict_failed + $3))
  verdict_names+=("$1")
  tally "$1" "$2" "$3" 0
}
cannot_run() {  # cannot_run NAME WHY
  echo "$1: could not run ($2)"
  verdict "$1" 0 1
}
runner_failed() {  # runner_failed NAME EXIT_CODE: the stage's runner failed though no case did
  echo "$1: its runner failed (exit $2)"
  verdict "$1 runner" 0 1
}
# Counts a stage with scripts/count_tests.py (its arguments follow NAME); its notes are shown.
count_cases() {  # count_cases NAME ARGS...
  local name=$1 out p f s
  shift
  if out=$($PYTHON scripts/count_tests.py "$@") && read -r p f s < <(echo "$out" | tail -n 1) &&
     [[ "$p $f $s" =~ ^[0-9]+\ [0-9]+\ [0-9]+$ ]]; then
    echo "$out" | sed '$d' | tail -n 40
    count "$name" "$p" "$f" "$s"
  else
    echo "$out" | tail -n 20
    cannot_run "$name" "scripts/count_tests.py failed"
  fi
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

# The release build, as a maker would build it: pinned to a signing certificate (a throwaway one,
# made under build/signing). Runs in the background, niced, in a process group of its own; its
# output goes to build/release.log, its time to build/release.seconds.
release_pid=
start_release_build() {
  rm -f "$BUILD/release.seconds"
  setsid timeout -k 30 1800 nice -n 10 bash -c '
    began=$(date +%s)
    signer=$("$0" tests/fixtures/signing.py "$1/signing" a) &&
      cmake --preset release -DQV_SETUP_SIGNERS="$signer" >/dev/null && cmake --build --preset release
    rc=$?
    echo $(($(date +%s) - began)) > "$1/release.seconds"
    exit $rc' "$PYTHON" "$BUILD" > "$BUILD/release.log" 2>&1 < /dev/null &
  release_pid=$!
  groups+=("$release_pid")
}

# Fuzzing, in the background beside the Windows-side tests (which mostly wait on Wine): one target at
# a time, so it takes the core they leave, within half an hour. Its output goes to build/fuzz.log.
fuzz_pid=
start_fuzzing() {
  [ -f scripts/fuzz.sh ] || return 0
  rm -f "$BUILD/fuzz.seconds"
  setsid timeout 1800 bash -c 'began=$(date +%s); QV_FUZZ_JOBS=1 bash scripts/fuzz.sh "$0"; rc=$?
                  echo $(($(date +%s) - began)) > "$1/fuzz.seconds"; exit $rc' "$FUZZ_SECONDS" "$BUILD" \
    > "$BUILD/fuzz.log" 2>&1 < /dev/null &
  fuzz_pid=$!
  groups+=("$fuzz_pid")
}
finish_fuzzing() {
  log "fuzzing (${FUZZ_SECONDS}s a target, beside the Windows-side tests)"
  if [ ! -f scripts/fuzz.sh ]; then
    cannot_run fuzz "scripts/fuzz.sh is missing"
    return
  fi
  [ -z "$fuzz_pid" ] && start_fuzzing
  wait "$fuzz_pid"
  local rc=$? n=0 m=0 src target
  kill -TERM -- "-$fuzz_pid" 2>/dev/null
  timings+=("fuzzing $(cat "$BUILD/fuzz.seconds" 2>/dev/null || echo '?') s (beside the Windows-side tests)")
  tail -n 20 "$BUILD/fuzz.log"
  # Every target in tests/fuzz has a verdict; one that reported nothing failed.
  for src in tests/fuzz/*_fuzz.cpp; do
    target=$(basename "$src" _fuzz.cpp)
    if grep -qxF "fuzz ok: $target" "$BUILD/fuzz.log"; then n=$((n + 1)); else
      grep -q "^fuzz FAILED: $target " "$BUILD/fuzz.log" || echo "fuzz: no verdict for $target"
      m=$((m + 1))
    fi
  done
  if [ $((n + m)) -eq 0 ]; then
    cannot_run fuzz "no fuzz target in tests/fuzz"
  else
    verdict "$((n + m)) fuzz targets" "$n" "$m"
    [ "$rc" -ne 0 ] && [ "$m" -eq 0 ] && runner_failed fuzz "$rc"
  fi
}

# The Wine prefixes (wineboot, the test fonts) are made in the background from the start: they need
# no build, and get a quarter of an hour. Their output goes to build/wineprefix.log. The 32-bit
# prefix only for the 32-bit build, whose probes run there too.
prefixes_pid=
start_prefixes() {
  local second=:
  [ "$WINBUILD" = win32 ] && second='bash scripts/wineprefix.sh "$1" win32'
  setsid timeout 900 bash -c 'bash scripts/wineprefix.sh "$0" win64 && '"$second" \
    "$BUILD/wine64" "$QV_WINEPREFIX32" > "$BUILD/wineprefix.log" 2>&1 < /dev/null &
  prefixes_pid=$!
  groups+=("$prefixes_pid")
}

stage_start() { stage_began=$(date +%s); }
stage_end() { timings+=("$1 $(($(date +%s) - stage_began)) s"); }

log "setup"
echo "Windows build under test: $WINBUILD, $QV_WINDOWS_BUILD_WHY"
if ! bash scripts/setup.sh; then
  cannot_run setup "scripts/setup.sh failed"
  echo "$passed passed, $failed failed"
  exit 1
fi
mkdir -p "$BUILD"
# Build trees share compiled objects: the signature tests' pinned program differs from the win32
# one in a single file. Without the tree's folder in the hash, the same command hits in any tree.
if command -v ccache >/dev/null; then
  export CMAKE_C_COMPILER_LAUNCHER=${CMAKE_C_COMPILER_LAUNCHER:-ccache}
  export CMAKE_CXX_COMPILER_LAUNCHER=${CMAKE_CXX_COMPILER_LAUNCHER:-ccache}
  export CCACHE_DIR=${CCACHE_DIR:-$BUILD/ccache} CCACHE_BASEDIR=${CCACHE_BASEDIR:-$ROOT}
  export CCACHE_NOHASHDIR=${CCACHE_NOHASHDIR:-1}
fi

start_prefixes

log "layers"
if [ -f scripts/check_layers.sh ]; then
  if bash scripts/check_layers.sh; then verdict "layer check" 1 0; else verdict "layer check" 0 1; fi
else
  cannot_run layers "scripts/check_layers.sh is missing"
fi

log "build: native"
stage_start
if cmake --preset native >/dev/null && cmake --build --preset native; then
  stage_end "native build"
  log "native unit tests"
  rm -f "$BUILD/native-ctest.log"
  run_group "$BUILD/native-ctest.log" 1800 \
    ctest --test-dir "$BUILD/native" -j2 --no-tests=error --output-on-failure
  rc=$?
  grep -E 'tests passed|\*\*\*|Failed' "$BUILD/native-ctest.log" | tail -n 20
  # Each ctest test is one case (gtest_discover_tests), checked against the program's own listing.
  before=$case_failed
  count_cases native ctest "$BUILD/native" "$BUILD/native-ctest.log" "$BUILD/native/gtest-results"
  [ "$rc" -ne 0 ] && [ "$case_failed" -eq "$before" ] && runner_failed native "$rc"
else
  cannot_run native "the native build failed"
fi

log "build: $WINBUILD"
stage_start
if cmake --preset "$WINBUILD" >/dev/null && cmake --build --preset "$WINBUILD"; then
  stage_end "$WINBUILD build"
  start_fuzzing
  log "wine prefixes (made in the background since the start)"
  wait "$prefixes_pid"
  prefixes=$?
  [ "$prefixes" -ne 0 ] && tail -n 20 "$BUILD/wineprefix.log"
  mkdir -p "$QV_SCREENSHOT_DIR"

  log "Windows-side tests under Wine"
  stage_start
  results=$QV_BIN/gtest-results
  rm -rf "$results"
  if [ "$prefixes" -ne 0 ]; then
    cannot_run wine "scripts/wineprefix.sh failed"
  elif ! start_xvfb; then
    cannot_run wine "Xvfb did not start"
  else
    run_group "$BUILD/wine-ctest.log" 3600 \
      ctest --test-dir "$QV_BIN" --no-tests=error --output-on-failure
    rc=$?
    grep -E 'Test +#|tests passed|tests failed' "$BUILD/wine-ctest.log" | tail -n 40
    # Each program's listing runs under Wine too, on the same display, before both are ended.
    before=$case_failed
    count_cases wine ctest "$QV_BIN" "$BUILD/wine-ctest.log" "$results"
    [ "$rc" -ne 0 ] && [ "$case_failed" -eq "$before" ] && runner_failed wine "$rc"
    stop_wine
    stop_xvfb
  fi
  stage_end "Wine tests"

  # The release build compiles while the end-to-end cases mostly wait; below them in priority.
  start_release_build

  log "end-to-end tests (the real program under Wine and Xvfb, side by side)"
  stage_start
  if [ ! -f tests/e2e/run.py ]; then
    cannot_run e2e "tests/e2e/run.py is missing"
  elif [ "$prefixes" -ne 0 ]; then
    cannot_run e2e "scripts/wineprefix.sh failed"
  else
    # Each lane of the runner makes its own Xvfb display, network namespace and prefix copy.
    rm -f "$BUILD/e2e-record.txt"
    run_group "$BUILD/e2e.log" 3600 $PYTHON tests/e2e/run.py --record "$BUILD/e2e-record.txt"
    rc=$?
    stop_wine
    grep -E '^(e2e: |FAIL: |ERROR: |[A-Za-z.]*(Error|Exception): )' "$BUILD/e2e.log" | tail -n 60
    # The runner lists its tests before the first one starts: one that left no verdict failed.
    before=$case_failed
    count_cases e2e record "$BUILD/e2e-record.txt"
    [ "$rc" -ne 0 ] && [ "$case_failed" -eq "$before" ] && runner_failed e2e "$rc"
  fi
  stage_end "e2e tests"
else
  cannot_run "$WINBUILD-build" "the $WINBUILD build failed"
  cannot_run wine "no $WINBUILD build"
  cannot_run e2e "no $WINBUILD build"
fi

finish_fuzzing

log "build: release (the program alone)"
[ -z "$release_pid" ] && start_release_build
wait "$release_pid"
rc=$?
kill -TERM -- "-$release_pid" 2>/dev/null
tail -n 5 "$BUILD/release.log"
timings+=("release build $(cat "$BUILD/release.seconds" 2>/dev/null || echo '?') s (beside the e2e tests)")
if [ "$rc" -ne 0 ]; then
  cannot_run release-build "the release build failed (build/release.log)"
elif [ -f "$BUILD/release/QuorvelDownloader.exe" ]; then
  verdict "release build" 1 0
else
  cannot_run release-build "no build/release/QuorvelDownloader.exe"
fi

log "summary"
echo "  Windows build tested: $WINBUILD ($QV_WINDOWS_BUILD_WHY); the 32-bit release built"
for t in "${timings[@]}"; do echo "  time: $t"; done
for f in "${failures[@]}"; do echo "  $f"; done
echo "Screenshots: $QV_SCREENSHOT_DIR"
echo "test cases: $case_passed passed, $case_failed failed ($skipped skipped, in neither count)"
names=$(IFS=,; echo "${verdict_names[*]}" | sed 's/,/, /g')
echo "stage verdicts: $verdict_passed passed, $verdict_failed failed ($names)"
echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ] && [ "$passed" -gt 0 ]
