#!/usr/bin/env bash
# Lays out the C++ sources by .clang-format: scripts/format.sh rewrites them in place;
# scripts/format.sh --check changes nothing, lists the files that differ and exits 1 when there are any.
set -euo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
FORMAT=$(command -v clang-format || command -v clang-format-14 || true)
if [ -z "$FORMAT" ]; then
  echo "format: clang-format is missing (apt-get install clang-format)" >&2
  exit 2
fi
check=0
case "${1:-}" in
  --check) check=1 ;;
  "") ;;
  *) echo "usage: scripts/format.sh [--check]" >&2; exit 2 ;;
esac

# Tracked and new sources alike; the build tree and generated files are left alone.
files=()
while IFS= read -r f; do
  [ -f "$f" ] && files+=("$f")
done < <(git ls-files --cached --others --exclude-standard -- '*.cpp' '*.h' | sort -u)
if [ "$check" -eq 0 ]; then
  "$FORMAT" -i --style=file "${files[@]}"
  exit 0
fi
differ=0
for f in "${files[@]}"; do
  if ! "$FORMAT" --style=file "$f" | cmp -s - "$f"; then
    echo "$f"
    differ=$((differ + 1))
  fi
done
echo "format: $differ of ${#files[@]} files differ from .clang-format"
[ "$differ" -eq 0 ]
