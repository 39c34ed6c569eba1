#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz and runs each for a bounded
# time: SECONDS in all (default 60), half for the plot target (the slowest and
# the widest), a quarter each for the arguments and the line reads.
#
# The corpus each target grows is kept in build-fuzz/corpus/TARGET, so later
# runs go on from it. Any input that makes a target fail (crash, sanitizer
# report, leak, timeout) is copied into fuzz/regressions/TARGET, where the
# normal test suite replays it from then on (tests/reliability): commit it
# with the fix. The script then fails.
#
# Usage: scripts/fuzz.sh [SECONDS]
set -euo pipefail
cd "$(dirname "$0")/.."
total=${1:-60}
jobs=$(nproc)

# CMakePresets.json's fuzz build: clang, build-fuzz/, the three targets.
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j"$jobs"

# The bundled examples' first 4 KiB as seeds too: whole, they are slow inputs.
heads=build-fuzz/example-heads
mkdir -p "$heads"
for example in examples/*.skv; do
  head -c 4096 "$example" >"$heads/$(basename "$example")"
done

export ASAN_OPTIONS=detect_leaks=1
export LSAN_OPTIONS="suppressions=$PWD/tests/lsan.supp:print_suppressions=0"
export UBSAN_OPTIONS=print_stacktrace=1

failed=()
# target, share of the time in quarters, longest input, per-input timeout in
# seconds (the plot target draws a 400 x 400 grid in about 15 s when the
# first row has 400 values), extra seed folders
run_target() {
  local target=$1 quarters=$2 max_len=$3 timeout=$4
  shift 4
  local seconds=$((total * quarters / 4))
  [ "$seconds" -lt 1 ] && seconds=1
  local corpus=build-fuzz/corpus/$target artifacts=build-fuzz/artifacts/$target
  mkdir -p "$corpus" "$artifacts"
  rm -f "$artifacts"/*
  local seeds=(fuzz/seeds/"$target")
  [ -d fuzz/regressions/"$target" ] && seeds+=(fuzz/regressions/"$target")
  echo "== fuzzing $target for ${seconds}s"
  if ! build-fuzz/fuzz/"$target"_fuzzer -max_total_time="$seconds" -timeout="$timeout" -max_len="$max_len" \
      -artifact_prefix="$artifacts/" -print_final_stats=1 "$corpus" "${seeds[@]}" "$@" \
      >build-fuzz/"$target".log 2>&1; then
    tail -n 60 build-fuzz/"$target".log
    mkdir -p fuzz/regressions/"$target"
    for found in "$artifacts"/*; do
      [ -f "$found" ] || continue
      cp "$found" fuzz/regressions/"$target"/
      echo "kept as a regression input: fuzz/regressions/$target/$(basename "$found")"
    done
    failed+=("$target")
  else
    grep -E '^stat::number_of_executed_units|^Done' build-fuzz/"$target".log || true
  fi
}

run_target plot 2 12000 60 "$heads"
run_target arguments 1 256 10
run_target lines 1 12000 10 "$heads"

if [ ${#failed[@]} -ne 0 ]; then
  echo "fuzzing found faults in: ${failed[*]} (inputs kept in fuzz/regressions/)"
  exit 1
fi
echo "fuzzing: no findings"
