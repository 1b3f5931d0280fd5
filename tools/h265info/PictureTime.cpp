#include "PictureTime.h"

#include <cstring>

namespace h265info {

namespace {

char* Append(char* at, const char* text) {
    const std::size_t n = std::strlen(text);
    std::memcpy(at, text, n);
    return at + n;
}

char* AppendUnsigned(char* at, std::uint64_t value, int minDigits = 1) {
    char digits[24];
    int n = 0;
    do {
        digits[n++] = static_cast<char>('0' + value % 10);
        value /= 10;
    } while (value != 0 || n < minDigits);
    while (n > 0)
        *at++ = digits[--n];
    return at;
}

} // namespace

std::size_t FormatPictureTime(const UnitRecord& unit, char* text) {
    char* at = Append(text, "POC ");
    if (unit.poc < 0) {
        *at++ = '-';
        at = AppendUnsigned(at, static_cast<std::uint64_t>(-static_cast<std::int64_t>(unit.poc)));
    } else {
        at = AppendUnsigned(at, static_cast<std::uint64_t>(unit.poc));
    }
    if (!unit.output)
        return static_cast<std::size_t>(Append(at, ", not output") - text);
    at = Append(at, ", output #");
    at = AppendUnsigned(at, unit.outputIndex);
    at = Append(at, " at ");
    // Milliseconds, rounded; times beyond 10^12 s are no real stream's.
    const double ms = unit.presentationTime * 1000 + 0.5;
    const std::uint64_t whole = ms > 0 && ms < 1e15 ? static_cast<std::uint64_t>(ms) : 0;
    at = AppendUnsigned(at, whole / 1000);
    *at++ = '.';
    at = AppendUnsigned(at, whole % 1000, 3);
    return static_cast<std::size_t>(Append(at, " s") - text);
}

} // namespace h265info
