#include "UtcTime.h"

#include <chrono>
#include <cstdio>

namespace h265tools {

namespace {

const std::int64_t kMillisPerDay = 86400000;

// Days from 1970-01-01 to year-month-day, and back: H. Hinnant's
// days_from_civil and civil_from_days, with eras of 400 years.
std::int64_t DaysFromCivil(std::int64_t y, int m, int d) {
    y -= m <= 2;
    const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
    const std::int64_t yoe = y - era * 400;
    const std::int64_t doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    const std::int64_t doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

void CivilFromDays(std::int64_t z, int& year, int& month, int& day) {
    z += 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t doe = z - era * 146097;
    const std::int64_t yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
    const std::int64_t doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
    const std::int64_t mp = (5 * doy + 2) / 153;
    day = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
    month = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
    year = static_cast<int>(yoe + era * 400 + (month <= 2));
}

int DaysInMonth(int year, int month) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
    return month == 2 && leap ? 29 : days[month - 1];
}

// `count` decimal digits at text[at]; false when any is not a digit.
bool Digits(const std::string& text, std::size_t at, std::size_t count, int& value) {
    if (at + count > text.size())
        return false;
    value = 0;
    for (std::size_t i = at; i < at + count; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

UtcFields UtcFieldsOf(std::int64_t millis) {
    if (millis < kMinUtcMillis)
        millis = kMinUtcMillis;
    if (millis > kMaxUtcMillis)
        millis = kMaxUtcMillis;
    std::int64_t days = millis / kMillisPerDay;
    std::int64_t rest = millis % kMillisPerDay;
    if (rest < 0) {
        rest += kMillisPerDay;
        --days;
    }
    UtcFields f;
    CivilFromDays(days, f.year, f.month, f.day);
    f.hour = static_cast<int>(rest / 3600000);
    f.minute = static_cast<int>(rest / 60000 % 60);
    f.second = static_cast<int>(rest / 1000 % 60);
    f.millisecond = static_cast<int>(rest % 1000);
    return f;
}

std::string UtcText(std::int64_t millis) {
    const UtcFields f = UtcFieldsOf(millis);
    char text[40];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", f.year, f.month, f.day, f.hour, f.minute,
                  f.second, f.millisecond);
    return text;
}

bool ParseUtc(const std::string& text, std::int64_t& millis) {
    UtcFields f;
    if (!Digits(text, 0, 4, f.year) || text.size() < 19 || text[4] != '-' || !Digits(text, 5, 2, f.month) ||
        text[7] != '-' || !Digits(text, 8, 2, f.day) || (text[10] != 'T' && text[10] != ' ') ||
        !Digits(text, 11, 2, f.hour) || text[13] != ':' || !Digits(text, 14, 2, f.minute) || text[16] != ':' ||
        !Digits(text, 17, 2, f.second))
        return false;
    if (f.month < 1 || f.month > 12 || f.day < 1 || f.day > DaysInMonth(f.year, f.month) || f.hour > 23 ||
        f.minute > 59 || f.second > 59)
        return false;
    std::size_t at = 19;
    if (at < text.size() && text[at] == '.') {
        int digits = 0;
        for (++at; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at, ++digits)
            if (digits < 3)
                f.millisecond = f.millisecond * 10 + (text[at] - '0');
        if (digits == 0)
            return false;
        for (; digits < 3; ++digits)
            f.millisecond *= 10;
    }
    int offsetMinutes = 0;
    if (at < text.size() && text[at] == 'Z') {
        ++at;
    } else if (at < text.size() && (text[at] == '+' || text[at] == '-')) {
        int hours = 0;
        int minutes = 0;
        if (!Digits(text, at + 1, 2, hours) || at + 3 >= text.size() || text[at + 3] != ':' ||
            !Digits(text, at + 4, 2, minutes) || hours > 23 || minutes > 59)
            return false;
        offsetMinutes = (hours * 60 + minutes) * (text[at] == '-' ? -1 : 1);
        at += 6;
    } else {
        return false;
    }
    if (at != text.size())
        return false;
    millis = DaysFromCivil(f.year, f.month, f.day) * kMillisPerDay + f.hour * 3600000LL + f.minute * 60000LL +
             f.second * 1000LL + f.millisecond - offsetMinutes * 60000LL;
    return millis >= kMinUtcMillis && millis <= kMaxUtcMillis;
}

std::int64_t MonotonicMillis() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::int64_t UtcNow() {
    return std::chrono::duration_cast<std::chrono::milliseconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
}

} // namespace h265tools
