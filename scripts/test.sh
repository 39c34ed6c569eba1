#!/usr/bin/env bash
# Installs what is needed, builds, and runs every test: once as released,
# once under AddressSanitizer and UndefinedBehaviorSanitizer.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$jobs"
(cd build && ctest --output-on-failure -j"$jobs")

cmake -S . -B build-sanitize -DCMAKE_BUILD_TYPE=Debug -DPELMORIX_SANITIZE=ON -DPELMORIX_WINDOWS_EXE=OFF >/dev/null
cmake --build build-sanitize -j"$jobs"
(cd build-sanitize && ASAN_OPTIONS=detect_leaks=1 \
   LSAN_OPTIONS="suppressions=$PWD/../tests/lsan.supp:print_suppressions=0" \
   UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
   ctest --output-on-failure -j"$jobs")

# The fuzz targets, built with clang, each for a bounded time (60 s in all
# unless PELMORIX_FUZZ_SECONDS says otherwise); see scripts/fuzz.sh.
scripts/fuzz.sh "${PELMORIX_FUZZ_SECONDS:-60}"
