#include "InputKind.h"

#include <cstring>

namespace h265tools {

namespace {

// NAL unit headers looked at; fewer than kFewestUnits decide nothing.
const std::size_t kMostUnits = 8;
const std::size_t kFewestUnits = 3;

// ISO/IEC 14496-12: a file is a sequence of boxes, each a 32-bit size (0: to
// the end of the file, 1: a 64-bit size follows, else at least the 8 bytes
// of size and type) and a four-character type. These are the types a file or
// a segment starts with.
bool StartsWithBox(const std::vector<unsigned char>& b) {
    static const char* const kTypes[] = {"ftyp", "styp", "moov", "moof", "free", "mdat"};
    if (b.size() < 8)
        return false;
    const unsigned long size = (static_cast<unsigned long>(b[0]) << 24) | (static_cast<unsigned long>(b[1]) << 16) |
                               (static_cast<unsigned long>(b[2]) << 8) | b[3];
    if (size != 0 && size != 1 && size < 8)
        return false;
    for (const char* type : kTypes)
        if (std::memcmp(b.data() + 4, type, 4) == 0)
            return true;
    return false;
}

// 7.3.1.2: forbidden_zero_bit 0, nuh_layer_id 0 in a single-layer stream,
// nuh_temporal_id_plus1 above 0, nal_unit_type not one of the reserved or
// unspecified 41..63.
bool PlausibleH265(unsigned char h0, unsigned char h1) {
    const int type = (h0 >> 1) & 0x3F;
    const int layer = ((h0 & 1) << 5) | (h1 >> 3);
    return (h0 & 0x80) == 0 && layer == 0 && (h1 & 7) != 0 && type <= 40;
}

// ITU-T H.264 7.3.1 / 7.4.1: forbidden_zero_bit 0 and the nal_unit_type of
// a coded slice (1), an IDR slice (5, nal_ref_idc not 0), SEI (6) or an
// access unit delimiter (9, both nal_ref_idc 0), an SPS (7) or a PPS (8).
bool PlausibleH264(unsigned char h0) {
    const int type = h0 & 0x1F;
    const int refIdc = (h0 >> 5) & 3;
    if ((h0 & 0x80) != 0)
        return false;
    switch (type) {
    case 1:
    case 7:
    case 8:
        return true;
    case 5:
        return refIdc != 0;
    case 6:
    case 9:
        return refIdc == 0;
    default:
        return false;
    }
}

} // namespace

InputKind GuessInputKind(const std::vector<unsigned char>& b) {
    if (StartsWithBox(b))
        return InputKind::kIsoBmff;
    std::size_t units = 0, h265 = 0, h264 = 0;
    for (std::size_t i = 0; i + 5 <= b.size() && units < kMostUnits; ++i) {
        if (b[i] != 0 || b[i + 1] != 0 || b[i + 2] != 1)
            continue;
        ++units;
        h265 += PlausibleH265(b[i + 3], b[i + 4]) ? 1 : 0;
        h264 += PlausibleH264(b[i + 3]) ? 1 : 0;
        i += 2;
    }
    if (units < kFewestUnits || h265 * 2 > units)
        return InputKind::kH265;
    return h264 == units ? InputKind::kH264 : InputKind::kUnrecognised;
}

std::string InputKindMessage(InputKind kind, const std::string& name, const std::string& description) {
    switch (kind) {
    case InputKind::kH265:
        break;
    case InputKind::kIsoBmff:
        return description + " is an MP4 file, not an Annex B byte stream (extract the stream with: ffmpeg -i " +
               (name == "-" ? std::string("-") : description) + " -c:v copy -f hevc -)";
    case InputKind::kH264:
        return description + " is an H.264 stream, not H.265";
    case InputKind::kUnrecognised:
        return description + " does not look like an H.265 Annex B byte stream: most of its first NAL unit "
                             "headers are no H.265 ones";
    }
    return std::string();
}

} // namespace h265tools
