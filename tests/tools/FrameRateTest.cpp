// The frame rate a tool plays a stream at: --fps as the user writes it, and
// which of the user's, the SPS VUI's and the VPS's timing wins.
#include "FrameRate.h"

#include <gtest/gtest.h>

#include "SpsSyntax.h"
#include "VpsSyntax.h"

namespace {

using h265tools::FrameRate;

struct ParseCase {
    const char* text;
    bool valid;
    std::uint64_t numerator;
    std::uint64_t denominator;
};

const ParseCase kParseCases[] = {
    {"25", true, 25, 1},
    {"29.97", true, 2997, 100},
    {"30000/1001", true, 30000, 1001},
    {"60/2", true, 30, 1},            // reduced
    {"0.5", true, 1, 2},
    {".5", true, 1, 2},
    {"23.976024", true, 2997003, 125000},
    {"4294967295/1", true, 4294967295u, 1},
    {"4294967296/1", false, 0, 0},    // a term of 2^32
    {"1.2345678", false, 0, 0},       // more than six decimals
    {"0", false, 0, 0},
    {"0/5", false, 0, 0},
    {"30/0", false, 0, 0},
    {"", false, 0, 0},
    {"5.", false, 0, 0},
    {"-25", false, 0, 0},
    {"2 5", false, 0, 0},
    {"25fps", false, 0, 0},
    {"1/2/3", false, 0, 0},
};

TEST(FrameRate, ParsesWhatTheUserWrites) {
    for (const ParseCase& c : kParseCases) {
        FrameRate rate;
        EXPECT_EQ(h265tools::ParseFrameRate(c.text, rate), c.valid) << c.text;
        if (c.valid) {
            EXPECT_EQ(rate.numerator, c.numerator) << c.text;
            EXPECT_EQ(rate.denominator, c.denominator) << c.text;
            EXPECT_EQ(rate.source, FrameRate::Source::kOption) << c.text;
        }
    }
}

TEST(FrameRate, TheUserOverTheVuiOverTheVps) {
    h265tools::SpsSyntax sps;
    sps.vui_parameters_present_flag = true;
    sps.vui.vui_timing_info_present_flag = true;
    sps.vui.vui_num_units_in_tick = 1001;
    sps.vui.vui_time_scale = 60000;
    h265tools::VpsSyntax vps;
    vps.vps_timing_info_present_flag = true;
    vps.vps_num_units_in_tick = 1;
    vps.vps_time_scale = 50;
    FrameRate option;
    ASSERT_TRUE(h265tools::ParseFrameRate("24", option));

    struct {
        const FrameRate* option;
        bool vui;
        bool vps;
        const char* text;
    } const cases[] = {
        {&option, true, true, "24/1 (--fps)"},
        {nullptr, true, true, "60000/1001 (SPS VUI)"},
        {nullptr, false, true, "50/1 (VPS)"},
        {nullptr, false, false, "not in the stream, 25 assumed"},
    };
    for (const auto& c : cases) {
        sps.vui.vui_timing_info_present_flag = c.vui;
        const FrameRate rate = h265tools::ChooseFrameRate(c.option, &sps, c.vps ? &vps : nullptr);
        EXPECT_EQ(h265tools::FrameRateText(rate), c.text);
    }
    // A tick of 0 units or a time scale of 0 gives no rate: the next source.
    sps.vui.vui_timing_info_present_flag = true;
    sps.vui.vui_time_scale = 0;
    EXPECT_EQ(h265tools::FrameRateText(h265tools::ChooseFrameRate(nullptr, &sps, &vps)), "50/1 (VPS)");
}

TEST(FrameRate, SecondsOfPictures) {
    FrameRate rate;
    ASSERT_TRUE(h265tools::FrameRateFromTiming(1001, 30000, FrameRate::Source::kSpsVui, rate));
    EXPECT_EQ(h265tools::SecondsText(rate.Seconds(30000), 6), "1001.000000");
    EXPECT_EQ(h265tools::SecondsText(rate.Seconds(1)), "0.033");
    EXPECT_EQ(h265tools::SecondsText(0.0005, 3), "0.001"); // rounded half up
    EXPECT_EQ(h265tools::SecondsText(2.5, 0), "3");
}

} // namespace
