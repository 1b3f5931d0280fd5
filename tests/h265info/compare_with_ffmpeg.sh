#!/bin/sh
# Compares what h265info lists for a stream with ffmpeg's trace_headers
# bitstream filter, which parses the same headers independently:
#   - the number of NAL units and their nal_unit_type, in order;
#   - slice_type of every slice segment that carries one (0 B, 1 P, 2 I);
#   - the number of pictures (first_slice_segment_in_pic_flag 1).
# Exits 77 (skipped) when ffmpeg or the stream is missing.
#   compare_with_ffmpeg.sh H265INFO FILE
set -eu
tool=${1:?usage: compare_with_ffmpeg.sh H265INFO FILE}
stream=${2:?usage: compare_with_ffmpeg.sh H265INFO FILE}

if ! command -v ffmpeg >/dev/null 2>&1; then
    echo "SKIPPED: ffmpeg is not installed"
    exit 77
fi
if [ ! -f "$stream" ]; then
    echo "SKIPPED: $stream does not exist"
    exit 77
fi

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# trace_headers first traces the parameter sets the demuxer put into the
# codec's extradata; the stream's own NAL units follow the first "Packet:".
ffmpeg -hide_banner -nostdin -nostats -i "$stream" -c copy -bsf:v trace_headers -f null - \
    >/dev/null 2>"$work/trace" || { echo "ffmpeg failed:"; cat "$work/trace"; exit 1; }
awk '/Packet:/ { p = 1 } p && / nal_unit_type / { print $NF }' "$work/trace" > "$work/ffmpeg_types"
awk '/Packet:/ { p = 1 } p && / slice_type / { print $NF }' "$work/trace" > "$work/ffmpeg_slice_types"
awk '/Packet:/ { p = 1 } p && / first_slice_segment_in_pic_flag / && $NF == 1 { n++ } END { print n + 0 }' \
    "$work/trace" > "$work/ffmpeg_pictures"

"$tool" "$stream" > "$work/listing"
# Rows: index, offset, size, nal_unit_type, name, NALU_TYPE code, name, slice.
awk '/^ +[0-9]+ +[0-9]+ +[0-9]+ +[0-9]+ [A-Z]/ { print $4 }' "$work/listing" > "$work/tool_types"
awk '/^ +[0-9]+ +[0-9]+ +[0-9]+ +[0-9]+ [A-Z]/ && $8 ~ /^[IPB]$/ {
        print ($8 == "B" ? 0 : ($8 == "P" ? 1 : 2)) }' "$work/listing" > "$work/tool_slice_types"
sed -n 's/^  pictures: *\([0-9]*\) .*/\1/p' "$work/listing" > "$work/tool_pictures"

status=0
compare() {
    if cmp -s "$work/ffmpeg_$1" "$work/tool_$1"; then
        echo "$1: $(wc -l < "$work/tool_$1" | tr -d ' ') line(s) agree"
    else
        echo "$1 differ (ffmpeg | h265info):"
        paste "$work/ffmpeg_$1" "$work/tool_$1" | sed 's/^/  /'
        status=1
    fi
}
if [ ! -s "$work/ffmpeg_types" ]; then
    echo "ffmpeg traced no NAL unit"
    exit 1
fi
compare types
compare slice_types
compare pictures
echo "$(wc -l < "$work/tool_types" | tr -d ' ') NAL units, $(cat "$work/tool_pictures") pictures"
exit $status
