// The start of slice_segment_header(), up to slice_type (7.3.6.1).
#ifndef H265HEADERS_SLICE_HEADER_H
#define H265HEADERS_SLICE_HEADER_H

#include "BitInStream.h"
#include "NalUnit.h"
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

// The picture type of the VCL NAL unit whose header byte is at `header`,
// read with the bit reader; what ParseSlicePictureType answers from there.
bool ReadSlicePictureType(const unsigned char* header, const unsigned char* end, const SEQ_PARAMETER_SET& sps,
                          const PIC_PARAMETER_SET& pps, int* type, bool* firstSliceInPic);

static_assert(NALU_TYPE_P_FRAME == NALU_TYPE_B_FRAME - 1 && NALU_TYPE_I_FRAME == NALU_TYPE_B_FRAME - 2,
              "NALU_TYPE codes of B, P and I follow slice_type 0, 1 and 2 backwards");

// What the first 32 bits of a slice segment's payload tell of its picture
// type when they hold every element up to slice_type.
enum SliceWindowVerdict { kWindowTooShort, kWindowNoType, kWindowType };

// The elements of a first slice segment of a picture without
// slice_reserved_flag, when all of them lie in `window` (the payload's first
// 32 bits, most significant first): first_slice_segment_in_pic_flag = 1,
// no_output_of_prior_pics_flag for IRAP pictures, two ue(v) codes. For
// anything else kWindowTooShort, and the bit reader takes over.
inline SliceWindowVerdict SliceTypeFromWindow(unsigned int window, int nal_unit_type, int* type) {
    if (!(window >> 31))
        return kWindowTooShort; // not the first segment: slice_segment_address follows
    int used = IsIrapNalUnitType(nal_unit_type) ? 2 : 1;
    unsigned int rest = window << used;
    if (!rest)
        return kWindowTooShort;
    used += 2 * CH264BitInStream::LeadingZeros32(rest) + 1; // slice_pic_parameter_set_id
    if (used >= 32)
        return kWindowTooShort;
    rest = window << used;
    if (!rest)
        return kWindowTooShort;
    const int length = 2 * CH264BitInStream::LeadingZeros32(rest) + 1; // slice_type, at most 29 bits here
    if (used + length > 32)
        return kWindowTooShort;
    const unsigned int slice_type = (rest >> (32 - length)) - 1u;
    if (nal_unit_type == kNalIdrWRadl)
        *type = NALU_TYPE_I_FRAME;
    else if (slice_type <= 2) // B 0, P 1, I 2 (Table 7-7), and the codes run the other way
        *type = NALU_TYPE_B_FRAME - static_cast<int>(slice_type);
    else
        return kWindowNoType;
    return kWindowType;
}

// Picture type (NALU_TYPE_I/P/B_FRAME) of the first VCL NAL unit of the block
// and its first_slice_segment_in_pic_flag. False, with nothing written, when
// there is no VCL NAL unit with a payload, when slice_type is out of range, or
// for a dependent slice segment (it carries no slice_type) other than IDR_W_RADL.
inline bool ParseSlicePictureType(const unsigned char* data, unsigned int len, const SEQ_PARAMETER_SET& sps,
                                  const PIC_PARAMETER_SET& pps, int* type, bool* firstSliceInPic) {
    const int scanLength = ScanLength(len);
    if (scanLength < 5)
        return false;
    const unsigned char* end = data + scanLength;
    const unsigned char* start = FindFirstVclNalUnit(data, end);
    if (!start)
        return false;
    const unsigned char* header = start + StartCodeLength(start);
    // An access unit's first VCL NAL unit begins its picture, and few
    // streams have extra slice header bits: then the elements up to
    // slice_type usually fit in one 32-bit load.
    const unsigned char* payload = header + 2;
    if (end - payload >= 4 && !pps.num_extra_slice_header_bits) {
        int code;
        switch (SliceTypeFromWindow(CH264BitInStream::Load32BigEndian(payload), (header[0] >> 1) & 0x3F, &code)) {
        case kWindowType:
            *type = code;
            if (firstSliceInPic)
                *firstSliceInPic = true;
            return true;
        case kWindowNoType:
            return false;
        case kWindowTooShort:
            break;
        }
    }
    return ReadSlicePictureType(header, end, sps, pps, type, firstSliceInPic);
}

} // namespace h265headers

#endif
