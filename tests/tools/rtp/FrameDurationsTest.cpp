// Durations from RTP timestamps in decoding order: each row gives the
// timestamps as pictures arrive and the durations expected out, in the same
// order, once the run is flushed.
#include "FrameDurations.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct Row {
    const char* name;
    std::size_t lookahead;
    std::vector<std::int64_t> timestamps;
    std::vector<std::uint32_t> durations;
};

const std::int64_t F = 3600; // 25 per second

const Row kRows[] = {
    {"steady", 16, {0, F, 2 * F, 3 * F}, {F, F, F, F}},
    {"variable rate: each lasts to the next, the last as the one before", 16, {0, 3000, 9000, 9900}, {3000, 6000, 900, 900}},
    // I0 P4 B2 b1 b3 P8 B6 b5 b7: a successor may come before or after in decoding order.
    {"B-pyramid", 16, {0, 4 * F, 2 * F, F, 3 * F, 8 * F, 6 * F, 5 * F, 7 * F}, {F, F, F, F, F, F, F, F, F}},
    {"B-pyramid with the smallest lookahead that reaches", 6,
     {0, 4 * F, 2 * F, F, 3 * F, 8 * F, 6 * F, 5 * F, 7 * F}, {F, F, F, F, F, F, F, F, F}},
    {"timestamps past 2^32 (carried on by the unwrapper)", 16, {0xFFFFF000LL, 0xFFFFF000LL + F, 0x100000000LL + 2 * F},
     {F, 0x100000000LL + 2 * F - 0xFFFFF000LL - F, 0x100000000LL + 2 * F - 0xFFFFF000LL - F}},
};

TEST(FrameDurations, GivesEachPictureTheTimeToItsSuccessorInOutputOrder) {
    for (const Row& row : kRows) {
        rtp::FrameDurations durations(row.lookahead);
        std::vector<std::uint32_t> out;
        for (std::int64_t t : row.timestamps) {
            EXPECT_TRUE(durations.Fits(t)) << row.name;
            durations.Add(t);
            while (durations.Ready())
                out.push_back(durations.Take());
        }
        durations.Flush();
        while (durations.Ready())
            out.push_back(durations.Take());
        EXPECT_EQ(row.durations, out) << row.name;
    }
}

TEST(FrameDurations, RefusesAJumpEitherWayAndRestartsClean) {
    rtp::FrameDurations durations(2, 5 * 90000);
    durations.Add(0);
    durations.Add(F);
    EXPECT_TRUE(durations.Fits(F + 5 * 90000));
    EXPECT_FALSE(durations.Fits(F + 5 * 90000 + 1));
    EXPECT_FALSE(durations.Fits(-5 * 90000 - 1));
    durations.Flush();
    EXPECT_EQ(F, durations.Take());
    EXPECT_EQ(F, durations.Take()); // the usual duration: no successor came
    EXPECT_FALSE(durations.Fits(100 * 90000)); // against the pictures given out
    durations.Restart();
    EXPECT_TRUE(durations.Fits(100 * 90000));
}

} // namespace
