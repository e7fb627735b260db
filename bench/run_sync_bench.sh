#!/usr/bin/env bash
# Benchmark of the two-way synchronisation through the command line
# (volkarn --sync NAME) against unison -batch on the same pair of folders,
# each with what its last run knew in place (VolKarn's state file,
# unison's archive), all in one run:
#   same     nothing changed on either side               (<= 0.5 x unison)
#   changed  1 % of the files changed on each side, other
#            files on each, none on both                  (<= 0.8 x unison)
#
#   bench/run_sync_bench.sh
#   RUNS=7 PLACES=/dev/shm PARTS=same bench/run_sync_bench.sh
#
# Environment: RUNS (default 5, median reported), PLACES (default
# "/dev/shm /var/tmp"), PARTS (default "same changed"), FILES (default
# 100000, in FILES / 100 folders), BUILD (default build/bench-sync), KEEP=1
# keeps the trees.
#
# The pair is made once (make_tree.py, then cp -a), both tools make their
# first run on it (not timed), and that state is kept aside: the pair, the
# data folder and unison's folder. Before every timed run of "changed" the
# pair is put back with rsync -a --delete (only the files that differ are
# written again, so every other file keeps its inode and unison's archive
# stays valid for it), the data folder and unison's folder are copied back,
# and the same files get the same new content and time (not timed). unison
# runs with its own HOME and UNISON folder under the scratch folder and its
# defaults otherwise; nothing of the user's is read or written.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/bench-sync}
RUNS=${RUNS:-5}
PLACES=${PLACES:-"/dev/shm /var/tmp"}
PARTS=${PARTS:-"same changed"}
FILES=${FILES:-100000}
FOLDERS=$((FILES / 100))
SHOWN=$(printf "%'d" "$FILES")

want() { [[ " $PARTS " == *" $1 "* ]]; }

# shellcheck source=bench/bench_lib.sh
source "$ROOT/bench/bench_lib.sh"
build_bench volkarn bench_makejob
MAKEJOB=$BUILD/bench/bench_makejob
UNISON_BIN=$(command -v unison) || {
  echo "unison is not installed" >&2
  exit 1
}

echo "== machine"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "memory: $(free -g | awk '/Mem:/ {print $2}') GiB; kernel $(uname -r)"
echo "tools: $("$UNISON_BIN" -version | head -1); $(rsync --version | head -1 | cut -c1-30)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# state_save / state_load: the pair, the data folder and unison's folder
# as after the last runs of both tools, kept aside and put back (not
# timed).
state_save() {
  rm -rf "$WORK/saved"
  mkdir -p "$WORK/saved"
  cp -a "$WORK/pair" "$WORK/home" "$WORK/unison" "$WORK/saved/"
}
state_load() {
  rsync -a --delete "$WORK/saved/pair/" "$WORK/pair/"
  rm -rf "$WORK/home" "$WORK/unison"
  cp -a "$WORK/saved/home" "$WORK/saved/unison" "$WORK/"
  sync
}
# change: every 100th file gets one more byte and a fixed new time in the
# first folder, every 100th from the 50th on in the second one.
change() {
  python3 - "$P1" "$P2" "$STAMP" <<'PY'
import os, sys
first, second, stamp = sys.argv[1], sys.argv[2], int(sys.argv[3])
names = sorted(os.path.relpath(os.path.join(d, f), first)
               for d, _, fs in os.walk(first) for f in fs)
for side, start in ((first, 0), (second, 50)):
    for name in names[start::100]:
        path = os.path.join(side, name)
        with open(path, "ab") as f:
            f.write(b"x" if side == first else b"y")
        os.utime(path, (stamp, stamp))
PY
}

for place in $PLACES; do
  WORK=$(mktemp -d "$place/vkbench.XXXXXX")
  trap '[[ "${KEEP:-0}" == 1 ]] || rm -rf "$WORK"' EXIT
  export XDG_DATA_HOME=$WORK/home XDG_CONFIG_HOME=$WORK/home HOME=$WORK/home
  # A copy without the marker of a portable program: it keeps its data
  # in the data folder under $WORK/home.
  mkdir -p "$WORK/bin" "$WORK/home" "$WORK/uhome" "$WORK/unison"
  cp "$BUILD/volkarn" "$WORK/bin/volkarn"
  VOLKARN=$WORK/bin/volkarn
  P1=$WORK/pair/eins
  P2=$WORK/pair/zwei
  # One run of unison over the pair, its archive in place.
  UNISON_RUN=(env HOME="$WORK/uhome" UNISON="$WORK/unison" "$UNISON_BIN" "$P1" "$P2" -batch -silent)
  echo
  echo "== $place ($(df -T "$place" | awk 'NR==2 {print $2}')), $RUNS runs per figure, median"
  python3 "$ROOT/bench/make_tree.py" "$P1" "$FILES" "$FOLDERS" 512 16384 1
  cp -a "$P1" "$P2"
  echo "  pair: 2 x $SHOWN files, 0.5-16 KiB, $FOLDERS folders, $(du -sm "$P1" | cut -f1) MiB each"
  "$MAKEJOB" --sync Bench "$P1" "$P2"
  # The first runs make the state file and the archive.
  "$VOLKARN" --sync Bench --quiet
  "${UNISON_RUN[@]}" >/dev/null
  state_save
  # The new time of the changed files, well apart from the tree's.
  STAMP=$(($(date +%s) + 600))

  if want same; then
    vk=() vk_cpu=() un=() un_cpu=()
    for ((i = 0; i < RUNS; i++)); do
      timed un "${UNISON_RUN[@]}"
      timed vk "$VOLKARN" --sync Bench --quiet
    done
    [[ ! -e "$P1/.VolKarn-Versionen" && ! -e "$P2/.VolKarn-Versionen" ]] || {
      echo "the run without changes kept versions" >&2
      exit 1
    }
    echo "  nothing changed (ratios wall / cpu):"
    line "unison -batch" un
    line "volkarn --sync" vk un "unison (<= 0.5)"
  fi

  if want changed; then
    vk=() vk_cpu=() un=() un_cpu=()
    for ((i = 0; i < RUNS; i++)); do
      state_load
      change
      timed un "${UNISON_RUN[@]}"
      diff -rq "$P1" "$P2" >/dev/null || {
        echo "unison left the pair different" >&2
        exit 1
      }
      state_load
      change
      timed vk "$VOLKARN" --sync Bench --quiet
      diff -rq -x .VolKarn-Versionen "$P1" "$P2" >/dev/null || {
        echo "volkarn left the pair different" >&2
        exit 1
      }
    done
    kept=$(find "$P1/.VolKarn-Versionen" "$P2/.VolKarn-Versionen" -type f | wc -l)
    echo "  $((FILES / 100)) files changed on each side ($kept old contents kept; ratios wall / cpu):"
    line "unison -batch" un
    line "volkarn --sync" vk un "unison (<= 0.8)"
  fi
  rm -rf "$WORK"
  trap - EXIT
done
echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
