#include <cstring>

#include "BitInStream.h"
#include "NalUnit.h"
#include "ProfileTierLevel.h"
#include "SequenceParameterSet.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

const SEQ_PARAMETER_SET& Record(IH265Parser& parser) {
    return static_cast<CSPSInfo*>(parser.GetSPS())->sps;
}

bool ParseSps(IH265Parser& parser, const Bytes& data) {
    return parser.ParseSPS(data.data(), static_cast<unsigned int>(data.size()));
}

bool IsAllZero(const SEQ_PARAMETER_SET& sps) {
    SEQ_PARAMETER_SET zero;
    std::memset(&zero, 0, sizeof zero);
    return std::memcmp(&zero, &sps, sizeof sps) == 0;
}

SpsFields TwoSubLayers() {
    SpsFields f;
    f.sps_max_sub_layers_minus1 = 2;
    f.sub_layer_profile_present_flag = {1, 0};
    f.sub_layer_level_present_flag = {1, 1};
    f.sub_layer_profile_idc = {2, 0};
    f.sub_layer_reserved_zero_44bits = {0xABC12345678ull, 0};
    f.sub_layer_level_idc = {60, 90};
    return f;
}

} // namespace

TEST(ParseSps, ReadsEveryFieldOfASingleLayerSps) {
    SpsFields f;
    f.sps_video_parameter_set_id = 3;
    f.general_tier_flag = 1;
    f.general_profile_idc = 2;
    f.general_reserved_zero_44bits = 0x80000000001ull; // top bit and low bit
    f.general_level_idc = 123;
    f.sps_seq_parameter_set_id = 5;
    f.pic_width_in_luma_samples = 1918;
    f.pic_height_in_luma_samples = 1078;
    f.conformance_window_flag = 1;
    f.conf_win_offsets[1] = 1;
    f.conf_win_offsets[3] = 1;
    f.bit_depth_luma_minus8 = 2;
    f.bit_depth_chroma_minus8 = 2;
    f.log2_max_pic_order_cnt_lsb_minus4 = 12;
    f.ordering = {4, 2, 0};
    f.log2_min_luma_coding_block_size_minus3 = 1;
    f.log2_diff_max_min_luma_coding_block_size = 2;
    H265ParserPtr parser = MakeH265Parser();
    ASSERT_TRUE(ParseSps(*parser, Concat({Nal(32, Hex("0C 01 FF")), Nal(33, SpsRbsp(f)), Nal(34, Hex("C1 72"))})));
    const SEQ_PARAMETER_SET& sps = Record(*parser);
    EXPECT_EQ(3u, sps.sps_video_parameter_set_id);
    EXPECT_EQ(0u, sps.sps_max_sub_layers_minus1);
    EXPECT_EQ(1u, sps.sps_temporal_id_nesting_flag);
    ASSERT_NE(nullptr, sps.ptl);
    EXPECT_EQ(0u, sps.ptl->general_profile_space);
    EXPECT_EQ(1u, sps.ptl->general_tier_flag);
    EXPECT_EQ(2u, sps.ptl->general_profile_idc);
    for (int j = 0; j < 32; ++j)
        EXPECT_EQ(j == 1 || j == 2 ? 1u : 0u, sps.ptl->general_profile_compatibility_flag[j]) << j;
    EXPECT_EQ(1u, sps.ptl->general_progressive_source_flag);
    EXPECT_EQ(0u, sps.ptl->general_interlaced_source_flag);
    EXPECT_EQ(0u, sps.ptl->general_non_packed_constraint_flag);
    EXPECT_EQ(1u, sps.ptl->general_frame_only_constraint_flag);
    EXPECT_EQ(1u, sps.ptl->general_reserved_zero_44bits); // low 32 bits only
    EXPECT_EQ(123u, sps.ptl->general_level_idc);
    EXPECT_EQ(nullptr, sps.ptl->sub_layer_profile_present_flag);
    EXPECT_EQ(nullptr, sps.ptl->sub_layer_profile_compatibility_flag);
    EXPECT_EQ(nullptr, sps.ptl->sub_layer_level_idc);
    EXPECT_EQ(5u, sps.sps_seq_parameter_set_id);
    EXPECT_EQ(1u, sps.chroma_format_idc);
    EXPECT_EQ(0u, sps.separate_colour_plane_flag);
    EXPECT_EQ(1918u, sps.pic_width_in_luma_samples);
    EXPECT_EQ(1078u, sps.pic_height_in_luma_samples);
    EXPECT_EQ(1u, sps.conformance_window_flag);
    EXPECT_EQ(0u, sps.conf_win_left_offset);
    EXPECT_EQ(1u, sps.conf_win_right_offset);
    EXPECT_EQ(0u, sps.conf_win_top_offset);
    EXPECT_EQ(1u, sps.conf_win_bottom_offset);
    EXPECT_EQ(2u, sps.bit_depth_luma_minus8);
    EXPECT_EQ(2u, sps.bit_depth_chroma_minus8);
    EXPECT_EQ(12u, sps.log2_max_pic_order_cnt_lsb_minus4);
    EXPECT_EQ(1u, sps.sps_sub_layer_ordering_info_present_flag);
    EXPECT_EQ(4u, sps.sps_max_dec_pic_buffering_minus1[0]);
    EXPECT_EQ(2u, sps.sps_max_num_reorder_pics[0]);
    EXPECT_EQ(0u, sps.sps_max_latency_increase_plus1[0]);
    EXPECT_EQ(1u, sps.log2_min_luma_coding_block_size_minus3);
    EXPECT_EQ(2u, sps.log2_diff_max_min_luma_coding_block_size);
}

TEST(ParseSps, SubLayersLineUpWithTheStream) {
    SpsFields f = TwoSubLayers();
    f.ordering = {1, 0, 0, 2, 1, 0, 3, 2, 5};
    f.pic_width_in_luma_samples = 640;
    f.pic_height_in_luma_samples = 360;
    H265ParserPtr parser = MakeH265Parser();
    ASSERT_TRUE(ParseSps(*parser, Nal(33, SpsRbsp(f))));
    const SEQ_PARAMETER_SET& sps = Record(*parser);
    const PROFILE_TIER_LEVEL& ptl = *sps.ptl;
    EXPECT_EQ(2u, ptl.maxNumSubLayersMinus1);
    EXPECT_EQ(1u, ptl.sub_layer_profile_present_flag[0]);
    EXPECT_EQ(0u, ptl.sub_layer_profile_present_flag[1]);
    EXPECT_EQ(1u, ptl.sub_layer_level_present_flag[1]);
    EXPECT_EQ(2u, ptl.sub_layer_profile_idc[0]);
    EXPECT_EQ(0u, ptl.sub_layer_profile_compatibility_flag[0][0]);
    EXPECT_EQ(1u, ptl.sub_layer_profile_compatibility_flag[0][1]);
    EXPECT_EQ(1u, ptl.sub_layer_progressive_source_flag[0]);
    EXPECT_EQ(1u, ptl.sub_layer_frame_only_constraint_flag[0]);
    EXPECT_EQ(0x12345678ull, ptl.sub_layer_reserved_zero_44bits[0]); // low 32 bits, high half 0
    EXPECT_EQ(60u, ptl.sub_layer_level_idc[0]);
    EXPECT_EQ(90u, ptl.sub_layer_level_idc[1]);
    EXPECT_EQ(640u, sps.pic_width_in_luma_samples);
    EXPECT_EQ(360u, sps.pic_height_in_luma_samples);
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(f.ordering[3 * i], sps.sps_max_dec_pic_buffering_minus1[i]);
        EXPECT_EQ(f.ordering[3 * i + 1], sps.sps_max_num_reorder_pics[i]);
        EXPECT_EQ(f.ordering[3 * i + 2], sps.sps_max_latency_increase_plus1[i]);
    }
    EXPECT_EQ(0u, sps.log2_min_luma_coding_block_size_minus3);
    EXPECT_EQ(3u, sps.log2_diff_max_min_luma_coding_block_size);
}

TEST(ParseSps, WithoutOrderingInfoOnlyTheLastEntryIsRead) {
    SpsFields f = TwoSubLayers();
    f.sps_sub_layer_ordering_info_present_flag = 0;
    f.ordering = {6, 3, 7};
    H265ParserPtr parser = MakeH265Parser();
    ASSERT_TRUE(ParseSps(*parser, Nal(33, SpsRbsp(f))));
    const SEQ_PARAMETER_SET& sps = Record(*parser);
    const unsigned int expected[3][3] = {{0, 0, 0}, {0, 0, 0}, {6, 3, 7}};
    for (unsigned i = 0; i < 3; ++i) {
        EXPECT_EQ(expected[i][0], sps.sps_max_dec_pic_buffering_minus1[i]) << i;
        EXPECT_EQ(expected[i][1], sps.sps_max_num_reorder_pics[i]) << i;
        EXPECT_EQ(expected[i][2], sps.sps_max_latency_increase_plus1[i]) << i;
    }
    EXPECT_EQ(1080u, sps.pic_height_in_luma_samples);
}

TEST(ParseSps, ConditionalFields) {
    struct Case {
        uint32_t chroma_format_idc;
        uint32_t conformance_window_flag;
    } cases[] = {{0, 0}, {1, 1}, {2, 0}, {3, 1}, {4, 0}, {7, 1}};
    for (const Case& c : cases) {
        SpsFields f;
        f.chroma_format_idc = c.chroma_format_idc;
        f.separate_colour_plane_flag = 1;
        f.conformance_window_flag = c.conformance_window_flag;
        f.conf_win_offsets[0] = 8;
        f.conf_win_offsets[2] = 2;
        H265ParserPtr parser = MakeH265Parser();
        ASSERT_TRUE(ParseSps(*parser, Nal(33, SpsRbsp(f))));
        const SEQ_PARAMETER_SET& sps = Record(*parser);
        EXPECT_EQ(c.chroma_format_idc, sps.chroma_format_idc);
        EXPECT_EQ(c.chroma_format_idc == 3 ? 1u : 0u, sps.separate_colour_plane_flag);
        EXPECT_EQ(c.conformance_window_flag ? 8u : 0u, sps.conf_win_left_offset);
        EXPECT_EQ(c.conformance_window_flag ? 2u : 0u, sps.conf_win_top_offset);
        EXPECT_EQ(1920u, sps.pic_width_in_luma_samples);
        EXPECT_EQ(3u, sps.log2_diff_max_min_luma_coding_block_size);
    }
}

TEST(ParseSps, StartCodeFormAndPositionDoNotMatter) {
    const Bytes rbsp = SpsRbsp(SpsFields());
    const Bytes inputs[] = {
        Nal(33, rbsp, 4),
        Nal(33, rbsp, 3),
        Concat({Hex("00 00 00"), Nal(33, rbsp, 4)}),           // extra leading zeros
        Concat({Nal(32, Hex("0C 01 FF FF")), Nal(33, rbsp, 3)}), // VPS skipped
        Concat({Nal(33, rbsp), Nal(33, SpsRbsp([] {
                                       SpsFields other;
                                       other.pic_width_in_luma_samples = 64;
                                       return other;
                                   }()))}), // the first of two is taken
    };
    for (const Bytes& input : inputs) {
        H265ParserPtr parser = MakeH265Parser();
        ASSERT_TRUE(ParseSps(*parser, input));
        EXPECT_EQ(1920u, Record(*parser).pic_width_in_luma_samples);
        EXPECT_EQ(1080u, Record(*parser).pic_height_in_luma_samples);
        EXPECT_EQ(3u, Record(*parser).log2_diff_max_min_luma_coding_block_size);
    }
}

TEST(ParseSps, EmulationPreventionBytesNeverReachTheReader) {
    // general_reserved_zero_44bits of 0 and a width whose ue(v) code holds
    // long zero runs make the escaped NAL unit carry several 00 00 03.
    SpsFields f;
    f.general_profile_compatibility_flags = 0;
    f.pic_width_in_luma_samples = 65536;
    f.pic_height_in_luma_samples = 0x10001;
    const Bytes nal = Nal(33, SpsRbsp(f));
    ASSERT_NE(nal.size(), 6 + SpsRbsp(f).size()) << "the test stream must contain emulation prevention";
    H265ParserPtr parser = MakeH265Parser();
    ASSERT_TRUE(ParseSps(*parser, nal));
    EXPECT_EQ(65536u, Record(*parser).pic_width_in_luma_samples);
    EXPECT_EQ(0x10001u, Record(*parser).pic_height_in_luma_samples);
    EXPECT_EQ(3u, Record(*parser).log2_diff_max_min_luma_coding_block_size);
}

TEST(ParseSps, TruncationAtEveryByteEndsInTheEndOfDataSignal) {
    const Bytes full = Nal(33, SpsRbsp(SpsFields()));
    // Bytes needed: find the shortest prefix that parses completely.
    size_t complete = 0;
    for (size_t cut = 0; cut <= full.size(); ++cut) {
        H265ParserPtr parser = MakeH265Parser();
        const Bytes prefix(full.begin(), full.begin() + static_cast<long>(cut));
        bool parsed = false;
        try {
            parsed = ParseSps(*parser, prefix);
        } catch (int signal) {
            ASSERT_EQ(1, signal);
            ASSERT_NE(nullptr, parser->GetSPS()) << "the record stays attached";
            ASSERT_EQ(0u, complete) << "a longer prefix must not fail once a shorter one parsed";
            continue;
        }
        if (cut < 5) {
            EXPECT_FALSE(parsed) << "no start code fits in " << cut << " bytes";
            EXPECT_TRUE(IsAllZero(Record(*parser)));
        } else if (parsed && complete == 0) {
            complete = cut;
        }
    }
    ASSERT_NE(0u, complete);
    // The SPS fields end inside the byte before `complete`.
    EXPECT_LT(complete, full.size());
}

TEST(ParseSps, TruncatedRecordKeepsWhatWasRead) {
    SpsFields f;
    f.pic_width_in_luma_samples = 352;
    f.pic_height_in_luma_samples = 288;
    BitWriter w;
    const Bytes rbsp = SpsRbsp(f);
    // 2 + 12 bytes of profile_tier_level reach sps_seq_parameter_set_id; cut
    // a few bytes later so that the width is read but the height is not.
    Bytes nal = Nal(33, rbsp);
    H265ParserPtr parser = MakeH265Parser();
    bool sawWidthOnly = false;
    for (size_t cut = 6; cut < nal.size() && !sawWidthOnly; ++cut) {
        Bytes prefix(nal.begin(), nal.begin() + static_cast<long>(cut));
        try {
            ParseSps(*parser, prefix);
        } catch (int) {
            const SEQ_PARAMETER_SET& sps = Record(*parser);
            if (sps.pic_width_in_luma_samples == 352) {
                sawWidthOnly = sps.pic_height_in_luma_samples == 0;
                EXPECT_EQ(nullptr, sps.sps_max_dec_pic_buffering_minus1);
                EXPECT_NE(nullptr, sps.ptl);
                EXPECT_EQ(93u, sps.ptl->general_level_idc);
            }
        }
    }
    EXPECT_TRUE(sawWidthOnly);
}

TEST(ParseSps, FollowingNalUnitBoundsTheSps) {
    // The SPS cut short right before a PPS start code: none of the PPS bytes
    // may be read as SPS data.
    const Bytes rbsp = SpsRbsp(SpsFields());
    const Bytes shortSps(rbsp.begin(), rbsp.begin() + 16);
    H265ParserPtr parser = MakeH265Parser();
    EXPECT_END_OF_DATA(ParseSps(*parser, Concat({Nal(33, shortSps), Nal(34, Hex("FF FF FF FF FF FF FF FF"))})));
    EXPECT_EQ(0u, Record(*parser).pic_height_in_luma_samples);
}

TEST(ParseSps, EmptyOrHeaderOnlySps) {
    struct Case {
        const char* bytes;
    } cases[] = {{"00 00 00 01 42"}, {"00 00 01 42 01"}, {"00 00 00 01 42 01 00 00 01 44 01 C1"}};
    for (const Case& c : cases) {
        H265ParserPtr parser = MakeH265Parser();
        EXPECT_END_OF_DATA(ParseSps(*parser, Hex(c.bytes)));
        ASSERT_NE(nullptr, parser->GetSPS());
        EXPECT_TRUE(IsAllZero(Record(*parser))) << c.bytes;
    }
}

TEST(ParseSps, EveryCallReplacesTheRecordFirst) {
    H265ParserPtr parser = MakeH265Parser();
    EXPECT_EQ(nullptr, parser->GetSPS());
    ASSERT_TRUE(ParseSps(*parser, Nal(33, SpsRbsp(SpsFields()))));
    EXPECT_FALSE(parser->ParseSPS(nullptr, 10));
    ASSERT_NE(nullptr, parser->GetSPS());
    EXPECT_TRUE(IsAllZero(Record(*parser)));
    int width = -1, height = -1;
    EXPECT_TRUE(parser->GetSPS()->GetPicSize(&width, &height));
    EXPECT_EQ(0, width);
    EXPECT_EQ(0, height);

    const Bytes noSps = Concat({Nal(32, Hex("0C 01")), Nal(34, Hex("C1 72"))});
    ASSERT_TRUE(ParseSps(*parser, Nal(33, SpsRbsp(SpsFields()))));
    EXPECT_FALSE(ParseSps(*parser, noSps));
    EXPECT_TRUE(IsAllZero(Record(*parser)));
    ASSERT_TRUE(ParseSps(*parser, Nal(33, SpsRbsp(SpsFields()))));
    EXPECT_FALSE(parser->ParseSPS(noSps.data(), 0));
    EXPECT_TRUE(IsAllZero(Record(*parser)));
}

TEST(GetPicSize, NullPointersWriteNothing) {
    H265ParserPtr parser = MakeH265Parser();
    ASSERT_TRUE(ParseSps(*parser, Nal(33, SpsRbsp(SpsFields()))));
    int value = -7;
    EXPECT_FALSE(parser->GetSPS()->GetPicSize(&value, nullptr));
    EXPECT_FALSE(parser->GetSPS()->GetPicSize(nullptr, &value));
    EXPECT_EQ(-7, value);
}

TEST(GetPicSize, HugeSizesComeOutBitForBit) {
    SpsFields f;
    f.pic_width_in_luma_samples = 0x80000000u;
    f.pic_height_in_luma_samples = 0xFFFFFFFEu;
    H265ParserPtr parser = MakeH265Parser();
    ASSERT_TRUE(ParseSps(*parser, Nal(33, SpsRbsp(f))));
    int width = 0, height = 0;
    EXPECT_TRUE(parser->GetSPS()->GetPicSize(&width, &height));
    EXPECT_EQ(-2147483647 - 1, width);
    EXPECT_EQ(-2, height);
}
