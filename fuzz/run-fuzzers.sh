#!/usr/bin/env bash
# Builds the libFuzzer targets, runs each for a while (two at a time) from the
# committed corpus, the hand-made inputs of fuzz/regressions/<target>/ and
# seeds cut from the test streams, then replaces fuzz/corpus/<target>/ by the
# minimised union (-merge=1). A finding, once fixed, goes into
# fuzz/regressions/<target>/ so that the replay tests keep it whatever the
# merge keeps.
#
#   bash fuzz/run-fuzzers.sh [SECONDS-PER-TARGET] [TARGET...]
#
# Defaults: 600 s, every target of fuzz/FuzzTargets.cmake. Build directory:
# $H265_FUZZ_BUILD (default /tmp/h265-fuzz). Crashing inputs are left in
# <build>/artifacts/<target>/; the script then exits non-zero and leaves the
# corpus as it was. Per-target statistics go to <build>/logs/<target>.log and
# a summary line per target is printed at the end.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${H265_FUZZ_BUILD:-/tmp/h265-fuzz}
SECONDS_PER_TARGET=${1:-600}
shift || true
if [ $# -gt 0 ]; then
  TARGETS=("$@")
else
  read -r -a TARGETS <<< "$(sed -n 's/^set(H265_FUZZ_TARGETS \(.*\))$/\1/p' "$ROOT/fuzz/FuzzTargets.cmake")"
fi

CC=clang CXX=clang++ cmake -S "$ROOT" -B "$BUILD" -DH265_BUILD_FUZZ=ON \
  -DH265_SANITIZE=address,undefined -DH265_BUILD_TESTS=OFF -DH265_BUILD_TOOLS=OFF > /dev/null
cmake --build "$BUILD" --target fuzzers -j2 > /dev/null
rm -rf "$BUILD/seeds"
python3 "$ROOT/fuzz/make_seeds.py" "$BUILD/seeds"
mkdir -p "$BUILD/logs"

# The targets that follow whole streams need inputs that hold several GOPs:
# faults that come from a picture's place among others (output order,
# composition offsets, cuts) need more than one.
max_len() {
  case $1 in
    split|stream_syntax) echo 65536 ;;
    *) echo 4096 ;;
  esac
}

run_one() {
  local t=$1
  mkdir -p "$BUILD/work/$t" "$BUILD/artifacts/$t" "$ROOT/fuzz/corpus/$t" "$BUILD/seeds/$t"
  local extra=()
  if [ -d "$ROOT/fuzz/regressions/$t" ]; then extra=("$ROOT/fuzz/regressions/$t"); fi
  "$BUILD/fuzz/fuzz_$t" -max_total_time="$SECONDS_PER_TARGET" -max_len="$(max_len "$t")" -timeout=10 \
    -rss_limit_mb=2048 -print_final_stats=1 -artifact_prefix="$BUILD/artifacts/$t/" \
    "$BUILD/work/$t" "$ROOT/fuzz/corpus/$t" "$BUILD/seeds/$t" "${extra[@]}" > "$BUILD/logs/$t.log" 2>&1
}

failed=0
for ((i = 0; i < ${#TARGETS[@]}; i += 2)); do
  pids=()
  for t in "${TARGETS[@]:i:2}"; do
    run_one "$t" &
    pids+=("$!")
  done
  for p in "${pids[@]}"; do
    wait "$p" || failed=1
  done
done

for t in "${TARGETS[@]}"; do
  log="$BUILD/logs/$t.log"
  execs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
  rate=$(sed -n 's/^stat::average_exec_per_sec: *//p' "$log" | tail -n 1)
  found=$(ls -A "$BUILD/artifacts/$t" | wc -l)
  echo "$t: ${execs:-?} executions in ${SECONDS_PER_TARGET} s (${rate:-?}/s), $found crashing inputs"
done
if [ "$failed" -ne 0 ]; then
  echo "run-fuzzers: a target failed; see $BUILD/logs and $BUILD/artifacts" >&2
  exit 1
fi

for t in "${TARGETS[@]}"; do
  merged="$BUILD/merged/$t"
  rm -rf "$merged"
  mkdir -p "$merged"
  "$BUILD/fuzz/fuzz_$t" -merge=1 -max_len="$(max_len "$t")" "$merged" "$ROOT/fuzz/corpus/$t" "$BUILD/work/$t" \
    "$BUILD/seeds/$t" > "$BUILD/logs/$t.merge.log" 2>&1
  find "$ROOT/fuzz/corpus/$t" -type f -delete
  cp "$merged"/* "$ROOT/fuzz/corpus/$t/"
  echo "$t: corpus of $(ls "$ROOT/fuzz/corpus/$t" | wc -l) files"
done
