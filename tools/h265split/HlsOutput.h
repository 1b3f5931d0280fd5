// Segments as fragmented MP4 (ISO/IEC 14496-12 8.8, CMAF style) with HLS
// playlists (RFC 8216): OUTDIR/init.mp4 and seg-00000.m4s, ...; the media
// playlist index.m3u8 of every segment (or one per chapter of the Archive),
// appended to after each segment; the master playlist master.m3u8 and,
// when asked for, the live playlist live.m3u8 of the last few segments,
// rewritten in one step; a new init segment (init-NNNNN.mp4, written
// with the first segment that needs it) when the sample entry changes. From
// the first change of parameter sets on, every sample entry is hev1 and each
// segment starts with its parameter sets in band.
#ifndef H265SPLIT_HLS_OUTPUT_H
#define H265SPLIT_HLS_OUTPUT_H

#include <memory>
#include <string>
#include <vector>

#include "Archive.h"
#include "FileStore.h"
#include "HlsPlaylist.h"
#include "Mp4Track.h"
#include "ResumedRun.h"
#include "SegmentSink.h"
#include "Segmenter.h"
#include "WallClock.h"

namespace h265split {

class HlsOutput : public SegmentOutput {
public:
    // `rules` give the playlist's target duration: their seconds, or their
    // pictures at the stream's rate; with keepRasl no segment is independent.
    // `liveSegments` above 0: also live.m3u8, of that many last segments.
    HlsOutput(FileStore& store, Archive& archive, const SegmentRules& rules, std::size_t liveSegments,
              const AccessUnitReader& pictures, const WallClock& wallClock, Messages& messages);

    std::unique_ptr<SegmentSink> Open(unsigned int number, const AccessUnit& key) override;
    bool CanStart(const AccessUnit& key, std::string& why) override { return track_.CanStart(key, why); }
    void Finish() override;
    void Gap(std::uint64_t ticks) override {
        if (track_.started())
            track_.clock().Advance(ticks);
    }

    // Goes on with the recording of an earlier run (--resume): its playlists
    // grow, the first new segment after #EXT-X-DISCONTINUITY, and media
    // times run on from its end.
    void ContinueEarlierRun(const ResumePoint& earlier);

private:
    // Writes the open segment's init segment when it is new.
    void WriteInit();
    void Committed(const std::string& name, std::uint64_t bytes, const SegmentSpan& span);
    void WritePlaylists(bool ended);

    // The media playlist of the archive's open chapter, started with the
    // chapter's first segment; the one before is ended.
    void FollowChapter();

    FileStore& store_;
    Archive& archive_;
    SegmentRules rules_;
    Messages& messages_;
    Mp4Track track_;
    const WallClock& wallClock_;
    unsigned int segmentNumber_ = 0;
    // The last hvc1 init segment made, to tell a change of parameter sets.
    std::vector<unsigned char> lastHvc1Init_;
    bool inBand_ = false; // every later segment carries its parameter sets
    // The init segment the playlist names last, and its sample entry.
    std::vector<unsigned char> init_;
    mp4::VideoTrackFormat format_;
    std::string initName_;
    std::unique_ptr<mp4::MediaPlaylist> playlist_;
    std::string playlistName_; // the file playlist_ is appended to
    unsigned int targetDuration_ = 0;
    double totalSeconds_ = 0;
    std::size_t liveSegments_;
    std::unique_ptr<mp4::LivePlaylist> live_;
    std::string appended_; // the lines index.m3u8 takes next
    bool ended_ = false;   // #EXT-X-ENDLIST is written
    bool committedAny_ = false; // a segment of this run is named
    std::string masterKey_; // master.m3u8 as last written, without its average bandwidth
    std::string codecs_;
    std::uint64_t maxBitsPerSecond_ = 0;
    std::uint64_t totalBytes_ = 0;
    bool reportedTarget_ = false;
    bool newInit_ = false;        // WriteInit wrote one for the segment being written
    bool discontinuity_ = false;  // the first segment after an earlier run's
    double timelineStart_ = 0;    // seconds: the earlier run's end
};

} // namespace h265split

#endif
