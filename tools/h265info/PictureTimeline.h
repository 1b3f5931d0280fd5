// Gives each picture of the walk its PicOrderCntVal, output index and
// presentation time, from what the picture reader made of it, and hands the unit
// records on to the report in stream order once the pictures among them
// know their place in output order. A picture's output position is decided
// a bounded number of pictures after it (sps_max_num_reorder_pics), so only
// those few records wait.
#ifndef H265INFO_PICTURE_TIMELINE_H
#define H265INFO_PICTURE_TIMELINE_H

#include <deque>
#include <functional>

#include "GopStructure.h"
#include "Inspection.h"
#include "OutputOrder.h"
#include "PictureReader.h"

namespace h265info {

class PictureTimeline {
public:
    using Release = std::function<void(const UnitRecord&)>;
    // `rateOption` is the user's --fps, or null. `release` takes each record
    // in stream order.
    PictureTimeline(const FrameRate* rateOption, Release release);

    // Takes the unit's timing and holds its record until it can go on.
    void Add(UnitRecord record, const h265tools::UnitReading& reading);
    // The end of the stream: every picture still waiting is output and every
    // record goes on. Fills in the summary's timing, with the stream's HDR
    // SEI messages.
    void Finish(TimingSummary& summary, const h265tools::HdrSei& hdr);

private:
    struct Held {
        UnitRecord record;
        bool waiting = false; // a picture whose output position is not decided yet
        bool key = false;
        int nalUnitType = -1;
        FrameRate rate;
    };
    // The waiting picture of the unit with this index; null when none waits.
    Held* Find(std::uint64_t index);
    void Decide();
    void ReleaseReady();
    void Describe(const h265tools::PictureTiming& timing);

    const FrameRate* rateOption_;
    Release release_;
    h265tools::OutputOrder order_;
    std::deque<Held> held_;
    GopStructure gop_;
    TimingSummary summary_;
    double nextTime_ = 0;
};

} // namespace h265info

#endif
