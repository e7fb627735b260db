#!/usr/bin/env bash
# Benchmark of the backup copy engine against cp -a, rsync -a and
# find -newer, on a memory file system and on the disk, all in one run.
#
#   bench/run_backup_bench.sh            # everything, 5 runs per figure
#   RUNS=7 PLACES=/dev/shm bench/run_backup_bench.sh
#   PARTS="full incr" bench/run_backup_bench.sh
#
# Environment: RUNS (runs per figure, median reported, default 5), PLACES
# (folders to build the trees in, default "/dev/shm /var/tmp"), PARTS (any
# of full incr gui big memory; default all), BUILD (build folder, default
# build/bench-engine), KEEP=1 keeps the trees, BIG_MIB (size of each of the
# five large files, default 1024), FILES (files of the tree, default 20000,
# in FILES / 100 folders), BASELINE (a bench_backup built from another
# version: the full backup times it too, run for run beside this one), LOAD=1
# (one other process, a shell loop, keeps one processor busy all along),
# DISPLAY (the X display for the run window; without it the script starts
# one Xvfb with openbox on :67 for the whole benchmark, as a user's display
# is up before a backup starts), XSTART=each (instead a fresh Xvfb through
# xvfb-run for every run, whose start then shares the processors with it),
# FRESH_FS=1 (root only: every tool copies into an ext4 file system made
# afresh on a loop device, its image in the place; on a disk file system
# that has just had 100,000 files removed, the next one to create as many
# pays for the removal, so the order of the tools would decide otherwise).
#
#   FILES=100000 PARTS=full PLACES=/var/tmp BASELINE=/tmp/old/bench_backup \
#     bench/run_backup_bench.sh
#
# Every tool copies into a fresh target (removed and flushed before, not
# timed). The engine runs without its final flush (--no-sync) where it is
# compared with cp and rsync, which do not flush either; the flush is timed
# on its own in a separate run. Times are wall-clock seconds of the whole
# process; the run window is compared with the bare engine by the time of
# the run inside each program, so that the start of Qt does not count.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/bench-engine}
RUNS=${RUNS:-5}
PLACES=${PLACES:-"/dev/shm /var/tmp"}
PARTS=${PARTS:-"full incr gui big memory"}
BIG_MIB=${BIG_MIB:-1024}
FILES=${FILES:-20000}
FOLDERS=$((FILES / 100))
BASELINE=${BASELINE:-}
SHOWN=$(printf "%'d" "$FILES")

want() { [[ " $PARTS " == *" $1 "* ]]; }

# shellcheck source=bench/bench_lib.sh
source "$ROOT/bench/bench_lib.sh"
build_bench bench_backup bench_backup_gui
ENGINE=$BUILD/bench/bench_backup
GUI=$BUILD/bench/bench_backup_gui
export QT_QPA_PLATFORM=offscreen
# The run window is also measured on an X display where one can be had.
XVFB=
XPIDS=()
if want gui; then
  if [[ "${XSTART:-}" == each ]]; then
    XVFB=$(command -v xvfb-run || true)
  elif [[ -n "${DISPLAY:-}" ]]; then
    XVFB=display
  elif command -v Xvfb >/dev/null; then
    export DISPLAY=:67
    Xvfb "$DISPLAY" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
    XPIDS+=($!)
    sleep 1
    if command -v openbox >/dev/null; then
      openbox >/dev/null 2>&1 &
      XPIDS+=($!)
    fi
    sleep 1
    XVFB=display
  fi
fi

echo "== machine"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "memory: $(free -g | awk '/Mem:/ {print $2}') GiB; kernel $(uname -r)"
echo "tools: $(cp --version | head -1); $(rsync --version | head -1 | cut -c1-30); $(find --version | head -1)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"
# A user's machine is rarely quiet: with LOAD=1 a busy loop takes one
# processor for the whole benchmark and is ended with it.
BUSY=
stop_busy() {
  [[ -z "$BUSY" ]] || kill "$BUSY" 2>/dev/null || true
  [[ ${#XPIDS[@]} == 0 ]] || kill "${XPIDS[@]}" 2>/dev/null || true
}
trap stop_busy EXIT
if [[ "${LOAD:-0}" == 1 ]]; then
  sh -c 'while :; do :; done' &
  BUSY=$!
  echo "load: a busy loop (sh, pid $BUSY) keeps one processor busy during every run"
fi

# make_tree DIR FILES FOLDERS MINBYTES MAXBYTES SEED: FILES files of random
# size spread over FOLDERS folders (ten top folders with sub-folders).
make_tree() {
  python3 "$ROOT/bench/make_tree.py" "$@"
}


drop_dst() {
  if mountpoint -q "$WORK/dst" 2>/dev/null; then umount "$WORK/dst"; fi
  rm -rf "$WORK/dst" "$WORK/fs.img"
}

fresh() {
  drop_dst
  mkdir -p "$WORK/dst"
  if [[ "${FRESH_FS:-0}" == 1 ]]; then
    truncate -s 8G "$WORK/fs.img"
    mkfs.ext4 -q -F -E lazy_itable_init=1,lazy_journal_init=1 "$WORK/fs.img"
    mount -o loop "$WORK/fs.img" "$WORK/dst"
  fi
  sync
}

for place in $PLACES; do
  WORK=$(mktemp -d "$place/vkbench.XXXXXX")
  trap 'stop_busy; drop_dst; [[ "${KEEP:-0}" == 1 ]] || rm -rf "$WORK"' EXIT
  echo
  echo "== $place ($(df -T "$place" | awk 'NR==2 {print $2}')), $RUNS runs per figure, median"
  SRC=$WORK/src/Daten
  make_tree "$SRC" "$FILES" "$FOLDERS" 512 16384 1
  sleep 3
  touch "$WORK/stamp"
  EPOCH=$(stat -c %Y "$WORK/stamp")
  echo "  tree: $SHOWN files, 0.5-16 KiB, $FOLDERS folders, $(du -sm "$SRC" | cut -f1) MiB"

  if want full || want gui; then
    cp_t=() cp_t_cpu=() rs_t=() rs_t_cpu=() en_t=() en_t_cpu=() dummy=() dummy_cpu=()
    base_t=() base_t_cpu=()
    ensync_walk=() ensync_flush=() en_walk=() en_walk_cpu=() gui_walk=() gui_walk_cpu=() en_rss=()
    xgui_walk=() xgui_walk_cpu=()
    for ((i = 0; i < RUNS; i++)); do
      if want full; then
        fresh; timed cp_t cp -a "$SRC" "$WORK/dst/Daten"
        fresh; timed rs_t rsync -a "$SRC/" "$WORK/dst/Daten/"
      fi
      fresh; timed en_t "$ENGINE" --no-sync "$SRC" "$WORK/dst/Daten"
      en_walk+=("$(field walk_s)")
      en_walk_cpu+=("$(field cpu_s)")
      en_rss+=("$(field peak_rss_kib)")
      if [[ -n "$BASELINE" ]] && want full; then
        fresh; timed base_t "$BASELINE" --no-sync "$SRC" "$WORK/dst/Daten"
      fi
      if want full; then
        fresh; timed dummy "$ENGINE" "$SRC" "$WORK/dst/Daten"
        ensync_walk+=("$(field walk_s)")
        ensync_flush+=("$(field sync_s)")
      fi
      if want gui; then
        fresh; timed dummy "$GUI" "$SRC" "$WORK/dst/Daten"
        gui_walk+=("$(field walk_s)")
        gui_walk_cpu+=("$(field cpu_s)")
        if [[ -n "$XVFB" ]]; then
          # The same on an X display (a virtual one) instead of offscreen.
          if [[ "$XVFB" == display ]]; then
            fresh; timed dummy env QT_QPA_PLATFORM=xcb "$GUI" "$SRC" "$WORK/dst/Daten"
          else
            fresh; timed dummy env QT_QPA_PLATFORM=xcb "$XVFB" -a -s "-screen 0 1280x1024x24" \
              "$GUI" "$SRC" "$WORK/dst/Daten"
          fi
          xgui_walk+=("$(field walk_s)")
          xgui_walk_cpu+=("$(field cpu_s)")
        fi
      fi
    done
    if want full; then
      echo "  full backup of $SHOWN files (ratios wall / cpu):"
      line "cp -a" cp_t
      line "rsync -a" rs_t
      line "engine, no flush" en_t cp_t "cp -a (<= 0.45)" rs_t "rsync -a (<= 0.25)"
      [[ -z "$BASELINE" ]] || line "baseline engine, no flush" base_t
      [[ -z "$BASELINE" ]] || line "engine against baseline" en_t base_t "baseline"
      report "engine with flush: walk / flush" "$(median "${ensync_walk[@]}") s / $(median "${ensync_flush[@]}") s"
      report "engine peak memory" "$(median "${en_rss[@]}") KiB"
    fi
    if want gui; then
      echo "  full backup through the run window (time of the run inside the programs):"
      line "engine" en_walk
      line "run window (offscreen)" gui_walk en_walk "engine (<= 1.10)"
      [[ -z "$XVFB" ]] || line "run window (X display $([[ $XVFB == display ]] && echo "$DISPLAY, up all along" || echo "started per run"))" xgui_walk en_walk "engine (<= 1.10)"
    fi
  fi

  if want incr; then
    fresh
    cp -a "$SRC" "$WORK/dst/Daten"
    sync
    in_t=() in_t_cpu=() rs_t=() rs_t_cpu=() fi_t=() fi_t_cpu=()
    for ((i = 0; i < RUNS; i++)); do
      timed in_t "$ENGINE" --no-sync --incremental "$EPOCH" "$SRC" "$WORK/dst/Daten"
      [[ "$(field copied)" == 0 ]] || { echo "incremental copied files" >&2; exit 1; }
      timed rs_t rsync -a "$SRC/" "$WORK/dst/Daten/"
      timed fi_t find "$SRC" -newer "$WORK/stamp"
    done
    echo "  incremental run, nothing changed (ratios wall / cpu):"
    line "rsync -a (target up to date)" rs_t
    line "find SRC -newer STAMP" fi_t
    line "engine" in_t rs_t "rsync -a (<= 0.4)" fi_t "find (<= 1.5)"
  fi

  if want big; then
    drop_dst
    BIG=$WORK/big/Gross
    mkdir -p "$BIG"
    for n in 1 2 3 4 5; do head -c $((BIG_MIB * 1024 * 1024)) /dev/urandom >"$BIG/gross$n.bin"; done
    sync
    cp_t=() cp_t_cpu=() en_t=() en_t_cpu=()
    for ((i = 0; i < RUNS; i++)); do
      fresh; timed cp_t cp -a "$BIG" "$WORK/dst/Gross"
      fresh; timed en_t "$ENGINE" --no-sync "$BIG" "$WORK/dst/Gross"
    done
    drop_dst; rm -rf "$WORK/big"
    echo "  five files of $BIG_MIB MiB (ratios wall / cpu):"
    line "cp -a" cp_t
    line "engine, no flush" en_t cp_t "cp -a (<= 1.05)"
  fi

  if want memory && [[ "$place" == "${PLACES%% *}" ]]; then
    drop_dst
    make_tree "$WORK/many/Daten" 200000 2000 512 2048 2
    small=() large=() dummy=() dummy_cpu=()
    for ((i = 0; i < 3; i++)); do
      fresh; timed dummy "$ENGINE" --no-sync "$SRC" "$WORK/dst/Daten"
      small+=("$(field peak_rss_kib)")
      fresh; timed dummy "$ENGINE" --no-sync "$WORK/many/Daten" "$WORK/dst/Daten"
      large+=("$(field peak_rss_kib)")
    done
    drop_dst; rm -rf "$WORK/many"
    m_s=$(median "${small[@]}") m_l=$(median "${large[@]}")
    echo "  peak memory of the engine (VmHWM):"
    report "$SHOWN files" "${m_s} KiB"
    report "200,000 files (2,000 folders)" "${m_l} KiB  = $(ratio "$m_l" "$m_s") x (<= 1.1)"
  fi

  drop_dst
  [[ "${KEEP:-0}" == 1 ]] || rm -rf "$WORK"
  trap stop_busy EXIT
done
echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
