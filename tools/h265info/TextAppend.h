// Numbers appended to a string by hand: the reports write a row for every
// NAL unit of a stream, and stream or to_string formatting cost more than
// reading the unit.
#ifndef H265INFO_TEXT_APPEND_H
#define H265INFO_TEXT_APPEND_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace h265info {

// Decimal digits, at least `minDigits` of them (leading zeros).
inline void AppendUnsigned(std::string& out, std::uint64_t value, int minDigits = 1) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || n < minDigits);
    while (n > 0)
        out += digits[--n];
}

inline void AppendSigned(std::string& out, std::int64_t value) {
    if (value < 0) {
        out += '-';
        // The magnitude in unsigned arithmetic: -INT64_MIN does not fit.
        AppendUnsigned(out, 0 - static_cast<std::uint64_t>(value));
    } else {
        AppendUnsigned(out, static_cast<std::uint64_t>(value));
    }
}

// Right-aligned in `width` characters (wider when it needs more).
inline void AppendRightAligned(std::string& out, std::uint64_t value, std::size_t width) {
    std::size_t digits = 1;
    for (std::uint64_t v = value; v >= 10; v /= 10)
        ++digits;
    if (digits < width)
        out.append(width - digits, ' ');
    AppendUnsigned(out, value);
}

// Spaces up to `column`; a longer text is left as it is.
inline void PadTo(std::string& out, std::size_t column) {
    if (out.size() < column)
        out.append(column - out.size(), ' ');
}

// Seconds with three decimals (milliseconds, rounded), "12.345"; 0 for
// times no stream has (negative, or beyond 10^12 s).
inline void AppendMilliseconds(std::string& out, double seconds) {
    const double ms = seconds * 1000 + 0.5;
    const std::uint64_t whole = ms > 0 && ms < 1e15 ? static_cast<std::uint64_t>(ms) : 0;
    AppendUnsigned(out, whole / 1000);
    out += '.';
    AppendUnsigned(out, whole % 1000, 3);
}

} // namespace h265info

#endif
