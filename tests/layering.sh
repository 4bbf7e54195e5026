#!/usr/bin/env bash
# Dependencies between the layers of src/ point down only: each layer
# includes the headers of the layers listed for it and of itself, and
# nothing else (the public headers of include/tarn are open to all). A
# layer is a folder of src/, and compact/qt is one of its own; includes
# count in either form, "layer/..." or <layer/...>. Calls are checked by
# the linker (each layer's *_linkcheck library).
#   tests/layering.sh [SOURCE_ROOT]    check the tree
#   tests/layering.sh --self-test      show that each kind of upward include is caught
set -euo pipefail

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
  [compact/qt]="compact platform db"
  [capi]="platform"
  [editions]="typelib suite core platform boundary compact compact/qt capi db"
)

# The layer a path below src/ belongs to.
layer_of() {
  case "$1" in
    compact/qt/*) echo compact/qt ;;
    *) echo "${1%%/*}" ;;
  esac
}

check() {
  local src=$1 status=0 file line include path from to
  for dir in "$src"/*/; do
    from=$(basename "$dir")
    if [ -z "${allowed[$from]+set}" ]; then
      echo "src/$from: no layer is declared for it in tests/layering.sh"
      status=1
    fi
  done
  while IFS=: read -r file line include; do
    file=${file#"$src"/}
    from=$(layer_of "$file")
    [[ $include =~ include[[:space:]]*[\"\<]([^\">]+) ]] || continue
    path=${BASH_REMATCH[1]}
    [[ $path == */* ]] || continue
    to=$(layer_of "$path")
    [ "$to" = tarn ] || [ "$to" = "$from" ] && continue
    [ -d "$src/${path%%/*}" ] || continue  # a system header: <sys/...>, <nlohmann/...>
    [ -n "${allowed[$from]+set}" ] || continue
    if ! grep -qE "(^| )$to( |$)" <<<"${allowed[$from]}"; then
      echo "src/$file:$line: $from must not include $to/ ($include)"
      status=1
    fi
  done < <(grep -rnE '^[[:space:]]*#[[:space:]]*include[[:space:]]*["<][^">]+/' "$src" || true)
  return $status
}

if [ "${1:-}" = --self-test ]; then
  root=$(cd "$(dirname "$0")/.." && pwd)
  scratch=$(mktemp -d /tmp/tarn-layering.XXXXXX)
  trap 'rm -rf "$scratch"' EXIT
  failed=0
  # Each line: the file to plant in, the include it gets.
  while IFS='|' read -r file include; do
    rm -rf "$scratch/src" && cp -r "$root/src" "$scratch/src"
    echo "$include" >>"$scratch/src/$file"
    if check "$scratch/src" >/dev/null; then
      echo "not caught: $include in src/$file"
      failed=1
    fi
  done <<'EOF'
core/config.cc|#include "tasks/task_exec.h"
core/config.cc|#include <signon/sign_on.h>
compact/login_form.cc|#include "compact/qt/frm_tarn_login.h"
suite/lingua/catalog.cc|#include "tasks/task_exec.h"
db/connection.cc|  #  include <boundary/suite.h>
EOF
  check "$root/src" >/dev/null || { echo "the tree itself does not pass"; failed=1; }
  [ $failed -eq 0 ] && echo "layers: every planted upward include was caught"
  exit $failed
fi

if check "${1:-$(dirname "$0")/..}/src"; then
  echo "layers: every include points down"
else
  exit 1
fi
