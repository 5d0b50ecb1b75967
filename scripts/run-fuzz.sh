#!/usr/bin/env bash
# Runs every libFuzzer target in BUILD_DIR for SECONDS each. Seeds: tests/fuzz/<fmt>/ (the
# kept regression files) and the picture corpus; new inputs go to fuzz-out/<fmt>/, crashes
# to fuzz-out/crashes/<fmt>/ (copy them into tests/fuzz/<fmt>/ once mended).
set -uo pipefail
build=${1:?build folder}
seconds=${2:-60}
corpus=${3:-../shared/corpus}
status=0
for target in $(cat "$build/fuzz-targets.txt"); do
  fmt=${target#fuzz_}
  mkdir -p "fuzz-out/$fmt" "fuzz-out/crashes/$fmt" "tests/fuzz/$fmt"
  seeds=("fuzz-out/$fmt" "tests/fuzz/$fmt")
  [ -d "$corpus" ] && seeds+=("$corpus")
  echo "== $target for ${seconds}s"
  "$build/bin/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=4096 -max_len=1048576 \
    -artifact_prefix="fuzz-out/crashes/$fmt/" -print_final_stats=1 "${seeds[@]}" 2>&1 | tail -n 12 || status=1
done
exit $status
