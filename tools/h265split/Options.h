// The command line of h265split.
#ifndef H265SPLIT_OPTIONS_H
#define H265SPLIT_OPTIONS_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "Archive.h"
#include "CameraOptions.h"
#include "ResumedRun.h"
#include "Segmenter.h"
#include "SegmentSink.h"
#include "WallClock.h"

namespace h265split {

struct Options {
    std::string input;     // a file, or "-" for standard input; a camera's URL without its password
    // INPUT is an rtsp:// URL: a camera is recorded.
    bool camera = false;
    CameraOptions cameraOptions;
    std::string directory; // OUTDIR
    SegmentRules rules;
    bool json = false;
    OutputFormat format = OutputFormat::kRaw;
    // --start-time: the UTC time of the first picture, in milliseconds since
    // the epoch; or "now", the system clock for live input.
    enum class StartTime { kNone, kGiven, kNow };
    StartTime startTimeKind = StartTime::kNone;
    std::int64_t startTime = 0;
    // --clock: which clock a live recording's UTC times follow.
    ClockReference clock = ClockReference::kSystem;
    // --live N: also a live playlist of the last N segments (0: none).
    std::size_t liveSegments = 0;
    // --keep-bytes, --keep-age: what of the recording is kept.
    RetentionRules retention;
    // --resume: go on with the recording of an earlier run in OUTDIR, which
    // is otherwise refused; where it ended, once OUTDIR is repaired.
    bool resume = false;
    ResumePoint resumePoint;
};

enum class Command { kSplit, kHelp, kUsageError };

Command ParseArguments(const std::vector<std::string>& args, Options& options, std::string& error);

const char* UsageText();
const char* HelpText();

} // namespace h265split

#endif
