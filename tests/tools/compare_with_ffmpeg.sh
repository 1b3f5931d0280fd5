#!/bin/sh
# Compares what h265info lists for a stream with ffmpeg's trace_headers
# bitstream filter, which parses the same headers independently:
#   - the number of NAL units and their nal_unit_type, in order;
#   - for every slice segment: its slice_type (0 B, 1 P, 2 I) or "dep" for a
#     dependent slice segment, and first_slice_segment_in_pic_flag;
#   - the number of pictures (first_slice_segment_in_pic_flag 1);
#   - coded size, display size, chroma format and bit depths of the SPS of the
#     first picture (the PPS its slice_pic_parameter_set_id names, and the SPS
#     that PPS names); without pictures, of the first SPS;
#   - each later picture whose SPS gives another coded or display size.
# ParseSliceType gives I for every IDR_W_RADL segment, dependent ones
# included (an IDR picture holds I slices only), so a dependent IDR_W_RADL
# segment counts as slice_type 2 on both sides.
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
awk '
    function flush() {
        if (type != "" && (type <= 9 || (type >= 16 && type <= 21))) {
            if (value == "dep" && type == 19) value = 2
            print type ":" value ":" first
        }
    }
    /Packet:/ { p = 1 }
    !p { next }
    / nal_unit_type / { flush(); type = $NF + 0; value = "?"; first = "?" }
    / first_slice_segment_in_pic_flag / { first = $NF }
    / dependent_slice_segment_flag / && $NF == 1 { value = "dep" }
    / slice_type / { value = $NF }
    END { flush() }' "$work/trace" > "$work/ffmpeg_slices"
awk '/Packet:/ { p = 1 } p && / first_slice_segment_in_pic_flag / && $NF == 1 { n++ } END { print n + 0 }' \
    "$work/trace" > "$work/ffmpeg_pictures"

# Each SPS by its sps_seq_parameter_set_id and each PPS by its
# pps_pic_parameter_set_id, the last one of each id counting; display size
# from the conformance window in units of SubWidthC x SubHeightC.
awk -v sps="$work/ffmpeg_sps" -v sizes="$work/ffmpeg_sizes" '
    function size(k,  sw, sh) {
        sw = (c[k] == 1 || c[k] == 2) ? 2 : 1; sh = (c[k] == 1) ? 2 : 1
        return "coded " w[k] "x" h[k] ", display " (w[k] - sw * (l[k] + r[k])) "x" (h[k] - sh * (t[k] + b[k]))
    }
    function describe(k,  names) {
        split("4:0:0 4:2:0 4:2:2 4:4:4", names, " ")
        split(size(k), parts, ", ")
        print parts[1] > sps; print parts[2] > sps
        print "chroma " names[c[k] + 1] > sps
        print "bit depth luma " y[k] ", chroma " u[k] > sps
    }
    /Packet:/ { p = 1 }
    !p { next }
    / nal_unit_type / { n++ }
    / sps_seq_parameter_set_id / { s = $NF; l[s] = r[s] = t[s] = b[s] = 0; if (first == "") first = s }
    / chroma_format_idc / { c[s] = $NF }
    / pic_width_in_luma_samples / { w[s] = $NF }
    / pic_height_in_luma_samples / { h[s] = $NF }
    / conf_win_left_offset / { l[s] = $NF }
    / conf_win_right_offset / { r[s] = $NF }
    / conf_win_top_offset / { t[s] = $NF }
    / conf_win_bottom_offset / { b[s] = $NF }
    / bit_depth_luma_minus8 / { y[s] = $NF + 8 }
    / bit_depth_chroma_minus8 / { u[s] = $NF + 8 }
    / pps_pic_parameter_set_id / { q = $NF }
    / pps_seq_parameter_set_id / { ps[q] = $NF }
    / first_slice_segment_in_pic_flag / { f = $NF }
    / slice_pic_parameter_set_id / && f == 1 {
        k = ps[$NF]
        if (pictures++ == 0) describe(k)
        else if (size(k) != last) print "#" (n - 1) " " size(k) > sizes
        last = size(k)
    }
    END { if (!pictures && first != "") describe(first); printf "" > sizes }' "$work/trace"

"$tool" "$stream" > "$work/listing"
# Rows: index, offset, size, nal_unit_type, name, NALU_TYPE code, name, slice.
awk '/^ +[0-9]+ +[0-9]+ +[0-9]+ +[0-9]+ [A-Z]/ { print $4 }' "$work/listing" > "$work/tool_types"
awk '/^ +[0-9]+ +[0-9]+ +[0-9]+ +[0-9]+ [A-Z]/ && ($4 <= 9 || ($4 >= 16 && $4 <= 21)) {
        value = $8 == "B" ? 0 : ($8 == "P" ? 1 : ($8 == "I" ? 2 : ($9 == "dependent" ? "dep" : "?")))
        print $4 ":" value ":" ($9 == "first" ? 1 : 0) }' "$work/listing" > "$work/tool_slices"
sed -n 's/^  pictures: *\([0-9]*\) .*/\1/p' "$work/listing" > "$work/tool_pictures"
sed -n -e 's/^  coded size: *\([0-9x]*\).*/coded \1/p' -e 's/^  display size: *\([0-9x]*\).*/display \1/p' \
    -e 's/^  chroma format: *\([0-9:]*\).*/chroma \1/p' -e 's/^  bit depth: *\(.*\)/bit depth \1/p' \
    "$work/listing" > "$work/tool_sps"
sed -n 's/^    #\([0-9]*\) at byte offset [0-9]*: \(coded [0-9x]*, display [0-9x]*\) (SPS [0-9]*)$/#\1 \2/p' \
    "$work/listing" > "$work/tool_sizes"

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
compare slices
compare pictures
compare sps
compare sizes
echo "$(wc -l < "$work/tool_types" | tr -d ' ') NAL units, $(cat "$work/tool_pictures") pictures"
exit $status
