#!/usr/bin/env bash
# Benchmark of the backup check against rsync's dry run that lists what is
# missing in a backup (rsync -rn --ignore-existing SRC/ DST/).
#
#   bench/run_check_bench.sh
#   RUNS=7 PLACES=/dev/shm bench/run_check_bench.sh
#
# Environment: RUNS (runs per figure, median reported, default 7), PLACES
# (folders to build the trees in, default "/var/tmp /dev/shm"), BUILD (build
# folder, default build/bench-verify), KEEP=1 keeps the trees.
#
# The tree: 20,000 files of 0.5-4 KiB in 200 folders, backed up completely
# (cp -a), so nothing is missing. Both tools run warm (one run before the
# timed ones); times are wall-clock seconds of the whole process.
set -euo pipefail

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/bench-verify}
RUNS=${RUNS:-7}
PLACES=${PLACES:-"/var/tmp /dev/shm"}

echo "== build (Release, no sanitizer) in $BUILD"
cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOLKARN_SANITIZE=OFF \
  -DVOLKARN_TESTS=OFF -DVOLKARN_BENCH=ON "-DCMAKE_CXX_FLAGS=-Wno-restrict" >/dev/null
cmake --build "$BUILD" -j2 --target bench_check >/dev/null
CHECK=$BUILD/bench/bench_check

echo "== machine"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2- | sed 's/^ //'), $(nproc) cores"
echo "tools: $(rsync --version | head -1 | cut -c1-30)"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

make_tree() {  # make_tree DIR FILES FOLDERS: files of 0.5-4 KiB
  python3 "$ROOT/bench/make_tree.py" "$1" "$2" "$3" 512 4096 1
}

wall() {  # wall CMD...: prints the wall-clock seconds of the command
  local t0 t1
  t0=$(date +%s.%N)
  "$@" >"$WORK/last.out" 2>"$WORK/last.err" || { cat "$WORK/last.err" >&2; exit 1; }
  t1=$(date +%s.%N)
  echo "$t1 - $t0" | bc -l
}
median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.4f", m}'; }
field() { tr ' ' '\n' <"$WORK/last.out" | sed -n "s/^$1=//p"; }

status=0
for place in $PLACES; do
  WORK=$(mktemp -d "$place/vkcheck.XXXXXX")
  trap '[[ "${KEEP:-0}" == 1 ]] || rm -rf "$WORK"' EXIT
  echo
  echo "== $place ($(df -T "$place" | awk 'NR==2 {print $2}')), $RUNS runs per figure, median"
  make_tree "$WORK/src/Daten" 20000 200
  mkdir -p "$WORK/dst"
  cp -a "$WORK/src/Daten" "$WORK/dst/Daten"
  sync
  # Warm both.
  wall "$CHECK" "$WORK/src/Daten" "$WORK/dst" >/dev/null
  wall rsync -rn --ignore-existing "$WORK/src/Daten/" "$WORK/dst/Daten/" >/dev/null
  rs=() ck=() inner=()
  for ((i = 0; i < RUNS; i++)); do
    rs+=("$(wall rsync -rn --ignore-existing "$WORK/src/Daten/" "$WORK/dst/Daten/")")
    ck+=("$(wall "$CHECK" "$WORK/src/Daten" "$WORK/dst")")
    inner+=("$(field walk_s)")
    [[ "$(field missing)" == 0 && "$(field found)" == 20000 ]] || {
      echo "unexpected counts: $(cat "$WORK/last.out")" >&2
      exit 1
    }
  done
  m_rs=$(median "${rs[@]}") m_ck=$(median "${ck[@]}") m_in=$(median "${inner[@]}")
  r=$(echo "scale=3; $m_ck / $m_rs" | bc -l | sed 's/^\./0./')
  printf '  %-44s %s s\n' "rsync -rn --ignore-existing SRC/ DST/" "$m_rs"
  printf '  %-44s %s s (run inside the program %s s)\n' "check (bench_check, whole process)" "$m_ck" "$m_in"
  printf '  %-44s %s (limit 0.8)\n' "ratio" "$r"
  if (($(echo "$r > 0.8" | bc -l))); then status=1; fi
  [[ "${KEEP:-0}" == 1 ]] || rm -rf "$WORK"
  trap - EXIT
done
echo
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
exit $status
