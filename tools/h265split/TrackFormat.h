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

// The parameter sets of a sample entry (Annex B units, start codes included):
// those of its key picture first, then every other one a picture may use.
struct ParameterSetUnits {
    std::vector<const std::vector<unsigned char>*> vps;
    std::vector<const std::vector<unsigned char>*> sps;
    std::vector<const std::vector<unsigned char>*> pps;
};

// The key picture's VPS, SPS and PPS, and every other one kept: the other
// VPS and SPS, and the PPS that came after the SPS they name (an older one
// may have been made for another SPS of that id). Later pictures may use
// them, and hvc1 samples cannot carry them. Null VPS when none is kept.
ParameterSetUnits GatherParameterSets(const h265tools::ParameterSets& sets, const h265tools::KeptVps* vps,
                                      const h265tools::KeptSps& sps, const h265tools::KeptPps& pps);

// The hvcC record of the parameter sets. `hdrSei` (Annex B, may be empty) is
// a prefix SEI NAL unit with HDR messages.
mp4::HevcDecoderConfiguration DescribeConfiguration(const h265tools::SpsSyntax& sps, const ParameterSetUnits& units,
                                               const std::vector<unsigned char>& hdrSei);

// The colr, pasp, mdcv and clli fields: the SPS's VUI and the stream's
// first HDR SEI messages.
mp4::VisualDescription DescribeVisual(const h265tools::SpsSyntax& sps, const h265tools::HdrSei& hdr);

} // namespace h265split

#endif
