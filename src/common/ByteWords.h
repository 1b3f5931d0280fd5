// Word-at-a-time byte tests shared by the start-code scanner and the
// removal of emulation prevention bytes.
#ifndef H265HEADERS_BYTE_WORDS_H
#define H265HEADERS_BYTE_WORDS_H

#include <cstddef>
#include <cstring>

namespace h265headers {
namespace bytewords {

typedef size_t Word;
const Word kOnes = ~static_cast<Word>(0) / 0xFF; // 0x01 in every byte
const Word kHighs = kOnes * 0x80;                // 0x80 in every byte

inline Word LoadWord(const unsigned char* p) {
    Word w;
    std::memcpy(&w, p, sizeof w); // an unaligned load where the target allows it
    return w;
}

// Non-zero exactly when some byte of w is zero (the borrow of a zero byte
// only ever marks bytes above it, so the test for "any" is exact, and so is
// the lowest marked byte).
inline Word ZeroBytes(Word w) {
    return (w - kOnes) & ~w & kHighs;
}

// Offset of the first zero byte in memory order from ZeroBytes(w) != 0, or
// -1 where the compiler offers no bit scan (the caller then steps bytewise).
inline int FirstZeroByte(Word marks) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
    return sizeof(Word) == 8 ? __builtin_ctzll(marks) >> 3 : __builtin_ctz(static_cast<unsigned>(marks)) >> 3;
#elif defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
    return sizeof(Word) == 8 ? __builtin_clzll(marks) >> 3 : __builtin_clz(static_cast<unsigned>(marks)) >> 3;
#else
    (void)marks;
    return -1;
#endif
}

} // namespace bytewords
} // namespace h265headers

#endif
