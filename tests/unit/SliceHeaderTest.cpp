#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "PictureParameterSet.h"
#include "SafeArithmetic.h"
#include "SliceHeader.h"
#include "SequenceParameterSet.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

SEQ_PARAMETER_SET Sps(uint32_t width, uint32_t height, uint32_t minus3, uint32_t diff) {
    SEQ_PARAMETER_SET sps;
    std::memset(&sps, 0, sizeof sps);
    sps.pic_width_in_luma_samples = width;
    sps.pic_height_in_luma_samples = height;
    sps.log2_min_luma_coding_block_size_minus3 = minus3;
    sps.log2_diff_max_min_luma_coding_block_size = diff;
    return sps;
}

// A parser whose SPS and PPS records come from real parses.
H265ParserPtr ParserWith(uint32_t width, uint32_t height, uint32_t dependentSlices, uint32_t extraBits) {
    H265ParserPtr parser = MakeH265Parser();
    SpsFields f;
    f.pic_width_in_luma_samples = width;
    f.pic_height_in_luma_samples = height;
    const Bytes sps = Nal(33, SpsRbsp(f));
    EXPECT_TRUE(parser->ParseSPS(sps.data(), static_cast<unsigned int>(sps.size())));
    BitWriter pps;
    pps.UE(0).UE(0).U(dependentSlices, 1).U(0, 1).U(extraBits, 3).U(0, 1).U(0, 1).TrailingBits();
    const Bytes ppsNal = Nal(34, pps.Data());
    EXPECT_TRUE(parser->ParsePPS(ppsNal.data(), static_cast<unsigned int>(ppsNal.size())));
    return parser;
}

} // namespace

struct AddressBitsCase {
    uint32_t width, height, minus3, diff;
    int expected;
};

TEST(SliceSegmentAddressBits, CeilLog2OfThePictureSizeInCtbs) {
    const AddressBitsCase cases[] = {
        {1920, 1080, 0, 3, 9},   // 30 x 17 = 510 CTBs
        {1280, 720, 0, 3, 8},    // 240 CTBs
        {352, 288, 1, 0, 9},     // CtbSizeY 16: 396 CTBs
        {4096, 2048, 0, 3, 11},  // 2048 CTBs, an exact power of two
        {64, 64, 0, 3, 0},       // one CTB: no bits
        {65, 64, 0, 3, 1},       // two CTBs
        {0, 0, 0, 0, -2147483647 - 1}, // 0 CTBs: log is -infinity
        {0, 1080, 0, 3, -2147483647 - 1},
        {1920, 1080, 28, 0, -2147483647 - 1}, // CtbLog2SizeY 31: CtbSizeY negative, 0 CTBs
        {1920, 1080, 29, 0, 0},  // CtbLog2SizeY 32: CtbSizeY 0, infinite CTB counts saturate
        {1920, 1080, 253, 0, 21}, // CtbLog2SizeY 256 is taken modulo 256: CtbSizeY 1
        {524288, 262144, 0, 0, 0}, // 65536 x 32768 CTBs wrap to a negative int: log is NaN
        {0xFFFFFFFFu, 0xFFFFFFFFu, 0, 0, -2147483647 - 1}, // 2^29 x 2^29 CTBs wrap to 0
    };
    for (const AddressBitsCase& c : cases) {
        EXPECT_EQ(c.expected, SliceSegmentAddressBits(Sps(c.width, c.height, c.minus3, c.diff)))
            << c.width << "x" << c.height << " log2 " << c.minus3 + 3 + c.diff;
    }
}

TEST(SliceSegmentAddressBits, MatchesCeilLog2OnEverySmallCtbCount) {
    // Against an integer Ceil(Log2()) for every picture size up to 256 x 256 CTBs of 16.
    for (uint32_t w = 1; w <= 256; w += 5) {
        for (uint32_t h = 1; h <= 256; h += 3) {
            const uint32_t ctbs = w * h;
            int ceilLog2 = 0;
            while ((1u << ceilLog2) < ctbs)
                ++ceilLog2;
            ASSERT_EQ(ceilLog2, SliceSegmentAddressBits(Sps(w * 16, h * 16, 1, 0))) << w << "x" << h;
        }
    }
}

struct SliceCase {
    const char* name;
    uint32_t dependentSlices;
    uint32_t extraBits;
    const char* bytes;
    bool result;
    int type;
    bool first;
};

inline void PrintTo(const SliceCase& c, std::ostream* out) { *out << c.name; }

class ParseSliceTypeTable : public ::testing::TestWithParam<SliceCase> {};

TEST_P(ParseSliceTypeTable, PictureTypeAndFirstSliceFlag) {
    const SliceCase& c = GetParam();
    H265ParserPtr parser = ParserWith(1920, 1080, c.dependentSlices, c.extraBits);
    const Bytes data = Hex(c.bytes);
    int type = -100;
    bool first = !c.first;
    EXPECT_EQ(c.result, parser->ParseSliceType(data.data(), static_cast<unsigned int>(data.size()), &type, &first));
    if (c.result) {
        EXPECT_EQ(c.type, type);
        EXPECT_EQ(c.first, first);
    } else {
        EXPECT_EQ(-100, type) << "nothing is written on false";
        EXPECT_EQ(!c.first, first);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Slices, ParseSliceTypeTable,
    ::testing::Values(
        SliceCase{"IdrWRadl", 0, 0, "00 00 00 01 26 01 AF", true, NALU_TYPE_I_FRAME, true},
        SliceCase{"TrailRP", 0, 0, "00 00 01 02 01 D0", true, NALU_TYPE_P_FRAME, true},
        SliceCase{"TrailRB", 0, 0, "00 00 01 02 01 E0", true, NALU_TYPE_B_FRAME, true},
        SliceCase{"TrailRI", 0, 0, "00 00 01 02 01 D8", true, NALU_TYPE_I_FRAME, true},
        // first 0, pps id 0, 9-bit address 15, slice_type P.
        SliceCase{"SecondSegmentAddress", 0, 0, "00 00 01 02 01 41 E8", true, NALU_TYPE_P_FRAME, false},
        // CRA reads no_output_of_prior_pics_flag and goes by slice_type.
        SliceCase{"CraI", 0, 0, "00 00 01 2A 01 AC", true, NALU_TYPE_I_FRAME, true},
        SliceCase{"CraP", 0, 0, "00 00 01 2A 01 A8", true, NALU_TYPE_P_FRAME, true},
        SliceCase{"IdrNLpI", 0, 0, "00 00 01 28 01 AC", true, NALU_TYPE_I_FRAME, true},
        SliceCase{"IdrWRadlAnySliceType", 0, 0, "00 00 01 26 01 A6", true, NALU_TYPE_I_FRAME, true},
        SliceCase{"SliceTypeOutOfRange", 0, 0, "00 00 01 02 01 C8", false, 0, true},
        // Two reserved flags (11) before slice_type P.
        SliceCase{"ExtraSliceHeaderBits", 0, 2, "00 00 01 02 01 F4", true, NALU_TYPE_P_FRAME, true},
        // Dependent slice segments carry no slice_type: no verdict but for IDR_W_RADL.
        SliceCase{"DependentTrailR", 1, 0, "00 00 01 02 01 60 78", false, 0, false},
        SliceCase{"DependentIdrWRadl", 1, 0, "00 00 01 26 01 30 3C", true, NALU_TYPE_I_FRAME, false},
        // With dependent slices enabled, an independent second segment.
        SliceCase{"IndependentSecondSegment", 1, 0, "00 00 01 02 01 40 F4", true, NALU_TYPE_P_FRAME, false},
        SliceCase{"NonVclUnitsPassedOver", 0, 0,
                  "00 00 00 01 40 01 0C 00 00 01 42 01 01 00 00 01 44 01 C1 00 00 01 4E 01 05 00 00 01 46 01 50 "
                  "00 00 01 02 01 D0",
                  true, NALU_TYPE_P_FRAME, true},
        SliceCase{"OnlyParameterSets", 0, 0, "00 00 01 40 01 0C 00 00 01 44 01 C1 72", false, 0, true},
        SliceCase{"VclHeaderAtTheEnd", 0, 0, "00 00 01 44 01 C1 00 00 01 02 01", false, 0, true},
        SliceCase{"Short", 0, 0, "00 00 01 02", false, 0, true}),
    [](const ::testing::TestParamInfo<SliceCase>& info) { return std::string(info.param.name); });

TEST(ParseSliceType, PreconditionsWriteNothing) {
    const Bytes slice = Hex("00 00 01 02 01 D0");
    const unsigned int len = static_cast<unsigned int>(slice.size());
    int type = -100;
    bool first = false;

    H265ParserPtr noRecords = MakeH265Parser();
    EXPECT_FALSE(noRecords->ParseSliceType(slice.data(), len, &type, &first));
    noRecords->ParsePPS(slice.data(), len);
    EXPECT_FALSE(noRecords->ParseSliceType(slice.data(), len, &type, &first)) << "no SPS record";

    H265ParserPtr noPps = MakeH265Parser();
    noPps->ParseSPS(nullptr, 0);
    EXPECT_FALSE(noPps->ParseSliceType(slice.data(), len, &type, &first)) << "no PPS record";

    H265ParserPtr parser = ParserWith(1920, 1080, 0, 0);
    EXPECT_FALSE(parser->ParseSliceType(nullptr, len, &type, &first));
    EXPECT_FALSE(parser->ParseSliceType(slice.data(), 0, &type, &first));
    EXPECT_FALSE(parser->ParseSliceType(slice.data(), len, nullptr, &first));
    EXPECT_EQ(-100, type);
    EXPECT_TRUE(parser->ParseSliceType(slice.data(), len, &type, nullptr));
    EXPECT_EQ(NALU_TYPE_P_FRAME, type);
}

TEST(ParseSliceType, ZeroRecordsStillWork) {
    // After failed parses both records are all zero: CtbSizeY 8 and 0 x 0
    // CTBs, so a second segment reads no address bits.
    H265ParserPtr parser = MakeH265Parser();
    parser->ParseSPS(nullptr, 0);
    parser->ParsePPS(nullptr, 0);
    const Bytes slice = Hex("00 00 01 02 01 50"); // first 0, pps id 0, slice_type P
    int type = -1;
    bool first = true;
    EXPECT_TRUE(parser->ParseSliceType(slice.data(), static_cast<unsigned int>(slice.size()), &type, &first));
    EXPECT_EQ(NALU_TYPE_P_FRAME, type);
    EXPECT_FALSE(first);
}

TEST(ParseSliceType, DataEndingEarlySignalsEndOfDataAndWritesNothing) {
    H265ParserPtr parser = ParserWith(1920, 1080, 0, 3);
    const Bytes slice = Hex("00 00 01 02 01 C0"); // first 1, pps id 0, 3 reserved flags, slice_type runs out
    int type = -100;
    bool first = false;
    EXPECT_END_OF_DATA(parser->ParseSliceType(slice.data(), static_cast<unsigned int>(slice.size()), &type, &first));
    EXPECT_EQ(-100, type);
    EXPECT_FALSE(first);
}

namespace {

// The width as first defined: every step in double precision.
int DoubleAddressBits(const SEQ_PARAMETER_SET& sps) {
    const unsigned int s = (sps.log2_min_luma_coding_block_size_minus3 + 3u + sps.log2_diff_max_min_luma_coding_block_size) & 0xFFu;
    const int CtbSizeY = s < 31 ? 1 << s : s == 31 ? -2147483647 - 1 : 0;
    const double d = static_cast<double>(CtbSizeY);
    auto divide = [d](unsigned int samples) {
        const double x = static_cast<double>(samples);
        if (d == 0.0)
            return x > 0.0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
        return x / d;
    };
    const int h = SaturatingDoubleToInt(std::ceil(divide(sps.pic_height_in_luma_samples)));
    const int w = SaturatingDoubleToInt(std::ceil(divide(sps.pic_width_in_luma_samples)));
    const int n = ToSignedInt32(static_cast<unsigned int>(w) * static_cast<unsigned int>(h));
    return SaturatingDoubleToInt(std::ceil(std::log(static_cast<double>(n)) / std::log(2.0)));
}

} // namespace

TEST(SliceSegmentAddressBits, IntegerLogMatchesTheDoubleExpressionAtTheEdges) {
    // All 2^32 values were compared once (see CeilLog2OfCtbCount); here the
    // powers of two and their neighbours, the ends of the range and a sample.
    std::vector<int> values = {0, -1, -2, 2147483647, -2147483647 - 1};
    for (int k = 0; k < 31; ++k) {
        values.push_back(1 << k);
        values.push_back((1 << k) - 1);
        values.push_back((1 << k) + 1);
        values.push_back(-(1 << k));
    }
    uint32_t state = 11;
    for (int i = 0; i < 100000; ++i) {
        state = state * 1664525u + 1013904223u;
        values.push_back(ToSignedInt32(state));
        values.push_back(static_cast<int>(state >> (state % 31)));
    }
    for (int n : values)
        ASSERT_EQ(SaturatingDoubleToInt(std::ceil(std::log(static_cast<double>(n)) / std::log(2.0))),
                  CeilLog2OfCtbCount(n))
            << "PicSizeInCtbsY " << n;
}

TEST(SliceSegmentAddressBits, MatchesTheDoubleDefinitionOnRandomSpsFields) {
    uint32_t state = 12;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state;
    };
    for (int i = 0; i < 200000; ++i) {
        const uint32_t r = next();
        const uint32_t width = r % 4 == 0 ? next() : next() % 10000;
        const uint32_t height = r % 8 == 1 ? next() : next() % 10000;
        const uint32_t minus3 = r % 16 == 2 ? next() : next() % 5;
        const uint32_t diff = r % 16 == 3 ? next() : next() % 5;
        const SEQ_PARAMETER_SET sps = Sps(width, height, minus3, diff);
        ASSERT_EQ(DoubleAddressBits(sps), SliceSegmentAddressBits(sps))
            << width << "x" << height << " log2 " << minus3 << " + 3 + " << diff;
    }
}

TEST(ParseSliceType, FirstWordAgreesWithTheBitReader) {
    // ParseSlicePictureType answers most first slice segments from the first
    // 32 bits of the payload; ReadSlicePictureType reads the same unit with
    // the bit reader. Random short payloads, rich in zero bytes so that long
    // Exp-Golomb codes and data ending inside a code come up.
    const SEQ_PARAMETER_SET sps = Sps(1920, 1080, 0, 3);
    PIC_PARAMETER_SET pps;
    std::memset(&pps, 0, sizeof pps);
    uint32_t state = 13;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int trial = 0; trial < 100000; ++trial) {
        pps.dependent_slice_segments_enabled_flag = next() & 1;
        pps.num_extra_slice_header_bits = next() % 4 == 0 ? next() % 3 : 0;
        // Every VCL nal_unit_type: the IRAP ones (16..23, the reserved 22 and 23
        // included) carry no_output_of_prior_pics_flag.
        Bytes data = {0, 0, 1, static_cast<unsigned char>((next() % 32) << 1), 1};
        for (uint32_t n = 1 + next() % 6; n > 0; --n)
            data.push_back(next() % 3 == 0 ? 0 : static_cast<unsigned char>(next()));
        auto verdict = [&](bool fromWindow) {
            int type = -1;
            bool first = false;
            try {
                const bool ok = fromWindow ? ParseSlicePictureType(data.data(), static_cast<unsigned int>(data.size()),
                                                                   sps, pps, &type, &first)
                                           : ReadSlicePictureType(data.data() + 3, data.data() + data.size(), sps, pps,
                                                                  &type, &first);
                return std::to_string(ok) + " " + std::to_string(type) + " " + std::to_string(first);
            } catch (int signal) {
                return "signal " + std::to_string(signal);
            }
        };
        ASSERT_EQ(verdict(false), verdict(true)) << "trial " << trial;
    }
}
