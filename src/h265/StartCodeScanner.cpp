#include "StartCodeScanner.h"

#include <cstring>
#include <stdint.h>

#if defined(__ARM_FEATURE_SIMD32) && defined(__GNUC__)
#include <arm_acle.h>
#endif

#if defined(__SSE2__) && defined(__GNUC__)
#include <emmintrin.h>
#if defined(__x86_64__)
#include <immintrin.h>
#define H265_SCAN_AVX2 1
#endif
#elif (defined(__ARM_NEON) || defined(__ARM_NEON__)) && defined(__GNUC__) && defined(__BYTE_ORDER__) &&              \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#define H265_SCAN_NEON 1 // in every build for this target
#elif H265_SCAN_NEON_RUNTIME && defined(__linux__)
#include <sys/auxv.h>
#else
#undef H265_SCAN_NEON_RUNTIME
#endif

#include "ByteWords.h"
#include "StartCodeScannerNeon.h"

namespace h265headers {

namespace {

using namespace bytewords;

// Every start code begins with two zero bytes, and in random or entropy-coded
// data a 00 00 pair is rare (about one position in 65536), so the scan looks
// for pairs with wide loads and lets the byte rules judge each pair it finds.
// Byte i of (bytes at p) | (bytes at p + 1) is zero exactly when p[i] and
// p[i + 1] both are.

// A candidate is a position q <= last with q[0] == q[1] == 0 and q[2] <= 1:
// only there can a start code begin. Byte i of
// (bytes at p) | (bytes at p + 1) | (bytes at p + 2) & FE is zero exactly
// when p + i is one, so emulation prevention (00 00 03) and other near misses
// are passed over without a stop.

// Non-zero when a candidate begins in p[0 .. sizeof(Word) - 1]; reads
// p[0 .. sizeof(Word) + 1].
inline Word CandidateMarks(const unsigned char* p) {
    return ZeroBytes(LoadWord(p) | LoadWord(p + 1) | (LoadWord(p + 2) & kAboveOne));
}

// The first candidate from CandidateMarks(p) != 0, or null beyond `last`.
inline const unsigned char* FirstCandidate(const unsigned char* p, Word marks, const unsigned char* last) {
    int first = FirstZeroByte(marks);
    if (first < 0) { // no bit scan: the byte rule, which stops within this word
        for (first = 0; p[first] != 0 || p[first + 1] != 0 || p[first + 2] > 1;)
            ++first;
    }
    return p + first <= last ? p + first : 0;
}

// Looks for a candidate a word at a time over the next `span` bytes. With
// *found true, returns the first candidate at or after p, or null when it
// lies beyond `last`; otherwise the position to go on from: span bytes on,
// or fewer than kWord + 2 bytes before `end`.
inline const unsigned char* ExactSteps(const unsigned char* p, const unsigned char* last, const unsigned char* end,
                                       long span, bool* found) {
    *found = true;
#if !H265_WORDS_UNALIGNED_LOADS
    // Where every unaligned word would be read byte by byte (ARMv5), the
    // bytes are tested directly, two positions a step: q and q + 1 both need
    // q[1] == 0.
    const long reach = end - p - 3; // a step at q reads q[0 .. 3]
    const unsigned char* const last2 = p + (reach < span ? (reach > 0 ? reach : 0) : span);
    for (; p < last2; p += 2) {
        if (p[1] != 0)
            continue;
        if (p[0] == 0 && p[2] <= 1)
            return p <= last ? p : 0;
        if (p[2] == 0 && p[3] <= 1)
            return p + 1 <= last ? p + 1 : 0;
    }
    *found = false;
    return p;
#else
    const long kWord = static_cast<long>(sizeof(Word));
    const long room = end - p - (kWord + 1); // a step at q reads q[0 .. kWord + 1]
    const unsigned char* const stop = p + (room < span ? (room > 0 ? room : 0) : span);
    for (; stop - p > kWord; p += 2 * kWord) { // two words a step where both may be looked at
        const Word marks = CandidateMarks(p);
        const Word next = CandidateMarks(p + kWord);
        if (marks | next)
            return marks ? FirstCandidate(p, marks, last) : FirstCandidate(p + kWord, next, last);
    }
    if (p < stop) {
        const Word marks = CandidateMarks(p);
        if (marks)
            return FirstCandidate(p, marks, last);
        p += kWord;
    }
    *found = false;
    return p;
#endif
}

#if defined(__ARM_FEATURE_SIMD32) && H265_WORDS_LITTLE_ENDIAN && defined(__GNUC__)
// ARMv6 and later: uadd8 of FF sets the GE flag of every non-zero byte, and
// sel then keeps `marks` there and takes FF at every zero byte: two
// instructions a word, and exact.
inline Word AddZeroByteMarks(Word marks, Word w) {
    __uadd8(static_cast<uint32_t>(w), 0xFFFFFFFFu);
    return __sel(static_cast<uint32_t>(marks), 0xFFFFFFFFu);
}
const Word kOddMarks = 0xFF00FF00u;
#else
// Every zero byte of w has its own high bit set in (w - kOnes) & ~w (the
// borrow may mark a byte above it as well).
inline Word AddZeroByteMarks(Word marks, Word w) { return marks | ((w - kOnes) & ~w); }
const Word kOddMarks = kOddHighs;
#endif

// Skips 32-byte blocks (eight words) of aligned loads that cannot hold the
// first zero of a 00 00 pair; returns p, or the word at which such a zero
// might be. A pair always has a zero at an odd offset, so only those bytes
// stop the skip, half as often as any zero byte would in random data. The
// first block may begin up to sizeof(Word) - 1 bytes before p, from `begin`
// on.
const unsigned char* SkipBlocksByWords(const unsigned char* p, const unsigned char* begin, const unsigned char* end) {
    const long kBlock = 8 * static_cast<long>(sizeof(Word));
    const long misalignment = static_cast<long>(reinterpret_cast<uintptr_t>(p) % sizeof(Word));
    if (p - begin < misalignment || end - p <= kBlock)
        return p;
    const unsigned char* b = p - misalignment;
    const unsigned char* const limit = end - kBlock; // reads stay before end
    for (; b < limit; b += kBlock) {
        Word marks = 0;
        marks = AddZeroByteMarks(marks, LoadAlignedWord(b));
        marks = AddZeroByteMarks(marks, LoadAlignedWord(b + sizeof(Word)));
        marks = AddZeroByteMarks(marks, LoadAlignedWord(b + 2 * sizeof(Word)));
        marks = AddZeroByteMarks(marks, LoadAlignedWord(b + 3 * sizeof(Word)));
        marks = AddZeroByteMarks(marks, LoadAlignedWord(b + 4 * sizeof(Word)));
        marks = AddZeroByteMarks(marks, LoadAlignedWord(b + 5 * sizeof(Word)));
        marks = AddZeroByteMarks(marks, LoadAlignedWord(b + 6 * sizeof(Word)));
        marks = AddZeroByteMarks(marks, LoadAlignedWord(b + 7 * sizeof(Word)));
        if (marks & kOddMarks) {
            // The word of that zero: a pair holding it begins in that word.
            while (!(AddZeroByteMarks(0, LoadAlignedWord(b)) & kOddMarks))
                b += sizeof(Word);
            break;
        }
    }
    return b < p ? p : b;
}

// The first candidate at or after p, or null: candidates close by (NAL units
// a few bytes long, parameter sets) are found by exact word steps over the
// next 64 bytes; farther on, `skip` passes over blocks without one, and each
// place where it stops is examined with exact steps again.
template <const unsigned char* (*skip)(const unsigned char*, const unsigned char*, const unsigned char*)>
const unsigned char* FindCandidateWith(const unsigned char* p, const unsigned char* last, const unsigned char* end) {
    const unsigned char* const begin = p;
    bool found;
    p = ExactSteps(p, last, end, 64, &found);
    while (!found && end - p >= static_cast<long>(sizeof(Word)) + 2) {
        p = skip(p, begin, end);
        if (p > last)
            return 0;
        p = ExactSteps(p, last, end, static_cast<long>(sizeof(Word)), &found);
    }
    if (found)
        return p;
    for (; p <= last; ++p) { // the last few bytes
        if (p[0] == 0 && p[1] == 0 && p[2] <= 1)
            return p;
    }
    return 0;
}

// The portable path: word arithmetic alone.
const unsigned char* FindCandidateByWords(const unsigned char* p, const unsigned char* last,
                                          const unsigned char* end) {
    return FindCandidateWith<SkipBlocksByWords>(p, last, end);
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
#elif H265_SCAN_NEON_RUNTIME
// Debian's armhf builds without NEON, while most ARMv7 cores have it: the
// kernel says whether this one does, as __builtin_cpu_supports does for AVX2
// on x86. Read once when the library is loaded, before any caller can scan.
const bool kCpuHasNeon = (getauxval(AT_HWCAP) & HWCAP_ARM_NEON) != 0;
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
#elif H265_SCAN_NEON
inline const unsigned char* FindCandidate(const unsigned char* p, const unsigned char* last,
                                          const unsigned char* end) {
    return FindCandidateNeon(p, last, end);
}
#define H265_SCAN_VECTOR 1
#elif H265_SCAN_NEON_RUNTIME
inline const unsigned char* FindCandidate(const unsigned char* p, const unsigned char* last,
                                          const unsigned char* end) {
    return kCpuHasNeon ? FindCandidateNeon(p, last, end) : FindCandidateByWords(p, last, end);
}
#define H265_SCAN_VECTOR 1
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
