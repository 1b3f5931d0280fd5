// What the init segment says of the video track, from the parameter sets a
// segment's key picture uses: the hvcC fields of its SPS, its VPS, SPS and
// PPS, the HDR SEI, the display size, and the frame duration.
#ifndef H265SPLIT_TRACK_FORMAT_H
#define H265SPLIT_TRACK_FORMAT_H

#include <string>
#include <vector>

#include "InitSegment.h"
#include "ParameterSets.h"
#include "SpsSyntax.h"

namespace h265split {

// Pictures per second as a rational number, and where it came from.
struct FrameRate {
    std::uint32_t timescale = 25; // ticks per second
    std::uint32_t duration = 1;   // ticks per picture
    std::string source;           // "SPS VUI", "VPS", "--fps", "not in the stream, 25 assumed"
    double PerSecond() const { return static_cast<double>(timescale) / duration; }
};

// The frame rate of the SPS's VUI timing, else of its VPS's timing, else
// `fps` (0: not given), else 25.
FrameRate FindFrameRate(const h265tools::SpsSyntax& sps, const h265tools::KeptVps* vps, double fps);

// The hvcC record of the parameter sets. `hdrSei` (Annex B, may be empty) is
// a prefix SEI NAL unit with HDR messages.
HevcDecoderConfiguration DescribeConfiguration(const h265tools::SpsSyntax& sps, const h265tools::KeptVps* vps,
                                               const h265tools::KeptSps& keptSps,
                                               const std::vector<const h265tools::KeptPps*>& pps,
                                               const std::vector<unsigned char>& hdrSei);

} // namespace h265split

#endif
