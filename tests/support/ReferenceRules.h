// The library's byte and classification rules written out literally, one
// position or one case at a time: the independent model that unit tests,
// fuzz targets and the benchmark's cross-checks compare the library with.
// C++11, as the fuzz targets are.
#ifndef H265HEADERS_TESTS_REFERENCE_RULES_H
#define H265HEADERS_TESTS_REFERENCE_RULES_H

#include "h265headers.h"

// The first position in 0 .. len - 5 holding 00 00 01, or 00 00 00 01, whose
// NAL unit header has nal_unit_type `wanted` (any type when negative); -1
// when there is none.
inline long ReferenceFindStartCode(const unsigned char* data, long len, int wanted) {
    for (long i = 0; i + 5 <= len; ++i) {
        int header;
        if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1)
            header = data[i + 3];
        else if (data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 0 && data[i + 3] == 1)
            header = data[i + 4];
        else
            continue;
        if (wanted < 0 || ((header >> 1) & 0x3F) == wanted)
            return i;
    }
    return -1;
}

// The NALU_TYPE code of a nal_unit_type 0..63: VCL types are slices except
// IDR_W_RADL (19); parameter sets and SEI have codes of their own; every
// other type is OTHER.
inline int ReferenceNaluTypeCode(int nal_unit_type) {
    if (nal_unit_type == 19)
        return NALU_TYPE_I_FRAME;
    if (nal_unit_type < 32)
        return NALU_TYPE_SLICE;
    switch (nal_unit_type) {
    case 32: return NALU_TYPE_VPS;
    case 33: return NALU_TYPE_SPS;
    case 34: return NALU_TYPE_PPS;
    case 39: return NALU_TYPE_SEI_PREFIX;
    case 40: return NALU_TYPE_SEI_SUFFIX;
    default: return NALU_TYPE_OTHER;
    }
}

#endif
