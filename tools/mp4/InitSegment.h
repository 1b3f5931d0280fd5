// The initialization segment of a fragmented MP4 (ISO/IEC 14496-12 8.8,
// CMAF style): ftyp and a moov whose one video track has empty sample tables,
// an hvc1 sample entry and a trex; the samples come in movie fragments.
#ifndef MP4_INIT_SEGMENT_H
#define MP4_INIT_SEGMENT_H

#include <cstdint>
#include <vector>

#include "HvcC.h"
#include "VisualDescription.h"

namespace mp4 {

struct VideoTrackFormat {
    unsigned int width = 0; // display size: the SPS conformance window applied
    unsigned int height = 0;
    std::uint32_t timescale = 25; // ticks per second of every time in the track
    std::uint32_t sampleDuration = 1; // ticks of one picture
    // hvc1: every parameter set in hvcC, none in the samples; hev1: samples may
    // carry them too (ISO/IEC 14496-15 8.4.1.1.1).
    const char* sampleEntry = "hvc1";
    HevcDecoderConfiguration config;
    VisualDescription visual;
};

// The track_ID of the one track.
const std::uint32_t kTrackId = 1;

void WriteFtyp(BoxWriter& box);
void WriteMoov(BoxWriter& box, const VideoTrackFormat& format);

// ftyp followed by moov.
std::vector<unsigned char> MakeInitSegment(const VideoTrackFormat& format);

} // namespace mp4

#endif
