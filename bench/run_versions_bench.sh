#!/usr/bin/env bash
# Benchmark of the versions and the restore, through the command line as a
# user or a timer runs them, all in one run:
#   incr     an incremental run that replaces CHANGED of FILES files, with
#            Versionen=1 against the same run with Versionen=0 (<= 1.1)
#   restore  volkarn --restore --to of FILES files into an empty folder
#            against cp -a of the target tree (<= 0.8)
#   prune    the start of a run that removes 100 run folders of 1,000
#            files each against rm -rf of them (<= 1.2)
#
#   bench/run_versions_bench.sh
#   RUNS=7 PLACES=/dev/shm PARTS="incr prune" bench/run_versions_bench.sh
#
# Environment: RUNS (default 5, median reported), PLACES (default
# "/dev/shm /var/tmp"), PARTS (default "incr restore prune"), FILES (default
# 100000), CHANGED (default 10000), BUILD (default build/bench-engine),
# KEEP=1 keeps the trees. Every timed run starts from the same state
# (target and data folder copied back, not timed, caches warm).
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/bench-engine}
RUNS=${RUNS:-5}
PLACES=${PLACES:-"/dev/shm /var/tmp"}
PARTS=${PARTS:-"incr restore prune"}
FILES=${FILES:-100000}
CHANGED=${CHANGED:-10000}
FOLDERS=$((FILES / 100))

want() { [[ " $PARTS " == *" $1 "* ]]; }

# shellcheck source=bench/bench_lib.sh
source "$ROOT/bench/bench_lib.sh"
build_bench volkarn bench_makejob
MAKEJOB=$BUILD/bench/bench_makejob

echo "== machine"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "memory: $(free -g | awk '/Mem:/ {print $2}') GiB; kernel $(uname -r)"
echo "tools: $(cp --version | head -1); $(rm --version | head -1)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# state_save NAME / state_load NAME: the target and the data folder as
# they are, kept aside and put back (not timed).
state_save() {
  rm -rf "$WORK/saved-$1"
  mkdir -p "$WORK/saved-$1"
  cp -a "$WORK/dst" "$WORK/home" "$WORK/saved-$1/"
}
state_load() {
  rm -rf "$WORK/dst" "$WORK/home"
  cp -a "$WORK/saved-$1/dst" "$WORK/saved-$1/home" "$WORK/"
  sync
}
# job NAME OPTIONS...: a fresh data folder with the one job.
job() {
  rm -rf "$WORK/home"
  mkdir -p "$WORK/home"
  local name=$1
  shift
  "$MAKEJOB" "$name" "$WORK/dst" "$@" "$WORK/src/Daten"
}

for place in $PLACES; do
  WORK=$(mktemp -d "$place/vkbench.XXXXXX")
  trap '[[ "${KEEP:-0}" == 1 ]] || rm -rf "$WORK"' EXIT
  export XDG_DATA_HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home HOME=$WORK/home
  # A copy without the marker of a portable program: it keeps its data
  # where bench_makejob lays out the job.
  mkdir -p "$WORK/bin"
  cp "$BUILD/volkarn" "$WORK/bin/volkarn"
  VOLKARN=$WORK/bin/volkarn
  echo
  echo "== $place ($(df -T "$place" | awk 'NR==2 {print $2}')), $RUNS runs per figure, median"
  python3 "$ROOT/bench/make_tree.py" "$WORK/src/Daten" "$FILES" "$FOLDERS" 512 16384 1
  echo "  tree: $FILES files, 0.5-16 KiB, $FOLDERS folders, $(du -sm "$WORK/src" | cut -f1) MiB"
  # Older than the stamp of the first backup by more than its two seconds.
  sleep 3

  if want incr; then
    for keep in 0 1; do
      mkdir -p "$WORK/dst"
      job Bench --option "Versionen=$keep"
      "$VOLKARN" --backup Bench --full --quiet
      state_save "v$keep"
      rm -rf "$WORK/dst"
    done
    sleep 2
    # Every tenth file gets new content and a new time.
    python3 - "$WORK/src/Daten" "$CHANGED" <<'PY'
import os, sys
root, changed = sys.argv[1], int(sys.argv[2])
names = sorted(os.path.join(d, f) for d, _, fs in os.walk(root) for f in fs)
step = max(1, len(names) // changed)
for path in names[::step][:changed]:
    with open(path, "ab") as f:
        f.write(b"x")
PY
    v0=() v0_cpu=() v1=() v1_cpu=()
    for ((i = 0; i < RUNS; i++)); do
      state_load v0; timed v0 "$VOLKARN" --backup Bench --incremental --quiet
      state_load v1; timed v1 "$VOLKARN" --backup Bench --incremental --quiet
    done
    kept=$(find "$WORK/dst/VolKarn-Versionen" -type f ! -name VolKarn-Neu.txt | wc -l)
    echo "  incremental run replacing $CHANGED of $FILES files ($kept versions kept):"
    line "Versionen=0" v0
    line "Versionen=1" v1 v0 "Versionen=0 (<= 1.1)"
    rm -rf "$WORK/dst" "$WORK/saved-v0" "$WORK/saved-v1"
  fi

  if want restore; then
    mkdir -p "$WORK/dst"
    job Bench --option "Versionen=1"
    "$VOLKARN" --backup Bench --full --quiet
    sync
    re=() re_cpu=() cp_t=() cp_t_cpu=()
    for ((i = 0; i < RUNS; i++)); do
      rm -rf "$WORK/to"; mkdir -p "$WORK/to"; sync
      timed cp_t cp -a "$WORK/dst/Daten" "$WORK/to/Daten"
      rm -rf "$WORK/to"; mkdir -p "$WORK/to"; sync
      timed re "$VOLKARN" --restore Bench --to "$WORK/to" --quiet
    done
    cmp <(cd "$WORK/src/Daten" && find . -type f | sort) <(cd "$WORK/to/Daten" && find . -type f | sort)
    echo "  restore of $FILES files into an empty folder:"
    line "cp -a of the target" cp_t
    line "volkarn --restore --to" re cp_t "cp -a (<= 0.8)"
    rm -rf "$WORK/dst" "$WORK/to"
  fi

  if want prune; then
    # 100 run folders of 1,000 files from a year ago, one from today.
    mkdir -p "$WORK/dst" "$WORK/tiny"
    echo x >"$WORK/tiny/a.txt"
    rm -rf "$WORK/home"; mkdir -p "$WORK/home"
    "$MAKEJOB" Klein "$WORK/dst" --option "VersionenTage=30" "$WORK/tiny"
    python3 "$ROOT/bench/make_tree.py" "$WORK/one" 1000 10 512 4096 2
    year=$(($(date +%Y) - 1))
    mkdir -p "$WORK/dst/VolKarn-Versionen"
    for ((n = 0; n < 100; n++)); do
      cp -a "$WORK/one" "$WORK/dst/VolKarn-Versionen/$year-01-01 $(printf '%02d%02d00' $((n / 60)) $((n % 60)))"
    done
    cp -a "$WORK/one" "$WORK/dst/VolKarn-Versionen/$(date +%Y-%m-%d) 000000"
    state_save prune
    pr=() pr_cpu=() rm_t=() rm_t_cpu=()
    for ((i = 0; i < RUNS; i++)); do
      state_load prune
      timed rm_t bash -c "cd '$WORK/dst/VolKarn-Versionen' && rm -rf '$year-'*"
      state_load prune
      timed pr "$VOLKARN" --backup Klein --full --quiet
    done
    left=$(find "$WORK/dst/VolKarn-Versionen" -mindepth 1 -maxdepth 1 -type d | wc -l)
    echo "  pruning 100 run folders of 1,000 files (run folders left: $left):"
    line "rm -rf" rm_t
    line "run that prunes them" pr rm_t "rm -rf (<= 1.2)"
  fi
  rm -rf "$WORK"
done
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
