#!/usr/bin/env bash
# Unpacks Debian's FFmpeg (libavcodec, libavformat) and GStreamer codecparsers
# for a 32-bit ARM architecture into a private directory, with the shared
# libraries they load and the headers to build against them, so that
# bench/h265_count can count their start-code searches and FFmpeg's RTP
# depacketizer under qemu-arm. As in
# fetch-arm-benchmark.sh, apt works on its own package lists under that
# directory: the system's architectures, lists and packages stay as they are.
# The C and C++ runtimes are left out; the cross toolchain's sysroot has them.
# Nothing is done when the directory already holds the libraries.
#
#   bash scripts/fetch-arm-peers.sh DIR armhf|armel
set -euo pipefail

dir=${1:?usage: fetch-arm-peers.sh DIR armhf|armel}
arch=${2:?usage: fetch-arm-peers.sh DIR armhf|armel}
case $arch in
  armhf) triple=arm-linux-gnueabihf ;;
  armel) triple=arm-linux-gnueabi ;;
  *) echo "fetch-arm-peers: unknown architecture $arch" >&2; exit 2 ;;
esac
libdir=$dir/usr/lib/$triple
if [ -f "$libdir/libavcodec.so" ] && [ -f "$libdir/libavformat.so" ] && [ -f "$libdir/libgstcodecparsers-1.0.so" ]; then
  echo "fetch-arm-peers: $dir already there"
  exit 0
fi

apt_dir=$dir/apt
mkdir -p "$apt_dir/lists/partial" "$apt_dir/cache/archives/partial" "$apt_dir/debs"
apt_opts=(
  -o APT::Architecture="$arch" -o APT::Architectures::="$arch"
  -o Dir::State::Lists="$apt_dir/lists" -o Dir::Cache="$apt_dir/cache"
  -o Dir::State::status=/dev/null -o Debug::NoLocking=1
)
apt-get "${apt_opts[@]}" -q update > /dev/null
# The run-time closure of libavcodec, libavformat and the GStreamer core; of the bad
# plugins' libraries only libgstcodecparsers is loaded, so that package comes
# without its dependencies (which pull in Mesa and LLVM), as do the headers.
runtime=$(apt-get "${apt_opts[@]}" -s --no-install-recommends install libavcodec59 libavformat59 libgstreamer1.0-0 |
  sed -n 's/^Inst \([^ ]*\) .*/\1/p' |
  grep -v -x -E 'libc6|libgcc-s1|libstdc\+\+6|gcc-12-base|libcrypt1|perl.*|libperl.*|dpkg|tar|systemd.*|dbus.*|passwd|adduser|debconf|mount|procps|libpam.*|usrmerge|init-system-helpers|dmsetup|.*-perl')
direct="libgstreamer-plugins-bad1.0-0 libavcodec-dev libavformat-dev libavutil-dev libgstreamer-plugins-bad1.0-dev
  libgstreamer1.0-dev libglib2.0-dev"
# shellcheck disable=SC2086
(cd "$apt_dir/debs" && apt-get "${apt_opts[@]}" -q download $runtime $direct 2>&1 |
  grep -v -e 'Download is performed unsandboxed' -e '^Get:' || true)
for deb in "$apt_dir"/debs/*.deb; do
  dpkg-deb -x "$deb" "$dir"
done
test -f "$libdir/libavcodec.so"
test -f "$libdir/libavformat.so"
test -f "$libdir/libgstcodecparsers-1.0.so"
echo "fetch-arm-peers: unpacked into $dir"
