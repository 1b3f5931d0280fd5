#!/usr/bin/env bash
# Builds the library and the h265info inspector (Release, build/release) and
# runs it on the bundled sample stream. Installs only what that needs when it
# is missing (scripts/install-deps.sh build: cmake, make, g++).
#
#   bash scripts/run-sample.sh [h265info arguments...]
#
# With no arguments it inspects samples/x265_320x240.hevc.
# Environment: H265_SKIP_DEPS=1 does not run install-deps.sh; H265_BUILD_ROOT
# and H265_JOBS as for scripts/test-all.sh.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
cd "$ROOT"
SAMPLE=samples/x265_320x240.hevc
BUILD_DIR=${H265_BUILD_ROOT:-$ROOT/build}/release

if [ $# -eq 0 ]; then
  if [ ! -f "$SAMPLE" ]; then
    echo "run-sample: the bundled sample $ROOT/$SAMPLE is missing" >&2
    echo "run-sample: it should be committed under samples/; or pass a stream to inspect as argument" >&2
    exit 1
  fi
  set -- "$SAMPLE"
fi

if [ "${H265_SKIP_DEPS:-0}" != 1 ]; then
  bash "$ROOT/scripts/install-deps.sh" build
fi

cmake -S "$ROOT" -B "$BUILD_DIR" -DCMAKE_BUILD_TYPE=Release \
  -DH265_BUILD_TESTS=OFF -DH265_BUILD_TOOLS=ON
cmake --build "$BUILD_DIR" -j"${H265_JOBS:-2}" --target h265info

echo "+ $BUILD_DIR/tools/h265info $*"
"$BUILD_DIR/tools/h265info" "$@"
