#!/usr/bin/env bash
# The folders are floors: a source file includes headers of its own folder and of floors
# below it, never of its own floor's neighbours or of a floor above. And setwright-cli, which
# has no window, links no widget or GUI library.
# Usage: check_layers.sh SOURCE_DIR [SETWRIGHT_CLI]
set -euo pipefail
src=$1
cli=${2:-}

declare -A floor=(
  [serial]=1
  [session]=2 [config]=2 [sim]=2
  [toolkit]=3 [provision]=3
  [pages]=4
  [app]=5 [cli]=5
  [bench]=6
)

failed=0
for folder in "${!floor[@]}"; do
  [ -d "$src/$folder" ] || continue
  while IFS= read -r line; do
    file=${line%%:*}
    [[ ${line#*:} =~ ^#include\ \"([a-z_]+)/ ]] || continue
    included=${BASH_REMATCH[1]}
    [ "$included" = "$folder" ] && continue
    below=${floor[$included]:-}
    if [ -z "$below" ] || [ "$below" -ge "${floor[$folder]}" ]; then
      echo "layers: ${file#"$src"/} includes $included/, which is not below $folder/" >&2
      failed=1
    fi
  done < <(grep -rHE '^#include "[a-z_]+/' --include='*.h' --include='*.cpp' "$src/$folder" || true)
done

if [ -n "$cli" ]; then
  needed=$(readelf -d "$cli" | sed -n 's/.*Shared library: \[\(.*\)\]/\1/p')
  if grep -qE 'Qt6(Widgets|Gui)' <<<"$needed"; then
    echo "layers: setwright-cli links $(grep -E 'Qt6(Widgets|Gui)' <<<"$needed" | tr '\n' ' ')" >&2
    failed=1
  fi
fi

if [ "$failed" -ne 0 ]; then exit 1; fi
echo "layers: every folder includes only floors below it; setwright-cli links no widgets"
