#!/usr/bin/env bash
# Benchmark of the walks that read ahead: an incremental run with nothing
# changed against find SRC -newer STAMP, and the backup check against
# rsync -rn --ignore-existing SRC/ DST/, each with the read-ahead off
# (--read-ahead 0) and on (its own choice of threads), warm and with a cold
# cache, all in one run.
#
#   bench/run_walk_bench.sh
#   FILES=50000 FOLDERS=500 PLACES=/var/tmp bench/run_walk_bench.sh
#
# Environment: RUNS (runs per figure, median, default 5), FILES and FOLDERS
# (default 200,000 in 2,000), PLACES (default "/dev/shm /var/tmp"; a cold
# cache means nothing on tmpfs and is measured on disk only), COLD=0 skips
# the cold runs, BUILD (default build/bench-engine), KEEP=1 keeps the trees.
#
# Cold: before each timed command the page, inode and directory caches are
# dropped (echo 3 > /proc/sys/vm/drop_caches, root only); where that is not
# allowed the script says so and measures warm only.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/bench-engine}
RUNS=${RUNS:-5}
FILES=${FILES:-200000}
FOLDERS=${FOLDERS:-2000}
PLACES=${PLACES:-"/dev/shm /var/tmp"}
COLD=${COLD:-1}

# shellcheck source=bench/bench_lib.sh
source "$ROOT/bench/bench_lib.sh"
build_bench bench_backup bench_check
ENGINE=$BUILD/bench/bench_backup
CHECK=$BUILD/bench/bench_check


echo "== machine"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "tools: $(rsync --version | head -1 | cut -c1-30); $(find --version | head -1)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

can_drop=0
if [[ "$COLD" == 1 ]]; then
  if sync && echo 3 2>/dev/null >/proc/sys/vm/drop_caches; then
    can_drop=1
  else
    echo "cold cache: not possible here (no right to write /proc/sys/vm/drop_caches); warm only"
  fi
fi
drop() { sync; echo 3 >/proc/sys/vm/drop_caches; }

# cold VAR CMD...: one run of the command with the caches dropped first,
# added to the arrays of VAR (as timed does).
cold() {
  local var=$1
  shift
  drop
  timed "$var" "$@"
}

for place in $PLACES; do
  WORK=$(mktemp -d "$place/vkwalk.XXXXXX")
  trap '[[ "${KEEP:-0}" == 1 ]] || rm -rf "$WORK"' EXIT
  fstype=$(df -T "$place" | awk 'NR==2 {print $2}')
  echo
  echo "== $place ($fstype), $FILES files in $FOLDERS folders, $RUNS runs per figure, median"
  SRC=$WORK/src/Daten
  t0=$(date +%s.%N)
  python3 "$ROOT/bench/make_tree.py" "$SRC" "$FILES" "$FOLDERS" 512 2048 3
  mkdir -p "$WORK/dst"
  cp -a "$SRC" "$WORK/dst/Daten"
  sync
  echo "  tree and its backup made in $(echo "$(date +%s.%N) - $t0" | bc -l | cut -c1-6) s"
  sleep 3
  touch "$WORK/stamp"
  EPOCH=$(stat -c %Y "$WORK/stamp")

  kinds="warm"
  [[ "$can_drop" == 1 && "$fstype" != tmpfs ]] && kinds="warm cold"
  for kind in $kinds; do
    run=timed
    [[ "$kind" == cold ]] && run=cold
    fi_t=() fi_t_cpu=() in0_t=() in0_t_cpu=() in_t=() in_t_cpu=()
    rs_t=() rs_t_cpu=() ck0_t=() ck0_t_cpu=() ck_t=() ck_t_cpu=()
    # Warm: one run of each before the timed ones.
    [[ "$kind" == warm ]] && find "$SRC" -newer "$WORK/stamp" >/dev/null &&
      rsync -rn --ignore-existing "$SRC/" "$WORK/dst/Daten/" >/dev/null
    loads=()
    for ((i = 0; i < RUNS; i++)); do
      loads+=("$(cut -d' ' -f1 /proc/loadavg)")
      $run fi_t find "$SRC" -newer "$WORK/stamp"
      $run in0_t "$ENGINE" --no-sync --read-ahead 0 --incremental "$EPOCH" "$SRC" "$WORK/dst/Daten"
      [[ "$(field copied)" == 0 ]] || { echo "incremental copied files" >&2; exit 1; }
      $run in_t "$ENGINE" --no-sync --incremental "$EPOCH" "$SRC" "$WORK/dst/Daten"
      [[ "$(field copied)" == 0 ]] || { echo "incremental copied files" >&2; exit 1; }
      $run rs_t rsync -rn --ignore-existing "$SRC/" "$WORK/dst/Daten/"
      $run ck0_t "$CHECK" --read-ahead 0 "$SRC" "$WORK/dst"
      $run ck_t "$CHECK" "$SRC" "$WORK/dst"
      [[ "$(field missing)" == 0 && "$(field found)" == "$FILES" ]] || {
        echo "unexpected counts: $(cat "$WORK/last.out")" >&2
        exit 1
      }
    done
    echo "  $kind cache (load 1 min during the runs: ${loads[*]}; ratios wall / cpu):"
    line "find SRC -newer STAMP" fi_t
    line "incremental, read-ahead off" in0_t fi_t "find (<= 0.6)"
    line "incremental, read-ahead on" in_t fi_t "find (<= 0.6)" in0_t "read-ahead off"
    line "rsync -rn --ignore-existing" rs_t
    line "check, read-ahead off" ck0_t rs_t "rsync (<= 0.35)"
    line "check, read-ahead on" ck_t rs_t "rsync (<= 0.35)" ck0_t "read-ahead off"
  done
  [[ "${KEEP:-0}" == 1 ]] || rm -rf "$WORK"
  trap - EXIT
done
echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
