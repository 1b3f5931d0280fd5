// The start of slice_segment_header(), up to slice_type (7.3.6.1).
#ifndef H265HEADERS_SLICE_HEADER_H
#define H265HEADERS_SLICE_HEADER_H

#include "PictureParameterSet.h"
#include "SequenceParameterSet.h"

namespace h265headers {

// Width in bits of slice_segment_address, Ceil(Log2(PicSizeInCtbsY)),
// evaluated in double precision from the SPS fields; 0 or less means that no
// bits are read.
int SliceSegmentAddressBits(const SEQ_PARAMETER_SET& sps);

// Its last step for PicSizeInCtbsY = n: the value of
// SaturatingDoubleToInt(ceil(log(double(n)) / log(2.0))), in integers.
int CeilLog2OfCtbCount(int PicSizeInCtbsY);

// Picture type (NALU_TYPE_I/P/B_FRAME) of the first VCL NAL unit of the block
// and its first_slice_segment_in_pic_flag. False, with nothing written, when
// there is no VCL NAL unit with a payload, when slice_type is out of range, or
// for a dependent slice segment (it carries no slice_type) other than IDR_W_RADL.
bool ParseSlicePictureType(const unsigned char* data, unsigned int len, const SEQ_PARAMETER_SET& sps,
                           const PIC_PARAMETER_SET& pps, int* type, bool* firstSliceInPic);

} // namespace h265headers

#endif
