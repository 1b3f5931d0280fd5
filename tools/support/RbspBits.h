// A checked bit reader over the RBSP of one NAL unit (7.3.1.1), read in place.
#ifndef H265TOOLS_RBSP_BITS_H
#define H265TOOLS_RBSP_BITS_H

#include <cstddef>
#include <cstdint>

#include "SyntaxError.h"

namespace h265tools {

// `nal` points at the two-byte NAL unit header (start code excluded); the
// reader starts after it. An emulation_prevention_three_byte (a 03 after two
// zero bytes) is stepped over as the read reaches it, so the unit is never
// copied, and no byte outside [nal, nal + size) is ever read. Every read that
// runs past the end of the unit throws SyntaxError naming the element.
class RbspBits {
public:
    RbspBits(const unsigned char* nal, std::size_t size);

    // nal_unit_type and nuh_temporal_id_plus1 - 1 of the NAL unit header
    // (7.3.1.2); 0 when the unit is shorter than its header.
    int NalUnitType() const;
    int TemporalId() const;
    int LayerId() const;

    // u(n), 0 <= n <= 32.
    std::uint32_t u(int n, const char* name = "the next element");
    // u(1).
    bool flag(const char* name = "the next element");
    // ue(v), 9.2. A code with more than 31 leading zero bits (a value above
    // 2^32 - 2) is a SyntaxError.
    std::uint32_t ue(const char* name = "the next element");
    // se(v), 9.2.2: -(2^31 - 1) .. 2^31 - 1.
    std::int32_t se(const char* name = "the next element");
    // Steps over `bits` RBSP bits.
    void Skip(std::uint64_t bits, const char* name = "the next element");

    // more_rbsp_data() (7.2): is there anything before the rbsp_stop_one_bit,
    // the last 1 bit of the unit?
    bool MoreRbspData();
    // Bits of the unit after the read position, emulation prevention bytes
    // ahead counted as data: an upper bound on what reads can still take.
    std::uint64_t BitsLeft() const;
    // RBSP bits read so far (emulation prevention bytes not counted).
    std::uint64_t Position() const { return position_; }
    bool ByteAligned() const { return bit_ == 0; }

private:
    // The next bit; the caller has checked that one is left.
    unsigned NextBit();
    // Moves to the next byte of the unit, over an emulation prevention byte.
    void NextByte();
    [[noreturn]] void Truncated(const char* name) const;
    bool FindStopBit();

    const unsigned char* nal_;
    std::size_t size_;
    std::size_t byte_ = 2;    // byte holding the next bit
    int bit_ = 0;             // bits of it already read, 0..7
    int zeros_ = 0;           // zero bytes right before byte_ (0..2)
    std::uint64_t position_ = 0;
    bool stopFound_ = false;  // stopByte_/stopBit_ are known
    bool hasStop_ = false;    // the unit holds a 1 bit after its header
    std::size_t stopByte_ = 0;
    int stopBit_ = 0;         // position of the stop bit in stopByte_, 0 = MSB
};

// Ceil( Log2( n ) ) for n >= 1: the length of a u(v) element that picks one
// of n things (slice_segment_address, short_term_ref_pic_set_idx, lt_idx_sps).
int CeilLog2(std::uint64_t n);

} // namespace h265tools

#endif
