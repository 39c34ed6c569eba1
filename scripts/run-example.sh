#!/usr/bin/env bash
# Builds the program if needed and plots a bundled example. Installs only
# what building and running need (scripts/test.sh installs the rest).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh build
if [ ! -x build/viewer/pelmorix ]; then
  cmake --preset programs >/dev/null
  cmake --build --preset programs -j"$(nproc)"
fi
exec build/viewer/pelmorix examples/brusselator.skv 0 0 10 4.5
