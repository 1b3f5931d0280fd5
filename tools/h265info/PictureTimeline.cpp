#include "PictureTimeline.h"

#include "NalUnitTypes.h"

#include "SpsSyntax.h"

namespace h265info {

namespace {

// About 20 MB of records; a real stream holds a few pictures' worth.
const std::size_t kMaxHeldRecords = 1u << 16;

} // namespace

PictureTimeline::PictureTimeline(const FrameRate* rateOption, Release release)
    : rateOption_(rateOption), release_(std::move(release)) {
    if (rateOption_)
        summary_.rate = *rateOption_;
}

void PictureTimeline::Describe(const h265tools::PictureTiming& timing) {
    // The summary tells of the SPS of the first picture with a known
    // PicOrderCntVal, as it tells of its picture size.
    if (summary_.haveSps || !timing.sps)
        return;
    const h265tools::SpsSyntax& sps = *timing.sps;
    summary_.haveSps = true;
    summary_.rate = ChooseFrameRate(rateOption_, timing.sps, timing.vps);
    summary_.vuiPresent = sps.vui_parameters_present_flag;
    summary_.vui = sps.vui;
    summary_.maxNumReorderPics = timing.MaxNumReorder();
    summary_.temporalLayers = sps.sps_max_sub_layers_minus1 + 1;
    summary_.chromaFormatIdc = sps.chroma_format_idc;
}

void PictureTimeline::Add(UnitRecord record, const h265tools::UnitReading& reading) {
    Held held;
    if (record.hasHeader) {
        const h265tools::PictureTiming& timing = reading.timing;
        record.note = reading.note;
        if (!record.note.empty())
            ++summary_.notes;
        if (reading.seen == h265tools::StreamTiming::Seen::kPicture) {
            Describe(timing);
            record.hasPoc = true;
            record.poc = timing.poc;
            held.waiting = true;
            held.key = timing.irap;
            held.nalUnitType = record.nalUnitType;
            held.rate = ChooseFrameRate(rateOption_, timing.sps, timing.vps);
            record.rate = held.rate;
            if (h265tools::IsRasl(record.nalUnitType))
                gop_.LeadingRasl();
            order_.Add(timing.Decoded(record.index));
        }
    }
    if (held_.empty() && !held.waiting) {
        release_(record); // nothing waits: no need to hold a unit that is no picture
        return;
    }
    held.record = std::move(record);
    held_.push_back(std::move(held));
    Decide();
    // A stream may put any number of NAL units behind a picture that waits
    // for its output position; past this many records the waiting pictures
    // are output as they are, so that memory stays bounded.
    if (held_.size() > kMaxHeldRecords) {
        order_.Flush();
        Decide();
    }
    ReleaseReady();
}

PictureTimeline::Held* PictureTimeline::Find(std::uint64_t index) {
    // The records held are the walk's consecutive units: a picture's is where
    // its index says, without a scan of up to kMaxHeldRecords.
    if (held_.empty() || index < held_.front().record.index)
        return nullptr;
    const std::uint64_t at = index - held_.front().record.index;
    if (at < held_.size() && held_[static_cast<std::size_t>(at)].record.index == index)
        return held_[static_cast<std::size_t>(at)].waiting ? &held_[static_cast<std::size_t>(at)] : nullptr;
    for (Held& held : held_)
        if (held.waiting && held.record.index == index)
            return &held;
    return nullptr;
}

void PictureTimeline::Decide() {
    h265tools::OutputPosition position;
    while (order_.Take(position)) {
        if (Held* held = Find(position.id)) {
            held->waiting = false;
            if (position.output) {
                held->record.output = true;
                held->record.outputIndex = position.index;
                held->record.presentationTime = nextTime_;
                nextTime_ += held->rate.Seconds(1);
                ++summary_.outputPictures;
                gop_.Add(held->record.pictureType, held->key);
            }
        }
    }
}

void PictureTimeline::ReleaseReady() {
    while (!held_.empty() && !held_.front().waiting) {
        release_(held_.front().record);
        held_.pop_front();
    }
}

void PictureTimeline::Finish(TimingSummary& summary, const h265tools::HdrSei& hdr) {
    order_.Flush();
    Decide();
    ReleaseReady();
    summary_.duration = nextTime_;
    summary_.hdr = hdr;
    summary_.gopM = gop_.M();
    summary_.gopN = gop_.N();
    summary_.openGop = gop_.Open();
    summary = summary_;
}

} // namespace h265info
