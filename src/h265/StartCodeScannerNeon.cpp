// Compiled with NEON (see CMakeLists.txt) and called only where the processor
// has it. Nothing here but this function and NEON intrinsics, so that no
// inline function shared with other files is emitted with NEON instructions.
#include "StartCodeScannerNeon.h"

#if defined(__ARM_NEON) || defined(__ARM_NEON__)
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

} // namespace h265headers

#endif
