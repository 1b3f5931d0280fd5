// The bytes of an hvc1 sample (ISO/IEC 14496-15 4.3.2, 8.3.2): each NAL
// unit with a 4-byte length in place of its start code; no parameter sets,
// which are in hvcC.
#ifndef MP4_SAMPLE_DATA_H
#define MP4_SAMPLE_DATA_H

#include <cstddef>
#include <memory>
#include <vector>

#include "HvcC.h"

namespace mp4 {

// The NAL unit of an Annex B unit (start code included, as the splitter holds
// it): without the start code and without the trailing zero bytes, which
// belong to the byte stream (B.2), not to the NAL unit. Empty when no NAL
// unit header follows the start code.
struct NalUnitSpan {
    const unsigned char* data = nullptr;
    std::size_t size = 0;
};
NalUnitSpan NalUnitOf(const unsigned char* annexB, std::size_t size);

// nal_unit_type of a NAL unit of two bytes or more.
inline int NalUnitTypeOf(const NalUnitSpan& nal) { return (nal.data[0] >> 1) & 0x3F; }

// Bytes to be written, where they lie.
struct ByteSpan {
    const unsigned char* data;
    std::size_t size;
};

// A sample as it is gathered: its NAL units, each after its 4-byte length,
// left where they lie. The sample holds what keeps them there, so that they
// are copied nowhere before they are written.
class SampleData {
public:
    // Appends the NAL unit; `owner` keeps its bytes valid.
    void Append(const NalUnitSpan& nal, const std::shared_ptr<const void>& owner);
    // Appends a copy of the NAL unit.
    void AppendCopy(const NalUnitSpan& nal);

    // Bytes in mdat: the lengths and the NAL units.
    std::size_t size() const { return size_; }
    void clear();
    void swap(SampleData& other);

    // Appends the sample's bytes to `pieces`, in order.
    void AppendTo(std::vector<ByteSpan>& pieces) const;

private:
    struct Unit {
        unsigned char length[4]; // big-endian
        const unsigned char* data;
        std::size_t size;
    };
    void Add(const unsigned char* data, std::size_t size);

    std::vector<Unit> units_;
    std::shared_ptr<const void> owner_;                // of the first unit
    std::vector<std::shared_ptr<const void>> owners_; // of later units, where others
    std::vector<std::vector<unsigned char>> copies_;
    std::size_t size_ = 0;
};

} // namespace mp4

#endif
