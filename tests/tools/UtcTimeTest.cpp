// UTC times as the tools read and write them, against dates worked out by
// hand (and by GNU date -u -d): leap years, the epoch, zones, and what is refused.
#include <cstdint>
#include <string>

#include <gtest/gtest.h>

#include "UtcTime.h"

namespace {

struct Parse {
    const char* text;
    bool valid;
    std::int64_t millis;
    const char* written; // UtcText of the result
};

const Parse kParses[] = {
    {"1970-01-01T00:00:00Z", true, 0, "1970-01-01T00:00:00.000Z"},
    {"2026-12-08T14:03:00.250Z", true, 1796738580250LL, "2026-12-08T14:03:00.250Z"},
    {"2026-12-08 14:03:00Z", true, 1796738580000LL, "2026-12-08T14:03:00.000Z"},
    {"2026-12-08T15:03:00.25+01:00", true, 1796738580250LL, "2026-12-08T14:03:00.250Z"},
    {"2026-12-08T09:33:00.1239-04:30", true, 1796738580123LL, "2026-12-08T14:03:00.123Z"},
    {"2024-02-29T23:59:59.999Z", true, 1709251199999LL, "2024-02-29T23:59:59.999Z"},
    {"2000-02-29T00:00:00Z", true, 951782400000LL, "2000-02-29T00:00:00.000Z"},
    {"1969-12-31T23:59:59.500Z", true, -500, "1969-12-31T23:59:59.500Z"},
    {"2026-02-29T00:00:00Z", false, 0, ""},  // not a leap year
    {"1900-02-29T00:00:00Z", false, 0, ""},  // nor a century not divisible by 400
    {"2026-12-08T14:03:00", false, 0, ""},   // no zone: the machine's would be guessed
    {"2026-12-08T24:00:00Z", false, 0, ""},
    {"2026-13-01T00:00:00Z", false, 0, ""},
    {"2026-12-08T14:03:00.Z", false, 0, ""},
    {"2026-12-08T14:03:00Z ", false, 0, ""},
    {"2026-12-8T14:03:00Z", false, 0, ""},
};

TEST(UtcTime, ParseAndWrite) {
    for (const Parse& p : kParses) {
        std::int64_t millis = 0;
        ASSERT_EQ(p.valid, h265tools::ParseUtc(p.text, millis)) << p.text;
        if (!p.valid)
            continue;
        EXPECT_EQ(p.millis, millis) << p.text;
        EXPECT_EQ(p.written, h265tools::UtcText(millis)) << p.text;
    }
}

} // namespace
