// Going on with the recording an earlier run left in OUTDIR (--resume), as a
// recorder restarted after a crash or a power cut does: what that run wrote
// is repaired and kept, and this run's segments follow it.
#ifndef H265SPLIT_RESUMED_RUN_H
#define H265SPLIT_RESUMED_RUN_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HlsPlaylist.h"
#include "Messages.h"
#include "SegmentSink.h"

namespace h265split {

struct Options;

// Where the earlier run ended, as the outputs go on from it.
struct ResumePoint {
    bool resumed = false;      // OUTDIR held a run
    unsigned int nextNumber = 0; // above every segment and init segment number in OUTDIR
    // The end of the earlier run's last segment on the index's timeline
    // (start_time + duration of its last entry), in seconds.
    double endSeconds = 0;
    // index.m3u8 of an fmp4 run, when it names a segment.
    bool havePlaylist = false;
    unsigned int targetDuration = 0; // its #EXT-X-TARGETDURATION, which cannot change
    bool independent = false;
    std::uint64_t playlistSegments = 0;
    double playlistSeconds = 0;
    std::string initName;             // the init segment its last #EXT-X-MAP names
    std::vector<unsigned char> init;  // and its bytes
    // live.m3u8 of its last segments, when this run has --live.
    std::shared_ptr<mp4::LivePlaylist> live;
    // What master.m3u8 said: the codecs of the init segments named, the
    // peak and average bandwidth.
    std::string codecs;
    std::uint64_t bandwidth = 0;
    std::uint64_t averageBandwidth = 0;
    // With a budget: the chapters kept, oldest first (see Archive); the
    // last one goes on.
    struct Chapter {
        unsigned int first = 0;
        unsigned int last = 0;
        std::uint64_t bytes = 0; // of its segments
        double startSeconds = 0;
        bool haveUtc = false;
        std::int64_t utcMillis = 0;
        std::vector<std::string> inits; // the init segments its playlist names
    };
    std::vector<Chapter> chapters;
    // The bytes of the files in OUTDIR.
    std::uint64_t existingBytes = 0;
};

// Before anything is written: repairs what a crash left in `directory` and
// says so; returns where the earlier run ended (resumed false for an OUTDIR
// without files of ours). A recording left under a temporary name is kept
// (TornRecording); a media segment seg-NNNNN.m4s.tmp is cut back to its last
// whole movie fragment and a raw seg-NNNNN.265.tmp to the start of its last
// access unit, which may be cut short, and each is kept under its final
// name, or removed when nothing whole is left; temporary copies of
// playlists and init segments are removed. index.csv, index.json and
// index.m3u8 are cut back to their last whole entry (index.m3u8 before its
// #EXT-X-ENDLIST too), and a complete segment that they do not list yet (the
// run stopped between writing the segment and its entry) is added to them.
// Throws WriteError, also for an OUTDIR of another --format or, for fmp4,
// --keep-rasl where the earlier run claimed independent segments: refused
// before anything in OUTDIR changes.
ResumePoint ResumeEarlierRun(const std::string& directory, const Options& options, Messages& messages);

} // namespace h265split

#endif
