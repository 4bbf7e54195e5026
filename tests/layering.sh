#!/usr/bin/env bash
# Dependencies between the folders of src/ point down only: each folder
# includes the headers of the folders listed for it and of itself, and
# nothing else (the public headers of include/tarn are open to all).
#   tests/layering.sh [SOURCE_ROOT]
set -euo pipefail
cd "${1:-$(dirname "$0")/..}/src"

declare -A allowed=(
  [platform]=""
  [db]="platform"
  [boundary]="platform"
  [resources]="platform boundary"
  [core]="resources platform db boundary"
  [service]="core resources platform db boundary"
  [signon]="core service resources platform db boundary"
  [tasks]="core service signon resources platform db boundary"
  [calendar]="core service signon resources platform db boundary"
  [extended]="core service signon tasks calendar resources platform db boundary"
  [typelib]="core service signon tasks calendar extended resources platform db boundary capi"
  [suite]="platform db boundary"
  [compact]="platform db"
  [capi]="platform"
  [editions]="typelib suite core platform boundary compact capi db"
)

status=0
for folder in */; do
  folder=${folder%/}
  if [ -z "${allowed[$folder]+set}" ]; then
    echo "src/$folder: no layer is declared for it in tests/layering.sh"
    status=1
    continue
  fi
  while IFS=: read -r file line include; do
    target=$(sed -E 's/.*#include "([^/"]+)\/.*/\1/' <<<"$include")
    [ "$target" = "$folder" ] || [ "$target" = tarn ] && continue
    if ! grep -qw -- "$target" <<<"${allowed[$folder]}"; then
      echo "src/$file:$line: $folder must not include $target/ ($include)"
      status=1
    fi
  done < <(grep -rnE '^#include "[^/"]+/' "$folder" || true)
done
[ $status -eq 0 ] && echo "layers: every include points down"
exit $status
