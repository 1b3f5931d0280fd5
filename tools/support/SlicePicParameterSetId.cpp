#include "SlicePicParameterSetId.h"

#include "NalUnitTypes.h"

namespace h265tools {

namespace {

const unsigned int kMaxPpsId = 63;
// ue(v) codes of 0..63 have at most 6 leading zero bits.
const int kMaxLeadingZeros = 6;

class Bits {
public:
    Bits(const unsigned char* data, std::size_t size) : data_(data), size_(size) {}
    bool Read(unsigned int& bit) {
        if (position_ >= size_ * 8)
            return false;
        bit = (data_[position_ / 8] >> (7 - position_ % 8)) & 1u;
        ++position_;
        return true;
    }

private:
    const unsigned char* data_;
    std::size_t size_;
    std::size_t position_ = 0;
};

} // namespace

PpsIdReading ReadSlicePicParameterSetId(const unsigned char* nal, std::size_t size, unsigned int& id) {
    if (size < 2)
        return PpsIdReading::kTruncated;
    const unsigned int nal_unit_type = (nal[0] >> 1) & 0x3F;
    // The payload is read in place: at most 2 + 6 + 1 + 6 bits are read, all
    // in its first two bytes, and an emulation_prevention_three_byte needs two
    // payload bytes before it.
    Bits bits(nal + 2, size - 2);
    unsigned int bit = 0;
    // 7.3.6.1 General slice segment header syntax
    if (!bits.Read(bit)) // first_slice_segment_in_pic_flag u(1)
        return PpsIdReading::kTruncated;
    if (IsIrap(nal_unit_type) && !bits.Read(bit)) // no_output_of_prior_pics_flag u(1), IRAP
        return PpsIdReading::kTruncated;
    // slice_pic_parameter_set_id ue(v)
    int leadingZeros = 0;
    for (;;) {
        if (!bits.Read(bit))
            return PpsIdReading::kTruncated;
        if (bit)
            break;
        if (++leadingZeros > kMaxLeadingZeros)
            return PpsIdReading::kOutOfRange;
    }
    unsigned int suffix = 0;
    for (int i = 0; i < leadingZeros; ++i) {
        if (!bits.Read(bit))
            return PpsIdReading::kTruncated;
        suffix = (suffix << 1) | bit;
    }
    id = (1u << leadingZeros) - 1 + suffix;
    return id > kMaxPpsId ? PpsIdReading::kOutOfRange : PpsIdReading::kRead;
}

} // namespace h265tools
