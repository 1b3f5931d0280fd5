#!/usr/bin/env bash
# The benchmark in one command: installs what is missing
# (scripts/install-deps.sh bench), builds h265_bench
# (Release, -O2), encodes the benchmark stream, runs every query of the
# library, GStreamer's codecparsers and FFmpeg's parser on the same buffers
# (5 repetitions, medians), counts instructions per query under callgrind, and
# writes a table and a chart.
#
#   bash scripts/run-bench.sh
#
# Results in <build>/results/: table.md (medians, ratios to GStreamer, the
# targets, and callgrind counts), chart.png, benchmark.json, benchmark.txt and
# callgrind/ (one dump per query).
#
# Environment:
#   H265_BENCH_BUILD  build directory (default: <repo>/build/bench)
#   H265_JOBS         parallel build jobs (default: 2)
#   H265_SKIP_DEPS=1  do not run scripts/install-deps.sh
#   H265_BENCH_ARGS   extra Google Benchmark flags, e.g. --benchmark_filter=scan
#   H265_CALLGRIND_CALLS  calls per query under callgrind (default: 1000;
#                         the 8 MiB scans run once); 0 skips callgrind
#
# Wall-clock figures mean something only on a quiet machine: the load average
# and any fuzzing processes are recorded with the results.
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
BUILD=${H265_BENCH_BUILD:-$ROOT/build/bench}
JOBS=${H265_JOBS:-2}
OUT=$BUILD/results
STREAM=$BUILD/x265_1920x1080_60f_slices4.hevc
CALLS=${H265_CALLGRIND_CALLS:-1000}

if [ "${H265_SKIP_DEPS:-0}" != 1 ]; then
  bash "$ROOT/scripts/install-deps.sh" bench
fi

cmake -S "$ROOT" -B "$BUILD" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
  -DH265_BUILD_BENCH=ON -DH265_BUILD_TESTS=OFF -DH265_BUILD_TOOLS=OFF
cmake --build "$BUILD" -j"$JOBS" --target h265_bench
bash "$ROOT/scripts/make-bench-stream.sh" "$STREAM" 1920x1080 60

rm -rf "$OUT"
mkdir -p "$OUT/callgrind"
machine() {
  echo "load average $1: $(cut -d ' ' -f 1-3 /proc/loadavg)"
  local fuzz
  fuzz=$(pgrep -l fuzz | awk '{print $2}' | sort | uniq -c | awk '{printf "%s%s x%s", sep, $2, $1; sep=", "}' || true)
  echo "fuzzing processes $1: ${fuzz:-none}"
}

echo "cpu: $(lscpu | sed -n 's/^Model name: *//p' | head -n 1), $(nproc) cores" > "$OUT/machine.txt"
machine "before the timed run" >> "$OUT/machine.txt"
# shellcheck disable=SC2086
"$BUILD/bench/h265_bench" --stream="$STREAM" --benchmark_repetitions=5 \
  --benchmark_report_aggregates_only=true --benchmark_out="$OUT/benchmark.json" \
  --benchmark_out_format=json ${H265_BENCH_ARGS:-} | tee "$OUT/benchmark.txt"
machine "after the timed run" >> "$OUT/machine.txt"

if [ "$CALLS" != 0 ]; then
  valgrind --tool=callgrind --callgrind-out-file="$OUT/callgrind/callgrind.out" \
    "$BUILD/bench/h265_bench" --stream="$STREAM" --callgrind="$CALLS" > "$OUT/callgrind/log.txt" 2>&1
fi

{
  echo "$(git -C "$ROOT" log -1 --format='commit %h (%s)' 2>/dev/null || echo 'commit unknown')"
  echo "$(g++ --version | head -n 1); Google Benchmark $(dpkg-query -W -f='${Version}' libbenchmark-dev 2>/dev/null)"
  echo "GStreamer $(pkg-config --modversion gstreamer-codecparsers-1.0), libavcodec $(pkg-config --modversion libavcodec)"
  cat "$OUT/machine.txt"
} | sed 's/^/    /' > "$OUT/header.txt"
# Debian's interpreter, which has python3-matplotlib, even when another
# python3 comes first on the PATH.
PYTHON=/usr/bin/python3
[ -x "$PYTHON" ] || PYTHON=python3
"$PYTHON" "$ROOT/scripts/bench_report.py" --json "$OUT/benchmark.json" --callgrind "$OUT/callgrind" \
  --machine "$(cat "$OUT/header.txt")" --table "$OUT/table.md" --chart "$OUT/chart.png"
echo "run-bench: results in $OUT (table.md, chart.png)"
