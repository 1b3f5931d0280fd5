// The bytes of an hvc1 sample (ISO/IEC 14496-15 4.3.2, 8.3.2): each NAL
// unit with a 4-byte length in place of its start code; no parameter sets,
// which are in hvcC.
#ifndef MP4_SAMPLE_DATA_H
#define MP4_SAMPLE_DATA_H

#include <cstddef>
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

// Appends the length-prefixed NAL unit to `sample`.
void AppendLengthPrefixed(std::vector<unsigned char>& sample, const NalUnitSpan& nal);

} // namespace mp4

#endif
