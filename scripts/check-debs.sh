#!/usr/bin/env bash
# Builds the Debian packages of a configured and built tree with cpack and
# inspects them with dpkg-deb: names, architecture, dependencies and files.
#
#   scripts/check-debs.sh BUILD_DIR EXPECTED_ARCH
set -euo pipefail
build=$(cd "$1" && pwd)
arch=$2
out=$(mktemp -d)
trap 'rm -rf "$out"' EXIT
(cd "$build" && cpack -G DEB -B "$out" >/dev/null)
runtime=$(ls "$out"/libh265headers1_*_"$arch".deb)
dev=$(ls "$out"/libh265headers-dev_*_"$arch".deb)

field() { dpkg-deb -f "$1" "$2"; }
fail() { echo "check-debs: $*" >&2; exit 1; }

[ "$(field "$runtime" Architecture)" = "$arch" ] || fail "runtime architecture"
[ "$(field "$dev" Architecture)" = "$arch" ] || fail "dev architecture"
field "$runtime" Depends | grep -q 'libc6' || fail "runtime must depend on libc6"
field "$runtime" Depends | grep -q 'libstdc++6' || fail "runtime must depend on libstdc++6"
field "$dev" Depends | grep -Eq "^libh265headers1 \(= [0-9.]+\)$" || fail "dev must depend on the exact runtime"

contents() { dpkg-deb -c "$1" | awk '{print $6}'; }
contents "$runtime" | grep -q '/lib/libh265headers.so.1$' || fail "runtime lacks the SONAME link"
contents "$runtime" | grep -q '/lib/libh265headers.so.1.0.0$' || fail "runtime lacks the library"
contents "$runtime" | grep -q 'include/' && fail "runtime must not ship headers"
for f in include/h265headers.h lib/libh265headers.so lib/cmake/h265headers/h265headersConfig.cmake \
         lib/pkgconfig/h265headers.pc; do
  contents "$dev" | grep -q "/$f\$" || fail "dev lacks $f"
done
file_in_deb=$(mktemp -d)
dpkg-deb -x "$runtime" "$file_in_deb"
so=$(find "$file_in_deb" -name 'libh265headers.so.1.0.0')
machine=$(readelf -h "$so" | awk -F: '/Machine/ {gsub(/^ +/, "", $2); print $2}')
rm -rf "$file_in_deb"
case "$arch" in
  amd64) [ "$machine" = "Advanced Micro Devices X86-64" ] || fail "amd64 package holds $machine" ;;
  armhf | armel) [ "$machine" = "ARM" ] || fail "$arch package holds $machine" ;;
esac
echo "packages for $arch: $(basename "$runtime") $(basename "$dev")"
