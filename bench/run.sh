#!/usr/bin/env bash
# Builds the viewer and the benchmarks in release mode (build-bench/) and
# runs the benchmark. Options go to the driver, for example:
#   bench/run.sh                # 7 runs of each program on each log, with the 1 GB run
#   bench/run.sh --runs 5 --no-big
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset bench >/dev/null
cmake --build --preset bench -j"$(nproc)" >/dev/null
exec build-bench/bench/pelmorix-bench "$@"
