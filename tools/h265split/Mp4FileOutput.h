// One fragmented MP4 file per recording, OUTDIR/rec-NNNNN.mp4 (a new one at
// a new picture size or other parameter sets): its init segment first, each
// fragment flushed to the disk when written, so that the file plays up to
// its last complete fragment at every moment. Each file's times start at 0.
#ifndef H265SPLIT_MP4_FILE_OUTPUT_H
#define H265SPLIT_MP4_FILE_OUTPUT_H

#include <memory>
#include <string>

#include "FileStore.h"
#include "Mp4Track.h"
#include "SegmentSink.h"
#include "WallClock.h"

namespace h265split {

class Mp4FileOutput : public SegmentOutput {
public:
    Mp4FileOutput(FileStore& store, const AccessUnitReader& pictures, const WallClock& wallClock, Messages& messages)
        : store_(store), messages_(messages), track_(pictures, messages), wallClock_(wallClock) {}

    std::unique_ptr<SegmentSink> Open(unsigned int number, const AccessUnit& key) override;
    bool CanStart(const AccessUnit& key, std::string& why) override { return track_.CanStart(key, why); }
    void Finish() override { track_.ReportLatePictures(); }

private:
    FileStore& store_;
    Messages& messages_;
    Mp4Track track_;
    const WallClock& wallClock_;
};

} // namespace h265split

#endif
