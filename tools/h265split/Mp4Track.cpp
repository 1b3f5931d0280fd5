#include "Mp4Track.h"

#include <algorithm>
#include <cmath>

#include "CountedNoun.h"
#include "NalUnitTypes.h"
#include "OutputFiles.h"
#include "SpsDescription.h"
#include "TrackFormat.h"

namespace h265split {

const h265tools::SpsSyntax* Mp4Track::KeySps(const AccessUnit& key, std::string& why) const {
    const h265tools::KeptSps& kept = *key.parameterSets.sps;
    const h265tools::ParameterSets& sets = pictures_.parameterSets();
    const h265tools::SpsSyntax* sps = sets.SpsSyntaxOf(kept.id).get();
    if (!sps) {
        const std::string& error = sets.SpsSyntaxError(kept.id);
        why = "uses the SPS at byte offset " + std::to_string(kept.offset) +
              ", which cannot be read for an MP4 sample entry" + (error.empty() ? std::string() : ": " + error);
    }
    return sps;
}

bool Mp4Track::CanStart(const AccessUnit& key, std::string& why) {
    if (!key.parameterSets.sps || !key.parameterSets.pps) {
        why = "names a PPS (or that PPS an SPS) that has not come before it, which an MP4 sample entry needs";
        return false;
    }
    const h265tools::SpsSyntax* sps = KeySps(key, why);
    if (!sps)
        return false;
    // hvcC holds a VPS array; readers such as ffmpeg refuse one without a VPS.
    const h265tools::KeptVps* vps = pictures_.parameterSets().Vps(sps->sps_video_parameter_set_id);
    if (!vps || vps->unit.empty()) {
        why = "has no VPS (vps_video_parameter_set_id " + std::to_string(sps->sps_video_parameter_set_id) +
              ") before it, which an MP4 sample entry (hvcC) needs";
        return false;
    }
    return true;
}

mp4::VideoTrackFormat Mp4Track::Describe(const AccessUnit& key) {
    std::string why;
    const h265tools::SpsSyntax* sps = KeySps(key, why);
    if (!sps || !key.parameterSets.pps)
        throw WriteError("the key picture at byte offset " + std::to_string(key.Offset()) + " " + why);
    if (!fragmenter_) {
        // The recording's clock, chosen at its first key picture.
        rate_ = pictures_.clock().rate();
        trackClock_ = pictures_.clock().track();
        if (trackClock_.approximated)
            messages_.Say("the frame rate " + std::to_string(rate_.numerator) + "/" + std::to_string(rate_.denominator) +
                          " does not fit an MP4 track's times; they are counted in 90 kHz ticks, " +
                          std::to_string(trackClock_.sampleDuration) + " a picture");
    }
    const h265tools::KeptSps& keptSps = *key.parameterSets.sps;
    const h265tools::ParameterSets& sets = pictures_.parameterSets();
    const ParameterSetUnits units =
        GatherParameterSets(sets, sets.Vps(sps->sps_video_parameter_set_id), keptSps, *key.parameterSets.pps);
    mp4::VideoTrackFormat format;
    format.timescale = trackClock_.timescale;
    format.sampleDuration = trackClock_.sampleDuration;
    const h265tools::DisplaySize display = h265tools::ComputeDisplaySize(keptSps.description);
    format.width = static_cast<unsigned int>(display.width);
    format.height = static_cast<unsigned int>(display.height);
    format.config = DescribeConfiguration(*sps, units, pictures_.hdrSei());
    format.visual = DescribeVisual(*sps, pictures_.hdr());
    return format;
}

void Mp4Track::CarryInBand(mp4::VideoTrackFormat& format) {
    format.sampleEntry = "hev1";
    format.config.parameterSetsComplete = false;
}

void Mp4Track::SetEntry(const mp4::VideoTrackFormat& format) {
    entry_ = format;
    entryInit_ = mp4::MakeInitSegment(entry_);
}

bool Mp4Track::InEntry(const mp4::NalUnitSpan& nal) const {
    const mp4::HevcDecoderConfiguration& c = entry_.config;
    for (const std::vector<mp4::NalUnitBytes>* list : {&c.vps, &c.sps, &c.pps})
        for (const mp4::NalUnitBytes& unit : *list)
            if (unit.size() == nal.size && std::equal(unit.begin(), unit.end(), nal.data))
                return true;
    return false;
}

const std::vector<unsigned char>& Mp4Track::CarryParameterSets() {
    if (!entryInBand()) {
        CarryInBand(entry_);
        entryInit_ = mp4::MakeInitSegment(entry_);
    }
    return entryInit_;
}

void Mp4Track::NewTimeline() {
    if (clock_)
        latePictures_ += clock_->latePictures();
    mp4::FragmentLimits limits;
    // A fragment of about one second: written that often while recording.
    limits.samples = static_cast<std::uint32_t>(std::max(1.0, std::min(1000.0, std::ceil(rate_.PerSecond()))));
    fragmenter_.reset(new mp4::Fragmenter(limits));
    clock_.reset(new SampleClock(*fragmenter_));
}

void Mp4Track::ReportLatePictures() {
    const std::uint64_t late = latePictures_ + (clock_ ? clock_->latePictures() : 0);
    if (late > 0)
        messages_.Say(h265tools::CountedNoun(late, "picture", "pictures") + " waited for their output position beyond " +
                      std::to_string(h265tools::OutputOrder::kMaxAge) +
                      " later pictures (a damaged picture order count) and were shown then");
}

} // namespace h265split
