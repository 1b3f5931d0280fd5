#include <cstring>
#include <string>

#include "PictureParameterSet.h"
#include "SequenceParameterSet.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

// Both calls of the two-call protocol; checks that they agree and that the
// second writes exactly the returned size.
template <typename Record> std::string Listing(Record& record) {
    const int size = record.Dump(nullptr);
    std::string buffer(static_cast<size_t>(size) + 16, '\x7F');
    EXPECT_EQ(size, record.Dump(&buffer[0]));
    EXPECT_EQ('\0', buffer[static_cast<size_t>(size) - 1]);
    EXPECT_EQ('\x7F', buffer[static_cast<size_t>(size)]) << "nothing written past the NUL";
    EXPECT_EQ(std::strlen(buffer.c_str()) + 1, static_cast<size_t>(size));
    return buffer.substr(0, static_cast<size_t>(size) - 1);
}

const char* const kWorkedExample = "sps_video_parameter_set_id = 0\n"
                                   "sps_max_sub_layers_minus1 = 0\n"
                                   "sps_temporal_id_nesting_flag = 1\n"
                                   "sps_seq_parameter_set_id = 0\n"
                                   "chroma_format_idc = 1\n"
                                   "pic_width_in_luma_samples = 1920\n"
                                   "pic_height_in_luma_samples = 1088\n"
                                   "conformance_window_flag = 1\n"
                                   "    conf_win_left_offset = 0\n"
                                   "    conf_win_right_offset = 0\n"
                                   "    conf_win_top_offset = 0\n"
                                   "    conf_win_bottom_offset = 4\n"
                                   "bit_depth_luma_minus8 = 0\n"
                                   "bit_depth_chroma_minus8 = 0\n"
                                   "log2_max_pic_order_cnt_lsb_minus4 = 4\n"
                                   "sps_sub_layer_ordering_info_present_flag = 1\n"
                                   "log2_min_luma_coding_block_size_minus3 = 0\n"
                                   "log2_diff_max_min_luma_coding_block_size = 3\n";

int LineCount(const std::string& text) {
    int lines = 0;
    for (char c : text)
        lines += c == '\n';
    return lines;
}

} // namespace

TEST(SpsListing, WorkedExampleFromAParsedSps) {
    SpsFields f;
    f.pic_height_in_luma_samples = 1088;
    f.conformance_window_flag = 1;
    f.conf_win_offsets[3] = 4;
    H265ParserPtr parser = MakeH265Parser();
    const Bytes sps = Nal(33, SpsRbsp(f));
    ASSERT_TRUE(parser->ParseSPS(sps.data(), static_cast<unsigned int>(sps.size())));
    EXPECT_EQ(584, parser->GetSPS()->Dump(nullptr));
    EXPECT_EQ(kWorkedExample, Listing(*parser->GetSPS()));
}

TEST(SpsListing, ConditionalLines) {
    struct Case {
        uint32_t chroma_format_idc, conformance_window_flag;
        int lines;
        bool separateColourPlaneLine;
    } cases[] = {{0, 0, 14, false}, {1, 0, 14, false}, {3, 0, 15, true}, {4, 0, 14, false},
                 {2, 1, 18, false}, {3, 1, 19, true}};
    for (const Case& c : cases) {
        CSPSInfo record;
        record.sps.chroma_format_idc = c.chroma_format_idc;
        record.sps.separate_colour_plane_flag = 1;
        record.sps.conformance_window_flag = c.conformance_window_flag;
        const std::string text = Listing(record);
        EXPECT_EQ(c.lines, LineCount(text)) << text;
        const std::string expectedPair = "chroma_format_idc = " + std::to_string(c.chroma_format_idc) +
                                         (c.separateColourPlaneLine ? "\nseparate_colour_plane_flag = 1\n" : "\npic_");
        EXPECT_NE(std::string::npos, text.find(expectedPair)) << text;
    }
}

TEST(SpsListing, SizesOfTheExtremes) {
    CSPSInfo zero;
    EXPECT_EQ(460, zero.Dump(nullptr));
    EXPECT_EQ(14, LineCount(Listing(zero)));

    CSPSInfo full;
    unsigned int* fields[] = {&full.sps.sps_video_parameter_set_id, &full.sps.sps_max_sub_layers_minus1,
                              &full.sps.sps_temporal_id_nesting_flag, &full.sps.sps_seq_parameter_set_id,
                              &full.sps.separate_colour_plane_flag, &full.sps.pic_width_in_luma_samples,
                              &full.sps.pic_height_in_luma_samples, &full.sps.conformance_window_flag,
                              &full.sps.conf_win_left_offset, &full.sps.conf_win_right_offset,
                              &full.sps.conf_win_top_offset, &full.sps.conf_win_bottom_offset,
                              &full.sps.bit_depth_luma_minus8, &full.sps.bit_depth_chroma_minus8,
                              &full.sps.log2_max_pic_order_cnt_lsb_minus4,
                              &full.sps.sps_sub_layer_ordering_info_present_flag,
                              &full.sps.log2_min_luma_coding_block_size_minus3,
                              &full.sps.log2_diff_max_min_luma_coding_block_size};
    for (unsigned int* field : fields)
        *field = 4294967295u;
    full.sps.chroma_format_idc = 3; // one digit: the largest listing has 19 lines, 18 of 10 digits
    const std::string text = Listing(full);
    EXPECT_EQ(19, LineCount(text));
    EXPECT_NE(std::string::npos, text.find("pic_width_in_luma_samples = 4294967295\n"));
    EXPECT_LE(full.Dump(nullptr), 780);
}

TEST(PpsListing, EveryFieldInOrder) {
    CPPSInfo zero;
    EXPECT_EQ(224, zero.Dump(nullptr));
    EXPECT_EQ("pps_pic_parameter_set_id = 0\n"
              "pps_seq_parameter_set_id = 0\n"
              "dependent_slice_segments_enabled_flag = 0\n"
              "output_flag_present_flag = 0\n"
              "num_extra_slice_header_bits = 0\n"
              "sign_data_hiding_enabled_flag = 0\n"
              "cabac_init_present_flag = 0\n",
              Listing(zero));

    H265ParserPtr parser = MakeH265Parser();
    const Bytes pps = Hex("00 00 01 44 01 C1 72");
    ASSERT_TRUE(parser->ParsePPS(pps.data(), static_cast<unsigned int>(pps.size())));
    const std::string text = Listing(*parser->GetPPS());
    EXPECT_NE(std::string::npos, text.find("sign_data_hiding_enabled_flag = 1\ncabac_init_present_flag = 0\n"));

    CPPSInfo full;
    full.pps.pps_pic_parameter_set_id = full.pps.pps_seq_parameter_set_id = 4294967295u;
    full.pps.dependent_slice_segments_enabled_flag = full.pps.output_flag_present_flag = 4294967295u;
    full.pps.num_extra_slice_header_bits = full.pps.sign_data_hiding_enabled_flag = 4294967295u;
    full.pps.cabac_init_present_flag = 4294967295u;
    EXPECT_EQ(287, full.Dump(nullptr));
}
