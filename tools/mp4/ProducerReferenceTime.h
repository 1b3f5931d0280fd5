// The ProducerReferenceTimeBox 'prft' (ISO/IEC 14496-12 8.16.5): a point
// where a track's media time meets UTC, written before a movie fragment so
// that a reader can tell the wall-clock time of any picture in it.
#ifndef MP4_PRODUCER_REFERENCE_TIME_H
#define MP4_PRODUCER_REFERENCE_TIME_H

#include <cstdint>
#include <vector>

namespace mp4 {

// The box for track `trackId`: media time `mediaTime` (in the track's
// timescale) is `utcMillis` milliseconds after 1970-01-01T00:00:00Z. Version 1
// (64-bit media time); the NTP timestamp counts from 1900 in 32.32 fixed point.
void AppendProducerReferenceTime(std::vector<unsigned char>& out, std::uint32_t trackId, std::int64_t utcMillis,
                                 std::uint64_t mediaTime);

} // namespace mp4

#endif
