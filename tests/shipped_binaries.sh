#!/usr/bin/env bash
# What a build for shipping (no tests, no benchmarks) must not carry: the
# data layer's fault hook and the tool's kill-at-write drill. Reads the
# symbols and the strings of the tool and of each library.
#   tests/shipped_binaries.sh BUILD_DIR
set -euo pipefail
dir=$1
status=0
for f in "$dir/bin/tarn" "$dir"/lib/libtarnlogin*.so; do
  [ -e "$f" ] || { echo "missing: $f"; status=1; continue; }
  # Read once; each name is then looked for in what was read.
  text=$(strings -a "$f"; nm -C "$f" 2>/dev/null || true)
  for what in TARN_DRILL_KILL_AT_WRITE TARN_DRILL_WRITES_FD FaultHook fault_internal; do
    if grep -qF -- "$what" <<<"$text"; then
      echo "$f carries $what"
      status=1
    fi
  done
done
[ $status -eq 0 ] && echo "shipped build: no test hook in the tool or the libraries"
exit $status
