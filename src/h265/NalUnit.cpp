#include "NalUnit.h"

#include <cstring>

#include "h265headers.h"

const unsigned char* FindStartCode(const unsigned char* data, int len, int wanted) {
    // The last position tried is len - 5, so that the header byte of a 4-byte
    // start code there is still inside the block.
    if (len < 5)
        return 0;
    const unsigned char* p = data;
    const unsigned char* last = data + (len - 5);
    while (p <= last) {
        // A start code begins with a zero byte; the C library's memchr finds
        // the next one far faster than a byte loop.
        p = static_cast<const unsigned char*>(std::memchr(p, 0, static_cast<size_t>(last - p) + 1));
        if (!p)
            return 0;
        if (p[1] != 0) {
            p += 2; // neither p nor p + 1 can begin 00 00
            continue;
        }
        int header;
        int length;
        if (p[2] == 0) {
            if (p[3] != 1) {
                ++p;
                continue;
            }
            header = p[4];
            length = 4;
        } else if (p[2] == 1) {
            header = p[3];
            length = 3;
        } else {
            p += 3; // p[2] > 1: no start code begins at p, p + 1 or p + 2
            continue;
        }
        if (wanted < 0 || ((header >> 1) & 0x3F) == wanted)
            return p;
        // The positions inside this start code see either no start code or
        // the same NAL unit through the last three bytes of a 4-byte start
        // code, which does not match either.
        p += length;
    }
    return 0;
}

int NaluTypeCode(int nal_unit_type) {
    if (nal_unit_type == kNalIdrWRadl)
        return NALU_TYPE_I_FRAME;
    if (IsVclNalUnitType(nal_unit_type))
        return NALU_TYPE_SLICE;
    switch (nal_unit_type) {
    case kNalVps:
        return NALU_TYPE_VPS;
    case kNalSps:
        return NALU_TYPE_SPS;
    case kNalPps:
        return NALU_TYPE_PPS;
    case kNalPrefixSei:
        return NALU_TYPE_SEI_PREFIX;
    case kNalSuffixSei:
        return NALU_TYPE_SEI_SUFFIX;
    default:
        return NALU_TYPE_OTHER;
    }
}
