// st_ref_pic_set( ) with inter-RPS prediction: the sets below were derived by
// hand from equations 7-61 and 7-62, none of the corpus encoders codes it.
#include <vector>

#include <gtest/gtest.h>

#include "BitWriter.h"
#include "ShortTermRefPicSet.h"

namespace {

using h265tools::RbspBits;
using h265tools::ShortTermRefPicSet;

// A TRAIL_R NAL unit holding `w`'s bits, start code excluded.
Bytes Unit(const BitWriter& w) {
    const Bytes nal = Nal(1, BitWriter(w).TrailingBits().Data(), 3);
    return Bytes(nal.begin() + 3, nal.end());
}

// Set 0: DeltaPocS0 -1, -3 and DeltaPocS1 +2, all used.
BitWriter Set0() { return BitWriter().UE(2).UE(1).UE(0).U(1, 1).UE(1).U(1, 1).UE(1).U(1, 1); }

std::vector<int> List(const std::int32_t* values, unsigned count) { return std::vector<int>(values, values + count); }

TEST(ShortTermRefPicSet, InterRpsPrediction) {
    struct Case {
        const char* name;
        BitWriter set1; // after Set0()
        unsigned stRpsIdx, numSets;
        std::vector<int> s0, s1;
    };
    const Case cases[] = {
        // deltaRps -1; j = 1 (-3) dropped by use_delta_flag 0; j = 3 is deltaRps itself.
        {"in the SPS, deltaRps -1",
         BitWriter().U(1, 1).U(1, 1).UE(0).U(1, 1).U(0, 1).U(0, 1).U(1, 1).U(1, 1), 1, 2, {-1, -2}, {1}},
        // A slice header's set (stRpsIdx == num_short_term_ref_pic_sets) with
        // delta_idx_minus1 0 and deltaRps +2, every picture used.
        {"in a slice header, deltaRps +2",
         BitWriter().U(1, 1).UE(0).U(0, 1).UE(1).U(1, 1).U(1, 1).U(1, 1).U(1, 1), 1, 1, {-1}, {1, 2, 4}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes first = Unit(Set0());
        RbspBits bits0(first.data(), first.size());
        ShortTermRefPicSet sets[2];
        ReadShortTermRefPicSet(bits0, 0, c.numSets, sets, 15, sets[0]);
        EXPECT_EQ(List(sets[0].DeltaPocS0, sets[0].NumNegativePics), (std::vector<int>{-1, -3}));
        const Bytes second = Unit(c.set1);
        RbspBits bits1(second.data(), second.size());
        ReadShortTermRefPicSet(bits1, c.stRpsIdx, c.numSets, sets, 15, sets[1]);
        EXPECT_EQ(List(sets[1].DeltaPocS0, sets[1].NumNegativePics), c.s0);
        EXPECT_EQ(List(sets[1].DeltaPocS1, sets[1].NumPositivePics), c.s1);
        EXPECT_EQ(sets[1].NumDeltaPocs, c.s0.size() + c.s1.size());
        EXPECT_TRUE(sets[1].UsedByCurrPicS0[0]);
    }
}

TEST(ShortTermRefPicSet, BadValuesNameTheElement) {
    struct Case {
        BitWriter bits;
        unsigned stRpsIdx, numSets, maxDec;
        const char* message;
    };
    const Case cases[] = {
        {BitWriter().U(1, 1).UE(1), 1, 1, 15, "delta_idx_minus1 1 is above 0"},
        {BitWriter().UE(5), 0, 1, 4, "num_negative_pics 5 is above 4"},
        {BitWriter().UE(2).UE(3), 0, 1, 4, "num_positive_pics 3 is above 2"},
        {BitWriter().UE(1).UE(0).UE(32768), 0, 1, 4, "delta_poc_s0_minus1 32768 is above 32767"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.message);
        const Bytes first = Unit(Set0());
        RbspBits bits0(first.data(), first.size());
        ShortTermRefPicSet sets[2];
        ReadShortTermRefPicSet(bits0, 0, 2, sets, 15, sets[0]);
        const Bytes unit = Unit(c.bits);
        RbspBits bits(unit.data(), unit.size());
        try {
            ReadShortTermRefPicSet(bits, c.stRpsIdx, c.numSets, sets, c.maxDec, sets[1]);
            ADD_FAILURE() << "no error";
        } catch (const h265tools::SyntaxError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
}

} // namespace
