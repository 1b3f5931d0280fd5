// The UTC times of a recording's segments: given by the user, or from a
// reference clock (this machine's, or the camera's by its sender reports)
// with stream time carrying them from one segment to the next, drift slewed
// out and steps starting afresh. The clocks here are fakes: what they say as
// each segment's key picture arrives.
#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "WallClock.h"

namespace {

using h265split::Arrival;
using h265split::ClockReference;
using h265split::WallClock;

const std::int64_t T = 1796738580000LL; // 2026-12-08T14:03:00Z

struct Start {
    double streamSeconds;  // where the segment starts in stream time
    std::int64_t now;      // this machine's clock as its key picture arrives
    std::int64_t sender;   // the camera's clock by its sender reports; 0: none yet
    bool afterBreak;
    std::int64_t utc;      // the segment's UTC time
    bool stepped;
};

struct Case {
    const char* name;
    ClockReference reference;
    std::vector<Start> starts;
    std::size_t said;
};

const Case kCases[] = {
    // Paced input: a key picture late or early by less than a second moves
    // the times at most 500 ppm of the time between (1 ms in 2 s).
    {"paced", ClockReference::kSystem,
     {{0, T, 0, false, T, false}, {2, T + 2010, 0, false, T + 2000, false}, {4, T + 3100, 0, false, T + 3999, false},
      {6, T + 6900, 0, false, T + 5998, false}},
     0},
    // A key picture that comes 5 s late (a stall shorter than the camera's
    // timeout) is taken for late: the times go on with the stream's.
    {"stall", ClockReference::kSystem,
     {{0, T, 0, false, T, false}, {2, T + 7000, 0, false, T + 2000, false}, {4, T + 7100, 0, false, T + 4000, false}},
     0},
    // Input faster than real time: its pictures come before their time,
    // which no delay explains; each segment starts afresh, said each time.
    {"burst", ClockReference::kSystem,
     {{0, T, 0, false, T, false}, {2, T + 500, 0, false, T + 500, true}, {4, T + 600, 0, false, T + 600, true}},
     2},
    // After a break (a camera away for 40 s), the time it was away: a fresh
    // time, not said (the camera's absence was).
    {"outage", ClockReference::kSystem,
     {{0, T, 0, false, T, false}, {2, T + 42000, 0, true, T + 42000, true}, {4, T + 44000, 0, false, T + 44000, false}},
     0},
    // ... but a short loss keeps the lost time in stream time: no step.
    {"loss", ClockReference::kSystem,
     {{0, T, 0, false, T, false}, {2, T + 2300, 0, true, T + 2001, false}}, 0},
    // A camera whose clock is an hour behind: said once, with both times;
    // this machine's clock holds.
    {"camera_off", ClockReference::kSystem,
     {{0, T, T - 3600000, false, T, false}, {2, T + 2000, T - 3598000, false, T + 2000, false},
      {4, T + 4000, T - 3595000, false, T + 4000, false}},
     1},
    // Followed (--clock camera), its clock gives the times, and its own step
    // of 3 s starts a segment afresh.
    {"camera_followed", ClockReference::kCamera,
     {{0, T, T - 3600000, false, T - 3600000, false}, {2, T + 2000, T - 3598000, false, T - 3598000, false},
      {4, T + 4000, T - 3593000, false, T - 3593000, true}},
     3},
};

TEST(WallClock, LiveTimes) {
    for (const Case& c : kCases) {
        std::int64_t now = 0;
        std::vector<std::string> said;
        WallClock clock = WallClock::Live([&] { return now; }, [&] { return now - T; },
                                          [&](const std::string& m) { said.push_back(m); }, c.reference);
        for (const Start& s : c.starts) {
            now = s.now;
            bool stepped = false;
            EXPECT_EQ(s.utc, clock.AtSegmentStart(s.streamSeconds, Arrival(), s.sender, s.afterBreak, stepped))
                << c.name << " at " << s.streamSeconds;
            EXPECT_EQ(s.stepped, stepped) << c.name << " at " << s.streamSeconds;
        }
        EXPECT_EQ(c.said, said.size()) << c.name;
    }
}

// A day of a camera: its clock drifts 100 ppm either way, its sender reports
// say an hour less, its key pictures arrive 20 to 50 ms after they were
// taken and now and then 3 s late; this machine's clock steps 2 s ahead at
// 06:00, the camera is away for 40 s at 15:00, and the recorder restarts at
// the end. Every segment's time lies within 50 ms of this machine's clock
// when its key picture was taken, follows the one before by its duration
// within a millisecond plus 500 ppm, and starts afresh only at the step,
// the outage and the restart.
TEST(WallClock, SimulatedDay) {
    const double kSegment = 2.0;
    const int kSegments = 43200;
    for (const double ppm : {100.0, -100.0}) {
        std::int64_t utc = 0, monotonic = 0;
        std::vector<std::string> said;
        const auto make = [&] {
            return WallClock::Live([&] { return utc; }, [&] { return monotonic; },
                                   [&](const std::string& m) { said.push_back(m); });
        };
        WallClock clock = make();
        double lost = 0; // true milliseconds the camera was away
        std::int64_t lastUtc = 0;
        bool haveLast = false;
        unsigned int fresh = 0;
        bool newRun = false;
        const auto segment = [&](WallClock& on, double streamSeconds, double taken, bool afterBreak, int k) {
            const double hostStep = taken >= 6 * 3600e3 ? 2000 : 0;
            const double delay = (k % 97 == 50 ? 3000 : 0) + 20 + (k * 37) % 30;
            monotonic = static_cast<std::int64_t>(taken + delay);
            utc = T + static_cast<std::int64_t>(taken + delay + hostStep);
            const std::int64_t sender = T - 3600000 + static_cast<std::int64_t>(streamSeconds * 1000);
            bool stepped = false;
            const std::int64_t at = on.AtSegmentStart(streamSeconds, Arrival(), sender, afterBreak, stepped);
            const std::int64_t reference = T + static_cast<std::int64_t>(taken + hostStep);
            EXPECT_LE(std::llabs(at - reference), 50) << ppm << " ppm, segment " << k;
            if (haveLast && !stepped && !newRun) {
                const double apart = static_cast<double>(at - lastUtc) - kSegment * 1000;
                EXPECT_LE(std::fabs(apart), 1 + kSegment * 1000 * 500e-6) << ppm << " ppm, segment " << k;
            }
            if (haveLast) {
                EXPECT_GT(at, lastUtc) << ppm << " ppm, segment " << k;
            }
            fresh += stepped ? 1 : 0;
            newRun = false;
            lastUtc = at;
            haveLast = true;
        };
        for (int k = 0; k < kSegments; ++k) {
            const bool outage = k == kSegments * 15 / 24;
            lost += outage ? 40000 : 0;
            const double streamSeconds = k * kSegment;
            segment(clock, streamSeconds, streamSeconds * 1000 * (1 + ppm * 1e-6) + lost, outage, k);
        }
        EXPECT_EQ(2u, fresh) << ppm; // the step and the outage
        // A restart: a new run whose stream time starts at 0, 5 s later.
        WallClock resumed = make();
        newRun = true;
        const double restart = kSegments * kSegment * 1000 * (1 + ppm * 1e-6) + lost + 5000;
        for (int k = 0; k < 3; ++k)
            segment(resumed, k * kSegment, restart + k * kSegment * 1000 * (1 + ppm * 1e-6), false, kSegments + k);
        // The camera's clock, an hour behind, said as it was first seen and
        // as its drift added up to another second, and this machine's step.
        EXPECT_GE(said.size(), 2u) << ppm;
        EXPECT_LE(said.size(), 14u) << ppm;
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
