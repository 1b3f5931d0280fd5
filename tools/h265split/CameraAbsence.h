// What h265split says of a camera that went away: once as it goes, then once
// a minute while it stays away (how long, how many attempts failed), and as
// it comes back, with how long it was away. A log of a recorder that runs
// for months then shows a long outage without filling up with it.
#ifndef H265SPLIT_CAMERA_ABSENCE_H
#define H265SPLIT_CAMERA_ABSENCE_H

#include <cstdint>
#include <string>

namespace h265split {

class CameraAbsence {
public:
    // While it stays away, how often that is said.
    static const std::int64_t kReportMs = 60000;

    // An attempt failed or a session was lost at `nowMs` (a monotonic
    // clock), `why`; `lastVideoMs` is when the camera's video last came
    // (0: never, the first session). Returns the message to say, or "".
    std::string Failed(std::int64_t nowMs, std::int64_t lastVideoMs, const std::string& why, int retryLimitMs);
    // A session plays again at `nowMs`: the message to say ("" when the
    // camera was not away).
    std::string Back(std::int64_t nowMs);
    // Video came: the camera is not away.
    void Present() { failures_ = 0; }

    // "12.0 s", "3 min 4 s", "2 h 5 min".
    static std::string Duration(std::int64_t millis);

private:
    unsigned failures_ = 0; // in a row
    std::int64_t sinceMs_ = 0;
    std::int64_t lastReportMs_ = 0;
};

} // namespace h265split

#endif
