// What the init segment says of the video track, from the parameter sets a
// segment's key picture uses: the hvcC fields of its SPS, its VPS, SPS and
// PPS, and the HDR SEI; the colour, aspect ratio and HDR boxes beside hvcC.
#ifndef H265SPLIT_TRACK_FORMAT_H
#define H265SPLIT_TRACK_FORMAT_H

#include <vector>

#include "HdrSei.h"
#include "InitSegment.h"
#include "ParameterSets.h"
#include "SpsSyntax.h"

namespace h265split {

// The hvcC record of the parameter sets. `hdrSei` (Annex B, may be empty) is
// a prefix SEI NAL unit with HDR messages.
HevcDecoderConfiguration DescribeConfiguration(const h265tools::SpsSyntax& sps, const h265tools::KeptVps* vps,
                                               const h265tools::KeptSps& keptSps,
                                               const std::vector<const h265tools::KeptPps*>& pps,
                                               const std::vector<unsigned char>& hdrSei);

// The colr, pasp, mdcv and clli fields: the SPS's VUI and the stream's
// first HDR SEI messages.
VisualDescription DescribeVisual(const h265tools::SpsSyntax& sps, const h265tools::HdrSei& hdr);

} // namespace h265split

#endif
