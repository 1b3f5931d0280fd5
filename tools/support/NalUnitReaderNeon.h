// The NAL unit reader's NEON block skip, in a file of its own so that 32-bit
// ARM builds without NEON in their flags compile it with NEON and use it where
// the processor has NEON.
#ifndef H265TOOLS_NAL_UNIT_READER_NEON_H
#define H265TOOLS_NAL_UNIT_READER_NEON_H

namespace h265tools {

// Skips 64-byte blocks in which no start code can begin (no position q with
// q[0] == q[1] == 0 and q[2] <= 1): returns p, or a position at most one byte
// before the first block that may hold one, or a position fewer than 64 bytes
// before `end`. Reads p[0 .. 63] of every block it looks at.
const unsigned char* SkipBlocksWithoutStartCodeNeon(const unsigned char* p, const unsigned char* end);

} // namespace h265tools

#endif
