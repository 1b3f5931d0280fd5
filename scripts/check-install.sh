#!/usr/bin/env bash
# Installs a configured and built tree into a scratch prefix, then builds and
# runs a separate consumer project against it, once through the CMake package
# and once through pkg-config. For a cross build the consumer is compiled with
# the same toolchain and compiler and run under the build's emulator.
#
#   scripts/check-install.sh BUILD_DIR [TOOLCHAIN_FILE EMULATOR CXX]
#
# EMULATOR is the emulator command line as one string (e.g.
# "qemu-arm -cpu arm926 -L /usr/arm-linux-gnueabi").
set -euo pipefail
build=$(cd "$1" && pwd)
toolchain=${2:-}
emulator=${3:-qemu-arm -L /usr/arm-linux-gnueabihf}
cross_cxx=${4:-arm-linux-gnueabihf-g++}
root=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null
for f in include/h265headers.h lib/libh265headers.so.1 lib/libh265headers.so \
         lib/cmake/h265headers/h265headersConfig.cmake lib/pkgconfig/h265headers.pc; do
  [ -e "$prefix/$f" ] || { echo "missing after install: $f" >&2; exit 1; }
done
[ "$(readlink "$prefix/lib/libh265headers.so")" = libh265headers.so.1 ] ||
  { echo "libh265headers.so does not point at the SONAME" >&2; exit 1; }

run() {
  if [ -n "$toolchain" ]; then
    # shellcheck disable=SC2086
    $emulator -E LD_LIBRARY_PATH="$prefix/lib" "$@"
  else
    LD_LIBRARY_PATH="$prefix/lib" "$@"
  fi
}

echo "== CMake package"
args=(-S "$root/tests/abi/consumer" -B "$work/cmake-consumer" -DCMAKE_PREFIX_PATH="$prefix")
# The toolchain file confines package searches to the target root, so the
# installed package is named directly.
[ -n "$toolchain" ] && args+=(-DCMAKE_TOOLCHAIN_FILE="$toolchain" -Dh265headers_DIR="$prefix/lib/cmake/h265headers")
cmake "${args[@]}" >/dev/null
cmake --build "$work/cmake-consumer" >/dev/null
run "$work/cmake-consumer/consumer"

echo "== pkg-config"
cxx=${CXX:-c++}
[ -n "$toolchain" ] && cxx=$cross_cxx
flags=$(PKG_CONFIG_PATH="$prefix/lib/pkgconfig" PKG_CONFIG_SYSROOT_DIR= pkg-config --cflags --libs h265headers)
# shellcheck disable=SC2086
"$cxx" -o "$work/pc-consumer" "$root/tests/abi/consumer/main.cpp" $flags
run "$work/pc-consumer"
echo "install check passed"
