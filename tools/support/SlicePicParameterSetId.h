// Which PPS a slice segment refers to.
#ifndef H265TOOLS_SLICE_PIC_PARAMETER_SET_ID_H
#define H265TOOLS_SLICE_PIC_PARAMETER_SET_ID_H

#include <cstddef>

namespace h265tools {

enum class PpsIdReading {
    kRead,
    kOutOfRange, // above 63, the largest pps_pic_parameter_set_id
    kTruncated   // the NAL unit ends first
};

// slice_pic_parameter_set_id of a slice segment NAL unit of `size` bytes;
// `nal` points to its NAL unit header (start code excluded).
PpsIdReading ReadSlicePicParameterSetId(const unsigned char* nal, std::size_t size, unsigned int& id);

} // namespace h265tools

#endif
