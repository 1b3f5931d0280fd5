// The start-code scanner's NEON block skip, in a file of its own so that
// 32-bit ARM builds without NEON in their flags compile it with NEON and use
// it where the processor has NEON.
#ifndef H265HEADERS_START_CODE_SCANNER_NEON_H
#define H265HEADERS_START_CODE_SCANNER_NEON_H

namespace h265headers {

// Skips 64-byte blocks that hold no position q with q[0] == q[1] == 0 and
// q[2] <= 1 (a start-code candidate); returns p, or a position at most one
// byte before the first block that might hold one, or a position fewer than
// 64 bytes before `end`. No candidate begins between p and the result. Reads
// p[0 .. 63] of every block it looks at, all before `end`.
const unsigned char* SkipBlocksWithoutCandidateNeon(const unsigned char* p, const unsigned char* end);

// The first position q in p .. last with q[0] == q[1] == 0 and q[2] <= 1, or
// null; every byte read lies before `end`, which lies beyond last + 2.
const unsigned char* FindCandidateNeon(const unsigned char* p, const unsigned char* last, const unsigned char* end);

} // namespace h265headers

#endif
