// The video track of a fragmented MP4 recording, which both of its forms
// (HLS segments, one file per recording) share: where a segment can start,
// the sample entry a key picture's parameter sets give (hvc1, or hev1 whose
// samples may carry parameter sets), the track's clock and the timeline that
// turns pictures into movie fragments.
#ifndef H265SPLIT_MP4_TRACK_H
#define H265SPLIT_MP4_TRACK_H

#include <memory>
#include <string>
#include <vector>

#include "Fragmenter.h"
#include "InitSegment.h"
#include "Messages.h"
#include "AccessUnitReader.h"
#include "SampleClock.h"
#include "SampleData.h"

namespace h265split {

class Mp4Track {
public:
    Mp4Track(const AccessUnitReader& pictures, Messages& messages) : pictures_(pictures), messages_(messages) {}

    // Whether a segment can start at `key`; when not, why: an MP4 sample
    // entry needs the key picture's VPS, SPS and PPS, and its SPS read.
    bool CanStart(const AccessUnit& key, std::string& why);

    // The hvc1 form of the sample entry for a segment that starts at `key`
    // (CanStart gave true): its hvcC with every parameter set kept, colours
    // and HDR. The first call sets the track's clock from the key picture's
    // frame rate, for the whole recording. Throws WriteError.
    mp4::VideoTrackFormat Describe(const AccessUnit& key);
    // The hev1 form of the same: samples may carry parameter sets.
    static void CarryInBand(mp4::VideoTrackFormat& format);

    // The open segment's sample entry and its init segment.
    void SetEntry(const mp4::VideoTrackFormat& format);
    const mp4::VideoTrackFormat& entry() const { return entry_; }
    const std::vector<unsigned char>& entryInit() const { return entryInit_; }
    bool entryInBand() const { return entry_.config.parameterSetsComplete == false; }
    // Whether the open segment's sample entry holds the parameter set.
    bool InEntry(const mp4::NalUnitSpan& nal) const;
    // A sample must carry a parameter set that the entry does not hold: the
    // entry becomes hev1, with the same size. Returns its new init segment.
    const std::vector<unsigned char>& CarryParameterSets();

    // A new timeline: decode times from 0, fragments numbered from 1.
    void NewTimeline();
    SampleClock& clock() { return *clock_; }
    mp4::Fragmenter& fragmenter() { return *fragmenter_; }
    bool started() const { return fragmenter_ != nullptr; }

    const h265tools::FrameRate& rate() const { return rate_; }
    // Says how many pictures were shown out of their order after waiting
    // too long for their output position (damaged picture order counts).
    void ReportLatePictures();

private:
    const AccessUnitReader& pictures_;
    Messages& messages_;
    h265tools::FrameRate rate_;
    TrackClock trackClock_;
    std::unique_ptr<mp4::Fragmenter> fragmenter_;
    std::unique_ptr<SampleClock> clock_;
    std::uint64_t latePictures_ = 0; // of earlier timelines
    mp4::VideoTrackFormat entry_;
    std::vector<unsigned char> entryInit_;
    // The syntax of the key picture's SPS; null, saying why, when it could not be read.
    const h265tools::SpsSyntax* KeySps(const AccessUnit& key, std::string& why) const;
};

} // namespace h265split

#endif
