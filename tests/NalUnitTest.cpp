#include <random>

#include "NalUnit.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

// The byte rules of the scanner written out literally, as the reference.
const unsigned char* ReferenceFindStartCode(const unsigned char* data, int len, int wanted) {
    if (len - 4 <= 0)
        return 0;
    for (int i = 0; i <= len - 5; ++i) {
        if (data[i] != 0 || data[i + 1] != 0)
            continue;
        int header;
        if (data[i + 2] == 0) {
            if (data[i + 3] != 1)
                continue;
            header = data[i + 4];
        } else if (data[i + 2] == 1) {
            header = data[i + 3];
        } else {
            continue;
        }
        if (wanted < 0 || ((header >> 1) & 0x3F) == wanted)
            return data + i;
    }
    return 0;
}

struct ClassifyCase {
    const char* name;
    const char* bytes;
    bool found;
    int code;
};

inline void PrintTo(const ClassifyCase& c, std::ostream* out) { *out << c.name; }

} // namespace

class ParseNaluTypeTable : public ::testing::TestWithParam<ClassifyCase> {};

TEST_P(ParseNaluTypeTable, ClassifiesTheFirstNalUnit) {
    const ClassifyCase& c = GetParam();
    const Bytes data = Hex(c.bytes);
    H265ParserPtr parser = MakeH265Parser();
    int code = -100;
    EXPECT_EQ(c.found, parser->ParseNaluType(data.data(), static_cast<unsigned int>(data.size()), &code));
    EXPECT_EQ(c.found ? c.code : -100, code) << "nothing is written when no start code is found";
}

INSTANTIATE_TEST_SUITE_P(
    Bytes, ParseNaluTypeTable,
    ::testing::Values(ClassifyCase{"FourBytes", "00 00 00 01", false, 0},
                      ClassifyCase{"VpsFourByteStartCode", "00 00 00 01 40", true, NALU_TYPE_VPS},
                      ClassifyCase{"VpsThreeByteStartCode", "00 00 01 40 01", true, NALU_TYPE_VPS},
                      ClassifyCase{"StartCodeBeyondLastPosition", "AA 00 00 01 40", false, 0},
                      ClassifyCase{"Sps", "00 00 00 01 42 01", true, NALU_TYPE_SPS},
                      ClassifyCase{"Pps", "00 00 01 44 01", true, NALU_TYPE_PPS},
                      ClassifyCase{"PrefixSei", "00 00 01 4E 01", true, NALU_TYPE_SEI_PREFIX},
                      ClassifyCase{"SuffixSei", "00 00 01 50 01", true, NALU_TYPE_SEI_SUFFIX},
                      ClassifyCase{"Aud", "00 00 01 46 01", true, NALU_TYPE_OTHER},
                      ClassifyCase{"Eos", "00 00 01 48 01", true, NALU_TYPE_OTHER},
                      ClassifyCase{"Reserved48", "00 00 01 60 01", true, NALU_TYPE_OTHER},
                      ClassifyCase{"Unspecified63", "00 00 01 7E 01", true, NALU_TYPE_OTHER},
                      ClassifyCase{"IdrWRadl", "00 00 01 26 01", true, NALU_TYPE_I_FRAME},
                      ClassifyCase{"IdrNLp", "00 00 01 28 01", true, NALU_TYPE_SLICE},
                      ClassifyCase{"CraNut", "00 00 01 2A 01", true, NALU_TYPE_SLICE},
                      ClassifyCase{"BlaWLp", "00 00 01 20 01", true, NALU_TYPE_SLICE},
                      ClassifyCase{"TrailN", "00 00 01 00 01", true, NALU_TYPE_SLICE},
                      ClassifyCase{"TrailR", "00 00 01 02 01", true, NALU_TYPE_SLICE},
                      ClassifyCase{"ReservedVcl31", "00 00 01 3E 01", true, NALU_TYPE_SLICE},
                      ClassifyCase{"ForbiddenZeroBitIgnored", "00 00 01 C0 01", true, NALU_TYPE_VPS},
                      ClassifyCase{"LeadingGarbageSkipped", "12 34 00 00 01 42 01", true, NALU_TYPE_SPS},
                      ClassifyCase{"ExtraZerosBeforeStartCode", "00 00 00 00 00 01 44 01", true, NALU_TYPE_PPS},
                      ClassifyCase{"NoStartCode", "01 02 03 04 05 06 07 08", false, 0},
                      ClassifyCase{"ZerosOnly", "00 00 00 00 00 00 00 00", false, 0}),
    [](const ::testing::TestParamInfo<ClassifyCase>& info) { return std::string(info.param.name); });

TEST(ParseNaluType, NullArgumentsGiveFalse) {
    H265ParserPtr parser = MakeH265Parser();
    const Bytes data = Hex("00 00 01 40 01");
    int code = -100;
    EXPECT_FALSE(parser->ParseNaluType(0, 5, &code));
    EXPECT_FALSE(parser->ParseNaluType(data.data(), 5, 0));
    EXPECT_EQ(-100, code);
}

TEST(FindStartCode, ReportsPositionsOfTheWantedType) {
    const Bytes data = Concat({Nal(32, Hex("0C 01")), Nal(33, Hex("01 02"), 3), Nal(34, Hex("C1 72"))});
    const unsigned char* vps = FindStartCode(data.data(), static_cast<int>(data.size()), 32);
    const unsigned char* sps = FindStartCode(data.data(), static_cast<int>(data.size()), 33);
    const unsigned char* pps = FindStartCode(data.data(), static_cast<int>(data.size()), 34);
    EXPECT_EQ(data.data(), vps);
    EXPECT_EQ(data.data() + 8, sps);  // 3-byte start code at its first zero
    EXPECT_EQ(data.data() + 15, pps); // 4-byte start code at its first zero
    EXPECT_EQ(nullptr, FindStartCode(data.data(), static_cast<int>(data.size()), 39));
}

TEST(FindStartCode, LastPositionTriedIsLengthMinusFive) {
    // A 3-byte start code beginning at len - 5 is found, one at len - 4 is not.
    EXPECT_NE(nullptr, FindStartCode(Hex("AA 00 00 01 40 01").data(), 6, -1));
    EXPECT_EQ(nullptr, FindStartCode(Hex("AA AA 00 00 01 40").data(), 6, -1));
    // More than three zeros: reported where the last three zeros begin.
    const Bytes zeros = Hex("00 00 00 00 00 01 40 01");
    EXPECT_EQ(zeros.data() + 2, FindStartCode(zeros.data(), 8, -1));
}

TEST(FindStartCode, AgreesWithTheLiteralByteRulesOnRandomBuffers) {
    std::mt19937 rng(12345);
    // Bytes drawn mostly from {00, 01, header bytes} so that start codes,
    // near-misses and long zero runs are frequent.
    const unsigned char alphabet[] = {0x00, 0x00, 0x00, 0x01, 0x40, 0x42, 0x44, 0x26, 0x03, 0xFF};
    for (int trial = 0; trial < 20000; ++trial) {
        const int len = static_cast<int>(rng() % 48);
        Bytes buffer(static_cast<size_t>(len) + 1);
        for (int i = 0; i < len; ++i)
            buffer[static_cast<size_t>(i)] = alphabet[rng() % sizeof alphabet];
        const int wanted = static_cast<int>(rng() % 6) == 0 ? -1 : static_cast<int>(rng() % 4) + 31;
        ASSERT_EQ(ReferenceFindStartCode(buffer.data(), len, wanted), FindStartCode(buffer.data(), len, wanted))
            << "trial " << trial;
    }
}
