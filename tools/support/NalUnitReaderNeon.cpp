// Compiled with NEON (see tools/CMakeLists.txt) and called only where the
// processor has it. Nothing here but this function and NEON intrinsics, so
// that no inline function shared with other files is emitted with NEON
// instructions.
#include "NalUnitReaderNeon.h"

#if (defined(__ARM_NEON) || defined(__ARM_NEON__)) && defined(__GNUC__) && defined(__BYTE_ORDER__) &&                \
    __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
#include <arm_neon.h>
#include <cstddef>

namespace h265tools {

namespace {

// Zero in byte k where a start code may begin at offset 2k or 2k - 1 of the
// 32 bytes at p.
inline uint8x16_t Marks(const unsigned char* p, uint8x16_t aboveOne) {
    const uint8x16x2_t b = vld2q_u8(p);
    return vorrq_u8(b.val[0], vandq_u8(b.val[1], aboveOne));
}

// Marks of the 64 bytes at p.
inline uint8x16_t Marks64(const unsigned char* p, uint8x16_t aboveOne) {
    return vminq_u8(Marks(p, aboveOne), Marks(p + 32, aboveOne));
}

inline bool HasZero(uint8x16_t v) {
    uint8x8_t folded = vpmin_u8(vget_low_u8(v), vget_high_u8(v));
    folded = vpmin_u8(folded, folded); // bytes 0..3: the least of all 16
    return vget_lane_u32(vreinterpret_u32_u8(vceq_u8(folded, vdup_n_u8(0))), 0) != 0;
}

} // namespace

const unsigned char* SkipBlocksWithoutStartCodeNeon(const unsigned char* p, const unsigned char* end) {
    // vld2q splits 32 bytes into those at even offsets, e[k], and at odd ones,
    // o[k]. A start code's 00 00 0x (x <= 1) at an even offset 2k has e[k] and
    // o[k] zero; at an odd offset 2k - 1 it has e[k] zero and o[k] <= 1. So
    // e | (o & FE) has a zero byte wherever one begins, but for one that
    // begins at a block's last byte, which the next block sees at its k = 0:
    // a stop goes back one byte for it. Four blocks a step; where they hold
    // one, the blocks are looked at again one by one.
    const unsigned char* const from = p;
    const uint8x16_t aboveOne = vdupq_n_u8(0xFE);
    for (std::ptrdiff_t steps = (end - p) / 256; steps > 0; --steps) {
        const unsigned char* q = p;
        uint8x16_t least = Marks(q, aboveOne);
        for (int k = 1; k < 8; ++k) {
            q += 32;
            least = vminq_u8(least, Marks(q, aboveOne));
        }
        if (HasZero(least))
            break;
        p += 256;
    }
    while (end - p >= 64 && !HasZero(Marks64(p, aboveOne)))
        p += 64;
    return p == from ? p : p - 1;
}

} // namespace h265tools

#endif
