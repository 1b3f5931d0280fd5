// The UTC times of a recording's segments: given by the user, or from the
// system clock at the first key picture and then stream time, set again only
// when the two drift apart by more than a second. The system clock here is a
// table: what it says as each segment's key picture arrives.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "WallClock.h"

namespace {

using h265split::WallClock;

struct Arrival {
    double streamSeconds;  // where the segment starts in stream time
    std::int64_t now;      // the system clock as its key picture arrives
    std::int64_t utc;      // the segment's UTC time
};

struct Case {
    const char* name;
    std::vector<Arrival> arrivals;
    unsigned int reanchors;
};

const std::int64_t T = 1796738580000LL; // 2026-12-08T14:03:00Z

const Case kCases[] = {
    // Paced input: the clock and the stream agree; a step of the clock
    // within a second does not bend the recording.
    {"paced", {{0, T, T}, {2, T + 2010, T + 2000}, {4, T + 3100, T + 4000}, {6, T + 6900, T + 6000}}, 0},
    // A stall of 5 s (a camera that stopped sending): set again, and the
    // stream time runs on from the new anchor.
    {"stall", {{0, T, T}, {2, T + 7000, T + 7000}, {4, T + 9000, T + 9000}}, 1},
    // Input faster than real time: each segment more than a second early.
    {"burst", {{0, T, T}, {2, T + 500, T + 500}, {4, T + 600, T + 600}}, 2},
};

TEST(WallClock, LiveAnchor) {
    for (const Case& c : kCases) {
        std::int64_t now = 0;
        std::vector<std::string> said;
        WallClock clock = WallClock::Live([&] { return now; }, [&](const std::string& m) { said.push_back(m); });
        for (const Arrival& a : c.arrivals) {
            now = a.now;
            EXPECT_EQ(a.utc, clock.AtSegmentStart(a.streamSeconds)) << c.name << " at " << a.streamSeconds;
        }
        EXPECT_EQ(c.reanchors, clock.reanchors()) << c.name;
        EXPECT_EQ(c.reanchors, said.size()) << c.name;
    }
}

TEST(WallClock, GivenAndNone) {
    WallClock given = WallClock::Given(T);
    EXPECT_EQ(T + 1500, given.AtSegmentStart(1.5));
    EXPECT_EQ(T + 86400000, given.At(86400)); // the next day
    WallClock none;
    EXPECT_FALSE(none.known());
    EXPECT_EQ(0, none.AtSegmentStart(3));
}

} // namespace
