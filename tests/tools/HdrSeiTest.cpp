// HDR SEI messages: the two payloads read, others stepped over by size, and
// payloads that do not fit the unit or their syntax.
#include <string>

#include <gtest/gtest.h>

#include "BitWriter.h"
#include "HdrSei.h"
#include "SyntaxError.h"

namespace {

BitWriter& Mastering(BitWriter& w) {
    w.U(137, 8).U(24, 8);
    for (unsigned v : {13250u, 34500u, 7500u, 3000u, 34000u, 16000u, 15635u, 16450u})
        w.U(v, 16);
    return w.U(10000000, 32).U(1, 32);
}

// An SEI NAL unit of `type` holding `w`'s bits, start code excluded.
Bytes SeiUnit(int type, BitWriter w) {
    const Bytes nal = Nal(type, w.TrailingBits().Data(), 3);
    return Bytes(nal.begin() + 3, nal.end());
}

TEST(HdrSei, ReadsTheTwoMessagesAndStepsOverOthers) {
    BitWriter w;
    w.U(5, 8).U(3, 8).U(0xABCDEF, 24); // user_data_unregistered-sized filler, skipped
    Mastering(w);
    w.U(144, 8).U(4, 8).U(1000, 16).U(400, 16);
    const Bytes unit = SeiUnit(39, w);
    h265tools::HdrSei sei;
    h265tools::ReadHdrSei(unit.data(), unit.size(), sei);
    ASSERT_TRUE(sei.has_mastering_display);
    EXPECT_EQ(sei.display_primaries_x[0], 13250u);
    EXPECT_EQ(sei.display_primaries_y[2], 16000u);
    EXPECT_EQ(sei.white_point_y, 16450u);
    EXPECT_EQ(sei.max_display_mastering_luminance, 10000000u);
    EXPECT_EQ(sei.min_display_mastering_luminance, 1u);
    ASSERT_TRUE(sei.has_content_light_level);
    EXPECT_EQ(sei.max_content_light_level, 1000u);
    EXPECT_EQ(sei.max_pic_average_light_level, 400u);

    h265tools::HdrSei suffix;
    const Bytes suffixUnit = SeiUnit(40, BitWriter(w));
    h265tools::ReadHdrSei(suffixUnit.data(), suffixUnit.size(), suffix);
    EXPECT_FALSE(suffix.has_mastering_display);
}

TEST(HdrSei, BadPayloadsNameTheMessage) {
    struct Case {
        BitWriter bits;
        const char* message;
    };
    const Case cases[] = {
        {BitWriter().U(5, 8).U(200, 8).U(0, 16), "sei_message payloadType 5 payloadSize 200 runs past the NAL unit"},
        {BitWriter().U(137, 8).U(10, 8).ZeroBits(80), "mastering_display_colour_volume payloadSize 10 is below 24"},
        {BitWriter().U(144, 8).U(2, 8).U(0, 16), "content_light_level_info payloadSize 2 is below 4"},
        {BitWriter().U(0xFF, 8).U(0xFF, 8), "ends before payload_size_byte (truncated)"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Bytes unit = SeiUnit(39, c.bits);
        h265tools::HdrSei sei;
        try {
            h265tools::ReadHdrSei(unit.data(), unit.size(), sei);
            ADD_FAILURE() << "no error";
        } catch (const h265tools::SyntaxError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

} // namespace
