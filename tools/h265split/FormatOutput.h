// The output of each --format over a file store (a directory, or memory):
// raw .265 segments, HLS segments and playlists, or one MP4 file per
// recording.
#ifndef H265SPLIT_FORMAT_OUTPUT_H
#define H265SPLIT_FORMAT_OUTPUT_H

#include <memory>

#include "FileStore.h"
#include "Messages.h"
#include "Options.h"
#include "AccessUnitReader.h"
#include "SegmentSink.h"
#include "WallClock.h"

namespace h265split {

// The output keeps `store`.
std::unique_ptr<SegmentOutput> MakeFormatOutput(const Options& options, std::unique_ptr<FileStore> store,
                                                const AccessUnitReader& pictures, const WallClock& wallClock,
                                                Messages& messages);

} // namespace h265split

#endif
