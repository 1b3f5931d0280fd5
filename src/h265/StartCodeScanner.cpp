#include "StartCodeScanner.h"

#include <cstring>
#include <stdint.h>

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#if defined(__x86_64__)
#include <immintrin.h>
#define H265_SCAN_AVX2 1
#endif
#elif (defined(__ARM_NEON) || defined(__ARM_NEON__)) && defined(__GNUC__)
#include <arm_neon.h>
#endif

#include "ByteWords.h"

namespace h265headers {

namespace {

using namespace bytewords;

// Every start code begins with two zero bytes, and in random or entropy-coded
// data a 00 00 pair is rare (about one position in 65536), so the scan looks
// for pairs with wide loads and lets the byte rules judge each pair it finds.
// Byte i of (bytes at p) | (bytes at p + 1) is zero exactly when p[i] and
// p[i + 1] both are.

// A candidate is a position q <= last with q[0] == q[1] == 0 and q[2] <= 1:
// only there can a start code begin. A pair followed by a byte above 1 (the
// 00 00 03 of emulation prevention, or a near miss) rules out q, q + 1 and
// q + 2 at once, so the search goes on from q + 3 without returning.

// Looks for a candidate a word at a time while p is below `stop`. With
// *found true, returns the first candidate at or after p, or null when there
// is none up to `last`; otherwise the position to go on from. Reads stay
// below `end`, which lies beyond last + 1.
inline const unsigned char* WordSteps(const unsigned char* p, const unsigned char* last, const unsigned char* end,
                                      const unsigned char* stop, bool* found) {
    const long kWord = static_cast<long>(sizeof(Word));
    while (end - p > kWord && p < stop) { // reads p[0 .. kWord]
        const Word marks = ZeroBytes(LoadWord(p) | LoadWord(p + 1));
        if (!marks) {
            p += kWord;
            continue;
        }
        const int first = FirstZeroByte(marks);
        if (first < 0)
            break; // stepped bytewise by the caller
        const unsigned char* q = p + first;
        if (q > last) {
            *found = true;
            return 0;
        }
        if (q[2] <= 1) {
            *found = true;
            return q;
        }
        p = q + 3;
    }
    *found = false;
    return p;
}

// The first candidate at or after p, or null.
const unsigned char* FindCandidateByWords(const unsigned char* p, const unsigned char* last,
                                          const unsigned char* end) {
    bool found;
    p = WordSteps(p, last, end, end, &found);
    if (found)
        return p;
    for (; p <= last; ++p) {
        if (p[0] == 0 && p[1] == 0 && p[2] <= 1)
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
#define H265_SCAN_SSE2 1

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
#elif (defined(__ARM_NEON) || defined(__ARM_NEON__)) && defined(__GNUC__)
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

// The byte rules at every candidate that `findCandidate` reports, in order.
template <const unsigned char* (*findCandidate)(const unsigned char*, const unsigned char*, const unsigned char*)>
const unsigned char* Scan(const unsigned char* data, int len, int wanted) {
    // The last position tried is len - 5, so that the header byte of a 4-byte
    // start code there is still inside the block.
    if (len < 5)
        return 0;
    const unsigned char* p = data;
    const unsigned char* last = data + (len - 5);
    const unsigned char* end = data + len;
    for (;;) {
        // A candidate right here (a run of zeros, or start codes back to
        // back) needs no search.
        if (p > last || p[0] != 0 || p[1] != 0 || p[2] > 1) {
            p = findCandidate(p, last, end);
            if (!p)
                return 0;
        }
        int header;
        int length;
        if (p[2] == 1) {
            header = p[3];
            length = 3;
        } else { // p[2] == 0
            if (p[3] != 1) {
                ++p; // p + 1 begins 00 00 too
                continue;
            }
            header = p[4];
            length = 4;
        }
        if (wanted < 0 || ((header >> 1) & 0x3F) == wanted)
            return p;
        // The positions inside this start code see either no start code or
        // the same NAL unit through the last three bytes of a 4-byte start
        // code, which does not match either.
        p += length;
    }
}

#if H265_SCAN_SSE2
// Bit i is set when p + i is a candidate: p[i] | p[i + 1] | (p[i + 2] & FE)
// is zero. Reads p[0 .. 17]. Emulation prevention (00 00 03) and other near
// misses are ruled out here, without a branch each.
inline unsigned CandidateMask16(const unsigned char* p) {
    const __m128i v0 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
    const __m128i v1 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 1));
    const __m128i v2 = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 2));
    const __m128i c = _mm_or_si128(_mm_or_si128(v0, v1), _mm_and_si128(v2, _mm_set1_epi8(static_cast<char>(0xFE))));
    return static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(c, _mm_setzero_si128())));
}

const unsigned char* FindCandidate(const unsigned char* p, const unsigned char* last, const unsigned char* end) {
    // The next 64 bytes go through 16-byte windows of exact candidates: NAL
    // units a few bytes long and parameter sets full of emulation
    // prevention are crossed without stops. Farther on, blocks without any
    // 00 00 pair are skipped, and the block where the skip stops is searched
    // with windows again.
    const unsigned char* stop = p + 64;
    while (end - p >= 18) {
        if (p >= stop) {
#if H265_SCAN_AVX2
            if (end - p > 128 && __builtin_cpu_supports("avx2"))
                p = SkipBlocksWithoutZeroPairAvx2(p, end); // at a pair, or in the last 128 bytes
            if (end - p <= 128 || p[0] != 0 || p[1] != 0)
#endif
                p = SkipBlocksWithoutZeroPair(p, end); // at a pair, or in the last 64 bytes
            stop = p + 64;
            if (end - p < 18)
                break;
        }
        const unsigned mask = CandidateMask16(p);
        if (mask) {
            const unsigned char* q = p + __builtin_ctz(mask);
            return q <= last ? q : 0;
        }
        p += 16;
    }
    for (; p <= last; ++p) {
        if (p[0] == 0 && p[1] == 0 && p[2] <= 1)
            return p;
    }
    return 0;
}
#elif H265_SCAN_VECTOR
const unsigned char* FindCandidate(const unsigned char* p, const unsigned char* last, const unsigned char* end) {
    // Candidates close by (NAL units a few bytes long, parameter sets with
    // their emulation prevention bytes) are found by word steps over the
    // next 64 bytes, before any vector work.
    bool found;
    p = WordSteps(p, last, end, p + 64, &found);
    if (found)
        return p;
    for (;;) {
        p = SkipBlocksWithoutZeroPair(p, end);
        if (p > last)
            return 0;
        if (end - p <= 64)
            return FindCandidateByWords(p, last, end); // the last bytes
        // A block that holds a pair: word steps find its first candidate, or
        // show that it held near misses only and give the point to go on from.
        p = WordSteps(p, last, end, p + 64, &found);
        if (found)
            return p;
    }
}
#endif

} // namespace

const unsigned char* ScanForStartCode(const unsigned char* data, int len, int wanted) {
#if H265_SCAN_VECTOR
    return Scan<FindCandidate>(data, len, wanted);
#else
    return Scan<FindCandidateByWords>(data, len, wanted);
#endif
}

const unsigned char* ScanForStartCodeByWords(const unsigned char* data, int len, int wanted) {
    return Scan<FindCandidateByWords>(data, len, wanted);
}

} // namespace h265headers
