#!/usr/bin/env bash
# Checks the layers: framework/ at the bottom, controls/ and system/ siblings on it, update/ on
# system/ (never on controls/), app/ on them all. A file may include its own layer, the layers it is
# built on and resources/; a layer's rooms (update/sources/ and so on) are part of the layer. Files
# under a logic/ folder stay pure: they include only logic/ headers and standard headers (no
# <windows.h>). No folder of product code holds more than 25 source files directly.
# Prints each offending line as "file:line: text" and exits 1 when there is any.
set -uo pipefail
ROOT=$(cd "$(dirname "$0")/.." && pwd)
cd "$ROOT"
layers=(framework controls system update app)
declare -A bases=(
  [framework]=""
  [controls]="framework"
  [system]="framework"
  [update]="framework system"
  [app]="framework controls system update"
)
max_files=25
# Folders allowed more until they are split into rooms.
crowded=()

is_layer() {
  local layer
  for layer in "${layers[@]}"; do [ "$layer" = "$1" ] && return 0; done
  return 1
}
# Whether a file of layer $1 may include a file of layer $2.
may_include() {
  [ "$1" = "$2" ] && return 0
  [[ " ${bases[$1]} " == *" $2 "* ]]
}

checked=0
bad=0
report() {
  echo "$1: $2"
  bad=$((bad + 1))
}
for layer in "${layers[@]}"; do
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
        if ! is_layer "$folder"; then
          report "$file:$line" "$text (outside the layers)"
        elif ! may_include "$layer" "$folder"; then
          report "$file:$line" "$text ($layer/ is not built on $folder/)"
        fi
      elif [ "$logic" -eq 1 ] && [[ $text =~ \<(windows|winbase|windef|winuser|wininet|commctrl|shellapi|shlobj)\.h\> ]]; then
        report "$file:$line" "$text (pure logic is built without Windows headers)"
      fi
    done < <(grep -n -E '^[[:space:]]*#[[:space:]]*include' "$file")
  done < <(find "$layer" -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inl' \) | sort)
  while IFS= read -r folder; do
    count=$(find "$folder" -maxdepth 1 -type f \( -name '*.h' -o -name '*.cpp' -o -name '*.inl' \) | wc -l)
    [[ " ${crowded[*]} " == *" $folder "* ]] && continue
    [ "$count" -gt "$max_files" ] && report "$folder/" "$count source files directly (at most $max_files; split it into rooms)"
  done < <(find "$layer" -type d | sort)
done
echo "layers: $checked files checked, $bad upward or impure includes or crowded folders"
[ "$checked" -gt 0 ] && [ "$bad" -eq 0 ]
