#!/usr/bin/env bash
# Start-up benchmark: the time from exec to the main window drawn with its
# job shown, with a catalogue of 1,000 jobs, against the same time of the
# smallest Qt Widgets program (one window, one label), on an X display.
#
#   bench/run_startup_bench.sh
#   RUNS=21 JOBS=1000 bench/run_startup_bench.sh
#
# Environment: RUNS (runs per program, median reported, default 15), JOBS
# (jobs in the catalogue, default 1000), BUILD (build folder, default
# build/bench-engine), DISPLAY (an X display to use; without it the script
# starts Xvfb on :66 with openbox and ends them afterwards), LOAD=1 keeps
# one processor busy with a loop of the shell's own during the runs (says so),
# SHOT=FILE saves a picture of the screen with the main window up,
# CATALOGUE=DIR takes the data folder (XDG_DATA_HOME) from DIR instead of
# making the jobs, KEEP_CATALOGUE=DIR keeps this run's there.
#
# Both programs get the same library by LD_PRELOAD (bench/startup_probe.cpp),
# which prints the moment the first window has been drawn (the first paint
# event and the flush after it) and ends the program there. The start is
# taken by the launcher just before it starts the program; the two
# programs run in turn, each once warm before the timed runs.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/bench-engine}
RUNS=${RUNS:-15}
JOBS=${JOBS:-1000}

# shellcheck source=bench/bench_lib.sh
source "$ROOT/bench/bench_lib.sh"
build_bench volkarn minimal_qt startup_probe bench_makejob
PROBE=$BUILD/bench/libstartup_probe.so

WORK=$(mktemp -d /tmp/vkstart.XXXXXX)
PIDS=()
cleanup() {
  for p in "${PIDS[@]}"; do kill "$p" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap cleanup EXIT

echo "== machine"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "memory: $(free -g | awk '/Mem:/ {print $2}') GiB; kernel $(uname -r); $(dpkg-query -W -f '${Package} ${Version}' libqt6widgets6 2>/dev/null || true)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

if [[ -z "${DISPLAY:-}" ]]; then
  export DISPLAY=:66
  Xvfb "$DISPLAY" -screen 0 1280x800x24 -nolisten tcp >/dev/null 2>&1 &
  PIDS+=($!)
  sleep 1
  openbox >/dev/null 2>&1 &
  PIDS+=($!)
  sleep 1
fi
echo "display: $DISPLAY ($(xdpyinfo 2>/dev/null | awk '/vendor string/ {$1=$2=""; print}' | sed 's/^ *//'))"

# A home of its own: catalogue, settings and caches of this run only.
export HOME=$WORK/home XDG_DATA_HOME=$WORK/home/.local/share XDG_CONFIG_HOME=$WORK/home/.config
export XDG_CACHE_HOME=$WORK/home/.cache XDG_RUNTIME_DIR=$WORK/run
mkdir -p -m 700 "$XDG_RUNTIME_DIR"
mkdir -p "$XDG_DATA_HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$WORK/src" "$WORK/dst"
t0=$(date +%s.%N)
MAKE=$JOBS
if [[ -n "${CATALOGUE:-}" && -d "$CATALOGUE" ]]; then
  # The data folder of an earlier run with as many jobs (a copy of its
  # XDG_DATA_HOME): making 1,000 jobs one by one takes a minute or two.
  cp -a "$CATALOGUE/." "$XDG_DATA_HOME/"
  MAKE=0
fi
for ((i = 1; i <= MAKE; i++)); do
  "$BUILD/bench/bench_makejob" "$(printf 'Auftrag %04d' "$i")" "$WORK/dst/$i" "$WORK/src" >/dev/null
done
t1=$(date +%s.%N)
[[ -z "${KEEP_CATALOGUE:-}" ]] || { mkdir -p "$KEEP_CATALOGUE" && cp -a "$XDG_DATA_HOME/." "$KEEP_CATALOGUE/"; }
printf 'catalogue: %d jobs made in %.1f s (%s KiB in the data folder)\n' "$MAKE" \
  "$(echo "$t1 - $t0" | bc -l)" "$(du -sk "$XDG_DATA_HOME" | cut -f1)"

# The settings name the job shown at the start: one in the middle.
shown=$(printf 'Auftrag %04d' $(((JOBS + 1) / 2)))
mkdir -p "$XDG_CONFIG_HOME/VolKarn"
printf '%s\r\n' "$shown" >"$XDG_CONFIG_HOME/VolKarn/volkarn.ini"
echo "job shown at the start: $shown"

# The program runs from a folder of its own: a marker file for a portable
# installation beside the built one would move its data folder.
cp "$BUILD/volkarn" "$WORK/volkarn"
VOLKARN=$WORK/volkarn

if [[ "${LOAD:-0}" == 1 ]]; then
  (while :; do :; done) &
  PIDS+=($!)
  echo "load: one busy loop (pid $!) keeps one processor busy during the runs"
fi

if [[ -n "${SHOT:-}" ]]; then
  "$VOLKARN" >/dev/null 2>&1 &
  shot_pid=$!
  sleep 3
  import -window root "$SHOT"
  kill "$shot_pid"
  wait "$shot_pid" 2>/dev/null || true
  echo "picture: $SHOT"
fi

python3 - "$RUNS" "$PROBE" "$BUILD/bench/minimal_qt" "$VOLKARN" <<'PY'
import os, statistics, subprocess, sys, time

runs, probe, minimal, volkarn = int(sys.argv[1]), sys.argv[2], sys.argv[3], sys.argv[4]
env = dict(os.environ, LD_PRELOAD=probe, STARTUP_PROBE_EXIT="1")

def once(program):
    start = time.clock_gettime(time.CLOCK_REALTIME)
    p = subprocess.Popen([program], env=env, stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                         text=True)
    drawn = None
    for line in p.stderr:
        if line.startswith("drawn="):
            drawn = float(line.split("=", 1)[1])
    # The processor time (user + system, all threads) up to the end, which
    # the probe makes right after the drawing: less disturbed by a load.
    _, status, usage = os.wait4(p.pid, 0)
    if drawn is None:
        sys.exit(f"{program}: no window drawn (status {status})")
    return drawn - start, usage.ru_utime + usage.ru_stime

once(minimal), once(volkarn)  # warm
times = {minimal: [], volkarn: []}
for _ in range(runs):
    for program in (minimal, volkarn):
        times[program].append(once(program))
print(f"runs: {runs} each, in turn; load after: {open('/proc/loadavg').read().split()[0]}")
med = {}
for program, label, limit in ((minimal, "minimal Qt program (one label)", ""),
                              (volkarn, "volkarn, main window with its jobs", "  (<= 0.3 s)")):
    wall = [w for w, _ in times[program]]
    cpu = [c for _, c in times[program]]
    med[program] = (statistics.median(wall), statistics.median(cpu))
    print(f"  {label:<36} wall median {med[program][0]:.3f} s (min {min(wall):.3f}, "
          f"max {max(wall):.3f}), cpu median {med[program][1]:.3f} s{limit}")
print(f"  ratio wall / cpu                     {med[volkarn][0] / med[minimal][0]:.2f} / "
      f"{med[volkarn][1] / med[minimal][1]:.2f} x the minimal program (<= 1.5)")
PY
