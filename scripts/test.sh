#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once as released,
# once under AddressSanitizer and UndefinedBehaviorSanitizer, the reader's,
# live and compressed logs' and the real window's under ThreadSanitizer,
# then fuzzes.
# Every step runs even when an earlier one fails; the closing count line is
# always printed, and the status is non-zero when anything failed.
set -uo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

passed=0
failed=0
skipped=0
failures=()

# A step that is not a test (set-up, configure, build, fuzzing) counts as
# one failed test when it fails, so CI fails and the count says so.
step_failed() {
  failed=$((failed + 1))
  failures+=("$1")
  echo "FAILED: $1" >&2
}

# The closing count line; the status says whether anything failed.
finish() {
  [ ${#failures[@]} -ne 0 ] && printf 'failed: %s\n' "${failures[@]}"
  echo "$passed passed, $failed failed, $skipped skipped"
  [ "$failed" -eq 0 ]
  exit
}

# Without the packages nothing can be built: the count says so at once.
scripts/install-deps.sh test || { step_failed "set-up (scripts/install-deps.sh)"; finish; }

# The builds are CMakePresets.json's: release in build/, sanitize in
# build-sanitize/, tsan in build-tsan/ (their test presets set the
# sanitizers' options, and tsan's picks its tests).
run_suite() {
  local preset=$1 log="$logs/$1.txt"
  if ! cmake --preset "$preset" >/dev/null; then
    step_failed "configure $preset"
    return
  fi
  if ! cmake --build --preset "$preset" -j"$jobs"; then
    step_failed "build $preset"
    return
  fi
  ctest --preset "$preset" -j"$jobs" 2>&1 | tee "$log"
  local status=${PIPESTATUS[0]}
  local line t f s
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  if [ -z "$line" ]; then
    step_failed "ctest $preset (no result line)"
    return
  fi
  f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  s=$(grep -c '(Skipped)$' "$log" || true)
  passed=$((passed + t - f - s))
  failed=$((failed + f))
  skipped=$((skipped + s))
  [ "$f" -gt 0 ] && failures+=("$f test(s) of $preset")
  # ctest failing with every test passed (a test it could not start) still fails.
  if [ "$status" -ne 0 ] && [ "$f" -eq 0 ]; then
    step_failed "ctest $preset (status $status)"
  fi
}

run_suite release
run_suite sanitize
run_suite tsan

# The fuzz targets, built with clang, each for a bounded time (60 s in all
# unless PELMORIX_FUZZ_SECONDS says otherwise); see scripts/fuzz.sh.
scripts/fuzz.sh "${PELMORIX_FUZZ_SECONDS:-60}" || step_failed "fuzzing"

# One closing line for the runs of the suite and the fuzzing.
finish
