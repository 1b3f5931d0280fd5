// The buffers every benchmark measures on, made the same way on every run and
// machine: random bytes without start codes, start codes placed into them,
// and a stream split into access units.
#ifndef H265HEADERS_BENCH_DATA_H
#define H265HEADERS_BENCH_DATA_H

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace benchdata {

typedef std::vector<unsigned char> Bytes;

// Random bytes never hold it, so memchr for it reads the whole buffer: the
// ceiling of any scan.
const unsigned char kAbsentByte = 0xA5;

// A block of a buffer that a query reads.
struct Span {
    const unsigned char* data;
    size_t size;
    int len() const { return static_cast<int>(size); }
};

// xorshift64*: the same buffers on every run and machine.
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed) {}
    uint64_t Next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 2685821657736338717ull;
    }
};

// Random bytes without kAbsentByte and without any start code: a 00 or 01
// after 00 00 is replaced, so the 00 00 near misses of random data remain.
inline Bytes RandomBytes(size_t size, uint64_t seed) {
    Random rng(seed);
    Bytes b(size);
    for (size_t i = 0; i < size; ++i) {
        unsigned char v = static_cast<unsigned char>(rng.Next() >> 56);
        if (v == kAbsentByte)
            v = kAbsentByte + 1;
        if (i >= 2 && b[i - 2] == 0 && b[i - 1] == 0 && v <= 1)
            v = static_cast<unsigned char>(2 + rng.Next() % 150);
        b[i] = v;
    }
    return b;
}

// Writes a start code of `length` bytes and an access unit delimiter header
// (nal_unit_type 35) at `pos`, after a non-zero byte so that it is found there.
inline void PutStartCode(Bytes& b, size_t pos, int length) {
    static const unsigned char kFour[] = {0, 0, 0, 1, 0x46, 0x01};
    const unsigned char* code = length == 4 ? kFour : kFour + 1;
    b[pos - 1] = 0x55;
    std::memcpy(&b[pos], code, static_cast<size_t>(length) + 2);
    b[pos + static_cast<size_t>(length) + 2] = 0x55;
}

// The literal scanning rule: first i in [from, len - 5] holding a start code.
inline long LiteralFindStartCode(const unsigned char* d, long from, long len) {
    for (long i = from; i <= len - 5; ++i) {
        if (d[i] != 0 || d[i + 1] != 0)
            continue;
        if ((d[i + 2] == 0 && d[i + 3] == 1) || d[i + 2] == 1)
            return i;
    }
    return -1;
}

// Offsets at which the access units of an Annex B stream begin, split where
// a parameter set, an AUD or a prefix SEI follows a picture, or where a slice
// with first_slice_segment_in_pic_flag follows one. Each unit begins at the
// first zero of its start code.
inline std::vector<size_t> AccessUnitStarts(const Bytes& s) {
    std::vector<size_t> starts;
    bool seenVcl = false;
    for (size_t i = 0; i + 5 < s.size(); ++i) {
        if (s[i] != 0 || s[i + 1] != 0 || s[i + 2] != 1)
            continue;
        const size_t start = i > 0 && s[i - 1] == 0 ? i - 1 : i;
        const int type = (s[i + 3] >> 1) & 0x3F;
        const bool vcl = type < 32;
        const bool opensUnit = (type >= 32 && type <= 35) || type == 39 || (type >= 41 && type <= 44) ||
                               (type >= 48 && type <= 55);
        if (starts.empty() || (seenVcl && opensUnit) || (seenVcl && vcl && (s[i + 5] & 0x80))) {
            starts.push_back(start);
            seenVcl = false;
        }
        seenVcl = seenVcl || vcl;
        i += 2;
    }
    return starts;
}

} // namespace benchdata

#endif
