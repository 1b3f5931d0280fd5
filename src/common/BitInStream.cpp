#include "BitInStream.h"

namespace {

// Number of 0 bits above the most significant 1 bit of a non-zero byte.
inline int LeadingZerosOfByte(unsigned int byte) {
    int zeros = 0;
    if (byte < 0x10u) { zeros += 4; byte <<= 4; }
    if (byte < 0x40u) { zeros += 2; byte <<= 2; }
    if (byte < 0x80u) { zeros += 1; }
    return zeros;
}

} // namespace

unsigned int CMPEG4InStream::GetBitsBeyondByte(int n) {
    // A wider read whose bits are all there is the read of the bits before
    // its last 32 followed by the read of those 32: same bits consumed, same
    // value, and no end of data on the way.
    if (n > 32 && n <= 64 && HasBits(static_cast<unsigned int>(n))) {
        GetBits(n - 32);
        return GetBits(32);
    }
    // m_byte holds only zeros below its unread bits, so with nothing left the
    // shift by 8 yields 0.
    unsigned int result = static_cast<unsigned int>(m_byte) >> (8 - m_bitsLeft);
    n -= m_bitsLeft;
    m_bitsLeft = 8;
    m_byte = static_cast<unsigned char>(NextByte());
    while (n > 8) {
        result = (result << 8) | m_byte; // bits above bit 31 are dropped
        n -= 8;
        m_byte = static_cast<unsigned char>(NextByte());
    }
    result = (result << n) | (static_cast<unsigned int>(m_byte) >> (8 - n));
    m_byte = static_cast<unsigned char>((static_cast<unsigned int>(m_byte) << n) & 0xFFu);
    m_bitsLeft = 8 - n;
    return result;
}

unsigned int CMPEG4InStream::PeekBits(int n) {
    if (n <= m_bitsLeft) {
        if (n <= 0)
            return 0;
        return static_cast<unsigned int>(m_byte) >> (8 - n);
    }
    unsigned int result = static_cast<unsigned int>(m_byte) >> (8 - m_bitsLeft);
    n -= m_bitsLeft;
    int fetched = 0;
    unsigned int byte = NextByte();
    ++fetched;
    while (n > 8) {
        result = (result << 8) | byte;
        n -= 8;
        byte = NextByte();
        ++fetched;
    }
    result = (result << n) | (byte >> (8 - n));
    while (fetched-- > 0)
        PutBackByte();
    return result;
}

int CMPEG4InStream::ByteAlign() {
    int dropped = m_bitsLeft;
    m_bitsLeft = 0;
    m_byte = 0;
    return dropped;
}

unsigned int CMPEG4InStream::GetUInt32() {
    unsigned int value = 0;
    for (int i = 0; i < 4; ++i)
        value = (value << 8) | GetByte();
    return value;
}

unsigned long long CMPEG4InStream::GetUInt64() {
    unsigned long long value = 0;
    for (int i = 0; i < 8; ++i)
        value = (value << 8) | GetByte();
    return value;
}

void CMPEG4InStream::market_bit() {
    if (GetBits(1) != 1)
        throw h265headers::kEndOfData;
}

unsigned int CMPEG4InStream::GetBitsLow32(unsigned long long n) {
    // Only the last 32 bits survive, so everything before them is skipped in
    // chunks that GetBits can take as an int.
    const unsigned long long kChunk = 1ull << 30;
    while (n > 32) {
        unsigned long long skip = n - 32;
        if (skip > kChunk)
            skip = kChunk;
        GetBits(static_cast<int>(skip));
        n -= skip;
    }
    return GetBits(static_cast<int>(n));
}

unsigned long long CMPEG4InStream::SkipLeadingZeroBits() {
    // Whole zero bytes are counted at once instead of bit by bit; the bits
    // consumed and the point where the end-of-data signal is thrown are the
    // same as with one GetBits(1) per bit.
    unsigned long long zeros = 0;
    for (;;) {
        if (m_bitsLeft == 0) {
            m_byte = static_cast<unsigned char>(NextByte());
            m_bitsLeft = 8;
        }
        if (m_byte == 0) {
            zeros += static_cast<unsigned long long>(m_bitsLeft);
            m_bitsLeft = 0;
            continue;
        }
        int run = LeadingZerosOfByte(m_byte); // < m_bitsLeft: the low bits are zero
        zeros += static_cast<unsigned long long>(run);
        m_byte = static_cast<unsigned char>((static_cast<unsigned int>(m_byte) << (run + 1)) & 0xFFu);
        m_bitsLeft -= run + 1;
        return zeros;
    }
}

unsigned int CH264BitInStream::GetUESlow() {
    unsigned long long zeros = SkipLeadingZeroBits();
    // 2^zeros, saturated at 0xFFFFFFFF from 32 zeros on; formed before the
    // info bits are read.
    unsigned int term = zeros >= 32 ? 0xFFFFFFFFu : (1u << zeros);
    unsigned int info = GetBitsLow32(zeros);
    return term - 1u + info; // modulo 2^32
}

int CH264BitInStream::GetSE() {
    unsigned int k = GetUE();
    // (k + 1) >> 1 in 32-bit arithmetic: at most 2^31 - 1, so it fits an int
    // (k = 2^32 - 1 wraps to 0).
    unsigned int half = (k + 1u) >> 1;
    int magnitude = static_cast<int>(half);
    return (k & 1u) ? magnitude : -magnitude;
}
