#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once as released,
# once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)
logs=$(mktemp -d)
trap 'rm -rf "$logs"' EXIT

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs") | tee "$logs/release.txt"

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPELMORIX_SANITIZE=ON -DPELMORIX_WINDOWS_EXE=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 \
   LSAN_OPTIONS="suppressions=$PWD/../tests/lsan.supp:print_suppressions=0" \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest --output-on-failure -j"$jobs") | tee "$logs/sanitize.txt"

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
