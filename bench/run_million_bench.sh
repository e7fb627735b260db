#!/usr/bin/env bash
# A million files: a full backup, an unchanged incremental run and a check
# of 1,000,000 files in 10,000 folders, with the peak memory against that of
# 20,000 files and the time per file against that of 100,000 files.
#
#   bench/run_million_bench.sh
#   SKIP_MILLION=1 bench/run_million_bench.sh     # does nothing
#
# Environment: SKIP_MILLION=1 skips the whole benchmark; PLACE (where the
# trees are made; default /dev/shm when it and the memory hold two copies
# of the tree, else /var/tmp); BUILD (default build/bench-engine); KEEP=1
# keeps the trees (the next run then does not make them again).
#
# The trees (files of 0.5-2 KiB) are made once under PLACE/vk-million-N and
# the script says how long that took. Each figure is one run (the million
# takes long); wall and processor time come from /usr/bin/time. The cold
# incremental run (after dropping the caches, as root) against find -newer
# is bench/run_walk_bench.sh on a disk (PLACES=/var/tmp).
set -euo pipefail

if [[ "${SKIP_MILLION:-0}" == 1 ]]; then
  echo "million-file benchmark skipped (SKIP_MILLION=1)"
  exit 0
fi

ROOT=$(cd "$(dirname "$0")/.." && pwd)
BUILD=${BUILD:-$ROOT/build/bench-engine}

# About 8 KiB per file on tmpfs (page and inode), twice (tree and backup).
need_kib=$((1000000 * 8 * 2))
avail_kib=$(awk '/MemAvailable/ {print $2}' /proc/meminfo)
shm_kib=$(df -k --output=avail /dev/shm 2>/dev/null | tail -1 || echo 0)
if [[ -z "${PLACE:-}" ]]; then
  if ((avail_kib > need_kib * 3 / 2 && shm_kib > need_kib)); then PLACE=/dev/shm; else PLACE=/var/tmp; fi
fi

# shellcheck source=bench/bench_lib.sh
source "$ROOT/bench/bench_lib.sh"
build_bench bench_backup bench_check
ENGINE=$BUILD/bench/bench_backup
CHECK=$BUILD/bench/bench_check

WORK=$(mktemp -d "$PLACE/vkmillion.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

echo "== machine: $(nproc) cores, $(free -g | awk '/Mem:/ {print $2}') GiB, $PLACE ($(df -T "$PLACE" | awk 'NR==2 {print $2}'))"
echo "load before: $(cut -d' ' -f1-3 /proc/loadavg)"

# tree FILES FOLDERS: makes PLACE/vk-million-FILES once; prints its path.
tree() {
  local dir=$PLACE/vk-million-$1
  if [[ ! -f "$dir/.made" ]]; then
    rm -rf "$dir"
    local t0
    t0=$(date +%s.%N)
    python3 "$ROOT/bench/make_tree.py" "$dir/Daten" "$1" "$2" 512 2048 4
    sync
    touch -d '2003-01-01' "$dir/.made"
    echo "  made $1 files in $2 folders in $(echo "$(date +%s.%N) - $t0" | bc -l | cut -c1-7) s" >&2
  fi
  echo "$dir"
}

declare -A per_file per_file_cp per_file_incr per_file_chk rss rss_incr rss_chk
for n in 20000 100000 1000000; do
  folders=$((n / 100))
  dir=$(tree "$n" "$folders")
  [[ "${KEEP:-0}" == 1 ]] || trap 'rm -rf "$WORK" "$dir"' EXIT
  rm -rf "$WORK/dst"
  mkdir -p "$WORK/dst"
  full=() full_cpu=() incr=() incr_cpu=() chk=() chk_cpu=()
  timed full "$ENGINE" --no-sync "$dir/Daten" "$WORK/dst/Daten"
  [[ "$(field copied)" == "$n" ]] || { echo "full backup copied $(field copied)" >&2; exit 1; }
  rss[$n]=$(field peak_rss_kib)
  sleep 2
  stamp=$(date +%s)
  timed incr "$ENGINE" --no-sync --incremental "$stamp" "$dir/Daten" "$WORK/dst/Daten"
  [[ "$(field copied)" == 0 ]] || { echo "incremental copied files" >&2; exit 1; }
  incr_rss=$(field peak_rss_kib)
  rss_incr[$n]=$incr_rss
  timed chk /usr/bin/time -f "chk_rss=%M" -o "$WORK/chk.rss" "$CHECK" "$dir/Daten" "$WORK/dst"
  [[ "$(field missing)" == 0 ]] || { echo "check found missing files" >&2; exit 1; }
  rss_chk[$n]=$(sed -n 's/^chk_rss=//p' "$WORK/chk.rss")
  per_file[$n]=$(echo "scale=9; ${full[0]} / $n" | bc -l)
  per_file_incr[$n]=$(echo "scale=12; ${incr[0]} / $n" | bc -l)
  per_file_chk[$n]=$(echo "scale=12; ${chk[0]} / $n" | bc -l)
  rm -rf "$WORK/dst"
  # The same copy by cp -a: how much of the growth per file is the file
  # system's own.
  rm -rf "$WORK/cp"
  mkdir -p "$WORK/cp"
  cpa=() cpa_cpu=()
  timed cpa cp -a "$dir/Daten" "$WORK/cp/Daten"
  rm -rf "$WORK/cp"
  per_file_cp[$n]=$(echo "scale=9; ${cpa[0]} / $n" | bc -l)
  echo "  $n files (load $(cut -d' ' -f1 /proc/loadavg)):"
  report "full backup, no flush" "wall ${full[0]} s, cpu ${full_cpu[0]} s, $(echo "scale=2; ${per_file[$n]} * 1000000" | bc -l) us per file, peak ${rss[$n]} KiB"
  report "incremental, nothing changed" "wall ${incr[0]} s, cpu ${incr_cpu[0]} s, peak $incr_rss KiB"
  report "check, nothing missing" "wall ${chk[0]} s, cpu ${chk_cpu[0]} s, peak ${rss_chk[$n]} KiB"
  report "cp -a (for comparison)" "wall ${cpa[0]} s, cpu ${cpa_cpu[0]} s, $(echo "scale=2; ${per_file_cp[$n]} * 1000000" | bc -l) us per file"
  rm -rf "$WORK/dst"
  [[ "${KEEP:-0}" == 1 ]] || rm -rf "$dir"
done
echo "  peak memory 1,000,000 / 20,000 files: full $(ratio "${rss[1000000]}" "${rss[20000]}"), incremental $(ratio "${rss_incr[1000000]}" "${rss_incr[20000]}"), check $(ratio "${rss_chk[1000000]}" "${rss_chk[20000]}") (<= 1.1)"
echo "  time per file 1,000,000 / 100,000 files: $(ratio "${per_file[1000000]}" "${per_file[100000]}") (<= 1.1)"
echo "  the same for cp -a: $(ratio "${per_file_cp[1000000]}" "${per_file_cp[100000]}")"
echo "  the same for the incremental run: $(ratio "${per_file_incr[1000000]}" "${per_file_incr[100000]}") and the check: $(ratio "${per_file_chk[1000000]}" "${per_file_chk[100000]}") (<= 1.1)"
echo "load after: $(cut -d' ' -f1-3 /proc/loadavg)"
