#!/usr/bin/env bash
# Benchmark of the check by content (platform::CompareContents, as
# "Inhalte vergleichen" and volkarn --check --content use it) against cmp
# on the same pairs, one pair after the other: 1 GiB in 100 files of
# 10.2 MiB each, the copies equal to their sources (every byte is read),
# the page cache warm.
#
#   bench/run_content_bench.sh
#   RUNS=9 PLACES=/dev/shm bench/run_content_bench.sh
#
# Three figures: cmp started for each pair; CompareContents for all pairs
# in one process (as the check runs it); CompareContents started for each
# pair like cmp. Wall and processor time (user + system, children
# included); on a loaded machine the processor time is the fairer measure.
#
# Environment: RUNS (runs per figure, median reported, default 7), PLACES
# (folders to build the pairs in, default "/dev/shm $ROOT/build"), BUILD
# (build folder, default build/h4-bench), KEEP=1 keeps the files.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/h4-bench}
RUNS=${RUNS:-7}
PLACES=${PLACES:-"/dev/shm $ROOT/build"}
WORK=$(mktemp -d)
# shellcheck source=bench/bench_lib.sh
source "$ROOT/bench/bench_lib.sh"
build_bench bench_content
BENCH=$BUILD/bench/bench_content

echo "== machine"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "tools: $(cmp --version | head -1)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

cmp_all() {  # cmp_all A B: cmp of every pair, one after the other
  local f
  for f in "$1"/*; do cmp "$f" "$2/${f##*/}"; done
}
each_all() {  # each_all BENCH A B: a process per pair, as cmp_all starts them
  local f
  for f in "$2"/*; do "$1" "$f" "$3/${f##*/}"; done
}

for place in $PLACES; do
  dir=$(mktemp -d "$place/vk-content-XXXXXX")
  echo "== $place ($(stat -f -c %T "$place"))"
  mkdir "$dir/a" "$dir/b"
  head -c $((1073741824 / 100)) /dev/urandom >"$dir/chunk"
  for i in $(seq -w 1 100); do
    # 100 files of 10,737,418 bytes: 1 GiB in all; each differs from the
    # others in its first bytes.
    { printf 'f%07s' "$i"; head -c $((1073741824 / 100 - 8)) "$dir/chunk"; } >"$dir/a/f$i"
    cp "$dir/a/f$i" "$dir/b/f$i"
    touch -r "$dir/a/f$i" "$dir/b/f$i"
  done
  rm "$dir/chunk"
  echo "  pairs: $(find "$dir/a" -type f | wc -l), bytes per side: $(du -sb "$dir/a" | cut -f1)"
  # Warm: both sides read once by each tool before the timed runs.
  cmp_all "$dir/a" "$dir/b"
  "$BENCH" "$dir/a" "$dir/b" >/dev/null
  by_cmp=()
  by_one=()
  by_each=()
  by_cmp_cpu=()
  by_one_cpu=()
  by_each_cpu=()
  for _ in $(seq "$RUNS"); do
    # Interleaved, so that a change of the machine's load meets both.
    timed by_cmp bash -c "$(declare -f cmp_all); cmp_all '$dir/a' '$dir/b'"
    timed by_one "$BENCH" "$dir/a" "$dir/b"
    timed by_each bash -c "$(declare -f each_all); each_all '$BENCH' '$dir/a' '$dir/b'"
  done
  line "cmp, pair after pair" by_cmp
  line "CompareContents, one process" by_one by_cmp "cmp"
  line "CompareContents, process per pair" by_each by_cmp "cmp"
  [ "${KEEP:-0}" = 1 ] || rm -rf "$dir"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
rm -rf "$WORK"
