#!/usr/bin/env bash
# Compressed cell logs against the plain one, side by side: the model's log
# (pelmorix-genlog --model brusselator --size 20, 25,000 blocks, 86 MB) and a
# 1 MB one, each compressed with gzip, zstd -3 and xz. Each round runs, in
# turn: the viewer on the plain log; for every format the decompressor's own
# `-dc` to /dev/null, then the viewer on the compressed log. The programs
# run on the same two processors (the viewer decompresses on a thread of its
# own). Prints per format the medians of the wall-clock times and the peak
# resident sets, and the compressed run's time over the larger of the
# decompressor's and the plain run's (the goal: at most 1.15), its memory
# above the plain run's (the goal: within 2 MB).
#   bench/compressed.sh                    # 5 rounds
#   bench/compressed.sh --runs 9 --big     # also a 1 GB log (gzip and zstd, streamed)
#   bench/compressed.sh --build build     # the programs of that Release build, not build-bench
set -euo pipefail
cd "$(dirname "$0")/.."
runs=5
big=no
build=""
while [ $# -gt 0 ]; do
  case $1 in
    --runs) runs=$2; shift 2 ;;
    --big) big=yes; shift ;;
    --build) build=$2; shift 2 ;;
    *) echo "usage: $0 [--runs N] [--big] [--build DIR]" >&2; exit 2 ;;
  esac
done
for tool in gzip zstd xz taskset /usr/bin/time; do
  command -v "$tool" >/dev/null 2>&1 || { echo "$tool is not installed" >&2; exit 1; }
done
if [ -z "$build" ]; then
  build=build-bench
  cmake -S . -B build-bench -DCMAKE_BUILD_TYPE=Release -DPELMORIX_TESTS=OFF -DPELMORIX_WINDOWS_EXE=OFF >/dev/null
  cmake --build build-bench -j"$(nproc)" --target pelmorix pelmorix-genlog >/dev/null
fi
viewer=$build/viewer/pelmorix
genlog=$build/tools/pelmorix-genlog
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# The first two processors this process may use, for every timed program.
cpu=$(taskset -pc $$ | sed 's/.*: *//' | tr ',' '\n' |
  awk -F- '{ for (c = $1; c <= ($2 == "" ? $1 : $2); ++c) print c }' | head -n 2 | paste -sd, -)

# timed OUT COMMAND...: runs COMMAND on those processors, headless, the key
# `a` on standard input; appends "seconds kilobytes" to OUT.
timed() {
  local out=$1
  shift
  echo a | PELMORIX_DISPLAY=headless /usr/bin/time -f '%e %M' -o "$work/time" taskset -c "$cpu" "$@" \
    >/dev/null 2>&1 || true
  cat "$work/time" >>"$out"
}

# median FILE COLUMN: the median of that column's numbers.
median() { sort -g -k "$2,$2" "$1" | awk -v c="$2" '{ v[NR] = $c } END { print v[int((NR + 1) / 2)] }'; }

# compare_log NAME LOG TIMES: the side-by-side rounds on LOG; the time
# ratios only when TIMES is "times" (a 1 MB run is too short to time).
compare_log() {
  local name=$1 log=$2 times=$3 limits=(0 0 625 5)
  gzip -c "$log" >"$log.gz"
  zstd -q -3 -c "$log" >"$log.zst"
  xz -T1 -c "$log" >"$log.xz"
  rm -f "$work"/t.*
  for _ in $(seq 1 "$runs"); do
    timed "$work/t.plain" "$viewer" "$log" "${limits[@]}"
    for f in gz:gzip zst:zstd xz:xz; do
      local ext=${f%%:*} tool=${f#*:}
      timed "$work/t.$ext.tool" "$tool" -dc "$log.$ext"
      timed "$work/t.$ext.viewer" "$viewer" "$log.$ext" "${limits[@]}"
    done
  done
  local plain plain_kb
  plain=$(median "$work/t.plain" 1)
  plain_kb=$(median "$work/t.plain" 2)
  printf '%s (%s bytes): plain run %.2f s, %d kB\n' "$name" "$(stat -c %s "$log")" "$plain" "$plain_kb"
  for f in gz:gzip zst:zstd xz:xz; do
    local ext=${f%%:*} tool=${f#*:}
    local own run kb
    own=$(median "$work/t.$ext.tool" 1)
    run=$(median "$work/t.$ext.viewer" 1)
    kb=$(median "$work/t.$ext.viewer" 2)
    awk -v t="$tool" -v own="$own" -v run="$run" -v plain="$plain" -v kb="$kb" -v pkb="$plain_kb" -v times="$times" 'BEGIN {
      if (times == "times")
        printf "  %-5s %s -dc %.2f s, viewer %.2f s: %.2f of the larger; %d kB, %+d kB on the plain run\n",
               t, t, own, run, run / (own > plain ? own : plain), kb, kb - pkb
      else
        printf "  %-5s viewer %d kB, %+d kB on the plain run\n", t, kb, kb - pkb }'
  done
}

"$genlog" --model brusselator --size 20 --steps 300 >"$work/small.skv"
compare_log "1 MB log" "$work/small.skv" memory
"$genlog" --model brusselator --size 20 --steps 25000 >"$work/model.skv"
compare_log "model log" "$work/model.skv" times
rm -f "$work"/model.skv*

if [ "$big" = yes ]; then
  # 1 GB of text, never on disk uncompressed: the peak resident set only.
  for f in gzip:gz zstd:zst; do
    tool=${f%%:*}
    "$genlog" --model brusselator --size 20 --steps 300000 | "$tool" -q -c >"$work/big.$tool"
    : >"$work/t.big"
    timed "$work/t.big" "$viewer" "$work/big.$tool" 0 0 7500 5
    printf '1 GB log, %s: %.1f s, %d kB\n' "$tool" "$(cut -d' ' -f1 "$work/t.big")" "$(cut -d' ' -f2 "$work/t.big")"
    rm -f "$work/big.$tool"
  done
fi
