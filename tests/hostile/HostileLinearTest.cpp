// Pathological inputs whose work must stay linear in their length: 16 MB of
// zero bytes, a 16 MB SEI before the first picture, an SPS of 16 MB of zero
// bits and a million tiny NAL units. Each test is its own ctest test with a
// TIMEOUT (tests/Hostile.cmake): linear work takes well under a second
// natively, quadratic work on these sizes would not finish.
#include <random>

#include "HostileSupport.h"
#include "TestSupport.h"

namespace {

const size_t k16MB = 16u << 20;

int Len(const Bytes& b) { return static_cast<int>(b.size()); }
unsigned int ULen(const Bytes& b) { return static_cast<unsigned int>(b.size()); }

Bytes Vps() { return Nal(32, Hex("0C 01 FF FF 01 60 00 00 03 00 00 03 00 00 03 00 00 03 00 5D AC 09")); }
Bytes Sps() {
    SpsFields f;
    f.pic_width_in_luma_samples = 352;
    f.pic_height_in_luma_samples = 288;
    return Nal(33, SpsRbsp(f));
}
Bytes Pps() { return Nal(34, Hex("C1 72 B4 62 40")); }
// IDR_W_RADL and a TRAIL_R P slice, both first in their picture.
Bytes IdrSlice() { return Nal(19, Hex("AF 80 00 12")); }
Bytes PSlice() { return Nal(1, Hex("D0 00 12")); }

// A prefix SEI NAL unit whose payload is `size` bytes of the given kind,
// emulation prevention included.
Bytes Sei(size_t size, int kind) {
    Bytes rbsp(size);
    if (kind == 0) {
        std::mt19937 random(7);
        for (unsigned char& c : rbsp)
            c = static_cast<unsigned char>(random());
    } else {
        std::fill(rbsp.begin(), rbsp.end(), 0); // every third byte becomes an 03
    }
    return Nal(39, rbsp);
}

Bytes Repeat(const Bytes& unit, size_t times) {
    Bytes out;
    out.reserve(unit.size() * times);
    for (size_t i = 0; i < times; ++i)
        out.insert(out.end(), unit.begin(), unit.end());
    return out;
}

// A parser with SPS and PPS records for the slice headers above.
H265ParserPtr ParserWithRecords() {
    H265ParserPtr parser = MakeH265Parser();
    const Bytes ps = Concat({Sps(), Pps()});
    EXPECT_TRUE(parser->ParseSPS(ps.data(), ULen(ps)));
    EXPECT_TRUE(parser->ParsePPS(ps.data(), ULen(ps)));
    return parser;
}

} // namespace

TEST(Linear, SixteenMegabytesOfZeroBytes) {
    const Bytes zeros(k16MB, 0);
    HeaderParserPtr header = MakeHeaderParser();
    EXPECT_EQ(-1, header->GetNaluType(zeros.data(), Len(zeros)));
    EXPECT_EQ(0, header->IsKeyFrame(zeros.data(), Len(zeros)));
    EXPECT_FALSE(header->HasParameterSets(zeros.data(), Len(zeros)));
    int width = -1, height = -1;
    EXPECT_TRUE(header->GetResolution(zeros.data(), Len(zeros), &width, &height));
    EXPECT_EQ(0, width);
    EXPECT_EQ(0, height);
    H265ParserPtr parser = ParserWithRecords();
    int type = -1;
    EXPECT_FALSE(parser->ParseNaluType(zeros.data(), ULen(zeros), &type));
    EXPECT_FALSE(parser->ParseSliceType(zeros.data(), ULen(zeros), &type, nullptr));
    EXPECT_FALSE(parser->ParseSPS(zeros.data(), ULen(zeros)));
    EXPECT_FALSE(parser->ParsePPS(zeros.data(), ULen(zeros)));
}

struct SeiCase {
    const char* name;
    bool seiFirst; // the SEI before the parameter sets, else between them and the picture
    int kind;      // 0: random bytes, 1: zero bytes (00 00 03 runs)
};

inline void PrintTo(const SeiCase& c, std::ostream* out) { *out << c.name; }

class SixteenMegabyteSei : public ::testing::TestWithParam<SeiCase> {};

TEST_P(SixteenMegabyteSei, BeforeTheFirstPicture) {
    const SeiCase c = GetParam();
    const Bytes sei = Sei(k16MB, c.kind);
    const Bytes stream = c.seiFirst ? Concat({sei, Vps(), Sps(), Pps(), IdrSlice()})
                                    : Concat({Vps(), Sps(), Pps(), sei, IdrSlice()});
    HeaderParserPtr header = MakeHeaderParser();
    EXPECT_TRUE(header->HasParameterSets(stream.data(), Len(stream)));
    int width = 0, height = 0;
    EXPECT_TRUE(header->GetResolution(stream.data(), Len(stream), &width, &height));
    EXPECT_EQ(352, width);
    EXPECT_EQ(288, height);
    EXPECT_EQ(c.seiFirst ? NALU_TYPE_SEI_PREFIX : NALU_TYPE_VPS, header->GetNaluType(stream.data(), Len(stream)));
    H265ParserPtr parser = MakeH265Parser();
    ASSERT_TRUE(parser->ParseSPS(stream.data(), ULen(stream)));
    ASSERT_TRUE(parser->ParsePPS(stream.data(), ULen(stream)));
    int type = -1;
    bool first = false;
    EXPECT_TRUE(parser->ParseSliceType(stream.data(), ULen(stream), &type, &first));
    EXPECT_EQ(NALU_TYPE_I_FRAME, type);
    EXPECT_TRUE(first);
}

INSTANTIATE_TEST_SUITE_P(Layouts, SixteenMegabyteSei,
                         ::testing::Values(SeiCase{"RandomAfterParameterSets", false, 0},
                                           SeiCase{"ZerosAfterParameterSets", false, 1},
                                           SeiCase{"RandomFirst", true, 0}, SeiCase{"ZerosFirst", true, 1}),
                         [](const ::testing::TestParamInfo<SeiCase>& info) { return info.param.name; });

TEST(Linear, SpsOfSixteenMegabytesOfZeroBits) {
    // As it is (no start code can form in zero bytes) and with emulation
    // prevention (00 00 03 repeated, which unescapes to zero bytes).
    const Bytes raw = Concat({Hex("00 00 01 42 01"), Bytes(k16MB, 0)});
    const Bytes escaped = Nal(33, Bytes(k16MB, 0));
    for (const Bytes* sps : {&raw, &escaped}) {
        H265ParserPtr parser = MakeH265Parser();
        EXPECT_END_OF_DATA(parser->ParseSPS(sps->data(), ULen(*sps)));
        HeaderParserPtr header = MakeHeaderParser();
        int width = 0, height = 0;
        EXPECT_END_OF_DATA(header->GetResolution(sps->data(), Len(*sps), &width, &height));
    }
}

TEST(Linear, AMillionTinyNalUnits) {
    // A million access unit delimiters before the parameter sets and the picture.
    const Bytes delimiters = Repeat(Hex("00 00 01 46 01 50"), 1000000);
    const Bytes stream = Concat({delimiters, Vps(), Sps(), Pps(), PSlice()});
    HeaderParserPtr header = MakeHeaderParser();
    EXPECT_TRUE(header->HasParameterSets(stream.data(), Len(stream)));
    EXPECT_EQ(NALU_TYPE_OTHER, header->GetNaluType(stream.data(), Len(stream)));
    EXPECT_EQ(0, header->IsKeyFrame(stream.data(), Len(stream)));
    int width = 0, height = 0;
    EXPECT_TRUE(header->GetResolution(stream.data(), Len(stream), &width, &height));
    EXPECT_EQ(352, width);
    H265ParserPtr parser = MakeH265Parser();
    ASSERT_TRUE(parser->ParseSPS(stream.data(), ULen(stream)));
    ASSERT_TRUE(parser->ParsePPS(stream.data(), ULen(stream)));
    int type = -1;
    EXPECT_TRUE(parser->ParseSliceType(stream.data(), ULen(stream), &type, nullptr));
    EXPECT_EQ(NALU_TYPE_P_FRAME, type);

    // A million tiny slices (3-byte start codes back to back) before an SPS:
    // no parameter sets before the first picture, but the SPS is still found.
    const Bytes slices = Concat({Repeat(Hex("00 00 01 02 01"), 1000000), Sps()});
    EXPECT_FALSE(header->HasParameterSets(slices.data(), Len(slices)));
    EXPECT_TRUE(header->GetResolution(slices.data(), Len(slices), &width, &height));
    EXPECT_EQ(288, height);
    EXPECT_FALSE(parser->ParseSliceType(slices.data(), ULen(slices), &type, nullptr)) << "no payload after the header";
}
