// Follows the parameter sets of a stream and reads, with the library, what
// the splitter needs to know of each picture: whether it is a key picture,
// its picture type, and the SPS and PPS it refers to.
#ifndef H265SPLIT_PICTURE_READER_H
#define H265SPLIT_PICTURE_READER_H

#include "AccessUnit.h"
#include "AccessUnitAssembler.h"
#include "LibraryParsers.h"
#include "Messages.h"
#include "NalUnitReader.h"
#include "ParameterSets.h"
#include "StreamTiming.h"

class IH265Parser;
class IVideoHeaderParser;

namespace h265split {

class PictureReader {
public:
    // `rateOption` is the user's --fps, or null. std::bad_alloc when the
    // parsers cannot be made.
    PictureReader(Messages& messages, const h265tools::FrameRate* rateOption);
    PictureReader(const PictureReader&) = delete;
    PictureReader& operator=(const PictureReader&) = delete;

    // Takes in the unit that has just been added to `au`: keeps a VPS, SPS or
    // PPS under its id, and for the first slice segment of a picture fills in
    // the picture fields of `au`, its PicOrderCntVal and frame rate among them.
    void Observe(const h265tools::NalUnitView& unit, const UnitHeader& header, AccessUnit& au);

    // HasParameterSets on the access unit: a VPS, an SPS and a PPS come
    // before its picture.
    bool CarriesParameterSets(const AccessUnit& au) const;

    const h265tools::ParameterSets& parameterSets() const { return parameterSets_; }
    // The last prefix SEI NAL unit with HDR messages (mastering display
    // colour volume, content light level), start code included; empty when none came.
    const std::vector<unsigned char>& hdrSei() const { return hdrSei_; }
    // The values of the stream's first mastering display colour volume and
    // content light level SEI messages, which may come in two NAL units.
    const h265tools::HdrSei& hdr() const { return timing_.Hdr(); }

private:
    void ObserveTiming(const h265tools::NalUnitView& unit, AccessUnit& au);
    void KeepVps(const h265tools::NalUnitView& unit);
    void KeepSps(const h265tools::NalUnitView& unit);
    void KeepPps(const h265tools::NalUnitView& unit);
    void ReadPicture(const h265tools::NalUnitView& unit, const UnitHeader& header, AccessUnit& au);

    Messages& messages_;
    h265tools::LibraryParsers parsers_;
    h265tools::ParameterSets parameterSets_;
    h265tools::ParserActivation activation_;
    const h265tools::FrameRate* rateOption_;
    h265tools::StreamTiming timing_;
    std::vector<unsigned char> hdrSei_;
};

} // namespace h265split

#endif
