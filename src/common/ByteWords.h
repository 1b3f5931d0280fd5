// Word-at-a-time byte tests shared by the start-code scanner and the
// removal of emulation prevention bytes.
#ifndef H265HEADERS_BYTE_WORDS_H
#define H265HEADERS_BYTE_WORDS_H

#include <cstddef>
#include <cstring>
#include <stdint.h>

#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define H265_WORDS_LITTLE_ENDIAN 1
#elif defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__
#define H265_WORDS_BIG_ENDIAN 1
#endif

// Whether a load of four bytes from any address is one instruction: not on
// ARMv5 (armel) nor MIPS, where the bytes at a buffer's start are better
// compared one by one.
#if (defined(__arm__) && !defined(__ARM_FEATURE_UNALIGNED)) || defined(__mips__)
#define H265_WORDS_UNALIGNED_LOADS 0
#else
#define H265_WORDS_UNALIGNED_LOADS 1
#endif

namespace h265headers {
namespace bytewords {

typedef size_t Word;
const Word kOnes = ~static_cast<Word>(0) / 0xFF; // 0x01 in every byte
const Word kHighs = kOnes * 0x80;                // 0x80 in every byte
const Word kAboveOne = kOnes * 0xFE;             // 0xFE in every byte

// The high bit of every byte at an odd offset from a word boundary (of
// every byte where the byte order is not known).
#if H265_WORDS_BIG_ENDIAN
const Word kOddHighs = ~static_cast<Word>(0) / 0xFFFF * 0x0080;
#elif H265_WORDS_LITTLE_ENDIAN
const Word kOddHighs = ~static_cast<Word>(0) / 0xFFFF * 0x8000;
#else
const Word kOddHighs = kHighs;
#endif

inline Word LoadWord(const unsigned char* p) {
    Word w;
    std::memcpy(&w, p, sizeof w); // an unaligned load where the target allows it
    return w;
}

inline void StoreWord(unsigned char* p, Word w) { std::memcpy(p, &w, sizeof w); }

// A load from a word boundary: one instruction also on targets without
// unaligned loads (ARMv5), where LoadWord takes the bytes one by one.
inline Word LoadAlignedWord(const unsigned char* p) {
    Word w;
#if defined(__GNUC__)
    std::memcpy(&w, __builtin_assume_aligned(p, sizeof(Word)), sizeof w);
#else
    std::memcpy(&w, p, sizeof w);
#endif
    return w;
}

// The four bytes at p as one 32-bit value in memory order of the target, to
// be compared with Bytes32().
inline uint32_t Load32(const unsigned char* p) {
    uint32_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

// What Load32 gives for the bytes a, b, c, d in memory.
inline uint32_t Bytes32(uint32_t a, uint32_t b, uint32_t c, uint32_t d) {
#if H265_WORDS_BIG_ENDIAN
    return a << 24 | b << 16 | c << 8 | d;
#else
    return a | b << 8 | c << 16 | d << 24;
#endif
}

// Non-zero exactly when some byte of w is zero. On little-endian targets the
// cheap form, whose borrow can mark a 01 byte above a zero byte but never the
// lowest zero byte itself, is also exact for the first zero byte in memory
// order. On big-endian targets "above" comes first in memory, so the exact
// form is used, which marks the zero bytes and nothing else.
inline Word ZeroBytes(Word w) {
#if H265_WORDS_LITTLE_ENDIAN
    return (w - kOnes) & ~w & kHighs;
#else
    return ~(((w & ~kHighs) + ~kHighs) | w | ~kHighs);
#endif
}

// Offset of the first zero byte in memory order from ZeroBytes(w) != 0, or
// -1 where the compiler offers no bit scan (the caller then steps bytewise).
inline int FirstZeroByte(Word marks) {
#if H265_WORDS_LITTLE_ENDIAN
    return sizeof(Word) == 8 ? __builtin_ctzll(marks) >> 3 : __builtin_ctz(static_cast<unsigned>(marks)) >> 3;
#elif H265_WORDS_BIG_ENDIAN
    return sizeof(Word) == 8 ? __builtin_clzll(marks) >> 3 : __builtin_clz(static_cast<unsigned>(marks)) >> 3;
#else
    (void)marks;
    return -1;
#endif
}

} // namespace bytewords
} // namespace h265headers

#endif
