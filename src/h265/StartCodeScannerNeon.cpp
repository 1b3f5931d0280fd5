// Compiled with NEON (see CMakeLists.txt) and called only where the processor
// has it. Nothing here but this function and NEON intrinsics, so that no
// inline function shared with other files is emitted with NEON instructions.
#include "StartCodeScannerNeon.h"

#if (defined(__ARM_NEON) || defined(__ARM_NEON__)) && defined(__GNUC__) && defined(__BYTE_ORDER__) &&                \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#include <arm_neon.h>

namespace h265headers {

const unsigned char* SkipBlocksWithoutCandidateNeon(const unsigned char* p, const unsigned char* end) {
    // vld2q splits 32 bytes into the bytes at even offsets e[k] and odd ones
    // o[k]. A candidate q at an even offset 2k has e[k] == 0 and o[k] == 0;
    // one at an odd offset 2k - 1 has e[k] == 0 and o[k] <= 1 (its q[1] and
    // q[2]). So e | (o & FE) has a zero byte wherever a candidate begins,
    // except for one at the last byte of a block, whose q[1] lies in the
    // next block: the skip stops one byte early to keep it.
    const unsigned char* const from = p;
    const uint8x16_t aboveOne = vdupq_n_u8(0xFE);
    while (end - p >= 64) { // reads p[0 .. 63]
        const uint8x16x2_t a = vld2q_u8(p);
        const uint8x16x2_t b = vld2q_u8(p + 32);
        const uint8x16_t ta = vorrq_u8(a.val[0], vandq_u8(a.val[1], aboveOne));
        const uint8x16_t tb = vorrq_u8(b.val[0], vandq_u8(b.val[1], aboveOne));
        const uint8x16_t m = vminq_u8(ta, tb);
        uint8x8_t least = vpmin_u8(vget_low_u8(m), vget_high_u8(m));
        least = vpmin_u8(least, least); // bytes 0..3: the least of all 64
        if (vget_lane_u32(vreinterpret_u32_u8(vceq_u8(least, vdup_n_u8(0))), 0) != 0)
            break;
        p += 64;
    }
    return p == from ? p : p - 1;
}

namespace {

// FF in lane i when p + i is a candidate: p[i] | p[i + 1] | (p[i + 2] & FE)
// is zero. Reads p[0 .. 17].
inline uint8x16_t CandidateLanes(const unsigned char* p) {
    const uint8x16_t pairs = vorrq_u8(vld1q_u8(p), vld1q_u8(p + 1));
    const uint8x16_t c = vorrq_u8(pairs, vandq_u8(vld1q_u8(p + 2), vdupq_n_u8(0xFE)));
    return vceqq_u8(c, vdupq_n_u8(0));
}

// Four bits per lane, FF lanes giving F: vshrn narrows the 16 lanes to 64
// bits, whose two halves in core registers are tested with one OR.
inline uint64_t LaneNibbles(uint8x16_t lanes) {
    const uint32x2_t n = vreinterpret_u32_u8(vshrn_n_u16(vreinterpretq_u16_u8(lanes), 4));
    return static_cast<uint64_t>(vget_lane_u32(n, 1)) << 32 | vget_lane_u32(n, 0);
}

// Offset of the first F nibble of a non-zero LaneNibbles value.
inline int FirstLane(uint64_t nibbles) {
    const uint32_t low = static_cast<uint32_t>(nibbles);
    if (low)
        return __builtin_ctz(low) >> 2;
    return 8 + (__builtin_ctz(static_cast<uint32_t>(nibbles >> 32)) >> 2);
}

} // namespace

const unsigned char* FindCandidateNeon(const unsigned char* p, const unsigned char* last, const unsigned char* end) {
    // Exact 16-byte windows over the next 64 bytes find the candidates of
    // NAL units a few bytes long and of parameter sets full of emulation
    // prevention without a stop; farther on, blocks without a candidate are
    // skipped, and the block where the skip stops gets windows again.
    for (;;) {
        long windows = (end - p - 2) >> 4; // those that read p[0 .. 17] before end
        if (windows <= 0)
            break;
        if (windows > 4)
            windows = 4;
        do {
            const uint64_t nibbles = LaneNibbles(CandidateLanes(p));
            if (nibbles) {
                const unsigned char* q = p + FirstLane(nibbles);
                return q <= last ? q : 0;
            }
            p += 16;
        } while (--windows);
        p = SkipBlocksWithoutCandidateNeon(p, end); // p itself within 64 bytes of end
    }
    for (; p <= last; ++p) { // the last few bytes
        if (p[0] == 0 && p[1] == 0 && p[2] <= 1)
            return p;
    }
    return 0;
}

} // namespace h265headers

#endif
