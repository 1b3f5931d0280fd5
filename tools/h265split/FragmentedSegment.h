// One segment of a fragmented MP4 recording: its pictures become samples on
// the track's timeline and its fragments are written to a file, under a
// temporary name until the segment is complete. A one-file recording's file
// holds its init segment first, is flushed to the disk fragment by fragment
// and keeps its complete fragments when the recording ends by a failure.
#ifndef H265SPLIT_FRAGMENTED_SEGMENT_H
#define H265SPLIT_FRAGMENTED_SEGMENT_H

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FileStore.h"
#include "Fragmenter.h"
#include "Mp4Track.h"
#include "SegmentSink.h"

namespace h265split {

class FragmentedSegment : public SegmentSink, public mp4::FragmentConsumer {
public:
    // Called when the file has its final name.
    using Committed = std::function<void(const std::string& name, std::uint64_t bytes, const SegmentSpan& span)>;

    // `oneFile`: the file holds the whole recording, init segment first.
    FragmentedSegment(Mp4Track& track, FileStore& store, const std::string& name, bool oneFile,
                      Messages& messages, Committed committed);
    ~FragmentedSegment() override;
    // Called before the first fragment is written and again before the file
    // is flushed and named: what a player needs to play the segment (a new
    // init segment) is on the disk before any of it is, also after a crash.
    void BeforeWriting(std::function<void()> prepare) { prepare_ = std::move(prepare); }

    void Write(const unsigned char* data, std::size_t size) override;
    void WriteUnit(const AccessUnit& au, const UnitInAccessUnit& unit) override;
    void EndAccessUnit(const AccessUnit& au, bool pictureDropped) override;
    // Writes the fragment's pieces with one system call (a few, for a very
    // large fragment).
    void TakeFragment(const std::vector<mp4::ByteSpan>& pieces, std::uint32_t samples) override;
    void Commit(const SegmentSpan& span) override;

    const std::string& name() const override { return name_; }
    std::uint64_t bytes() const override { return bytes_; }

private:
    void WriteBytes(const std::vector<unsigned char>& bytes);
    // Whether the NAL unit goes into the sample: not a parameter set that the
    // sample entry holds.
    bool InSample(const mp4::NalUnitSpan& nal);

    Mp4Track& track_;
    std::string name_;
    bool oneFile_;
    Messages& messages_;
    Committed committed_;
    std::function<void()> prepare_;
    std::unique_ptr<FileStore::File> file_;
    std::uint64_t bytes_ = 0;
    std::uint64_t completeBytes_ = 0;    // up to the end of the last fragment written
    std::uint64_t fragmentPictures_ = 0; // the pictures of the fragments written
    bool first_ = true;
    bool done_ = false;
    mp4::SampleData sample_;
    std::vector<struct iovec> pieces_;
};

} // namespace h265split

#endif
