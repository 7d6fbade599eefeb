#!/usr/bin/env bash
# Runs every libFuzzer target of a build tree for a fixed time each, starting
# from the seed corpus in fuzz/corpus/<target>/. Any crash fails the run.
set -euo pipefail
build=${1:?build dir}
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
  [ -d "$seeds" ] && cp -n "$seeds"/* "$corpus"/ 2>/dev/null || true
  echo "== $name for ${seconds}s"
  if "$t" -max_total_time="$seconds" -max_len=4096 -timeout=10 -rss_limit_mb=2048 \
       -print_final_stats=0 -artifact_prefix="$work/$name-" "$corpus" >"$work/$name.log" 2>&1; then
    passed=$((passed + 1))
    tail -n 1 "$work/$name.log"
  else
    failed=$((failed + 1))
    echo "FUZZ FAILURE in $name:"; tail -n 60 "$work/$name.log"
  fi
done
echo "fuzz: $passed passed, $failed failed"
[ $failed -eq 0 ]
