// Fills in the picture fields of each access unit from the tools' picture
// reader, which reads every NAL unit once: whether it is a key picture, its
// picture type, the SPS and PPS it refers to, its PicOrderCntVal, output flag
// and frame rate, and its time in the recording's ticks (RecordingClock);
// and says what could not be read.
#ifndef H265SPLIT_ACCESS_UNIT_READER_H
#define H265SPLIT_ACCESS_UNIT_READER_H

#include "AccessUnit.h"
#include "AccessUnitAssembler.h"
#include "Messages.h"
#include "NalUnitReader.h"
#include "PictureReader.h"
#include "RecordingClock.h"

namespace h265split {

class AccessUnitReader {
public:
    // `rateOption` is the user's --fps, or null. std::bad_alloc when the
    // library's parsers cannot be made.
    AccessUnitReader(Messages& messages, const h265tools::FrameRate* rateOption)
        : messages_(messages), rateOption_(rateOption) {}
    AccessUnitReader(const AccessUnitReader&) = delete;
    AccessUnitReader& operator=(const AccessUnitReader&) = delete;

    // Takes in the unit that has just been added to `au`: keeps a VPS, SPS or
    // PPS under its id, and for the first slice segment of a picture fills in
    // the picture fields of `au`, its PicOrderCntVal and frame rate among them.
    void Observe(const h265tools::NalUnitView& unit, const UnitHeader& header, AccessUnit& au);

    // HasParameterSets on the access unit: a VPS, an SPS and a PPS come
    // before its picture.
    bool CarriesParameterSets(const AccessUnit& au) const;

    const h265tools::ParameterSets& parameterSets() const { return reader_.parameterSets(); }
    const std::vector<unsigned char>& hdrSei() const { return reader_.hdrSei(); }
    const h265tools::HdrSei& hdr() const { return reader_.hdr(); }
    // The recording's timescale, from its first key picture on.
    const RecordingClock& clock() const { return clock_; }

private:
    void ReadTiming(const h265tools::UnitReading& reading, AccessUnit& au);
    void SayUnread(const h265tools::NalUnitView& unit, int nalUnitType, h265tools::SetReading set);
    void ReadPicture(const h265tools::NalUnitView& unit, AccessUnit& au);

    Messages& messages_;
    const h265tools::FrameRate* rateOption_;
    h265tools::PictureReader reader_;
    RecordingClock clock_;
    // Key pictures passed by before the clock started, for want of an SPS;
    // after this many the clock starts at the next one, at 25 per second.
    static const unsigned int kKeysWithoutSets = 4;
    unsigned int keysWithoutSets_ = 0;
};

} // namespace h265split

#endif
