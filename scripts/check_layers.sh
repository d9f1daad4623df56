#!/usr/bin/env bash
# Checks that no source includes upward against the layers framework <- controls <- system <- update
# <- app: a file may include its own folder, the folders below it and resources/. Files under a
# logic/ folder stay pure: they include only logic/ headers and standard headers (no <windows.h>).
# Prints each offending line as "file:line: text" and exits 1 when there is any.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
layers=(framework controls system update app)

rank_of() {
  local i
  for i in "${!layers[@]}"; do
    [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }
  done
  echo -1
}

checked=0
bad=0
report() {
  echo "$1: $2"
  bad=$((bad + 1))
}
for layer in "${layers[@]}"; do
  own=$(rank_of "$layer")
  while IFS= read -r file; do
    checked=$((checked + 1))
    logic=0
    case $file in */logic/*) logic=1 ;; esac
    while IFS= read -r hit; do
      line=${hit%%:*}
      text=${hit#*:}
      if [[ $text =~ \#[[:space:]]*include[[:space:]]*\"([^\"]*)\" ]]; then
        target=${BASH_REMATCH[1]}
        folder=${target%%/*}
        if [[ $target == *..* || $target != */* ]]; then
          # Relative paths hide which layer they reach; the build's include views need folder names.
          [[ $target == */* || $target == *..* ]] && report "$file:$line" "$text (a relative include)"
          continue
        fi
        if [ "$logic" -eq 1 ] && [[ $target != */logic/* ]]; then
          report "$file:$line" "$text (pure logic includes only logic headers)"
          continue
        fi
        [ "$folder" = resources ] && continue
        rank=$(rank_of "$folder")
        if [ "$rank" -lt 0 ]; then
          report "$file:$line" "$text (outside the layers)"
        elif [ "$rank" -gt "$own" ]; then
          report "$file:$line" "$text ($folder/ is above $layer/)"
        fi
      elif [ "$logic" -eq 1 ] && [[ $text =~ \<(windows|winbase|windef|winuser|wininet|commctrl|shellapi|shlobj)\.h\> ]]; then
        report "$file:$line" "$text (pure logic is built without Windows headers)"
      fi
    done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include' "$file")
  done < <(find "$layer" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inl' \) | sort)
done
echo "layers: $checked files checked, $bad upward or impure includes"
[ "$checked" -gt 0 ] && [ "$bad" -eq 0 ]
