// The whole SPS: each value out of its range gives its message, truncation at
// every byte of real SPS NAL units names an element and never reads outside
// the unit, and sub-layer ordering values not coded come from the highest.
#include <fcntl.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "BitWriter.h"
#include "NalUnitReader.h"
#include "SpsSyntax.h"

namespace {

using h265tools::SpsSyntax;
using h265tools::SyntaxError;

struct Values {
    unsigned max_sub_layers_minus1 = 0, ordering_present = 1, sps_id = 0, chroma_format_idc = 1;
    unsigned bit_depth_luma_minus8 = 0, log2_poc_minus4 = 4, short_term_sets = 1;
    unsigned long_term_present = 0, long_term_pics = 0;
};

// seq_parameter_set_rbsp( ) of a 64x64 picture with `v`'s values.
Bytes SpsUnit(const Values& v) {
    BitWriter w;
    w.U(0, 4).U(v.max_sub_layers_minus1, 3).U(1, 1);
    w.U(1, 8).U(0x60000000, 32).U(0x9, 4).U(0, 43).U(0, 1).U(93, 8); // Main, level 3.1
    for (unsigned i = 0; i < v.max_sub_layers_minus1; i++)
        w.U(0, 2);
    if (v.max_sub_layers_minus1 > 0)
        w.U(0, 2 * (8 - static_cast<int>(v.max_sub_layers_minus1)));
    w.UE(v.sps_id).UE(v.chroma_format_idc).UE(64).UE(64).U(0, 1);
    w.UE(v.bit_depth_luma_minus8).UE(0).UE(v.log2_poc_minus4).U(v.ordering_present, 1);
    for (unsigned i = v.ordering_present ? 0 : v.max_sub_layers_minus1; i <= v.max_sub_layers_minus1; i++)
        w.UE(4 + i).UE(2 + i).UE(i);
    w.UE(0).UE(3).UE(0).UE(3).UE(0).UE(0).U(0, 4); // block sizes; scaling lists, AMP, SAO, PCM off
    w.UE(v.short_term_sets);
    for (unsigned i = 0; i < v.short_term_sets && i < 2; i++) {
        if (i != 0)
            w.U(0, 1);
        w.UE(1).UE(0).UE(0).U(1, 1);
    }
    w.U(v.long_term_present, 1);
    if (v.long_term_present) {
        w.UE(v.long_term_pics);
        for (unsigned i = 0; i < v.long_term_pics && i < 2; i++)
            w.U(i, static_cast<int>(v.log2_poc_minus4) + 4).U(1, 1);
    }
    w.U(1, 1).U(1, 1).U(0, 1).U(0, 1).TrailingBits();
    const Bytes nal = Nal(33, w.Data(), 3);
    return Bytes(nal.begin() + 3, nal.end());
}

TEST(SpsSyntax, BadValuesNameTheElement) {
    struct Case {
        std::function<void(Values&)> change;
        const char* message;
    };
    const Case cases[] = {
        {[](Values& v) { v.short_term_sets = 70; }, "num_short_term_ref_pic_sets 70 is above 64"},
        {[](Values& v) { v.log2_poc_minus4 = 13; }, "log2_max_pic_order_cnt_lsb_minus4 13 is above 12"},
        {[](Values& v) { v.sps_id = 16; }, "sps_seq_parameter_set_id 16 is above 15"},
        {[](Values& v) { v.max_sub_layers_minus1 = 7; }, "sps_max_sub_layers_minus1 7 is above 6"},
        {[](Values& v) { v.long_term_present = 1; v.long_term_pics = 33; }, "num_long_term_ref_pics_sps 33 is above 32"},
        {[](Values& v) { v.bit_depth_luma_minus8 = 9; }, "bit_depth_luma_minus8 9 is above 8"},
        {[](Values& v) { v.chroma_format_idc = 4; }, "chroma_format_idc 4 is above 3"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        Values v;
        c.change(v);
        const Bytes unit = SpsUnit(v);
        SpsSyntax sps;
        try {
            ReadSps(unit.data(), unit.size(), sps);
            ADD_FAILURE() << "no error";
        } catch (const SyntaxError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

TEST(SpsSyntax, SubLayerOrderingInferredFromTheHighest) {
    Values v;
    v.max_sub_layers_minus1 = 2;
    v.ordering_present = 0;
    v.long_term_present = 1;
    v.long_term_pics = 2;
    v.short_term_sets = 2;
    const Bytes unit = SpsUnit(v);
    SpsSyntax sps;
    ReadSps(unit.data(), unit.size(), sps);
    for (unsigned i = 0; i <= 2; i++) {
        EXPECT_EQ(sps.sps_max_dec_pic_buffering_minus1[i], 6u);
        EXPECT_EQ(sps.sps_max_num_reorder_pics[i], 4u);
        EXPECT_EQ(sps.sps_max_latency_increase_plus1[i], 2u);
    }
    EXPECT_EQ(sps.num_long_term_ref_pics_sps, 2u);
    EXPECT_EQ(sps.lt_ref_pic_poc_lsb_sps[1], 1u);
    EXPECT_EQ(sps.st_ref_pic_set[1].DeltaPocS0[0], -1);
    EXPECT_TRUE(sps.sps_temporal_mvp_enabled_flag);
    EXPECT_FALSE(sps.vui_parameters_present_flag);
    EXPECT_EQ(sps.vui.matrix_coeffs, 2u); // E.3.1: unspecified when absent
    EXPECT_EQ(sps.vui.video_format, 5u);
}

// The first SPS NAL unit of a corpus stream, from its NAL unit header on.
Bytes FirstSps(const std::string& name) {
    Bytes sps;
    const int fd = ::open((std::string(H265_TEST_DATA_DIR) + "/" + name).c_str(), O_RDONLY);
    if (fd < 0)
        return sps;
    h265tools::NalUnitReader reader(fd);
    h265tools::NalUnitView unit;
    while (sps.empty() && reader.Next(unit)) {
        const unsigned char* nal = unit.data + unit.startCodeLength;
        if (unit.size > static_cast<std::size_t>(unit.startCodeLength) + 1 && ((nal[0] >> 1) & 0x3F) == 33)
            sps.assign(nal, unit.data + unit.size);
    }
    ::close(fd);
    return sps;
}

TEST(SpsSyntax, TruncationAtEveryByteNamesAnElement) {
    // "ends before ELEMENT (truncated)", ELEMENT a syntax element's name.
    const auto namesAnElement = [](const std::string& what) {
        const std::string head = "ends before ", tail = " (truncated)";
        if (what.size() <= head.size() + tail.size() || what.compare(0, head.size(), head) != 0 ||
            what.compare(what.size() - tail.size(), tail.size(), tail) != 0)
            return false;
        const std::string name = what.substr(head.size(), what.size() - head.size() - tail.size());
        return name.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == std::string::npos;
    };
    for (const char* name : {"x265_64x64_hdr10_main10.hevc", "x265_64x64_scaling_lists.hevc",
                             "x265_160x96_repeat_headers_hrd.hevc", "kvazaar_320x240_tiles.265"}) {
        SCOPED_TRACE(name);
        const Bytes full = FirstSps(name);
        ASSERT_GT(full.size(), 10u);
        SpsSyntax whole;
        ReadSps(full.data(), full.size(), whole);
        std::size_t firstComplete = full.size();
        for (std::size_t size = 0; size < full.size(); size++) {
            // An exact-size heap block: a read past it shows under AddressSanitizer.
            std::unique_ptr<unsigned char[]> cut(new unsigned char[size + 1]);
            std::copy(full.begin(), full.begin() + static_cast<long>(size), cut.get());
            SpsSyntax sps;
            try {
                ReadSps(cut.get(), size, sps);
                firstComplete = std::min(firstComplete, size);
                EXPECT_EQ(sps.vui.vui_time_scale, whole.vui.vui_time_scale);
            } catch (const SyntaxError& e) {
                EXPECT_TRUE(namesAnElement(e.what())) << size << ": " << e.what();
                EXPECT_LT(size, full.size());
                EXPECT_EQ(firstComplete, full.size()) << "complete at " << firstComplete << ", not at " << size;
            }
        }
        // Only rbsp_trailing_bits( ) may be missing from a complete reading.
        EXPECT_GE(firstComplete + 1, full.size());
    }
}

} // namespace
