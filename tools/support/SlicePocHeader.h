// slice_segment_header( ), 7.3.6.1, up to slice_pic_order_cnt_lsb.
#ifndef H265TOOLS_SLICE_POC_HEADER_H
#define H265TOOLS_SLICE_POC_HEADER_H

#include <cstddef>
#include <cstdint>

#include "PpsSyntax.h"
#include "RbspBits.h"
#include "SpsSyntax.h"

namespace h265tools {

struct SlicePocHeader {
    int nal_unit_type = 0;  // from the NAL unit header
    int temporal_id = 0;    // nuh_temporal_id_plus1 - 1
    bool first_slice_segment_in_pic_flag = false;
    bool no_output_of_prior_pics_flag = false;
    unsigned slice_pic_parameter_set_id = 0;
    bool dependent_slice_segment_flag = false;
    std::uint32_t slice_segment_address = 0;
    unsigned slice_type = 0;                  // not coded in a dependent slice segment
    bool pic_output_flag = true;              // 1 when not coded
    unsigned colour_plane_id = 0;
    std::uint32_t slice_pic_order_cnt_lsb = 0; // 0 for an IDR picture
};

// `nal` points at the NAL unit header of a slice segment NAL unit
// (nal_unit_type 0..31) of `size` bytes; `pps` is the PPS its
// slice_pic_parameter_set_id names and `sps` the SPS of that PPS. A
// dependent slice segment codes nothing after slice_segment_address: the rest
// is left as it was, so that a caller may pass the header of the segment
// before.
void ReadSlicePocHeader(const unsigned char* nal, std::size_t size, const PpsHead& pps, const SpsSyntax& sps,
                        SlicePocHeader& header);
// The same with the unit's reader, which is left after slice_pic_order_cnt_lsb
// (after slice_segment_address for a dependent slice segment), where
// ReadSliceReferencePictures goes on.
void ReadSlicePocHeader(RbspBits& bits, const PpsHead& pps, const SpsSyntax& sps, SlicePocHeader& header);

} // namespace h265tools

#endif
