#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz (host clang, AddressSanitizer + UBSan) into build/fuzz
# and runs each for SECONDS (default 300) on a copy of its seed corpus; the committed corpus never
# grows. Prints one line per target, "fuzz ok: <name>" or "fuzz FAILED: <name> (<reason>)", and
# exits non-zero when any failed. Findings are kept in build/fuzz/findings/<name>/ with the log.
#   scripts/fuzz.sh [SECONDS]      QV_FUZZ_JOBS: targets run at once (default: the core count)
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
SECONDS_EACH=${1:-300}
JOBS=${QV_FUZZ_JOBS:-$(nproc)}
BUILD=$ROOT/build/fuzz
SRC=$ROOT/tests/fuzz
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=1}
export UBSAN_OPTIONS=${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}

case $SECONDS_EACH in ''|*[!0-9]*) echo "usage: scripts/fuzz.sh [SECONDS]" >&2; exit 2 ;; esac

targets=()
for f in "$SRC"/*_fuzz.cpp; do
  name=$(basename "$f" _fuzz.cpp)
  targets+=("$name")
done

mkdir -p "$BUILD"
# A target whose build fails must not run an older executable: every target is linked afresh.
rm -f "$BUILD"/*_fuzz
if ! { cmake -S "$SRC" -B "$BUILD" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE= >"$BUILD/configure.log" 2>&1 &&
       cmake --build "$BUILD" -j "$JOBS" -- -k 0 >"$BUILD/build.log" 2>&1; }; then
  tail -n 30 "$BUILD/build.log" "$BUILD/configure.log" 2>/dev/null >&2
fi

# Runs one target; its verdict goes to $BUILD/runs/<name>/verdict.
run_target() {
  local name=$1 exe=$BUILD/${1}_fuzz run=$BUILD/runs/$1 findings=$BUILD/findings/$1
  rm -rf "$run" "$findings"
  mkdir -p "$run/corpus" "$findings"
  if [ ! -x "$exe" ]; then
    echo "build failed, see build/fuzz/build.log" > "$run/verdict"
    return
  fi
  [ -d "$SRC/corpus/$name" ] && cp "$SRC/corpus/$name"/. "$run/corpus/" -r
  local dict=()
  [ -f "$SRC/$name.dict" ] && dict=(-dict="$SRC/$name.dict")
  # A run longer than its budget plus a margin is stopped as hung.
  timeout -k 10 $((SECONDS_EACH + 60)) "$exe" "$run/corpus" "${dict[@]}" \
    -max_total_time="$SECONDS_EACH" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$findings/" -print_final_stats=1 > "$run/log" 2>&1
  local rc=$?
  if [ $rc -eq 0 ]; then
    rmdir "$findings" 2>/dev/null
    echo ok > "$run/verdict"
    return
  fi
  cp "$run/log" "$findings/log"
  local reason
  local pattern='FUZZ_CHECK failed: .*|runtime error: .*|ERROR: (AddressSanitizer|LeakSanitizer): [a-z-]+'
  pattern+='|ERROR: libFuzzer: [a-z -]+'
  reason=$(grep -m1 -oE "$pattern" "$run/log" | head -c 160 | sed 's/ *$//')
  [ $rc -eq 124 ] && reason=${reason:-"hung past its time budget"}
  local input
  input=$(ls "$findings" | grep -vx log | head -n 1)
  echo "${reason:-exit code $rc}${input:+; input build/fuzz/findings/$name/$input}" > "$run/verdict"
}

for name in "${targets[@]}"; do
  while [ "$(jobs -rp | wc -l)" -ge "$JOBS" ]; do wait -n; done
  run_target "$name" &
done
wait

failed=0
for name in "${targets[@]}"; do
  verdict=$(cat "$BUILD/runs/$name/verdict" 2>/dev/null || echo "no verdict")
  if [ "$verdict" = ok ]; then
    echo "fuzz ok: $name"
  else
    echo "fuzz FAILED: $name ($verdict)"
    failed=1
  fi
done
exit $failed
