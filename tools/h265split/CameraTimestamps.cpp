#include "CameraTimestamps.h"

#include <algorithm>

namespace h265split {

const unsigned CameraTimestamps::kStandingUnits;

std::int64_t CameraTimestamps::Give(std::int64_t timestamp, std::int64_t arrival, std::uint32_t usual, bool& began) {
    began = false;
    const bool same = haveLast_ && timestamp == last_;
    standing_ = same ? standing_ + 1 : 0;
    haveLast_ = true;
    last_ = timestamp;
    if (standing_ >= kStandingUnits && !arrivalTimes_) {
        arrivalTimes_ = true;
        began = true;
        arrivalBase_ = lastGiven_ - arrival;
    } else if (!same && arrivalTimes_) {
        arrivalTimes_ = false;
        shift_ = lastGiven_ + usual - timestamp;
    }
    lastGiven_ = arrivalTimes_ ? std::max(arrival + arrivalBase_, lastGiven_ + 1) : timestamp + shift_;
    return lastGiven_;
}

} // namespace h265split
