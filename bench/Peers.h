// GStreamer's codecparsers and FFmpeg's parser, asked what the library is
// asked, for the benchmark (h265_bench) and the instruction counts on ARM
// (h265_count).
#ifndef H265HEADERS_BENCH_PEERS_H
#define H265HEADERS_BENCH_PEERS_H

#include <cstring>

#include <gst/codecparsers/gsth265parser.h>
#include <gst/gst.h>
extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/log.h>
}

#include "BenchData.h"
#include "h265headers.h"

namespace peers {

using benchdata::Span;

struct Gst {
    GstH265Parser* parser;
    GstH265SPS sps;
    GstH265SliceHdr slice;
    Gst() : parser(gst_h265_parser_new()) {
        std::memset(&sps, 0, sizeof sps);
        std::memset(&slice, 0, sizeof slice);
    }
    ~Gst() { gst_h265_parser_free(parser); }
    // The offset of the first NAL unit header, or -1.
    long FirstNal(Span s) {
        GstH265NalUnit nalu;
        if (gst_h265_parser_identify_nalu_unchecked(parser, s.data, 0, s.size, &nalu) != GST_H265_PARSER_OK)
            return -1;
        return nalu.offset;
    }
    int FirstType(Span s) {
        GstH265NalUnit nalu;
        if (gst_h265_parser_identify_nalu_unchecked(parser, s.data, 0, s.size, &nalu) != GST_H265_PARSER_OK)
            return -1;
        return nalu.type;
    }
    long CountNalUnits(Span s) {
        GstH265NalUnit nalu;
        long count = 0;
        guint offset = 0;
        while (gst_h265_parser_identify_nalu_unchecked(parser, s.data, offset, s.size, &nalu) == GST_H265_PARSER_OK) {
            ++count;
            offset = nalu.offset;
        }
        return count;
    }
    // Up to the first picture, stopping once all three are seen.
    int HasParameterSets(Span s) {
        GstH265NalUnit nalu;
        bool vps = false, sps = false, pps = false;
        guint offset = 0;
        while (!(vps && sps && pps) &&
               gst_h265_parser_identify_nalu_unchecked(parser, s.data, offset, s.size, &nalu) == GST_H265_PARSER_OK) {
            if (nalu.type < 32)
                break;
            vps = vps || nalu.type == GST_H265_NAL_VPS;
            sps = sps || nalu.type == GST_H265_NAL_SPS;
            pps = pps || nalu.type == GST_H265_NAL_PPS;
            offset = nalu.offset;
        }
        return vps && sps && pps ? 1 : 0;
    }
    int Resolution(Span s) {
        GstH265NalUnit nalu;
        guint offset = 0;
        while (gst_h265_parser_identify_nalu_unchecked(parser, s.data, offset, s.size, &nalu) == GST_H265_PARSER_OK) {
            if (nalu.type == GST_H265_NAL_SPS) {
                if (gst_h265_parser_parse_sps(parser, &nalu, &sps, FALSE) != GST_H265_PARSER_OK)
                    return -1;
                return sps.width * 65536 + sps.height;
            }
            offset = nalu.offset;
        }
        return 0;
    }
    // VPS, SPS and PPS of a unit into the parser, outside of any timing.
    void ParseParameterSets(Span s) {
        GstH265NalUnit nalu;
        guint offset = 0;
        while (gst_h265_parser_identify_nalu(parser, s.data, offset, s.size, &nalu) == GST_H265_PARSER_OK) {
            if (nalu.type >= GST_H265_NAL_VPS && nalu.type <= GST_H265_NAL_PPS)
                gst_h265_parser_parse_nal(parser, &nalu);
            offset = nalu.offset + nalu.size;
        }
    }
    int SliceType(Span s) {
        GstH265NalUnit nalu;
        guint offset = 0;
        while (gst_h265_parser_identify_nalu_unchecked(parser, s.data, offset, s.size, &nalu) == GST_H265_PARSER_OK) {
            if (nalu.type < 32) {
                int result = -1;
                if (gst_h265_parser_parse_slice_hdr(parser, &nalu, &slice) == GST_H265_PARSER_OK) {
                    if (nalu.type == GST_H265_NAL_SLICE_IDR_W_RADL || slice.type == GST_H265_I_SLICE)
                        result = NALU_TYPE_I_FRAME;
                    else
                        result = slice.type == GST_H265_P_SLICE ? NALU_TYPE_P_FRAME : NALU_TYPE_B_FRAME;
                }
                gst_h265_slice_hdr_free(&slice);
                return result;
            }
            offset = nalu.offset;
        }
        return -1;
    }
};

// av_parser_parse2 with PARSER_FLAG_COMPLETE_FRAMES: every call parses the
// whole buffer as one access unit (its parameter sets, SEI and first slice
// header), whatever is asked of it afterwards.
struct Av {
    AVCodecParserContext* parser;
    AVCodecContext* context;
    Av() : parser(av_parser_init(AV_CODEC_ID_HEVC)), context(avcodec_alloc_context3(0)) {
        parser->flags |= PARSER_FLAG_COMPLETE_FRAMES;
    }
    ~Av() {
        av_parser_close(parser);
        avcodec_free_context(&context);
    }
    int Parse(Span s) {
        uint8_t* out = 0;
        int outSize = 0;
        return av_parser_parse2(parser, context, &out, &outSize, s.data, s.len(), AV_NOPTS_VALUE, AV_NOPTS_VALUE, 0);
    }
    int Resolution(Span s) {
        Parse(s);
        return parser->coded_width * 65536 + parser->coded_height;
    }
    int SliceType(Span s) {
        Parse(s);
        switch (parser->pict_type) {
        case AV_PICTURE_TYPE_I:
            return NALU_TYPE_I_FRAME;
        case AV_PICTURE_TYPE_P:
            return NALU_TYPE_P_FRAME;
        case AV_PICTURE_TYPE_B:
            return NALU_TYPE_B_FRAME;
        default:
            return -1;
        }
    }
};

} // namespace peers

#endif
