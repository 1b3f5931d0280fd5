// Integer conversions that C++ leaves undefined or implementation-defined,
// spelled out with the results the parsers rely on.
#ifndef H265HEADERS_SAFE_ARITHMETIC_H
#define H265HEADERS_SAFE_ARITHMETIC_H

namespace h265headers {

// The 32 bits of `u` taken as a two's-complement int (modulo 2^32).
inline int ToSignedInt32(unsigned int u) {
    return u <= 0x7FFFFFFFu ? static_cast<int>(u) : -static_cast<int>(~u) - 1;
}

// Truncation toward zero, saturating at the limits of int (infinities
// included); NaN gives 0.
inline int SaturatingDoubleToInt(double x) {
    if (x != x)
        return 0;
    if (x >= 2147483647.0)
        return 2147483647;
    if (x <= -2147483648.0)
        return -2147483647 - 1;
    return static_cast<int>(x);
}

} // namespace h265headers

#endif
