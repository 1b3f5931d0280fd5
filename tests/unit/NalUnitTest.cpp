#include <random>

#include "NalUnit.h"
#include "ReferenceRules.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

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

TEST(NaluTypeCodes, AgreeWithTheRulesForEveryNalUnitType) {
    for (int t = 0; t < 64; ++t)
        EXPECT_EQ(ReferenceNaluTypeCode(t), NaluTypeCode(t)) << "nal_unit_type " << t;
}

namespace {

// The bytes UnescapeNalPayload may write to: the unit less its header.
size_t PayloadRoom(const Bytes& nal) { return nal.size() > 2 ? nal.size() - 2 : 0; }

} // namespace

TEST(UnescapeNalPayload, DropsEmulationPreventionBytesAndTheHeader) {
    struct Case {
        const char* nal; // two header bytes, then the payload as coded
        const char* rbsp;
    } cases[] = {
        {"42 01 00 00 03 01", "00 00 01"},
        {"42 01 00 00 03 00 00 03", "00 00 00 00"}, // the byte after a dropped 03 is examined afresh
        {"42 01 F3 00 00 03", "F3 00 00"},          // a final 03 after two zeros is dropped
        {"42 01 00 03 00 00 03 03", "00 03 00 00 03"},
        {"42 01 00 00 00 03", "00 00 00"},
        {"42 01 00 00", "00 00"},
        {"42 01", ""},
        {"42", ""},
    };
    for (const Case& c : cases) {
        const Bytes nal = Hex(c.nal);
        Bytes out(nal.size() + 1, 0xEE);
        const unsigned int written = UnescapeNalPayload(nal.data(), static_cast<unsigned int>(nal.size()), out.data());
        EXPECT_EQ(Hex(c.rbsp), Bytes(out.begin(), out.begin() + written)) << c.nal;
        EXPECT_EQ(0xEE, out[PayloadRoom(nal)]) << "nothing written past size - 2: " << c.nal;
    }
}

TEST(UnescapeNalPayload, AgreesWithTheByteRuleOnRandomUnits) {
    // The rule written out: from position 2, a 00 00 03 whose 03 lies within
    // the unit gives 00 00, and the byte after it is examined afresh.
    auto literal = [](const Bytes& nal) {
        Bytes out;
        size_t i = 2;
        while (i < nal.size()) {
            if (i + 2 < nal.size() && nal[i] == 0 && nal[i + 1] == 0 && nal[i + 2] == 3) {
                out.push_back(0);
                out.push_back(0);
                i += 3;
            } else {
                out.push_back(nal[i++]);
            }
        }
        return out;
    };
    uint32_t state = 99;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    // With 02, 00 00 02 03 comes up: its 03 is no emulation_prevention_three_byte.
    const unsigned char alphabet[] = {0x00, 0x00, 0x00, 0x03, 0x03, 0x01, 0x02, 0x42, 0xFF};
    for (int trial = 0; trial < 200000; ++trial) {
        Bytes nal(next() % 40);
        for (unsigned char& b : nal)
            b = alphabet[next() % sizeof alphabet];
        const Bytes expected = literal(nal);
        Bytes out(nal.size() + 1, 0xEE);
        const unsigned int written = UnescapeNalPayload(nal.data(), static_cast<unsigned int>(nal.size()), out.data());
        ASSERT_EQ(expected, Bytes(out.begin(), out.begin() + written)) << "trial " << trial;
        ASSERT_EQ(0xEE, out[PayloadRoom(nal)]) << "nothing written past size - 2, trial " << trial;
    }
}
