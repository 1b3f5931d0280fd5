// A movie fragment (ISO/IEC 14496-12 8.8.4): moof with mfhd and one traf
// (tfhd default-base-is-moof, tfdt, trun version 1 with signed composition
// offsets), then the header of the mdat that holds its samples.
#ifndef MP4_MEDIA_FRAGMENT_H
#define MP4_MEDIA_FRAGMENT_H

#include <cstdint>
#include <vector>

#include "BoxWriter.h"

namespace mp4 {

struct FragmentSample {
    std::uint32_t size = 0;     // bytes in mdat: 4-byte lengths and NAL units
    std::uint32_t duration = 0; // ticks until the next sample's decode time
    // Presentation time minus decode time, in ticks: negative for a picture
    // shown before pictures decoded ahead of it.
    std::int32_t compositionOffset = 0;
    bool sync = false; // an IRAP picture
};

// sample_flags of 8.8.3.1.
const std::uint32_t kSyncSampleFlags = 0x02000000u;    // sample_depends_on 2: no other picture
const std::uint32_t kNonSyncSampleFlags = 0x01010000u; // sample_depends_on 1, sample_is_non_sync_sample 1

// moof and the mdat header for samples that follow it in that order;
// baseMediaDecodeTime is the first sample's decode time.
std::vector<unsigned char> MakeFragmentHeader(std::uint32_t sequenceNumber, std::uint64_t baseMediaDecodeTime,
                                              const std::vector<FragmentSample>& samples);

} // namespace mp4

#endif
