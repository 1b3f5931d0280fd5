// Segments as fragmented MP4 (ISO/IEC 14496-12 8.8, CMAF style):
//  - kHls: OUTDIR/init.mp4 and seg-00000.m4s, ... with the HLS media playlist
//    index.m3u8 and the master playlist master.m3u8, both rewritten in one
//    step after each segment; a new init segment (init-NNNNN.mp4, after the
//    segment that first needs it) when the parameter sets change.
//  - kMp4: one fragmented file OUTDIR/rec-NNNNN.mp4 per recording (a new one
//    at a new picture size), its init segment first, each fragment flushed
//    to the disk when written, so that the file plays up to its last
//    complete fragment at every moment. Each file's times start at 0.
#ifndef H265SPLIT_FRAGMENTED_OUTPUT_H
#define H265SPLIT_FRAGMENTED_OUTPUT_H

#include <memory>
#include <string>
#include <vector>

#include "FileStore.h"
#include "Fragmenter.h"
#include "SampleClock.h"
#include "HlsPlaylist.h"
#include "InitSegment.h"
#include "Messages.h"
#include "PictureReader.h"
#include "SampleData.h"
#include "SegmentSink.h"
#include "Segmenter.h"

namespace h265split {

// The ticks of an MP4 track: the frame rate's fraction when its frame
// duration fits a sample's 32-bit times with room for reordering, else 90 kHz
// ticks rounded to the nearest (a frame rate of a damaged VUI, such as
// 2306716037/3783118293).
struct TrackClock {
    std::uint32_t timescale = 25;
    std::uint32_t sampleDuration = 1;
    bool approximated = false;
};
TrackClock ChooseTrackClock(const h265tools::FrameRate& rate);

class FragmentedOutput : public SegmentOutput {
public:
    // `rules` give the playlist's target duration: their seconds, or their
    // pictures at the stream's rate.
    FragmentedOutput(OutputFormat format, FileStore& store, const SegmentRules& rules, const PictureReader& pictures,
                     Messages& messages);
    ~FragmentedOutput() override;

    std::unique_ptr<SegmentSink> Open(unsigned int number, const AccessUnit& key) override;
    bool CanStart(const AccessUnit& key, std::string& why) override;
    void Finish() override;

    // Called by a segment's sink when its file has its final name.
    void Committed(const std::string& name, std::uint64_t bytes, const SegmentSpan& span);

    OutputFormat format() const { return format_; }
    FileStore& store() { return store_; }
    mp4::Fragmenter& fragmenter() { return *fragmenter_; }
    SampleClock& clock() { return *sampleClock_; }
    // The init segment of the open segment.
    const std::vector<unsigned char>& initSegment() const { return segmentInit_; }
    // The parameter sets of the open segment's init segment, to tell repeats
    // in the stream from new ones.
    bool InInit(const mp4::NalUnitSpan& nal) const;
    // The open segment's samples carry their parameter sets (an hev1 sample
    // entry): in an HLS recording from the first change of parameter sets on.
    bool inBand() const { return segmentInBand_; }
    // A sample must carry a parameter set that the init segment does not
    // hold: the open segment's sample entry becomes hev1, which allows that,
    // with the same size. Returns the new init segment.
    const std::vector<unsigned char>& CarryParameterSets();
    Messages& messages() { return messages_; }

private:
    // The SPS syntax of the key picture's SPS, read once per kept SPS; null
    // (with `why`) when it cannot be read.
    const h265tools::SpsSyntax* ReadKeySps(const AccessUnit& key, std::string& why);
    void MakeTimeline();
    void WritePlaylists(bool ended);

    OutputFormat format_;
    FileStore& store_;
    SegmentRules rules_;
    const PictureReader& pictures_;
    Messages& messages_;
    // Each file of a one-file recording has its own: its timeline from 0.
    std::unique_ptr<mp4::Fragmenter> fragmenter_;
    std::unique_ptr<SampleClock> sampleClock_;
    std::uint64_t latePictures_ = 0; // of the clocks of earlier files
    h265tools::FrameRate rate_;
    TrackClock clock_;
    // The open segment's track, init segment and number.
    mp4::VideoTrackFormat segmentTrack_;
    std::vector<unsigned char> segmentInit_;
    unsigned int segmentNumber_ = 0;
    bool segmentInBand_ = false;
    // The last hvc1 init segment made, to tell a change of parameter sets.
    std::vector<unsigned char> lastHvc1Init_;
    bool inBand_ = false; // every later segment carries its parameter sets
    // The init segment the playlist names last, and its track.
    mp4::VideoTrackFormat track_;
    std::vector<unsigned char> init_;
    std::string initName_;
    std::unique_ptr<mp4::MediaPlaylist> playlist_;
    std::string codecs_;
    std::uint64_t maxBitsPerSecond_ = 0;
    std::uint64_t totalBytes_ = 0;
    bool reportedTarget_ = false;
    // The last SPS read for a sample entry.
    std::uint64_t spsVersion_ = 0;
    h265tools::SpsSyntax sps_;
    std::string spsError_;
};

} // namespace h265split

#endif
