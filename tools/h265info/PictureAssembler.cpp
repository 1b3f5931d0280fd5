#include "PictureAssembler.h"

#include "NalUnitNames.h"
#include "NalUnitTypes.h"

namespace h265info {

namespace {

int ChartType(const UnitRecord& unit) {
    if (unit.slice != SliceState::kTyped)
        return kTypeUnknown;
    const int i = PictureTypeIndex(unit.pictureType);
    return i < 0 ? kTypeUnknown : i;
}

} // namespace

void PictureAssembler::Add(const UnitRecord& unit) {
    const int type = unit.nalUnitType;
    if (type >= 32 && type <= 34) {
        pendingParameterSets_ = true;
        return;
    }
    // A suffix SEI follows the picture it belongs to; a prefix SEI comes
    // before its picture.
    if (type == 40 && open_) {
        current_.sei = true;
        return;
    }
    if (type == 39 || type == 40) {
        pendingSei_ = true;
        return;
    }
    if (!h265tools::IsSliceSegment(type))
        return;
    // A segment whose flag cannot be read (no payload) stays with the
    // picture before it; a stream cut inside a picture opens one anyway.
    if (unit.firstSliceSegmentInPicFlag == 1 || !open_) {
        Finish();
        open_ = true;
        current_ = Picture();
        current_.index = count_++;
        current_.offset = unit.offset;
        current_.type = ChartType(unit);
        current_.key = unit.keyPicture;
        current_.keyNalType = unit.keyPicture ? unit.nalUnitType : -1;
        current_.parameterSets = pendingParameterSets_;
        current_.sei = pendingSei_;
        pendingParameterSets_ = pendingSei_ = false;
    }
    current_.bytes += unit.size;
}

void PictureAssembler::Finish() {
    if (!open_)
        return;
    open_ = false;
    complete_(current_);
}

} // namespace h265info
