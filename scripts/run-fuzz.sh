#!/usr/bin/env bash
# Runs libFuzzer targets in BUILD_DIR for SECONDS each: every target the build lists, or
# those named in FUZZ_TARGETS ("fuzz_metafile fuzz_read"). Seeds: tests/fuzz/<fmt>/ (the
# kept regression files) and the picture corpus; new inputs go to fuzz-out/<fmt>/.
#
# An input that crashes, leaks, or runs longer than FUZZ_TIMEOUT seconds (10 unless set) is
# a finding: libFuzzer writes it to fuzz-out/crashes/<fmt>/ and stops, and so does this
# script, failing. Copy the input into tests/fuzz/<fmt>/ once mended, so that it replays.
set -uo pipefail
build=${1:?build folder}
seconds=${2:-60}
corpus=${3:-../shared/corpus}
timeout=${FUZZ_TIMEOUT:-10}
targets=${FUZZ_TARGETS:-$(cat "$build/fuzz-targets.txt")}
readonly kTimeoutExit=70 kErrorExit=77

for target in $targets; do
  fmt=${target#fuzz_}
  mkdir -p "fuzz-out/$fmt" "fuzz-out/crashes/$fmt" "tests/fuzz/$fmt"
  seeds=("fuzz-out/$fmt" "tests/fuzz/$fmt")
  [ -d "$corpus" ] && seeds+=("$corpus")
  log="fuzz-out/$fmt.log"
  echo "== $target for ${seconds}s (inputs slower than ${timeout}s are findings), log in $log"
  "$build/bin/$target" -max_total_time="$seconds" -timeout="$timeout" -timeout_exitcode=$kTimeoutExit \
    -error_exitcode=$kErrorExit -rss_limit_mb=4096 -max_len=1048576 \
    -artifact_prefix="fuzz-out/crashes/$fmt/" -print_final_stats=1 "${seeds[@]}" >"$log" 2>&1
  code=$?
  grep -E '^stat::(number_of_executed_units|slowest_unit_time_sec|peak_rss_mb|new_units_added)' "$log"
  if [ $code -ne 0 ]; then
    case $code in
      $kTimeoutExit) kind="an input ran longer than ${timeout}s" ;;
      $kErrorExit) kind="an input crashed or leaked" ;;
      *) kind="the fuzzer stopped with exit code $code" ;;
    esac
    echo "FINDING in $target: $kind" >&2
    grep -E '^(==[0-9]+==|SUMMARY|ALARM|artifact_prefix|Test unit written)' "$log" | head -n 20 >&2
    exit 1
  fi
done
echo "== no findings"
