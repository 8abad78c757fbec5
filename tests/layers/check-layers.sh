#!/bin/bash
# Fails when a source file includes a header of a layer above its own. The layers, bottom up: common,
# platform, images, card, station, ui, main (bench, tools and tests sit above them all); and when a file of
# main/ has more than 450 lines.
#
# Usage: tests/layers/check-layers.sh SOURCE_DIR
set -u
cd "${1:?usage: $0 SOURCE_DIR}" || exit 2
layers=(common platform images card station ui main)
rank() {
  local i
  for i in "${!layers[@]}"; do [ "${layers[$i]}" = "$1" ] && { echo "$i"; return; }; done
  echo -1
}
bad=0
for layer in "${layers[@]}"; do
  own=$(rank "$layer")
  while IFS=: read -r file line text; do
    target=$(sed -n 's/^[[:space:]]*#[[:space:]]*include[[:space:]]*"\([a-z0-9_]*\)\/.*/\1/p' <<<"$text")
    [ -n "$target" ] || continue
    if [ "$(rank "$target")" -gt "$own" ]; then
      echo "$file:$line: $layer includes $target, a layer above it:$text" >&2
      bad=1
    fi
  done < <(grep -rn --include='*.h' --include='*.cpp' '#[[:space:]]*include[[:space:]]*"' "$layer")
done
# The front ends stay thin: no file of main/ grows past 450 lines.
while read -r lines file; do
  if [ "$file" != total ] && [ "$lines" -gt 450 ]; then
    echo "$file: $lines lines, more than the 450 a file of main/ may have" >&2
    bad=1
  fi
done < <(find main -name '*.cpp' -o -name '*.h' | sort | xargs wc -l)
[ "$bad" -eq 0 ] && echo "every layer includes only itself and the layers below it; no file of main/ has over 450 lines"
exit "$bad"
