#include "Mp4FileOutput.h"

#include <cstdio>

#include "FragmentedSegment.h"

namespace h265split {

std::unique_ptr<SegmentSink> Mp4FileOutput::Open(unsigned int number, const AccessUnit& key) {
    track_.SetEntry(track_.Describe(key));
    track_.NewTimeline();
    // Each file's media time 0 is its first picture, shown after the RASL
    // pictures its key picture drops.
    if (wallClock_.known())
        track_.fragmenter().SetUtcReference(track_.entry().timescale, [this] { return wallClock_.segmentStart(); });
    char name[40];
    std::snprintf(name, sizeof name, "rec-%05u.mp4", number);
    return std::unique_ptr<SegmentSink>(
        new FragmentedSegment(track_, store_, name, true, messages_, FragmentedSegment::Committed()));
}

} // namespace h265split
