// Where h265split's access units begin (H.265 7.4.2.4.4): each case is a
// run of NAL units, given by nal_unit_type and, for slice segments,
// first_slice_segment_in_pic_flag, with the units that begin a new access
// unit marked.
#include <memory>
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

// An access unit's bytes stay in the reader's window while its units follow
// each other there, and are copied once otherwise; either way they are the
// units' bytes in order, kept as long as the access unit's owner() is held.
TEST(AccessUnitBytes, InTheWindowOrCopiedOnce) {
    struct Piece {
        int window; // 0 or 1; -1: a unit from no window
        std::size_t at, size;
    };
    struct Row {
        const char* name;
        std::vector<Piece> units;
        bool inWindow;
    };
    const Row rows[] = {
        {"one unit", {{0, 4, 9}}, true},
        {"units one after another", {{0, 0, 5}, {0, 5, 30}, {0, 35, 7}}, true},
        {"a unit in the next window", {{0, 10, 20}, {1, 0, 6}, {1, 6, 9}}, false},
        {"bytes skipped between units", {{0, 0, 5}, {0, 8, 4}}, false},
        {"units from no window", {{-1, 0, 5}, {-1, 5, 6}}, false},
        {"a first unit from no window", {{-1, 0, 5}, {0, 5, 6}}, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        std::shared_ptr<unsigned char> windows[2];
        for (int w = 0; w < 2; ++w) {
            windows[w].reset(new unsigned char[64], std::default_delete<unsigned char[]>());
            for (int i = 0; i < 64; ++i)
                windows[w].get()[i] = static_cast<unsigned char>(w * 64 + i);
        }
        h265split::AccessUnitBytes bytes;
        std::vector<unsigned char> expected;
        for (const Piece& piece : row.units) {
            h265tools::NalUnitView unit;
            unit.data = windows[piece.window < 0 ? 0 : piece.window].get() + piece.at;
            unit.size = piece.size;
            if (piece.window >= 0)
                unit.window = windows[piece.window];
            bytes.Append(unit);
            expected.insert(expected.end(), unit.data, unit.data + unit.size);
        }
        EXPECT_EQ(bytes.data() == windows[0].get() + row.units[0].at, row.inWindow);
        ASSERT_EQ(std::vector<unsigned char>(bytes.data(), bytes.data() + bytes.size()), expected);
        // Only the owner is kept: the reader's windows and the access unit go.
        const std::shared_ptr<const void> owner = bytes.owner();
        const unsigned char* const data = bytes.data();
        windows[0].reset();
        windows[1].reset();
        bytes.clear();
        EXPECT_EQ(bytes.size(), 0u);
        EXPECT_EQ(std::vector<unsigned char>(data, data + expected.size()), expected);
    }
}

} // namespace
