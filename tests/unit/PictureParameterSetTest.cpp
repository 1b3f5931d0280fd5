#include <cstring>

#include "PictureParameterSet.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

const PIC_PARAMETER_SET& Record(IH265Parser& parser) { return static_cast<CPPSInfo*>(parser.GetPPS())->pps; }

bool ParsePps(IH265Parser& parser, const Bytes& data) {
    return parser.ParsePPS(data.data(), static_cast<unsigned int>(data.size()));
}

struct PpsValues {
    uint32_t pps_pic_parameter_set_id, pps_seq_parameter_set_id, dependent_slice_segments_enabled_flag,
        output_flag_present_flag, num_extra_slice_header_bits, sign_data_hiding_enabled_flag,
        cabac_init_present_flag;
};

PpsValues Values(const PIC_PARAMETER_SET& p) {
    return {p.pps_pic_parameter_set_id,        p.pps_seq_parameter_set_id,     p.dependent_slice_segments_enabled_flag,
            p.output_flag_present_flag,        p.num_extra_slice_header_bits,  p.sign_data_hiding_enabled_flag,
            p.cabac_init_present_flag};
}

bool operator==(const PpsValues& a, const PpsValues& b) { return std::memcmp(&a, &b, sizeof a) == 0; }

std::ostream& operator<<(std::ostream& out, const PpsValues& v) {
    return out << v.pps_pic_parameter_set_id << ',' << v.pps_seq_parameter_set_id << ','
               << v.dependent_slice_segments_enabled_flag << ',' << v.output_flag_present_flag << ','
               << v.num_extra_slice_header_bits << ',' << v.sign_data_hiding_enabled_flag << ','
               << v.cabac_init_present_flag;
}

Bytes PpsRbsp(const PpsValues& v) {
    BitWriter w;
    w.UE(v.pps_pic_parameter_set_id).UE(v.pps_seq_parameter_set_id);
    w.U(v.dependent_slice_segments_enabled_flag, 1).U(v.output_flag_present_flag, 1);
    w.U(v.num_extra_slice_header_bits, 3).U(v.sign_data_hiding_enabled_flag, 1).U(v.cabac_init_present_flag, 1);
    w.UE(0).UE(0).SE(0).U(0, 1).U(1, 1);
    return w.TrailingBits().Data();
}

const PpsValues kZero = {0, 0, 0, 0, 0, 0, 0};

} // namespace

struct PpsCase {
    const char* name;
    Bytes data;
    bool result;
    PpsValues expected;
};

inline void PrintTo(const PpsCase& c, std::ostream* out) { *out << c.name; }

class ParsePpsTable : public ::testing::TestWithParam<PpsCase> {};

TEST_P(ParsePpsTable, ReadsTheFirstSevenElements) {
    H265ParserPtr parser = MakeH265Parser();
    EXPECT_EQ(GetParam().result, ParsePps(*parser, GetParam().data));
    ASSERT_NE(nullptr, parser->GetPPS());
    EXPECT_EQ(GetParam().expected, Values(Record(*parser)));
}

const PpsValues kAllSet = {63, 15, 1, 1, 7, 1, 1};

INSTANTIATE_TEST_SUITE_P(
    Buffers, ParsePpsTable,
    ::testing::Values(
        PpsCase{"FourByteStartCode", Hex("00 00 00 01 44 01 C1 72"), true, {0, 0, 0, 0, 0, 1, 0}},
        PpsCase{"ThreeByteStartCode", Hex("00 00 01 44 01 C1 72"), true, {0, 0, 0, 0, 0, 1, 0}},
        PpsCase{"EveryFieldSet", Nal(34, PpsRbsp(kAllSet)), true, kAllSet},
        PpsCase{"AfterVpsAndSps",
                Concat({Nal(32, Hex("0C 01 FF")), Nal(33, SpsRbsp(SpsFields())), Nal(34, PpsRbsp(kAllSet))}), true,
                kAllSet},
        PpsCase{"FirstOfTwo", Concat({Nal(34, PpsRbsp(kAllSet)), Nal(34, Hex("C1 72"))}), true, kAllSet},
        // Read in place to the end of the buffer: the elements may run on
        // into the next NAL unit's bytes.
        PpsCase{"MinimalTwoBytePayload", Hex("00 00 01 44 01 C1 72"), true, {0, 0, 0, 0, 0, 1, 0}},
        PpsCase{"HeaderOnlyAtEnd", Hex("AA BB 00 00 01 44 01"), false, kZero},
        PpsCase{"NoPps", Concat({Nal(32, Hex("0C 01")), Nal(33, Hex("01 01"))}), false, kZero},
        PpsCase{"TooShort", Hex("00 00 01 44"), false, kZero}),
    [](const ::testing::TestParamInfo<PpsCase>& info) { return std::string(info.param.name); });

TEST(ParsePps, DataEndingEarlyKeepsWhatWasRead) {
    H265ParserPtr parser = MakeH265Parser();
    EXPECT_END_OF_DATA(ParsePps(*parser, Hex("00 00 01 44 01 FF")));
    const PpsValues expected = {0, 0, 1, 1, 7, 1, 0};
    EXPECT_EQ(expected, Values(Record(*parser)));
}

TEST(ParsePps, EveryCallReplacesTheRecordFirst) {
    H265ParserPtr parser = MakeH265Parser();
    EXPECT_EQ(nullptr, parser->GetPPS());
    ASSERT_TRUE(ParsePps(*parser, Nal(34, PpsRbsp(kAllSet))));
    H265Parser::IPPS* first = parser->GetPPS();
    EXPECT_FALSE(parser->ParsePPS(nullptr, 10));
    ASSERT_NE(nullptr, parser->GetPPS());
    EXPECT_EQ(kZero, Values(Record(*parser)));
    ASSERT_TRUE(ParsePps(*parser, Nal(34, PpsRbsp(kAllSet))));
    EXPECT_FALSE(parser->ParsePPS(Hex("00 00 01 44 01").data(), 0));
    EXPECT_EQ(kZero, Values(Record(*parser)));
    (void)first;
}
