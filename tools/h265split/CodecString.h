// The CODECS value of an HEVC track (RFC 6381, ISO/IEC 14496-15 Annex E.3):
// "hvc1.1.6.L93.B0" for Main profile, level 3.1, Main tier, progressive.
#ifndef H265SPLIT_CODEC_STRING_H
#define H265SPLIT_CODEC_STRING_H

#include <string>

#include "HvcC.h"

namespace h265split {

std::string HevcCodecString(const char* sampleEntry, const HevcDecoderConfiguration& config);

} // namespace h265split

#endif
