// What is said of a camera that goes away: as it goes, once a minute while
// it stays away, and as it comes back. The clock is a table.
#include <cstdint>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CameraAbsence.h"

namespace {

using h265split::CameraAbsence;

struct Event {
    std::int64_t nowMs;
    bool back;         // a session plays again; else an attempt failed
    const char* said;  // "" for nothing
};

struct Case {
    const char* name;
    std::int64_t lastVideoMs; // when its video last came (0: never)
    std::vector<Event> events;
};

const Case kCases[] = {
    {"a reboot of 40 s: said as it goes and as it comes back, timed from its last video",
     95000,
     {{100000, false, "closed; trying again every 5 s at most"},
      {101000, false, ""},
      {103000, false, ""},
      {107000, false, ""},
      {112000, false, ""},
      {117000, false, ""},
      {135000, true, "after 40.0 s away (6 attempts failed)"}}},
    {"an outage of hours: once a minute, with how long and how many attempts",
     0,
     {{0, false, "closed; trying again every 5 s at most"},
      {59000, false, ""},
      {60000, false, "away for 1 min 0 s, 3 attempts failed; the last: closed"},
      {119000, false, ""},
      {120000, false, "away for 2 min 0 s, 5 attempts failed; the last: closed"},
      {7384000, false, "away for 2 h 3 min, 6 attempts failed; the last: closed"},
      {7390000, true, "after 2 h 3 min away (6 attempts failed)"}}},
};

TEST(CameraAbsence, SaysWhatAndWhen) {
    for (const Case& c : kCases) {
        CameraAbsence absence;
        for (const Event& e : c.events) {
            const std::string said = e.back ? absence.Back(e.nowMs) : absence.Failed(e.nowMs, c.lastVideoMs, "closed", 5000);
            EXPECT_EQ(e.said, said) << c.name << " at " << e.nowMs;
        }
    }
}

TEST(CameraAbsence, VideoEndsTheAbsence) {
    CameraAbsence absence;
    absence.Failed(0, 0, "closed", 5000);
    absence.Present();
    EXPECT_EQ("", absence.Back(1000)); // a session that played without failing
    EXPECT_EQ("closed; trying again every 1.500 s at most", absence.Failed(2000, 0, "closed", 1500));
}

} // namespace
