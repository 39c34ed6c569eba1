#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once as released,
# once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh test
jobs=$(nproc)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

# The builds are CMakePresets.json's: release in build/, sanitize in
# build-sanitize/ (its test preset sets the sanitizers' options).
cmake --preset release >/dev/null
cmake --build --preset release -j"$jobs"
ctest --preset release -j"$jobs" | tee "$logs/release.txt"

cmake --preset sanitize >/dev/null
cmake --build --preset sanitize -j"$jobs"
ctest --preset sanitize -j"$jobs" | tee "$logs/sanitize.txt"

# The fuzz targets, built with clang, each for a bounded time (60 s in all
# unless PELMORIX_FUZZ_SECONDS says otherwise); see scripts/fuzz.sh.
scripts/fuzz.sh "${PELMORIX_FUZZ_SECONDS:-60}"

# One closing line for both runs of the suite.
total=0
failed=0
skipped=0
for log in "$logs"/release.txt "$logs"/sanitize.txt; do
  line=$(grep -E 'tests passed, [0-9]+ tests failed out of [0-9]+' "$log" | tail -n 1)
  f=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\1/' <<<"$line")
  t=$(sed -E 's/.* ([0-9]+) tests failed out of ([0-9]+).*/\2/' <<<"$line")
  total=$((total + t))
  failed=$((failed + f))
  skipped=$((skipped + $(grep -c '(Skipped)$' "$log" || true)))
done
echo "$((total - failed - skipped)) passed, $failed failed, $skipped skipped"
