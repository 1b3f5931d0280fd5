// The times a camera's access units are given: the camera's, unless they
// stand still, when the arrival times take over until they move again.
#include <cstdint>
#include <vector>

#include <gtest/gtest.h>

#include "CameraTimestamps.h"

namespace {

using h265split::CameraTimestamps;

struct Unit {
    std::int64_t timestamp;
    std::int64_t arrival;
    std::int64_t given;
    bool began;
};

struct Case {
    const char* name;
    std::vector<Unit> units;
};

const Case kCases[] = {
    {"advancing timestamps, B pictures among them, are the camera's",
     {{1000, 0, 1000, false}, {11800, 3600, 11800, false}, {4600, 7200, 4600, false}, {8200, 10800, 8200, false}}},
    {"a picture cut by marker bits into a few units keeps its time",
     {{1000, 0, 1000, false}, {1000, 10, 1000, false}, {1000, 20, 1000, false}, {4600, 3600, 4600, false}}},
    {"standing still: arrival times from the fourth unit at one time, then on from them when they move",
     {{1000, 0, 1000, false},
      {1000, 3600, 1000, false},
      {1000, 7200, 1000, false},
      {1000, 10800, 1001, true},   // from the last given on
      {1000, 14400, 4600, false},  // 3600 ticks after the fourth arrived
      {1000, 14400, 4601, false},  // arrived with it: still later
      {90000, 18000, 8201, false}, // moving again: the usual 3600 after the last
      {93600, 21600, 11801, false}}},
};

TEST(CameraTimestamps, GivesTimesThatAdvance) {
    for (const Case& c : kCases) {
        CameraTimestamps timestamps;
        for (const Unit& u : c.units) {
            bool began = false;
            EXPECT_EQ(u.given, timestamps.Give(u.timestamp, u.arrival, 3600, began)) << c.name << " at " << u.arrival;
            EXPECT_EQ(u.began, began) << c.name << " at " << u.arrival;
        }
    }
}

} // namespace
