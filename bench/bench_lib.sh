# Helpers of the benchmark scripts (sourced): timing with processor time,
# medians, ratios and report lines. The caller sets WORK (a scratch folder)
# before timing and ROOT and BUILD before build_bench.

# build_bench TARGET...: builds the benchmark programs (Release, no
# sanitizer) in BUILD; NO_BUILD=1 takes them as they are there.
build_bench() {
  if [[ "${NO_BUILD:-0}" == 1 ]]; then
    echo "== programs as built in $BUILD (NO_BUILD=1)"
    return
  fi
  echo "== build (Release, no sanitizer) in $BUILD"
  cmake -S "$ROOT" -B "$BUILD" -G Ninja -DCMAKE_BUILD_TYPE=Release -DVOLKARN_SANITIZE=OFF \
    -DVOLKARN_TESTS=OFF -DVOLKARN_BENCH=ON "-DCMAKE_CXX_FLAGS=-Wno-restrict" >/dev/null
  cmake --build "$BUILD" -j2 --target "$@" >/dev/null
}

# timed VAR CMD...: runs the command; adds its wall time to the array VAR
# and its processor time (user + system, children included, in steps of
# 10 ms) to VAR_cpu.
timed() {
  local var=$1
  shift
  local t0 t1 wall user sys
  t0=$(date +%s.%N)
  /usr/bin/time -f "%e %U %S" -o "$WORK/time.out" "$@" >"$WORK/last.out" 2>"$WORK/last.err" || {
    echo "command failed: $*" >&2
    cat "$WORK/last.err" >&2
    exit 1
  }
  t1=$(date +%s.%N)
  read -r wall user sys <"$WORK/time.out"
  eval "$var+=($(echo "$t1 - $t0" | bc -l))"
  eval "${var}_cpu+=($(echo "$user + $sys" | bc -l))"
}

# field NAME: a key=value field of the last program output.
field() { tr ' ' '\n' <"$WORK/last.out" | sed -n "s/^$1=//p"; }

median() { printf '%s\n' "$@" | sort -g | awk '{a[NR]=$1} END {m=(NR%2)?a[(NR+1)/2]:(a[NR/2]+a[NR/2+1])/2; printf "%.4f", m}'; }
ratio() { echo "scale=3; $1 / $2" | bc -l | sed 's/^\./0./'; }


report() {  # report LABEL VALUE
  printf '  %-40s %s\n' "$1" "$2"
}

# versus NAME ARRAY: "wall / cpu" medians of a timed array.
both() {
  # Names no caller uses: a nameref called like the caller's array (an
  # array named w or c) would read itself.
  local -n both_wall_=$1
  local -n both_cpu_=${1}_cpu
  echo "$(median "${both_wall_[@]}") $(median "${both_cpu_[@]}")"
}

# line LABEL ARRAY [REF_ARRAY LIMIT_TEXT]...: wall and processor time, and
# their ratios to the reference arrays.
line() {
  local label=$1 arr=$2
  shift 2
  local mw mc
  read -r mw mc <<<"$(both "$arr")"
  local text="wall ${mw} s, cpu ${mc} s"
  while (($# >= 2)); do
    local rw rc
    read -r rw rc <<<"$(both "$1")"
    text+=" | $(ratio "$mw" "$rw") / $(ratio "$mc" "$rc") x $2"
    shift 2
  done
  report "$label" "$text"
}
