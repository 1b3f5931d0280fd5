// What the media files an earlier run wrote hold, read back when a run goes
// on after it (ResumedRun): the whole movie fragments of an fmp4 segment or
// a one-file recording, with the samples and presentation times they carry,
// and the whole access units of a raw H.265 segment. A crash may have cut
// such a file anywhere, so only what is whole counts, and nothing in it is
// trusted to stay in range.
#ifndef H265SPLIT_SEGMENT_CONTENTS_H
#define H265SPLIT_SEGMENT_CONTENTS_H

#include <cstdint>
#include <string>

namespace h265split {

// The samples of movie fragments and the presentation times they cover, in
// ticks of the track's timescale.
struct Presentation {
    std::uint64_t samples = 0;
    bool any = false;
    std::int64_t first = 0; // ticks
    std::int64_t end = 0;
};

// What the whole top-level boxes of an fMP4 file hold: a moof counts once
// its mdat is whole. Only box headers, moov and moof are read, so a long
// one-file recording costs little.
struct Fragments {
    bool movie = false;          // the file holds a whole moov
    std::uint32_t timescale = 0; // of the moov
    std::uint64_t wholeBytes = 0; // up to the end of the last whole fragment
    std::uint64_t fragments = 0;
    // The mfhd sequence_number (8.8.5) of the first fragment: 1 where a
    // run's timeline starts (Mp4Track::NewTimeline), at its first segment.
    std::uint64_t firstSequenceNumber = 0;
    Presentation shown; // of the whole fragments
    std::uint64_t size = 0;
    std::uint64_t ticks() const { return shown.any ? static_cast<std::uint64_t>(shown.end - shown.first) : 0; }
    // The 'prft' box (ISO/IEC 14496-12 8.16.5) before the first whole
    // fragment: media time `referenceTime` is `referenceUtcMillis` after the
    // epoch.
    bool haveReference = false;
    std::int64_t referenceUtcMillis = 0;
    std::uint64_t referenceTime = 0;
};

// The UTC time of the first picture shown from the whole fragments (of a
// track of `timescale` ticks a second), from the first fragment's 'prft' box
// and the media time between the two: what the writer gave the segment's
// entry. False without a 'prft' box, a timescale or a picture.
bool FirstPictureUtc(const Fragments& walk, std::uint32_t timescale, std::int64_t& utcMillis);

// Throws WriteError when the file cannot be opened or read.
Fragments WalkFragments(const std::string& path);

// The timescale of the first track of the init segment at PATH; 0 when there
// is no such file or it holds no whole moov.
std::uint32_t InitTimescale(const std::string& path);

// A raw segment's pictures and, when it may be cut short, where its last
// access unit starts: the first of an access unit delimiter, a parameter
// set, a prefix SEI or the reserved types 41..44 and 48..55, or a slice
// segment with first_slice_segment_in_pic_flag, after a VCL NAL unit
// (7.4.2.4.4). An access unit whose successor has begun is whole.
struct RawPictures {
    std::uint64_t pictures = 0;       // in the whole access units
    std::uint64_t lastUnitStart = 0;  // the last access unit's first byte (its zero_byte included)
    std::uint64_t allPictures = 0;
};

RawPictures WalkRaw(const std::string& data);

} // namespace h265split

#endif
