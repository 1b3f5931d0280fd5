// Where the Segmenter writes a segment's access units: a raw .265 file, or
// fragments of an MP4 file. The Segmenter decides where segments start and
// what each holds; a sink decides how that is stored.
#ifndef H265SPLIT_SEGMENT_SINK_H
#define H265SPLIT_SEGMENT_SINK_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "AccessUnit.h"

namespace h265split {

class Archive;
class FileStore;

// Raw .265 segments; fragmented MP4 segments with HLS playlists; one
// fragmented MP4 file per recording.
enum class OutputFormat { kRaw, kHls, kMp4 };

// A closed segment on the recording's timeline, in seconds.
struct SegmentSpan {
    // From the end of the segment before (from the recording's start for the
    // first) to the end of this one's last picture: the pictures a segment's
    // start leaves out (RASL pictures) are time at its start, so the spans
    // add up to the input's duration.
    double seconds = 0;
    // The longest time between two key pictures seen so far.
    double longestKeyInterval = 0;
    // The UTC time of the segment's first picture, when the recording has a
    // wall clock.
    bool haveUtc = false;
    std::int64_t utcMillis = 0;
    // Pictures are missing between the segment before and this one (a loss
    // in a camera's stream): players must not take one for the other's
    // continuation.
    bool discontinuity = false;
};

class SegmentSink {
public:
    virtual ~SegmentSink() = default;
    // One NAL unit, start code included, as the segment holds it, that is
    // not the access unit's own: a parameter set inserted where the segment
    // starts. The sink copies what it keeps of it.
    virtual void Write(const unsigned char* data, std::size_t size) = 0;
    // The NAL unit `unit` of the access unit `au` as the segment holds it. A
    // sink that writes it later keeps au.bytes.owner(), not a copy.
    virtual void WriteUnit(const AccessUnit& au, const UnitInAccessUnit& unit) = 0;
    // The NAL units written since the last call make up the access unit
    // `au`, whose picture was dropped when `pictureDropped` (a RASL picture
    // that cannot be decoded from the segment's start).
    virtual void EndAccessUnit(const AccessUnit& au, bool pictureDropped) {
        (void)au;
        (void)pictureDropped;
    }
    // Writes what is held and gives the file its final name. Throws WriteError.
    virtual void Commit(const SegmentSpan& span) = 0;

    virtual const std::string& name() const = 0;
    virtual std::uint64_t bytes() const = 0;
};

class SegmentOutput {
public:
    virtual ~SegmentOutput() = default;
    // The sink of segment `number`, which starts with the key picture `key`.
    virtual std::unique_ptr<SegmentSink> Open(unsigned int number, const AccessUnit& key) = 0;
    // Whether a segment can start at `key`; when not, why (an MP4 sample
    // entry needs the key picture's VPS, SPS and PPS).
    virtual bool CanStart(const AccessUnit& key, std::string& why) {
        (void)key;
        (void)why;
        return true;
    }

    // After the last segment was committed.
    virtual void Finish() {}
    // Between segments: the recording's time passes `ticks` without pictures
    // (pictures lost from a camera's stream).
    virtual void Gap(std::uint64_t /*ticks*/) {}
    // The files the output writes to and the archive that lists them; none
    // for an output of a test's own.
    virtual FileStore* store() { return nullptr; }
    virtual Archive* archive() { return nullptr; }
};

// Raw .265 segments (SegmentFile) in a file store.
class RawSegmentOutput : public SegmentOutput {
public:
    explicit RawSegmentOutput(FileStore& store) : store_(store) {}
    std::unique_ptr<SegmentSink> Open(unsigned int number, const AccessUnit& key) override;

private:
    FileStore& store_;
};

} // namespace h265split

#endif
