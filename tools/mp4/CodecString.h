// The CODECS value of an HEVC track (RFC 6381, ISO/IEC 14496-15 Annex E.3):
// "hvc1.1.6.L93.B0" for Main profile, level 3.1, Main tier, progressive.
#ifndef MP4_CODEC_STRING_H
#define MP4_CODEC_STRING_H

#include <string>

#include "HvcC.h"

namespace mp4 {

std::string HevcCodecString(const char* sampleEntry, const HevcDecoderConfiguration& config);

} // namespace mp4

#endif
