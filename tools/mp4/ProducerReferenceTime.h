// The ProducerReferenceTimeBox 'prft' (ISO/IEC 14496-12 8.16.5): a point
// where a track's media time meets UTC, written before a movie fragment so
// that a reader can tell the wall-clock time of any picture in it.
#ifndef MP4_PRODUCER_REFERENCE_TIME_H
#define MP4_PRODUCER_REFERENCE_TIME_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mp4 {

// The box for track `trackId`: media time `mediaTime` (in the track's
// timescale) is `utcMillis` milliseconds after 1970-01-01T00:00:00Z. Version 1
// (64-bit media time); the NTP timestamp counts from 1900 in 32.32 fixed point.
void AppendProducerReferenceTime(std::vector<unsigned char>& out, std::uint32_t trackId, std::int64_t utcMillis,
                                 std::uint64_t mediaTime);

// Reads back the body of a 'prft' box (after its 8-byte header), of version 0
// (32-bit media time) or 1: the UTC time its NTP timestamp names, to the
// nearest millisecond, and the media time it ties to it. NTP seconds below
// those of 1970 are taken to be of era 1 (from 2036 on), as the writer
// wraps them. False when the body is too short.
bool ReadProducerReferenceTime(const unsigned char* body, std::size_t size, std::int64_t& utcMillis,
                               std::uint64_t& mediaTime);

} // namespace mp4

#endif
