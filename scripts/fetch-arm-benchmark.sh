#!/usr/bin/env bash
# Unpacks Debian's armhf Google Benchmark (libbenchmark-dev and its shared
# library) into a private directory, for the ARM build of bench/h265_bench.
# apt works on its own package lists under that directory, so the system's
# architectures, lists and installed packages stay as they are. Nothing is
# done when the directory already holds the package.
#
#   bash scripts/fetch-arm-benchmark.sh DIR
#
# Afterwards: -Dbenchmark_DIR=DIR/usr/lib/arm-linux-gnueabihf/cmake/benchmark
set -euo pipefail

dir=${1:?usage: fetch-arm-benchmark.sh DIR}
config=$dir/usr/lib/arm-linux-gnueabihf/cmake/benchmark/benchmarkConfig.cmake
if [ -f "$config" ]; then
  echo "fetch-arm-benchmark: $dir already there"
  exit 0
fi

apt_dir=$dir/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/debs"
apt_opts=(
  -o APT::Architecture=armhf -o APT::Architectures::=armhf
  -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
  -o Dir::State::status=/dev/null -o Debug::NoLocking=1
)
apt-get "${apt_opts[@]}" -q update >/dev/null
(cd "$apt_dir/debs" && apt-get "${apt_opts[@]}" -q download libbenchmark-dev:armhf libbenchmark1debian:armhf 2>&1 |
  grep -v 'Download is performed unsandboxed' || true)
for deb in "$apt_dir"/debs/*.deb; do
  dpkg-deb -x "$deb" "$dir"
done
test -f "$config"
echo "fetch-arm-benchmark: unpacked into $dir"
