#!/usr/bin/env bash
# The one test command: installs what is missing (scripts/install-deps.sh
# test), then builds and tests the project in every configuration and prints a
# summary.
#
#   bash scripts/test-all.sh
#
# Stages (each in its own build directory under build/):
#   native        g++, -Werror, ctest                           build/native
#   asan          clang++, -Werror, ctest; ASan+UBSan through
#                 the standard CMAKE_*_FLAGS                    build/asan
#   gcc-sanitize  the same with g++                             build/gcc-sanitize
#   arm           arm-linux-gnueabihf-g++, ctest under qemu-arm build/arm
#                 + readelf -h of the .so says ELF32 / ARM
#   clang-arm     the library alone, clang++ --target=arm-linux-gnueabihf,
#                 C++11, -Wall -Wextra -Werror; ELF and exported-symbol checks
#   arm-bench     arm-linux-gnueabihf-g++ with NEON, tests and a short run of
#                 bench/h265_bench under qemu-arm (a smoke test: no figures
#                 from emulation)                               build/arm-bench
#   tsan          g++, ThreadSanitizer: parsers on 8 threads    build/tsan
#   valgrind      memcheck over the unit and hostile tests and the
#                 fuzz-corpus replays of the native build       build/native
#   fuzz-build    fuzz/build.sh as a fuzzing service runs it (clang,
#                 libFuzzer, ASan), then every target over its
#                 seed corpus                                   build/fuzz-build
#   armel         arm-linux-gnueabi-g++ (ARMv5TE, soft-float), Release,
#                 ctest under qemu-arm -cpu arm926              build/armel
#   ppc           powerpc-linux-gnu-g++ (big-endian), unit, real-stream
#                 and MP4 writer tests under qemu-ppc           build/ppc
#
# ctest in each configuration also replays the fuzz corpus through every
# target (fuzz_replay.*) and, in uninstrumented builds, installs the library
# into a consumer project and checks the Debian packages.
#
# The ARM stages build Release, so that their instruction_budgets test holds
# the counts of bench/arm-budgets.txt.
#
# Every stage runs even when an earlier one failed; the script exits non-zero
# if any stage failed. The last line reads "N passed, N failed": the ctest
# results of all configurations added up, plus one for each extra check
# (readelf, exported symbols of the clang-arm build). A stage that fails before
# its tests could run (configure or build error) counts as one failure.
#
# Environment:
#   H265_STEPS       space-separated subset of stages to run (default: all)
#   H265_BUILD_ROOT  where the build directories go (default: <repo>/build)
#   H265_JOBS        parallel build and test jobs (default: 2)
#   H265_SKIP_DEPS=1 do not run scripts/install-deps.sh
#
# Adding a stage (another cross target, another checker, ...): write a
# function stage_<name> below (a "-" in <name> becomes "_" in the function
# name), using the helpers configure_and_build, run_ctest and check, add
# "<name>|<description>" to STEPS and a line to the list of stages above. Its
# counts then appear in the summary and the total.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SELF="$ROOT/scripts/test-all.sh"
BUILD_ROOT=${H265_BUILD_ROOT:-$ROOT/build}
JOBS=${H265_JOBS:-2}
LOG_DIR="$BUILD_ROOT/test-all-logs"
CTEST_TIMEOUT=${H265_CTEST_TIMEOUT:-600}

STEPS=(
  "native|g++ native, -Werror"
  "asan|clang++ native, ASan+UBSan, -Werror"
  "gcc-sanitize|g++ native, ASan+UBSan, -Werror"
  "arm|arm-linux-gnueabihf-g++, tests under qemu-arm"
  "clang-arm|clang++ --target=arm-linux-gnueabihf, library only, C++11 -Werror"
  "arm-bench|arm-linux-gnueabihf-g++ -mfpu=neon, tests and h265_bench under qemu-arm"
  "tsan|g++ ThreadSanitizer, distinct parsers on 8 threads"
  "valgrind|unit and hostile tests under valgrind memcheck"
  "fuzz-build|fuzz/build.sh with clang and libFuzzer, targets over their seed corpora"
  "armel|arm-linux-gnueabi-g++ ARMv5TE soft-float, tests under qemu-arm"
  "ppc|powerpc-linux-gnu-g++ big-endian, unit, real-stream and MP4 writer tests under qemu-ppc"
)

# ---------------------------------------------------------------------------
# Helpers used inside a stage (a stage runs in its own bash process with
# set -e; STAGE_PASSED / STAGE_FAILED are written to its result file on exit).

STAGE_PASSED=0
STAGE_FAILED=0
STAGE_SKIPPED=0

# configure_and_build <build-dir> [cmake args...]
configure_and_build() {
  local dir=$1
  shift
  echo "+ cmake -S $ROOT -B $dir $*"
  cmake -S "$ROOT" -B "$dir" "$@"
  echo "+ cmake --build $dir -j$JOBS"
  cmake --build "$dir" -j"$JOBS"
}

# run_ctest <build-dir> [name]: runs ctest, adds its counts to the stage's.
# Returns ctest's status.
run_ctest() {
  local dir=$1 log="$LOG_DIR/${2:-$CURRENT_STAGE}.ctest.log" rc=0
  echo "+ ctest --test-dir $dir -j$JOBS --output-on-failure"
  ctest --test-dir "$dir" -j"$JOBS" --output-on-failure --no-tests=error \
    --timeout "$CTEST_TIMEOUT" 2>&1 | tee "$log" || rc=$?
  local line total failed skipped disabled
  line=$(grep -Eo '[0-9]+ tests? failed out of [0-9]+' "$log" | tail -n 1 || true)
  if [ -z "$line" ]; then
    echo "run_ctest: no ctest summary in $log" >&2
    STAGE_FAILED=$((STAGE_FAILED + 1))
    return 1
  fi
  failed=${line%% *}
  total=${line##* }
  # ctest's total includes skipped tests but not disabled ones; both are
  # listed under "The following tests did not run:".
  skipped=$(grep -Ec '\(Skipped\)$' "$log" || true)
  disabled=$(grep -Ec '\(Disabled\)$' "$log" || true)
  STAGE_FAILED=$((STAGE_FAILED + failed))
  STAGE_SKIPPED=$((STAGE_SKIPPED + skipped + disabled))
  STAGE_PASSED=$((STAGE_PASSED + total - failed - skipped))
  return "$rc"
}

# check <description> <command...>: one extra test, counted as such.
check() {
  local what=$1
  shift
  if "$@"; then
    echo "check passed: $what"
    STAGE_PASSED=$((STAGE_PASSED + 1))
  else
    echo "check FAILED: $what" >&2
    STAGE_FAILED=$((STAGE_FAILED + 1))
    return 1
  fi
}

# fuzz_targets: the names listed in fuzz/FuzzTargets.cmake.
fuzz_targets() {
  sed -n 's/^set(H265_FUZZ_TARGETS \(.*\))$/\1/p' "$ROOT/fuzz/FuzzTargets.cmake"
}

# elf_is_arm32 <file>: readelf -h says ELF32 and Machine ARM.
elf_is_arm32() {
  local header
  header=$(readelf -h "$1")
  echo "$header" | grep -E '^ *(Class|Machine):'
  echo "$header" | grep -Eq '^ *Class: +ELF32$' &&
    echo "$header" | grep -Eq '^ *Machine: +ARM$'
}

# ---------------------------------------------------------------------------
# Stages

stage_native() {
  local dir="$BUILD_ROOT/native"
  configure_and_build "$dir" -DCMAKE_CXX_COMPILER=g++ -DH265_WERROR=ON
  run_ctest "$dir"
}

# ASan+UBSan as distributions and CI templates ask for them: through the
# standard flags, not H265_SANITIZE (tsan keeps that switch exercised).
# UBSan findings abort instead of being reported and passed over.
sanitizer_build() {
  local dir=$1 cxx=$2 flags="-fsanitize=address,undefined"
  configure_and_build "$dir" -DCMAKE_CXX_COMPILER="$cxx" -DH265_WERROR=ON \
    "-DCMAKE_CXX_FLAGS=$flags -fno-sanitize-recover=all -fno-omit-frame-pointer" \
    "-DCMAKE_SHARED_LINKER_FLAGS=$flags" "-DCMAKE_EXE_LINKER_FLAGS=$flags"
  export ASAN_OPTIONS=detect_leaks=1
  export UBSAN_OPTIONS=halt_on_error=1:print_stacktrace=1
  run_ctest "$dir"
}

# clang links its sanitizer runtime into executables only, so the shared
# library is linked without --no-undefined here (cmake/Sanitizers.cmake).
stage_asan() {
  sanitizer_build "$BUILD_ROOT/asan" clang++
}

# g++'s sanitizers instrument differently and link their runtime into the
# shared library.
stage_gcc_sanitize() {
  sanitizer_build "$BUILD_ROOT/gcc-sanitize" g++
}

stage_arm() {
  local dir="$BUILD_ROOT/arm" rc=0
  configure_and_build "$dir" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/arm-linux-gnueabihf.cmake" -DH265_WERROR=ON \
    -DCMAKE_BUILD_TYPE=Release
  run_ctest "$dir" || rc=$?
  check "readelf -h: ARM libh265headers.so is ELF32, Machine ARM" \
    elf_is_arm32 "$dir/libh265headers.so" || rc=1
  return "$rc"
}

stage_clang_arm() {
  local dir="$BUILD_ROOT/clang-arm" rc=0
  configure_and_build "$dir" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/arm-linux-gnueabihf-clang.cmake" \
    -DH265_WERROR=ON -DH265_BUILD_TESTS=OFF -DH265_BUILD_TOOLS=OFF
  check "readelf -h: clang ARM libh265headers.so is ELF32, Machine ARM" \
    elf_is_arm32 "$dir/libh265headers.so" || rc=1
  check "clang ARM libh265headers.so exports exactly the five functions" \
    cmake -DLIBRARY="$dir/libh265headers.so" -DNM=arm-linux-gnueabihf-nm \
    -P "$ROOT/tests/abi/CheckExportedSymbols.cmake" || rc=1
  return "$rc"
}

stage_arm_bench() {
  local dir="$BUILD_ROOT/arm-bench" deps="$BUILD_ROOT/arm-bench-deps"
  local stream="$BUILD_ROOT/arm-bench-stream/x265_320x240_10f_slices4.hevc"
  # Debian's armhf Google Benchmark, unpacked privately, and a small stream.
  bash "$ROOT/scripts/fetch-arm-benchmark.sh" "$deps"
  bash "$ROOT/scripts/make-bench-stream.sh" "$stream" 320x240 10
  configure_and_build "$dir" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/arm-linux-gnueabihf.cmake" -DH265_WERROR=ON \
    -DCMAKE_BUILD_TYPE=Release \
    -DH265_BUILD_TOOLS=OFF -DH265_BUILD_BENCH=ON "-DCMAKE_CXX_FLAGS=-mfpu=neon" \
    -Dbenchmark_DIR="$deps/usr/lib/arm-linux-gnueabihf/cmake/benchmark" \
    -DH265_BENCH_STREAM="$stream"
  run_ctest "$dir"
}

stage_tsan() {
  local dir="$BUILD_ROOT/tsan"
  echo "+ cmake -S $ROOT -B $dir (ThreadSanitizer)"
  cmake -S "$ROOT" -B "$dir" -DCMAKE_CXX_COMPILER=g++ -DH265_SANITIZE=thread -DH265_WERROR=ON \
    -DH265_BUILD_TOOLS=OFF
  cmake --build "$dir" -j"$JOBS" --target hostile_thread_tests
  TSAN_OPTIONS=halt_on_error=1:exitcode=66 check "ThreadSanitizer: distinct parsers on 8 threads" \
    "$dir/tests/hostile_thread_tests"
}

# memcheck <description> <command...>: one check; any memcheck error, or a
# block definitely or indirectly lost, fails it. MEMCHECK_OPTIONS adds options.
memcheck() {
  local what=$1
  shift
  # shellcheck disable=SC2086
  check "valgrind: $what" valgrind --quiet --error-exitcode=99 --leak-check=full \
    --show-leak-kinds=definite,indirect --errors-for-leak-kinds=definite,indirect ${MEMCHECK_OPTIONS:-} "$@"
}

stage_valgrind() {
  local dir="$BUILD_ROOT/native" rc=0 t
  # The native stage's build (made here when that stage did not run).
  configure_and_build "$dir" -DCMAKE_CXX_COMPILER=g++ -DH265_WERROR=ON
  memcheck unit_tests "$dir/tests/unit_tests" || rc=1
  # That test replaces operator new and delete itself; valgrind must leave
  # them alone (it still sees the malloc and free they call).
  MEMCHECK_OPTIONS=--soname-synonyms=somalloc=nouserintercepts \
    memcheck hostile_alloc_tests "$dir/tests/hostile_alloc_tests" || rc=1
  memcheck hostile_guard_tests "$dir/tests/hostile_guard_tests" || rc=1
  memcheck hostile_thread_tests "$dir/tests/hostile_thread_tests" || rc=1
  # The tools' own syntax reader: its unit tests, and h265info on streams whose
  # SPS it cannot read (a forbidden value past the library's fields).
  memcheck h265info_unit_tests "$dir/tests/h265info_unit_tests" || rc=1
  local hostile="$dir/valgrind-hostile-sps"
  python3 "$ROOT/tests/tools/timing/make_hostile_sps.py" "$hostile"
  for t in "$hostile"/*.h265; do
    memcheck "h265info $(basename "$t")" "$dir/tools/h265info" "$t" || rc=1
  done
  for t in $(fuzz_targets); do
    set -- "$ROOT/fuzz/corpus/$t"
    if [ -d "$ROOT/fuzz/regressions/$t" ]; then set -- "$@" "$ROOT/fuzz/regressions/$t"; fi
    memcheck "fuzz corpus replay: $t" "$dir/tests/fuzz_replay_$t" "$@" || rc=1
  done
  return "$rc"
}

# The build a fuzzing service makes (flags as such a service sets them for
# an AddressSanitizer build with libFuzzer), then each target once over every
# input of the seed corpus it wrote to $OUT: a crash fails the check and
# leaves the input in build/fuzz-build/.
stage_fuzz_build() {
  local dir="$BUILD_ROOT/fuzz-build" rc=0 t
  local flags="-O1 -gline-tables-only -fsanitize=address,fuzzer-no-link"
  rm -rf "$dir/out" "$dir/seeds"
  echo "+ fuzz/build.sh (OUT=$dir/out)"
  CC=clang CXX=clang++ CFLAGS="$flags" CXXFLAGS="$flags" LIB_FUZZING_ENGINE=-fsanitize=fuzzer \
    OUT="$dir/out" WORK="$dir/work" H265_JOBS="$JOBS" bash "$ROOT/fuzz/build.sh"
  for t in $(fuzz_targets); do
    mkdir -p "$dir/seeds/$t"
    unzip -q "$dir/out/fuzz_${t}_seed_corpus.zip" -d "$dir/seeds/$t"
    check "fuzz_$t over its seed corpus ($(ls "$dir/seeds/$t" | wc -l) inputs)" \
      "$dir/out/fuzz_$t" -runs=0 -artifact_prefix="$dir/" "$dir/seeds/$t" || rc=1
  done
  return "$rc"
}

# elf_is_armel <file>: ARM, ARMv5TE, soft-float calls, and no unaligned
# accesses allowed (GCC records Tag_CPU_unaligned_access when it uses them).
elf_is_armel() {
  local attributes
  elf_is_arm32 "$1" || return 1
  attributes=$(arm-linux-gnueabi-readelf -A "$1")
  echo "$attributes" | grep -E 'Tag_CPU_arch:|Tag_ABI_VFP_args|Tag_CPU_unaligned_access' || true
  echo "$attributes" | grep -Eq 'Tag_CPU_arch: +v5TE' &&
    ! echo "$attributes" | grep -q 'Tag_ABI_VFP_args: VFP registers' &&
    ! echo "$attributes" | grep -q 'Tag_CPU_unaligned_access: v6'
}

stage_armel() {
  local dir="$BUILD_ROOT/armel" rc=0
  configure_and_build "$dir" \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/arm-linux-gnueabi.cmake" -DH265_WERROR=ON -DCMAKE_BUILD_TYPE=Release
  run_ctest "$dir" || rc=$?
  check "readelf: armel libh265headers.so is ARMv5TE, soft-float, no unaligned accesses" \
    elf_is_armel "$dir/libh265headers.so" || rc=1
  return "$rc"
}

# Big-endian: only the test programs that need no host tools, built alone.
stage_ppc() {
  local dir="$BUILD_ROOT/ppc" rc=0 t
  echo "+ cmake -S $ROOT -B $dir (powerpc-linux-gnu)"
  cmake -S "$ROOT" -B "$dir" -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/powerpc-linux-gnu.cmake" \
    -DCMAKE_BUILD_TYPE=Release -DH265_WERROR=ON
  cmake --build "$dir" -j"$JOBS" --target unit_tests real_stream_tests h265split_writers_tests
  for t in unit_tests real_stream_tests h265split_writers_tests; do
    check "big-endian PowerPC: $t" qemu-ppc -L /usr/powerpc-linux-gnu "$dir/tests/$t" --gtest_brief=1 || rc=1
  done
  return "$rc"
}

# ---------------------------------------------------------------------------
# A single stage, run as a child process: bash test-all.sh --stage NAME

if [ "${1:-}" = "--stage" ]; then
  CURRENT_STAGE=$2
  RESULT_FILE="$LOG_DIR/$CURRENT_STAGE.result"
  trap 'echo "$STAGE_PASSED $STAGE_FAILED $STAGE_SKIPPED" > "$RESULT_FILE"' EXIT
  cd "$ROOT"
  "stage_${CURRENT_STAGE//-/_}"
  exit 0
fi

# ---------------------------------------------------------------------------
# Driver

cd "$ROOT"
start_all=$SECONDS

if [ "${H265_SKIP_DEPS:-0}" != 1 ]; then
  deps_start=$SECONDS
  bash "$ROOT/scripts/install-deps.sh" test
  echo "install-deps: $((SECONDS - deps_start)) s"
fi

mkdir -p "$LOG_DIR"
echo "== tools"
g++ --version | head -n 1
clang++ --version | head -n 1
arm-linux-gnueabihf-g++ --version | head -n 1
cmake --version | head -n 1
qemu-arm --version | head -n 1

selected=${H265_STEPS:-}
summary=()
total_passed=0
total_failed=0
total_skipped=0
any_failed=0

for step in "${STEPS[@]}"; do
  name=${step%%|*}
  desc=${step#*|}
  if [ -n "$selected" ] && [[ " $selected " != *" $name "* ]]; then
    continue
  fi
  echo
  echo "================================================================"
  echo "== $name: $desc"
  echo "================================================================"
  rm -f "$LOG_DIR/$name.result"
  t0=$SECONDS
  rc=0
  bash "$SELF" --stage "$name" 2>&1 | tee "$LOG_DIR/$name.log" || rc=$?
  secs=$((SECONDS - t0))
  passed=0 failed=0 skipped=0
  if [ -f "$LOG_DIR/$name.result" ]; then
    read -r passed failed skipped < "$LOG_DIR/$name.result"
  fi
  if [ "$rc" -ne 0 ]; then
    any_failed=1
    status=FAILED
    # Failed before any test could report it (configure or build error).
    if [ "$failed" -eq 0 ]; then
      failed=1
    fi
  else
    status=ok
  fi
  total_passed=$((total_passed + passed))
  total_failed=$((total_failed + failed))
  total_skipped=$((total_skipped + skipped))
  summary+=("$(printf '%-12s %-7s %6d passed %4d failed %4d skipped %5ds' \
    "$name" "$status" "$passed" "$failed" "$skipped" "$secs")")
  echo "== $name: $status in ${secs}s"
done

if [ ${#summary[@]} -eq 0 ]; then
  echo "test-all: no stage selected (H265_STEPS='$selected')" >&2
  exit 2
fi

echo
echo "================================================================"
echo "== summary (logs in $LOG_DIR, total $((SECONDS - start_all))s)"
for line in "${summary[@]}"; do
  echo "  $line"
done
if [ "$any_failed" -ne 0 ]; then
  echo "test-all: FAILED"
else
  echo "test-all: all stages passed"
fi
if [ "$total_skipped" -gt 0 ]; then
  echo "$total_passed passed, $total_failed failed, $total_skipped skipped"
else
  echo "$total_passed passed, $total_failed failed"
fi
exit "$any_failed"
