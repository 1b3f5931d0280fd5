#!/usr/bin/env bash
# Builds every fuzz target the way a fuzzing service runs a project's build
# script: compiler, flags and fuzzing engine come from the environment, and
# the targets and their seed corpora go to $OUT.
#
#   CC=clang CXX=clang++ CFLAGS="-fsanitize=address,fuzzer-no-link" \
#   CXXFLAGS="-fsanitize=address,fuzzer-no-link" LIB_FUZZING_ENGINE=-fsanitize=fuzzer \
#   OUT=/tmp/out bash fuzz/build.sh
#
# Environment:
#   CXX, CXXFLAGS       compiler and the whole instrumentation (sanitizers,
#                       coverage); the project adds no flags of its own beyond
#                       its warnings. CC and CFLAGS are accepted as services
#                       pass them; the project has no C sources.
#   LIB_FUZZING_ENGINE  what each target is linked with: -fsanitize=fuzzer,
#                       or the path of an engine library
#   OUT                 where the results go
#   WORK                scratch space; the build directory is $WORK/h265headers
#                       (default: <repo>/build/fuzz-service)
#   H265_JOBS           parallel build jobs (default: the number of cores)
#
# Writes, for each target T of fuzz/FuzzTargets.cmake:
#   $OUT/fuzz_T                    the fuzz target
#   $OUT/fuzz_T_seed_corpus.zip    fuzz/corpus/T/ and fuzz/regressions/T/, flat
#   $OUT/fuzz_T.options            the input size limit fuzz/run-fuzzers.sh uses
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
: "${OUT:?OUT must name the output directory}"
: "${LIB_FUZZING_ENGINE:?LIB_FUZZING_ENGINE must name the fuzzing engine, e.g. -fsanitize=fuzzer}"
CXX=${CXX:-clang++}
BUILD=${WORK:+$WORK/h265headers}
BUILD=${BUILD:-$ROOT/build/fuzz-service}

# Build type None: the service's CXXFLAGS alone set optimisation and debug info.
cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=None \
  -DCMAKE_CXX_COMPILER="$CXX" -DCMAKE_CXX_FLAGS="${CXXFLAGS:-}" \
  -DH265_BUILD_FUZZ=ON -DH265_FUZZ_ENGINE="$LIB_FUZZING_ENGINE" \
  -DH265_BUILD_TESTS=OFF -DH265_BUILD_TOOLS=OFF
cmake --build "$BUILD" --target fuzzers -j"${H265_JOBS:-$(nproc)}"

mkdir -p "$OUT"
for t in $(sed -n 's/^set(H265_FUZZ_TARGETS \(.*\))$/\1/p' "$ROOT/fuzz/FuzzTargets.cmake"); do
  cp "$BUILD/fuzz/fuzz_$t" "$OUT/"
  seeds=("$ROOT/fuzz/corpus/$t"/*)
  if [ -d "$ROOT/fuzz/regressions/$t" ]; then seeds+=("$ROOT/fuzz/regressions/$t"/*); fi
  rm -f "$OUT/fuzz_${t}_seed_corpus.zip"
  zip -q -j -X "$OUT/fuzz_${t}_seed_corpus.zip" "${seeds[@]}"
  printf '[libfuzzer]\nmax_len = 4096\n' > "$OUT/fuzz_$t.options"
  echo "fuzz/build.sh: fuzz_$t with ${#seeds[@]} seed inputs"
done
