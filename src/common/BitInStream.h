// Most-significant-bit-first bit reader over a byte source, with the fixed-width
// u(n) reads and the Exp-Golomb ue(v)/se(v) codes of the H.26x standards.
#ifndef H265HEADERS_BIT_IN_STREAM_H
#define H265HEADERS_BIT_IN_STREAM_H

#include <cstring>

#include "InputSource.h"

class CMPEG4InStream {
public:
    explicit CMPEG4InStream(CInputSource* source)
        : m_byte(0), m_bitsLeft(0), m_src(source), m_cur(0), m_end(0) {}
    // Reads the unread bytes of a memory source in place, without a virtual
    // call per byte; the source's own position is not advanced. Values,
    // bits consumed and the point of the end-of-data signal are those of the
    // reader over the source.
    explicit CMPEG4InStream(CMemInputSource* source)
        : m_byte(0), m_bitsLeft(0), m_src(0), m_cur(source->Cursor()), m_end(source->End()) {}
    ~CMPEG4InStream() {}

    // u(n). n <= 0 reads nothing and gives 0; for n > 32 all n bits are
    // consumed and the last 32 of them are returned.
    unsigned int GetBits(int n) {
        if (n <= m_bitsLeft) {
            if (n <= 0)
                return 0;
            const unsigned int result = static_cast<unsigned int>(m_byte) >> (8 - n);
            m_byte = static_cast<unsigned char>((static_cast<unsigned int>(m_byte) << n) & 0xFFu);
            m_bitsLeft -= n;
            return result;
        }
        // In memory with four bytes at hand, up to 32 bits come from one
        // window; the data cannot run out there, so nothing differs from the
        // byte loop.
        if (n <= 32 && BytesInMemory() >= 4)
            return TakeFromMemory(n);
        return GetBitsBeyondByte(n);
    }
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
    // True when at least n bits are known to be left (memory sources only;
    // over any other source the count is unknown and this is false).
    bool HasBits(unsigned int n) const {
        return !m_src && static_cast<unsigned long long>(m_end - m_cur) * 8u + static_cast<unsigned int>(m_bitsLeft) >= n;
    }

    // The four bytes at p as a big-endian number.
    static unsigned int Load32BigEndian(const BYTE* p) {
#if defined(__GNUC__) && defined(__BYTE_ORDER__) && __BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__
        unsigned int v;
        std::memcpy(&v, p, 4);
        return __builtin_bswap32(v);
#else
        return static_cast<unsigned int>(p[0]) << 24 | static_cast<unsigned int>(p[1]) << 16 |
               static_cast<unsigned int>(p[2]) << 8 | static_cast<unsigned int>(p[3]);
#endif
    }
    // Leading zero bits of a non-zero value.
    static int LeadingZeros32(unsigned int v) {
#if defined(__GNUC__)
        return __builtin_clz(v);
#else
        int zeros = 0;
        while (!(v >> (31 - zeros) & 1u))
            ++zeros;
        return zeros;
#endif
    }

protected:
    // Consumes n bits (n may exceed 32 and the int range) and returns the
    // last 32 of them, as GetBits would for n <= INT_MAX.
    unsigned int GetBitsLow32(unsigned long long n);
    // Consumes a run of 0 bits and the 1 bit that ends it; returns the run length.
    unsigned long long SkipLeadingZeroBits();

    // The next byte of the source; the end-of-data signal when there is none.
    unsigned int NextByte() {
        if (m_src)
            return m_src->ReadByte();
        if (m_cur == m_end)
            throw h265headers::kEndOfData;
        return *m_cur++;
    }
    // Gives back the byte NextByte returned last.
    void PutBackByte() {
        if (m_src)
            m_src->UnreadByte();
        else
            --m_cur;
    }
    // GetBits beyond the current byte, other than from the window.
    unsigned int GetBitsBeyondByte(int n);
    // Bytes left in a memory source (0 over any other source).
    long BytesInMemory() const { return m_src ? 0 : static_cast<long>(m_end - m_cur); }
    // Consumes `bits` (1 .. 32) bits that lie in m_byte and the bytes at
    // m_cur, with BytesInMemory() >= 4.
    void SkipInWindow(int bits) {
        if (bits <= m_bitsLeft) {
            m_byte = static_cast<unsigned char>((static_cast<unsigned int>(m_byte) << bits) & 0xFFu);
            m_bitsLeft -= bits;
            return;
        }
        const int need = bits - m_bitsLeft;
        const int bytes = (need + 7) >> 3;
        m_cur += bytes;
        m_bitsLeft = 8 * bytes - need;
        m_byte = static_cast<unsigned char>((static_cast<unsigned int>(m_cur[-1]) << (8 - m_bitsLeft)) & 0xFFu);
    }
    // The next 32 bits, left-aligned: the unread bits of m_byte, then the
    // four bytes at m_cur less the low m_bitsLeft bits of the last one, with
    // BytesInMemory() >= 4. 32-bit arithmetic throughout, which 32-bit ARM
    // does in single instructions.
    unsigned int Window32() const {
        return static_cast<unsigned int>(m_byte) << 24 | Load32BigEndian(m_cur) >> m_bitsLeft;
    }
    // Takes `bits` (1 .. 32) bits that lie in m_byte and the bytes at m_cur,
    // with BytesInMemory() >= 4; returns them.
    unsigned int TakeFromMemory(int bits) {
        const unsigned int result = Window32() >> (32 - bits); // shift 0 .. 31
        SkipInWindow(bits);
        return result;
    }

private:
    unsigned char m_byte; // unread bits, left-aligned; bits already read are zero
    int m_bitsLeft;       // unread bits in m_byte, 0..7 between operations
    CInputSource* m_src;  // not owned; null when reading memory in place
    const BYTE* m_cur;    // in place: the next byte
    const BYTE* m_end;    // in place: one past the last byte

    friend class CH264BitInStream; // its GetUE reads a window in place
};

class CH264BitInStream : public CMPEG4InStream {
public:
    explicit CH264BitInStream(CInputSource* source) : CMPEG4InStream(source) {}
    explicit CH264BitInStream(CMemInputSource* source) : CMPEG4InStream(source) {}
    // ue(v), 9.2 Parsing process for Exp-Golomb codes.
    unsigned int GetUE() {
        // The code 1 (value 0), the commonest, from the current byte.
        if (m_bitsLeft > 0 && (m_byte & 0x80u)) {
            m_byte = static_cast<unsigned char>((static_cast<unsigned int>(m_byte) << 1) & 0xFFu);
            --m_bitsLeft;
            return 0;
        }
        if (BytesInMemory() >= 4) {
            // The next 32 bits: a code of up to 15 leading zeros lies wholly
            // in them (2 * 15 + 1 <= 32 bits), so the data cannot run out
            // within it. Longer codes and the last bytes of the data take the
            // general path.
            const unsigned int window = Window32();
            if (window >> 16) { // a 1 bit within the first 16
                const int zeros = LeadingZeros32(window);
                const int length = 2 * zeros + 1; // at most 31
                // 2^zeros + info, less 1: term - 1 + info of the general path.
                const unsigned int value = (window >> (32 - length)) - 1u;
                SkipInWindow(length);
                return value;
            }
        }
        return GetUESlow();
    }
    int GetSE(); // se(v), 9.2.2 Mapping process for signed Exp-Golomb codes

private:
    unsigned int GetUESlow();
};

#endif
