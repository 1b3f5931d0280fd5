// Sample aspect ratios of Table E.1 (H.265 E.3.1), written out here from the
// standard's table: aspect_ratio_idc 1..16, EXTENDED_SAR 255 with its own
// terms, and the codes that give none.
#include <gtest/gtest.h>

#include "SampleAspectRatio.h"

namespace {

struct Row {
    unsigned idc;
    unsigned sarWidth, sarHeight; // for idc 255
    bool gives;
    unsigned width, height;
};

const Row kRows[] = {
    {0, 0, 0, false, 0, 0},     {1, 0, 0, true, 1, 1},       {2, 0, 0, true, 12, 11},     {3, 0, 0, true, 10, 11},
    {4, 0, 0, true, 16, 11},    {5, 0, 0, true, 40, 33},     {6, 0, 0, true, 24, 11},     {7, 0, 0, true, 20, 11},
    {8, 0, 0, true, 32, 11},    {9, 0, 0, true, 80, 33},     {10, 0, 0, true, 18, 11},    {11, 0, 0, true, 15, 11},
    {12, 0, 0, true, 64, 33},   {13, 0, 0, true, 160, 99},   {14, 0, 0, true, 4, 3},      {15, 0, 0, true, 3, 2},
    {16, 0, 0, true, 2, 1},     {17, 0, 0, false, 0, 0},     {254, 0, 0, false, 0, 0},    {255, 8, 9, true, 8, 9},
    {255, 0, 9, false, 0, 0},   {255, 8, 0, false, 0, 0},
};

TEST(SampleAspectRatio, TableE1) {
    for (const Row& r : kRows) {
        h265tools::VuiParameters vui;
        vui.aspect_ratio_info_present_flag = true;
        vui.aspect_ratio_idc = r.idc;
        vui.sar_width = r.sarWidth;
        vui.sar_height = r.sarHeight;
        unsigned width = 0, height = 0;
        ASSERT_EQ(h265tools::SampleAspectRatio(vui, width, height), r.gives) << "aspect_ratio_idc " << r.idc;
        if (r.gives) {
            EXPECT_EQ(width, r.width) << "aspect_ratio_idc " << r.idc;
            EXPECT_EQ(height, r.height) << "aspect_ratio_idc " << r.idc;
        }
    }
    h265tools::VuiParameters absent;
    absent.aspect_ratio_idc = 1;
    unsigned width = 0, height = 0;
    EXPECT_FALSE(h265tools::SampleAspectRatio(absent, width, height)) << "aspect_ratio_info_present_flag 0";
}

} // namespace
