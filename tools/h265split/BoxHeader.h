// Reading back the header of an ISO BMFF box (ISO/IEC 14496-12 4.2) from a
// file an earlier run wrote, which a crash may have cut anywhere: size(32)
// and type(32), and a largesize(64) after them when size is 1. Both readers
// of such files, TornRecording and SegmentContents, walk boxes with it.
#ifndef H265SPLIT_BOX_HEADER_H
#define H265SPLIT_BOX_HEADER_H

#include <cstdint>
#include <string>

namespace h265split {

// The big-endian unsigned integer of `bytes` bytes (at most 8) at `p`.
std::uint64_t BigEndian(const unsigned char* p, int bytes);

struct BoxHeader {
    std::string type;
    std::uint64_t size = 0;       // header included
    std::uint64_t headerSize = 0; // 8, or 16 with a largesize
};

// Reads the header of a box starting at `p`, of which `available` bytes are
// at hand, with `room` bytes up to the end of its container. False when the
// box is not whole: its header goes past `available`, its size is less than
// its header or goes past `room`, or is 0 (up to the end of the file), which
// a writer cut short could leave.
bool ReadBoxHeader(const unsigned char* p, std::uint64_t available, std::uint64_t room, BoxHeader& box);

} // namespace h265split

#endif
