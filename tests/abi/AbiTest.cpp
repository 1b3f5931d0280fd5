// Uses the library only as a caller does: the public header and the shared object.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "h265headers.h"

namespace {

// VPS, SPS (352 x 288) and PPS as x265 wrote them, then the start of an
// IDR_N_LP slice segment (at offset 86).
const unsigned char kAccessUnit[] = {
    0x00, 0x00, 0x00, 0x01, 0x40, 0x01, 0x0C, 0x01, 0xFF, 0xFF, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00, 0x90,
    0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x3C, 0x95, 0x98, 0x09, 0x00, 0x00, 0x00, 0x00, 0x01, 0x42,
    0x01, 0x01, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00, 0x90, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x3C,
    0xA0, 0x0B, 0x08, 0x04, 0x85, 0x96, 0x56, 0x69, 0x24, 0xCA, 0xF0, 0x16, 0x80, 0x80, 0x00, 0x00, 0x03,
    0x00, 0x80, 0x00, 0x00, 0x0C, 0x84, 0x00, 0x00, 0x00, 0x00, 0x01, 0x44, 0x01, 0xC1, 0x72, 0xB4, 0x62,
    0x40, 0x00, 0x00, 0x00, 0x01, 0x28, 0x01, 0xAF, 0x1D, 0x28, 0xB8, 0x62, 0x94, 0xD1, 0xE3, 0xB1, 0x80,
    0x31};
const unsigned int kSliceOffset = 86;

} // namespace

TEST(Lifetime, ReleaseFunctionsIgnoreNullAndClearTheCallersPointer) {
    ReleaseVideoHeaderParser(nullptr);
    ReleaseH265Parser(nullptr);
    IVideoHeaderParser* header = nullptr;
    IH265Parser* parser = nullptr;
    ReleaseVideoHeaderParser(&header);
    ReleaseH265Parser(&parser);
    EXPECT_EQ(nullptr, header);
    EXPECT_EQ(nullptr, parser);

    header = CreateH265HeaderParser();
    parser = CreateH265Parser();
    ASSERT_NE(nullptr, header);
    ASSERT_NE(nullptr, parser);
    ReleaseVideoHeaderParser(&header);
    ReleaseH265Parser(&parser);
    EXPECT_EQ(nullptr, header);
    EXPECT_EQ(nullptr, parser);
    ReleaseVideoHeaderParser(&header); // a second release does nothing
    ReleaseH265Parser(&parser);
}

TEST(Lifetime, NewParserHasNoRecords) {
    IH265Parser* parser = CreateH265Parser();
    EXPECT_EQ(nullptr, parser->GetSPS());
    EXPECT_EQ(nullptr, parser->GetPPS());
    ReleaseH265Parser(&parser);
}

TEST(Lifetime, HeaderParsersShareNothing) {
    IVideoHeaderParser* a = CreateH265HeaderParser();
    IVideoHeaderParser* b = CreateH265HeaderParser();
    EXPECT_NE(a, b);
    int width = 0, height = 0;
    EXPECT_TRUE(a->GetResolution(kAccessUnit, sizeof kAccessUnit, &width, &height));
    ReleaseVideoHeaderParser(&a);
    width = height = 0;
    EXPECT_TRUE(b->GetResolution(kAccessUnit, sizeof kAccessUnit, &width, &height));
    EXPECT_EQ(352, width);
    EXPECT_EQ(288, height);
    ReleaseVideoHeaderParser(&b);
}

TEST(Queries, AnEncodedAccessUnit) {
    IVideoHeaderParser* header = CreateH265HeaderParser();
    const int len = static_cast<int>(sizeof kAccessUnit);
    int width = 0, height = 0;
    EXPECT_TRUE(header->GetResolution(kAccessUnit, len, &width, &height));
    EXPECT_EQ(352, width);
    EXPECT_EQ(288, height);
    EXPECT_EQ(NALU_TYPE_VPS, header->GetNaluType(kAccessUnit, len));
    EXPECT_EQ(1, header->IsKeyFrame(kAccessUnit, len));
    EXPECT_TRUE(header->HasParameterSets(kAccessUnit, len));
    EXPECT_EQ(NALU_TYPE_SLICE, header->GetNaluType(kAccessUnit + kSliceOffset, len - kSliceOffset));
    EXPECT_EQ(1, header->IsKeyFrame(kAccessUnit + kSliceOffset, len - kSliceOffset)) << "IDR_N_LP is a key frame";
    // A truncated SPS: the end-of-data signal reaches the caller as an int 1.
    int signal = 0;
    try {
        header->GetResolution(kAccessUnit, 50, &width, &height);
    } catch (int value) {
        signal = value;
    }
    EXPECT_EQ(1, signal);
    ReleaseVideoHeaderParser(&header);
}

TEST(Queries, DirectParserRecordsAndListings) {
    IH265Parser* parser = CreateH265Parser();
    const unsigned int len = sizeof kAccessUnit;
    ASSERT_TRUE(parser->ParseSPS(kAccessUnit, len));
    ASSERT_TRUE(parser->ParsePPS(kAccessUnit, len));
    int type = -1;
    bool first = false;
    const unsigned char* slice = kAccessUnit + kSliceOffset;
    ASSERT_TRUE(parser->ParseSliceType(slice, len - kSliceOffset, &type, &first));
    EXPECT_EQ(NALU_TYPE_I_FRAME, type);
    EXPECT_TRUE(first);
    std::vector<char> text(static_cast<size_t>(parser->GetSPS()->Dump(nullptr)));
    parser->GetSPS()->Dump(text.data());
    EXPECT_NE(nullptr, std::strstr(text.data(), "pic_width_in_luma_samples = 352\n"));
    text.resize(static_cast<size_t>(parser->GetPPS()->Dump(nullptr)));
    parser->GetPPS()->Dump(text.data());
    EXPECT_NE(nullptr, std::strstr(text.data(), "pps_pic_parameter_set_id = 0\n"));
    ReleaseH265Parser(&parser);
}
