#include "CameraAbsence.h"

#include "CountedNoun.h"
#include "FrameRate.h"

namespace h265split {

const std::int64_t CameraAbsence::kReportMs;

std::string CameraAbsence::Duration(std::int64_t millis) {
    const std::int64_t seconds = millis / 1000;
    if (seconds < 60)
        return h265tools::SecondsText(static_cast<double>(millis < 0 ? 0 : millis) / 1000.0, 1) + " s";
    const std::int64_t minutes = seconds / 60;
    if (minutes < 60)
        return std::to_string(minutes) + " min " + std::to_string(seconds % 60) + " s";
    return std::to_string(minutes / 60) + " h " + std::to_string(minutes % 60) + " min";
}

std::string CameraAbsence::Failed(std::int64_t nowMs, std::int64_t lastVideoMs, const std::string& why,
                                  int retryLimitMs) {
    if (failures_++ == 0) {
        // Away since its video stopped, which a stalled session noticed late.
        sinceMs_ = lastVideoMs > 0 ? lastVideoMs : nowMs;
        lastReportMs_ = nowMs;
        return why + "; trying again every " +
               h265tools::SecondsText(retryLimitMs / 1000.0, retryLimitMs % 1000 ? 3 : 0) + " s at most";
    }
    if (nowMs - lastReportMs_ < kReportMs)
        return std::string();
    lastReportMs_ = nowMs;
    return "away for " + Duration(nowMs - sinceMs_) + ", " +
           h265tools::CountedNoun(failures_, "attempt", "attempts") + " failed; the last: " + why;
}

std::string CameraAbsence::Back(std::int64_t nowMs) {
    if (failures_ == 0)
        return std::string();
    return "after " + Duration(nowMs - sinceMs_) + " away (" +
           h265tools::CountedNoun(failures_, "attempt", "attempts") + " failed)";
}

} // namespace h265split
