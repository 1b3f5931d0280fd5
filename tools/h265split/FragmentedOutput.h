// Segments as fragmented MP4 (ISO/IEC 14496-12 8.8, CMAF style):
//  - kHls: OUTDIR/init.mp4 and seg-00000.m4s, ... with the HLS media playlist
//    index.m3u8 and the master playlist master.m3u8, both rewritten in one
//    step after each segment; a new init segment (init-NNNNN.mp4, after the
//    segment that first needs it) when the parameter sets change.
//  - kMp4: one fragmented file OUTDIR/rec-NNNNN.mp4 per recording (a new one
//    at a new picture size), its init segment first, each fragment flushed
//    to the disk when written, so that the file plays up to its last
//    complete fragment at every moment.
#ifndef H265SPLIT_FRAGMENTED_OUTPUT_H
#define H265SPLIT_FRAGMENTED_OUTPUT_H

#include <memory>
#include <string>
#include <vector>

#include "FileStore.h"
#include "Fragmenter.h"
#include "HlsPlaylist.h"
#include "Messages.h"
#include "PictureReader.h"
#include "SampleData.h"
#include "SegmentSink.h"
#include "Segmenter.h"
#include "TrackFormat.h"

namespace h265split {

class FragmentedOutput : public SegmentOutput {
public:
    // `rules` give the playlist's target duration: their seconds, or their
    // pictures at the stream's rate.
    FragmentedOutput(OutputFormat format, FileStore& store, const SegmentRules& rules, const PictureReader& pictures,
                     Messages& messages);
    ~FragmentedOutput() override;

    std::unique_ptr<SegmentSink> Open(unsigned int number, const AccessUnit& key) override;
    void Finish() override;

    // Called by a segment's sink when its file has its final name.
    void Committed(const std::string& name, std::uint64_t bytes, std::uint64_t pictures);

    OutputFormat format() const { return format_; }
    FileStore& store() { return store_; }
    Fragmenter& fragmenter() { return *fragmenter_; }
    const std::vector<unsigned char>& initSegment() const { return init_; }
    // The parameter sets of the current init segment, to tell repeats in the
    // stream from new ones.
    bool InInit(const NalUnitSpan& nal) const;
    Messages& messages() { return messages_; }

private:
    void WritePlaylists(bool ended);

    OutputFormat format_;
    FileStore& store_;
    SegmentRules rules_;
    const PictureReader& pictures_;
    Messages& messages_;
    std::unique_ptr<Fragmenter> fragmenter_;
    h265tools::FrameRate rate_;
    VideoTrackFormat track_;
    std::vector<unsigned char> init_;
    std::string initName_;
    bool newInit_ = false;
    std::unique_ptr<MediaPlaylist> playlist_;
    std::string codecs_;
    std::uint64_t maxBitsPerSecond_ = 0;
    std::uint64_t totalBytes_ = 0;
    bool reportedTarget_ = false;
};

} // namespace h265split

#endif
