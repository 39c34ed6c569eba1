#!/usr/bin/env bash
# Builds the program if needed and plots a bundled example.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
if [ ! -x build/viewer/pelmorix ]; then
  cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
  cmake --build build -j"$(nproc)"
fi
exec build/viewer/pelmorix examples/brusselator.skv 0 0 10 4.5
