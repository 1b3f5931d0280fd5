// Where h265split's access units begin (H.265 7.4.2.4.4): each case is a
// run of NAL units, given by nal_unit_type and, for slice segments,
// first_slice_segment_in_pic_flag, with the units that begin a new access
// unit marked.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "AccessUnitAssembler.h"

namespace {

using h265split::AccessUnitAssembler;
using h265split::UnitHeader;

struct Unit {
    int type;
    bool first; // first_slice_segment_in_pic_flag
    bool begins; // the unit begins a new access unit
};

struct Case {
    const char* name;
    std::vector<Unit> units;
};

const Case kCases[] = {
    {"first slice segments begin pictures", {{19, 1, 0}, {1, 0, 0}, {1, 1, 1}, {0, 1, 1}}},
    {"AUD, VPS, SPS, PPS and prefix SEI begin after a picture",
     {{1, 1, 0}, {35, 0, 1}, {1, 1, 0}, {32, 0, 1}, {33, 0, 0}, {34, 0, 0}, {21, 1, 0}, {39, 0, 1}, {1, 1, 0}}},
    {"suffix SEI, EOS, EOB, FD stay with the picture",
     {{1, 1, 0}, {40, 0, 0}, {38, 0, 0}, {36, 0, 0}, {37, 0, 0}, {19, 1, 1}}},
    {"reserved 41..44 and unspecified 48..55 begin; 45..47 and 56..63 stay",
     {{1, 1, 0}, {41, 0, 1}, {1, 1, 0}, {44, 0, 1}, {1, 1, 0}, {48, 0, 1}, {1, 1, 0}, {55, 0, 1}, {1, 1, 0},
      {45, 0, 0}, {47, 0, 0}, {56, 0, 0}, {63, 0, 0}, {1, 1, 1}}},
    {"nothing begins before the first picture", {{35, 0, 0}, {32, 0, 0}, {39, 0, 0}, {20, 1, 0}, {1, 0, 0}}},
    {"reserved VCL types 10..15 and 22..31 carry no first_slice_segment_in_pic_flag",
     {{1, 1, 0}, {12, 1, 0}, {15, 1, 0}, {24, 1, 0}, {1, 1, 1}}},
};

TEST(AccessUnitAssembler, Boundaries) {
    const unsigned char bytes[] = {0, 0, 1, 0, 1, 0x80};
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        AccessUnitAssembler assembler;
        std::size_t units = 0;
        for (std::size_t i = 0; i < c.units.size(); ++i) {
            const Unit& u = c.units[i];
            UnitHeader header;
            header.nalUnitType = u.type;
            header.firstSliceSegment = u.first;
            EXPECT_EQ(assembler.StartsNew(header), u.begins) << "unit " << i;
            if (assembler.StartsNew(header)) {
                assembler.Clear();
                units = 0;
            }
            h265tools::NalUnitView view;
            view.data = bytes;
            view.size = sizeof bytes;
            view.offset = i;
            view.startCodeLength = 3;
            assembler.Add(view, header);
            ++units;
            ASSERT_EQ(assembler.Current().units.size(), units);
            EXPECT_EQ(assembler.Current().bytes.size(), units * sizeof bytes);
        }
    }
}

} // namespace
