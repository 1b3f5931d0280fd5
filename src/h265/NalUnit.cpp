#include "NalUnit.h"

#include <cstring>
#include <stdint.h>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#if defined(__x86_64__)
#include <immintrin.h>
#define H265_SCAN_AVX2 1
#endif
#elif defined(__ARM_NEON) || defined(__ARM_NEON__)
#include <arm_neon.h>
#endif

#include "h265headers.h"

namespace {

// Every start code begins with two zero bytes, and in random or entropy-coded
// data a 00 00 pair is rare (about one position in 65536), so the scan looks
// for pairs with wide loads and lets the byte rules judge each pair it finds.
// Byte i of (bytes at p) | (bytes at p + 1) is zero exactly when p[i] and
// p[i + 1] both are.

typedef size_t Word;
const Word kOnes = ~static_cast<Word>(0) / 0xFF; // 0x01 in every byte
const Word kHighs = kOnes * 0x80;                // 0x80 in every byte

inline Word LoadWord(const unsigned char* p) {
    Word w;
    std::memcpy(&w, p, sizeof w); // an unaligned load where the target allows it
    return w;
}

// Non-zero exactly when some byte of w is zero (the borrow of a zero byte
// only ever marks bytes above it, so the test for "any" is exact).
inline Word ZeroBytes(Word w) {
    return (w - kOnes) & ~w & kHighs;
}

// First q in [p, last] with q[0] == 0 and q[1] == 0, or null. Reads stay
// below `end`, which lies beyond last + 1.
const unsigned char* FindZeroPairByWords(const unsigned char* p, const unsigned char* last,
                                         const unsigned char* end) {
    const long kStep = 2 * static_cast<long>(sizeof(Word));
    while (end - p > kStep) { // reads p[0 .. kStep]
        const Word a = LoadWord(p) | LoadWord(p + 1);
        const Word b = LoadWord(p + sizeof(Word)) | LoadWord(p + sizeof(Word) + 1);
        if (ZeroBytes(a) | ZeroBytes(b))
            break; // a pair begins in p[0 .. kStep - 1]
        p += kStep;
    }
    for (; p <= last; ++p) {
        if (p[0] == 0 && p[1] == 0)
            return p;
    }
    return 0;
}

#if defined(__SSE2__) && defined(__GNUC__)
// Skips 64-byte blocks without a pair with SSE2, part of every x86-64 target,
// and stops at the first pair of the block that has one; the caller judges
// whether it lies within the positions allowed.
inline const unsigned char* SkipBlocksWithoutZeroPair(const unsigned char* p, const unsigned char* end) {
    const __m128i zero = _mm_setzero_si128();
    while (end - p > 64) { // reads p[0 .. 64]
        const __m128i* v = reinterpret_cast<const __m128i*>(p);
        const __m128i* w = reinterpret_cast<const __m128i*>(p + 1);
        const __m128i t0 = _mm_or_si128(_mm_loadu_si128(v), _mm_loadu_si128(w));
        const __m128i t1 = _mm_or_si128(_mm_loadu_si128(v + 1), _mm_loadu_si128(w + 1));
        const __m128i t2 = _mm_or_si128(_mm_loadu_si128(v + 2), _mm_loadu_si128(w + 2));
        const __m128i t3 = _mm_or_si128(_mm_loadu_si128(v + 3), _mm_loadu_si128(w + 3));
        const __m128i m = _mm_min_epu8(_mm_min_epu8(t0, t1), _mm_min_epu8(t2, t3));
        if (_mm_movemask_epi8(_mm_cmpeq_epi8(m, zero)) != 0) {
            // Straight to the first pair of the block.
            const uint64_t mask = static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(t0, zero))) |
                                  static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(t1, zero))) << 16 |
                                  static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(t2, zero))) << 32 |
                                  static_cast<uint64_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(t3, zero))) << 48;
            return p + __builtin_ctzll(mask);
        }
        p += 64;
    }
    return p;
}
#define H265_SCAN_VECTOR 1

#if H265_SCAN_AVX2
// 128-byte blocks with AVX2, used when the processor has it (the build
// targets plain x86-64, so this is chosen at run time).
__attribute__((target("avx2"))) const unsigned char* SkipBlocksWithoutZeroPairAvx2(const unsigned char* p,
                                                                                   const unsigned char* end) {
    const __m256i zero = _mm256_setzero_si256();
    while (end - p > 128) { // reads p[0 .. 128]
        const __m256i* v = reinterpret_cast<const __m256i*>(p);
        const __m256i* w = reinterpret_cast<const __m256i*>(p + 1);
        const __m256i t0 = _mm256_or_si256(_mm256_loadu_si256(v), _mm256_loadu_si256(w));
        const __m256i t1 = _mm256_or_si256(_mm256_loadu_si256(v + 1), _mm256_loadu_si256(w + 1));
        const __m256i t2 = _mm256_or_si256(_mm256_loadu_si256(v + 2), _mm256_loadu_si256(w + 2));
        const __m256i t3 = _mm256_or_si256(_mm256_loadu_si256(v + 3), _mm256_loadu_si256(w + 3));
        const __m256i m = _mm256_min_epu8(_mm256_min_epu8(t0, t1), _mm256_min_epu8(t2, t3));
        if (_mm256_movemask_epi8(_mm256_cmpeq_epi8(m, zero)) != 0) {
            // Straight to the first pair of the block.
            const __m256i t[4] = {t0, t1, t2, t3};
            for (int k = 0;; ++k) {
                const unsigned mask = static_cast<unsigned>(_mm256_movemask_epi8(_mm256_cmpeq_epi8(t[k], zero)));
                if (mask)
                    return p + 32 * k + __builtin_ctz(mask);
            }
        }
        p += 128;
    }
    return p;
}
#endif
#elif defined(__ARM_NEON) || defined(__ARM_NEON__)
// The same with NEON (AArch64, and 32-bit ARM built with NEON).
inline const unsigned char* SkipBlocksWithoutZeroPair(const unsigned char* p, const unsigned char* end) {
    while (end - p > 64) {
        const uint8x16_t t0 = vorrq_u8(vld1q_u8(p), vld1q_u8(p + 1));
        const uint8x16_t t1 = vorrq_u8(vld1q_u8(p + 16), vld1q_u8(p + 17));
        const uint8x16_t t2 = vorrq_u8(vld1q_u8(p + 32), vld1q_u8(p + 33));
        const uint8x16_t t3 = vorrq_u8(vld1q_u8(p + 48), vld1q_u8(p + 49));
        const uint8x16_t m = vminq_u8(vminq_u8(t0, t1), vminq_u8(t2, t3));
        const uint8x8_t half = vmin_u8(vget_low_u8(m), vget_high_u8(m));
        const uint64_t bytes = vget_lane_u64(vreinterpret_u64_u8(half), 0);
        if (((bytes - 0x0101010101010101ull) & ~bytes & 0x8080808080808080ull) != 0)
            break;
        p += 64;
    }
    return p;
}
#define H265_SCAN_VECTOR 1
#endif

// The byte rules at every 00 00 pair that `findPair` reports, in order.
template <const unsigned char* (*findPair)(const unsigned char*, const unsigned char*, const unsigned char*)>
const unsigned char* Scan(const unsigned char* data, int len, int wanted) {
    // The last position tried is len - 5, so that the header byte of a 4-byte
    // start code there is still inside the block.
    if (len < 5)
        return 0;
    const unsigned char* p = data;
    const unsigned char* last = data + (len - 5);
    const unsigned char* end = data + len;
    for (;;) {
        // A pair right here (a run of zeros, or start codes back to back)
        // needs no search.
        if (p > last || p[0] != 0 || p[1] != 0) {
            p = findPair(p, last, end);
            if (!p)
                return 0;
        }
        int header;
        int length;
        if (p[2] == 1) {
            header = p[3];
            length = 3;
        } else if (p[2] == 0) {
            if (p[3] != 1) {
                ++p; // p + 1 begins 00 00 too
                continue;
            }
            header = p[4];
            length = 4;
        } else {
            p += 3; // p[2] > 1: no start code begins at p, p + 1 or p + 2
            continue;
        }
        if (wanted < 0 || ((header >> 1) & 0x3F) == wanted)
            return p;
        // The positions inside this start code see either no start code or
        // the same NAL unit through the last three bytes of a 4-byte start
        // code, which does not match either.
        p += length;
    }
}

#if H265_SCAN_VECTOR
const unsigned char* FindZeroPair(const unsigned char* p, const unsigned char* last, const unsigned char* end) {
#if H265_SCAN_AVX2
    if (end - p > 128 && __builtin_cpu_supports("avx2")) {
        p = SkipBlocksWithoutZeroPairAvx2(p, end);
        if (p > last)
            return 0;
        if (p[0] == 0 && p[1] == 0)
            return p;
    }
#endif
    p = SkipBlocksWithoutZeroPair(p, end);
    if (p > last)
        return 0;
    if (p[0] == 0 && p[1] == 0)
        return p;
    return FindZeroPairByWords(p, last, end);
}
#endif

} // namespace

const unsigned char* ScanForStartCode(const unsigned char* data, int len, int wanted) {
#if H265_SCAN_VECTOR
    return Scan<FindZeroPair>(data, len, wanted);
#else
    return Scan<FindZeroPairByWords>(data, len, wanted);
#endif
}

const unsigned char* ScanForStartCodeByWords(const unsigned char* data, int len, int wanted) {
    return Scan<FindZeroPairByWords>(data, len, wanted);
}

// VCL types 0..31 are slices, IDR_W_RADL (19) a key frame of its own;
// parameter sets and SEI have their codes, everything else is OTHER.
const signed char kNaluTypeCodes[64] = {
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_SLICE,
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_SLICE,
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_SLICE,
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_I_FRAME, // 19
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_SLICE,
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_SLICE,
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,                                                         // 31
    NALU_TYPE_VPS,        NALU_TYPE_SPS,        NALU_TYPE_PPS,   NALU_TYPE_OTHER,   NALU_TYPE_OTHER, // 32..36
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_SEI_PREFIX, NALU_TYPE_SEI_SUFFIX,         // 37..40
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_OTHER, NALU_TYPE_OTHER,   NALU_TYPE_OTHER,
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_OTHER, NALU_TYPE_OTHER,   NALU_TYPE_OTHER,
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_OTHER, NALU_TYPE_OTHER,   NALU_TYPE_OTHER,
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_OTHER, NALU_TYPE_OTHER,   NALU_TYPE_OTHER,
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_OTHER,                                   // 63
};
