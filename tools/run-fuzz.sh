#!/usr/bin/env bash
# Runs every libFuzzer target of a build tree for FUZZ_SECONDS each (default
# 30), starting from the committed corpus in fuzz/corpus/<target>/ (target
# fuzz_<target>). Any crash fails the run.
#
#   tools/run-fuzz.sh BUILD          fuzz in a scratch copy of the corpus
#                                    (BUILD/fuzz-work); the tree is untouched
#   tools/run-fuzz.sh BUILD --keep   afterwards merge what the run found into
#                                    fuzz/corpus/<target>/ (only inputs that
#                                    add coverage), to be committed
set -euo pipefail
build=${1:?build dir}
keep=0
[ "${2:-}" = "--keep" ] && keep=1
seconds=${FUZZ_SECONDS:-30}
src=$(cd "$(dirname "$0")/.." && pwd)
work="$build/fuzz-work"
mkdir -p "$work"
shopt -s nullglob
targets=("$build"/fuzz/fuzz_*)
if [ ${#targets[@]} -eq 0 ]; then
  echo "no fuzz targets built"; exit 0
fi
failed=0
passed=0
for t in "${targets[@]}"; do
  [ -x "$t" ] || continue
  name=$(basename "$t")
  corpus="$work/$name"
  mkdir -p "$corpus"
  seeds="$src/fuzz/corpus/${name#fuzz_}"
  mkdir -p "$seeds"
  echo "== $name for ${seconds}s"
  # New inputs go to the scratch directory; the committed corpus is read.
  # An input may take as long as the corpus replay allows it (60 s): some
  # committed inputs run for seconds under the sanitizers on a loaded machine.
  if "$t" -max_total_time="$seconds" -max_len=4096 -timeout=60 -rss_limit_mb=2048 \
       -print_final_stats=0 -artifact_prefix="$work/$name-" "$corpus" "$seeds" \
       >"$work/$name.log" 2>&1; then
    passed=$((passed + 1))
    tail -n 1 "$work/$name.log"
    if [ $keep -eq 1 ]; then
      before=$(ls "$seeds" | wc -l)
      "$t" -merge=1 -max_len=4096 -timeout=60 -rss_limit_mb=2048 "$seeds" "$corpus" \
        >"$work/$name.merge.log" 2>&1 || { echo "merge failed for $name"; failed=$((failed + 1)); }
      echo "   corpus fuzz/corpus/${name#fuzz_}: $before -> $(ls "$seeds" | wc -l) inputs"
    fi
  else
    failed=$((failed + 1))
    echo "FUZZ FAILURE in $name:"; tail -n 60 "$work/$name.log"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
