#include <random>

#include "NalUnit.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

int Len(const Bytes& data) { return static_cast<int>(data.size()); }

Bytes Vps() { return Nal(32, Hex("0C 01 FF FF 01 60")); }
Bytes Sps() { return Nal(33, SpsRbsp(SpsFields())); }
Bytes Pps() { return Nal(34, Hex("C1 72")); }
Bytes Aud() { return Nal(35, Hex("50")); }
Bytes Sei() { return Nal(39, Hex("05 10 AA")); }
Bytes Slice(int nal_unit_type) { return Nal(nal_unit_type, Hex("AF 80 00 12")); }

// The parameter-set check exactly as first formulated: a cursor that steps 3
// or 4 bytes and classifies the next start code at or after it every time.
bool QuadraticHasParameterSets(IVideoHeaderParser& parser, const unsigned char* data, int len) {
    if (!data || len <= 0)
        return false;
    bool vps = false, sps = false, pps = false;
    const unsigned char* cursor = data;
    int remaining = len;
    do {
        const int code = parser.GetNaluType(cursor, remaining);
        vps = vps || code == NALU_TYPE_VPS;
        sps = sps || code == NALU_TYPE_SPS;
        pps = pps || code == NALU_TYPE_PPS;
        if (code == -1 || code == NALU_TYPE_SLICE || code == NALU_TYPE_I_FRAME)
            break;
        const int step = cursor[2] == 1 ? 3 : 4;
        cursor += step;
        remaining -= step;
    } while (remaining > 0);
    return vps && sps && pps;
}

} // namespace

TEST(GetResolution, PictureSizeFromTheFirstSps) {
    HeaderParserPtr parser = MakeHeaderParser();
    SpsFields f;
    f.pic_width_in_luma_samples = 1280;
    f.pic_height_in_luma_samples = 720;
    const Bytes au = Concat({Vps(), Nal(33, SpsRbsp(f)), Pps(), Slice(19)});
    int width = 0, height = 0;
    EXPECT_TRUE(parser->GetResolution(au.data(), Len(au), &width, &height));
    EXPECT_EQ(1280, width);
    EXPECT_EQ(720, height);
}

TEST(GetResolution, NoSpsGivesZeroByZero) {
    HeaderParserPtr parser = MakeHeaderParser();
    const Bytes noSps = Concat({Pps(), Slice(1)});
    struct Case {
        const unsigned char* data;
        int len;
    } cases[] = {{noSps.data(), Len(noSps)}, {nullptr, 100}, {noSps.data(), 0}, {noSps.data(), -5}};
    for (const Case& c : cases) {
        int width = -1, height = -1;
        EXPECT_TRUE(parser->GetResolution(c.data, c.len, &width, &height));
        EXPECT_EQ(0, width);
        EXPECT_EQ(0, height);
    }
}

TEST(GetResolution, NullOutputPointersGiveFalse) {
    HeaderParserPtr parser = MakeHeaderParser();
    const Bytes au = Concat({Vps(), Sps()});
    int value = -3;
    EXPECT_FALSE(parser->GetResolution(au.data(), Len(au), &value, nullptr));
    EXPECT_FALSE(parser->GetResolution(au.data(), Len(au), nullptr, &value));
    EXPECT_EQ(-3, value);
}

TEST(GetResolution, TruncatedSpsPassesTheEndOfDataSignalOn) {
    HeaderParserPtr parser = MakeHeaderParser();
    const Bytes sps = Sps();
    const Bytes cut(sps.begin(), sps.begin() + 20); // inside profile_tier_level
    int width = 0, height = 0;
    EXPECT_END_OF_DATA(parser->GetResolution(cut.data(), Len(cut), &width, &height));
    // The parser stays usable.
    EXPECT_TRUE(parser->GetResolution(sps.data(), Len(sps), &width, &height));
    EXPECT_EQ(1920, width);
}

TEST(GetNaluType, CodesOfTheFirstNalUnit) {
    HeaderParserPtr parser = MakeHeaderParser();
    EXPECT_EQ(-1, parser->GetNaluType(Hex("00 00 01 42").data(), 4));
    EXPECT_EQ(1, parser->GetNaluType(Hex("00 00 00 01 42 01").data(), 6));
    EXPECT_EQ(-1, parser->GetNaluType(nullptr, 6));
    EXPECT_EQ(-1, parser->GetNaluType(Hex("01 02 03 04 05 06").data(), 6));
    EXPECT_EQ(-1, parser->GetNaluType(Hex("00 00 01 42 01 00").data(), -1));
    const Bytes irap = Slice(21);
    EXPECT_EQ(NALU_TYPE_SLICE, parser->GetNaluType(irap.data(), Len(irap))) << "CRA keeps its slice code";
}

struct KeyFrameCase {
    const char* name;
    int first_nal_unit_type; // -1: empty buffer
    int expected;
};

inline void PrintTo(const KeyFrameCase& c, std::ostream* out) { *out << c.name; }

class IsKeyFrameTable : public ::testing::TestWithParam<KeyFrameCase> {};

TEST_P(IsKeyFrameTable, VerdictOfTheFirstNalUnit) {
    HeaderParserPtr parser = MakeHeaderParser();
    const KeyFrameCase& c = GetParam();
    Bytes data;
    if (c.first_nal_unit_type >= 0)
        data = Concat({Nal(c.first_nal_unit_type, Hex("AF 80 00 12")), Slice(19)});
    EXPECT_EQ(c.expected, parser->IsKeyFrame(data.empty() ? nullptr : data.data(), Len(data)));
}

INSTANTIATE_TEST_SUITE_P(
    NalUnitTypes, IsKeyFrameTable,
    ::testing::Values(KeyFrameCase{"TRAIL_N", 0, 2}, KeyFrameCase{"TRAIL_R", 1, 2}, KeyFrameCase{"TSA_N", 2, 2},
                      KeyFrameCase{"RASL_R", 9, 2}, KeyFrameCase{"RADL_N", 6, 2},
                      KeyFrameCase{"RSV_VCL_N10", 10, 2}, KeyFrameCase{"RSV_VCL_R15", 15, 2},
                      KeyFrameCase{"BLA_W_LP", 16, 1}, KeyFrameCase{"BLA_W_RADL", 17, 1},
                      KeyFrameCase{"BLA_N_LP", 18, 1}, KeyFrameCase{"IDR_W_RADL", 19, 1},
                      KeyFrameCase{"IDR_N_LP", 20, 1}, KeyFrameCase{"CRA_NUT", 21, 1},
                      KeyFrameCase{"RSV_IRAP_VCL22", 22, 1}, KeyFrameCase{"RSV_IRAP_VCL23", 23, 1},
                      KeyFrameCase{"RSV_VCL24", 24, 2}, KeyFrameCase{"RSV_VCL31", 31, 2},
                      KeyFrameCase{"VPS_NUT", 32, 1}, KeyFrameCase{"SPS_NUT", 33, 1},
                      KeyFrameCase{"PPS_NUT", 34, 0}, KeyFrameCase{"AUD_NUT", 35, 0},
                      KeyFrameCase{"EOS_NUT", 36, 0}, KeyFrameCase{"FD_NUT", 38, 0},
                      KeyFrameCase{"PREFIX_SEI", 39, 0}, KeyFrameCase{"SUFFIX_SEI", 40, 0},
                      KeyFrameCase{"RSV_NVCL41", 41, 0}, KeyFrameCase{"UNSPEC63", 63, 0},
                      KeyFrameCase{"Empty", -1, 0}),
    [](const ::testing::TestParamInfo<KeyFrameCase>& info) { return std::string(info.param.name); });

TEST(IsKeyFrame, ShortOrStartCodeFreeBuffersAreNeither) {
    HeaderParserPtr parser = MakeHeaderParser();
    EXPECT_EQ(0, parser->IsKeyFrame(Hex("00 00 01 26").data(), 4));
    EXPECT_EQ(0, parser->IsKeyFrame(Hex("11 22 33 44 55 66").data(), 6));
    EXPECT_EQ(0, parser->IsKeyFrame(Hex("00 00 01 26 01").data(), -3));
}

struct ParameterSetCase {
    const char* name;
    std::vector<Bytes> units;
    bool expected;
};

inline void PrintTo(const ParameterSetCase& c, std::ostream* out) { *out << c.name; }

class HasParameterSetsTable : public ::testing::TestWithParam<ParameterSetCase> {};

TEST_P(HasParameterSetsTable, ParameterSetsBeforeTheFirstPicture) {
    HeaderParserPtr parser = MakeHeaderParser();
    const Bytes data = Concat(GetParam().units);
    EXPECT_EQ(GetParam().expected, parser->HasParameterSets(data.data(), Len(data)));
    EXPECT_EQ(GetParam().expected, QuadraticHasParameterSets(*parser, data.data(), Len(data)));
}

INSTANTIATE_TEST_SUITE_P(
    Orders, HasParameterSetsTable,
    ::testing::Values(
        ParameterSetCase{"VpsSpsPpsIdr", {Vps(), Sps(), Pps(), Slice(19)}, true},
        ParameterSetCase{"AudSeiSpsPpsVpsTrail", {Aud(), Sei(), Sps(), Pps(), Vps(), Slice(1)}, true},
        ParameterSetCase{"NothingAfterThem", {Vps(), Sps(), Pps()}, true},
        ParameterSetCase{"PpsAfterThePicture", {Vps(), Sps(), Slice(19), Pps()}, false},
        ParameterSetCase{"VpsSpsOnly", {Vps(), Sps()}, false},
        ParameterSetCase{"CraCountsAsPicture", {Vps(), Sps(), Slice(21), Pps()}, false},
        ParameterSetCase{"ThreeByteStartCodes",
                         {Nal(32, Hex("0C 01"), 3), Nal(33, SpsRbsp(SpsFields()), 3), Nal(34, Hex("C1 72"), 3),
                          Slice(19)},
                         true},
        ParameterSetCase{"ExtraZerosBeforeStartCodes",
                         {Hex("00 00 00"), Vps(), Hex("00 00"), Sps(), Hex("00 00 00 00"), Pps(), Slice(1)},
                         true},
        ParameterSetCase{"PpsInTheLastFourBytes", {Vps(), Sps(), Hex("00 00 01 44")}, false},
        ParameterSetCase{"PpsAtLengthMinusFive", {Vps(), Sps(), Hex("00 00 01 44 01")}, true}),
    [](const ::testing::TestParamInfo<ParameterSetCase>& info) { return std::string(info.param.name); });

TEST(HasParameterSets, NullOrNonPositiveLength) {
    HeaderParserPtr parser = MakeHeaderParser();
    const Bytes data = Concat({Vps(), Sps(), Pps()});
    EXPECT_FALSE(parser->HasParameterSets(nullptr, Len(data)));
    EXPECT_FALSE(parser->HasParameterSets(data.data(), 0));
    EXPECT_FALSE(parser->HasParameterSets(data.data(), -1));
}

TEST(HasParameterSets, OnePassAgreesWithTheSteppingCursorOnRandomStreams) {
    HeaderParserPtr parser = MakeHeaderParser();
    std::mt19937 rng(2024);
    const int types[] = {32, 33, 34, 35, 39, 40, 48, 1, 19, 21};
    for (int trial = 0; trial < 5000; ++trial) {
        std::vector<Bytes> units;
        const int count = static_cast<int>(rng() % 7);
        for (int i = 0; i < count; ++i) {
            Bytes payload(rng() % 4, 0);
            for (unsigned char& b : payload)
                b = static_cast<unsigned char>(rng() % 3 == 0 ? 0 : rng());
            if (rng() % 4 == 0)
                units.push_back(Bytes(rng() % 3, 0)); // extra zero bytes
            Bytes nal = Nal(types[rng() % 10], payload, rng() % 2 ? 3 : 4);
            units.push_back(payload.empty() && rng() % 2 ? Bytes(nal.begin(), nal.end() - 1) : nal);
        }
        const Bytes data = Concat(units);
        const int len = static_cast<int>(data.size());
        ASSERT_EQ(QuadraticHasParameterSets(*parser, data.data(), len), parser->HasParameterSets(data.data(), len))
            << "trial " << trial;
    }
}
