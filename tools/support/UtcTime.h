// Times of day in UTC as the tools write and read them: milliseconds since
// 1970-01-01T00:00:00Z, ISO 8601 text with milliseconds (what
// #EXT-X-PROGRAM-DATE-TIME and index files hold) and the fields a file name
// pattern takes. The proleptic Gregorian calendar is computed here (days from
// a civil date and back), so the results do not depend on the C library's
// time zone or on the width of time_t.
#ifndef H265TOOLS_UTC_TIME_H
#define H265TOOLS_UTC_TIME_H

#include <cstdint>
#include <string>

namespace h265tools {

struct UtcFields {
    int year = 1970;
    int month = 1; // 1..12
    int day = 1;   // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int millisecond = 0;
};

// Years 0000 to 9999 only, which every text form here can hold.
const std::int64_t kMinUtcMillis = -62167219200000LL;  // 0000-01-01T00:00:00Z
const std::int64_t kMaxUtcMillis = 253402300799999LL;  // 9999-12-31T23:59:59.999Z

UtcFields UtcFieldsOf(std::int64_t millis);
// "2026-12-08T14:03:00.250Z".
std::string UtcText(std::int64_t millis);

// Reads "YYYY-MM-DDTHH:MM:SS" with an optional fraction of a second (to
// milliseconds; further digits are cut) and a zone: "Z", "+HH:MM" or
// "-HH:MM" (a time without a zone is refused: it would mean the machine's).
// A space may stand for the "T". False for anything else or an impossible
// date (2026-02-30).
bool ParseUtc(const std::string& text, std::int64_t& millis);

// The monotonic clock now, in milliseconds from an unspecified start: what
// the time between two events is measured by.
std::int64_t MonotonicMillis();

// The system clock now, in milliseconds since the epoch.
std::int64_t UtcNow();

} // namespace h265tools

#endif
