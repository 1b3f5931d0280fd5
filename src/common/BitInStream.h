// Most-significant-bit-first bit reader over a byte source, with the fixed-width
// u(n) reads and the Exp-Golomb ue(v)/se(v) codes of the H.26x standards.
#ifndef H265HEADERS_BIT_IN_STREAM_H
#define H265HEADERS_BIT_IN_STREAM_H

#include "InputSource.h"

class CMPEG4InStream {
public:
    explicit CMPEG4InStream(CInputSource* source) : m_byte(0), m_bitsLeft(0), m_src(source) {}
    ~CMPEG4InStream() {}

    // u(n). n <= 0 reads nothing and gives 0; for n > 32 all n bits are
    // consumed and the last 32 of them are returned.
    unsigned int GetBits(int n);
    // The value GetBits(n) would return; reader and source are left as they were.
    unsigned int PeekBits(int n);
    unsigned int GetByte() { return GetBits(8) & 0xFFu; }
    // Drops the unread rest of the current byte; returns how many bits it dropped.
    int ByteAlign();
    unsigned int GetUInt32();
    unsigned long long GetUInt64();
    // Reads one marker bit; a 0 bit is a stream error, reported like the end
    // of data because the stream cannot be read on from there.
    void market_bit();

protected:
    // Consumes n bits (n may exceed 32 and the int range) and returns the
    // last 32 of them, as GetBits would for n <= INT_MAX.
    unsigned int GetBitsLow32(unsigned long long n);
    // Consumes a run of 0 bits and the 1 bit that ends it; returns the run length.
    unsigned long long SkipLeadingZeroBits();

private:
    unsigned char m_byte; // unread bits, left-aligned; bits already read are zero
    int m_bitsLeft;       // unread bits in m_byte, 0..7 between operations
    CInputSource* m_src;  // not owned
};

class CH264BitInStream : public CMPEG4InStream {
public:
    explicit CH264BitInStream(CInputSource* source) : CMPEG4InStream(source) {}
    unsigned int GetUE();
    int GetSE();
};

#endif
