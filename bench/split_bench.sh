#!/usr/bin/env bash
# h265split against ffmpeg's segment muxer, the tool users reach for, on the
# same input in tmpfs:
#   h265split in.265 out/
#   ffmpeg -i in.265 -c copy -bsf:v setts=ts=N/(25*TB) -f segment -segment_time 2 -reset_timestamps 1 out%05d.265
# The packets of a raw stream carry no time stamps, and without them the
# segment muxer never cuts (the command without -bsf:v setts writes a single
# segment; checked below): setts numbers them at 25 per second in decoding
# order. Both then cut at the first key picture 2 s or more after a segment's
# start. The input is a real encoded 1080p
# stream repeated until it reaches each size (concatenated Annex B streams
# are a valid stream). A plain copy of the input shows the floor that
# reading and writing every byte sets: cp, which may copy inside the kernel,
# and dd bs=1M, which reads and writes through a buffer of its own as
# h265split does; each tool's speed is also given as a share of dd's. Prints wall-clock time, throughput and
# peak RSS (GNU time's %M) of each tool, medians of runs taken in turns, then
# checks what ffmpeg's segments of the stream decode to, beside h265split's.
# The fragmented MP4 output is measured the same way:
#   h265split --format fmp4 in.265 out/   (init.mp4, seg-NNNNN.m4s, index.m3u8)
#   ffmpeg -i in.265 -c copy -tag:v hvc1 -bsf:v setts=... -f hls -hls_segment_type fmp4 -hls_time 2 out/index.m3u8
#
#   bash bench/split_bench.sh [SIZE_MB...]      (default: 100 1000)
#
# Environment:
#   H265SPLIT        the tool to measure (default: a Release build made in
#                    build/split-bench)
#   H265_BENCH_TMP   where input and segments go (default: /dev/shm)
#   H265_BENCH_RUNS  runs per size and tool; the median is reported (default 3)
#   H265_BENCH_TOOLS the tools to take turns (default: h265split ffmpeg cp dd
#                    h265split-fmp4 ffmpeg-hls)
set -euo pipefail

ROOT=$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)
SIZES=${*:-100 1000}
RUNS=${H265_BENCH_RUNS:-3}
WORK=$(mktemp -d "${H265_BENCH_TMP:-/dev/shm}/h265split-bench.XXXXXX")
trap 'rm -rf "$WORK"' EXIT

if [ -z "${H265SPLIT:-}" ]; then
  cmake -S "$ROOT" -B "$ROOT/build/split-bench" -DCMAKE_BUILD_TYPE=Release "-DCMAKE_CXX_FLAGS_RELEASE=-O2 -DNDEBUG" \
    -DH265_BUILD_TESTS=OFF >/dev/null
  nice -n 10 cmake --build "$ROOT/build/split-bench" -j2 --target h265split >/dev/null
  H265SPLIT=$ROOT/build/split-bench/tools/h265split
fi

# 24 s of 1080p at 25 pictures per second, 4 Mbit/s, a key picture every 50
# (x265's open GOP: an IDR, then CRA pictures with RASL pictures).
SOURCE=$WORK/source.265
ffmpeg -nostdin -v error -f lavfi -i testsrc2=size=1920x1080:rate=25 -frames:v 600 -c:v libx265 -preset ultrafast \
  -x265-params keyint=50:min-keyint=50:bitrate=4000:log-level=error -f hevc -y "$SOURCE"

# measure COMMAND...: "seconds peak_kib" of one run. GNU time's %e has
# hundredths only, too coarse for a run of 0.05 s: the wall-clock time is
# taken around it in microseconds.
measure() {
  local start=$EPOCHREALTIME end
  /usr/bin/time -o "$WORK/time" -f "%M" "$@" >/dev/null 2>&1
  end=$EPOCHREALTIME
  echo "$(echo "${end/,/.} - ${start/,/.}" | bc -l | awk '{ printf "%.3f", $1 }') $(cat "$WORK/time")"
}

# ffmpeg_segments INPUT OUTDIR: the command line of ffmpeg's run.
ffmpeg_segments() {
  echo ffmpeg -nostdin -v error -i "$1" -c copy -bsf:v 'setts=ts=N/(25*TB)' -f segment -segment_time 2 \
    -reset_timestamps 1 "$2/out%05d.265"
}

# ffmpeg_hls INPUT OUTDIR: ffmpeg's HLS muxer writing fMP4 segments, with the
# same time stamps as its segment muxer above.
ffmpeg_hls() {
  echo ffmpeg -nostdin -v error -i "$1" -c copy -tag:v hvc1 -bsf:v 'setts=ts=N/(25*TB)' -f hls -hls_segment_type fmp4 \
    -hls_time 2 -hls_playlist_type event -hls_segment_filename "$2/seg%05d.m4s" "$2/index.m3u8"
}
TOOLS=${H265_BENCH_TOOLS:-h265split ffmpeg cp dd h265split-fmp4 ffmpeg-hls}

median() { sort -n | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

echo "h265split: $H265SPLIT"
echo "$(ffmpeg -version | head -1)"
echo "cpu: $(grep -m1 'model name' /proc/cpuinfo | cut -d: -f2 | sed 's/^ //'), $(nproc) cores; load: $(cut -d' ' -f1-3 /proc/loadavg)"
printf '%-10s %-14s %10s %12s %8s %14s %12s\n' size tool seconds "MB/s" "of dd" "peak RSS KiB" segments
for mb in $SIZES; do
  input=$WORK/in_${mb}MB.265
  : > "$input"
  while [ "$(stat -c %s "$input")" -lt $((mb * 1000000)) ]; do cat "$SOURCE" >> "$input"; done
  bytes=$(stat -c %s "$input")
  # cp: the floor that reading and writing every byte once through tmpfs sets.
  # The tools take turns, run by run: a file freshly written to tmpfs, and
  # the pages freed by the run before, slow down whichever tool reads it
  # first (two to five times as long at 1 GB), so one untimed copy goes
  # first and each tool gets its share of what remains.
  cp "$input" "$WORK/warm" && rm -f "$WORK/warm"
  declare -A times=() rss=() segments=()
  for _ in $(seq "$RUNS"); do
    for tool in $TOOLS; do
      out=$WORK/out
      rm -rf "$out" && mkdir "$out"
      if [ $tool = h265split ]; then
        r=$(measure "$H265SPLIT" "$input" "$out")
      elif [ $tool = h265split-fmp4 ]; then
        r=$(measure "$H265SPLIT" --format fmp4 "$input" "$out")
      elif [ $tool = ffmpeg-hls ]; then
        # shellcheck disable=SC2046 # the paths have no blanks (mktemp)
        r=$(measure $(ffmpeg_hls "$input" "$out"))
      elif [ $tool = cp ]; then
        r=$(measure cp "$input" "$out/copy.265")
      elif [ $tool = dd ]; then
        r=$(measure dd if="$input" of="$out/copy.265" bs=1M status=none)
      else
        # shellcheck disable=SC2046 # the paths have no blanks (mktemp)
        r=$(measure $(ffmpeg_segments "$input" "$out"))
      fi
      times[$tool]+="${r% *} " rss[$tool]+="${r#* } "
      segments[$tool]=$(ls "$out" | grep -c '265$\|m4s$' || true)
    done
  done
  rm -rf "$WORK/out"
  # The share of dd's speed: dd's time over the tool's ("-" without dd).
  dd_time=
  case " $TOOLS " in *" dd "*) dd_time=$(printf '%s\n' ${times[dd]} | median) ;; esac
  for tool in $TOOLS; do
    t=$(printf '%s\n' ${times[$tool]} | median)
    m=$(printf '%s\n' ${rss[$tool]} | median)
    share=-
    [ -n "$dd_time" ] && share=$(printf '%.2f' "$(echo "$dd_time / $t" | bc -l)")
    printf '%-10s %-14s %10s %12.0f %8s %14s %12s\n' "${mb}MB" $tool "$t" "$(echo "$bytes / 1000000 / $t" | bc -l)" \
      "$share" "$m" "${segments[$tool]}"
  done
  rm -f "$input"
done

# What the segments of the 600-picture stream decode to: each on its own with
# ffmpeg -xerror, frames counted, error lines kept.
echo
echo "Segments of the 600-picture stream, each decoded on its own (ffmpeg -v error -xerror):"
decode_all() {
  local frames=0 errors=0 failed=0 f n
  for f in "$@"; do
    n=$(ffmpeg -nostdin -v error -xerror -i "$f" -f framemd5 - 2>"$WORK/err" | grep -vc '^#') || failed=$((failed + 1))
    frames=$((frames + n))
    errors=$((errors + $(wc -l < "$WORK/err")))
  done
  echo "$# segments, $frames frames, $errors error lines, $failed failed decodes"
}
mkdir "$WORK/ours" "$WORK/theirs"
"$H265SPLIT" "$SOURCE" "$WORK/ours"
$(ffmpeg_segments "$SOURCE" "$WORK/theirs")
mkdir "$WORK/plain"
ffmpeg -nostdin -v error -i "$SOURCE" -c copy -f segment -segment_time 2 -reset_timestamps 1 "$WORK/plain/out%05d.265"
echo "ffmpeg without setts: $(ls "$WORK/plain" | wc -l) segment(s)"
echo "input:      $(ffmpeg -nostdin -v error -i "$SOURCE" -f framemd5 - | grep -vc '^#') frames"
echo "h265split:  $(decode_all "$WORK"/ours/seg-*.265); RASL dropped (index): $(tail -n +2 "$WORK/ours/index.csv" | awk -F, '{ s += $14 } END { print s }')"
echo "ffmpeg:     $(decode_all "$WORK"/theirs/out*.265)"
echo "ffmpeg segments starting with a CRA picture: $(for f in "$WORK"/theirs/out*.265; do
  python3 -c "
import sys
d = open(sys.argv[1], 'rb').read()
i = d.find(b'\x00\x00\x01')
while i >= 0 and (d[i + 3] >> 1) & 0x3F > 31:
    i = d.find(b'\x00\x00\x01', i + 3)
print((d[i + 3] >> 1) & 0x3F)" "$f"; done | grep -c '^21$')"
first_cra=$(ls "$WORK"/theirs/out*.265 | sed -n 2p)
echo "$(basename "$first_cra") decoded with -v warning:"
ffmpeg -nostdin -v warning -i "$first_cra" -f null - 2>&1 | sort | uniq -c | head -5
