// The walk over the input: NAL units in, access units formed, segments out,
// and what was skipped on the way reported.
#ifndef H265SPLIT_SPLIT_H
#define H265SPLIT_SPLIT_H

#include <csignal>
#include <string>

#include "Options.h"
#include "Segmenter.h"
#include "StreamInput.h"

namespace h265split {

struct SplitResult {
    unsigned int segments = 0;
    bool stopped = false; // by the stop flag (SIGINT, SIGTERM)
};

// Splits the input into OUTDIR. Throws h265tools::InputError for an input
// without start code or key picture, WriteError, and std::system_error for a
// read error. `stop` ends the walk early; the current segment is closed.
SplitResult Split(h265tools::StreamInput& input, const Options& options, const volatile std::sig_atomic_t* stop);

// Records a camera (CameraInput) into OUTDIR until `stop` is set. Throws
// h265tools::InputError when the camera refuses the first session.
struct CameraOptions;
SplitResult SplitCamera(const CameraOptions& camera, const Options& options, const volatile std::sig_atomic_t* stop);

// The same with the segments going to `output`, which is given the walk's
// AccessUnitReader and Messages (the fuzz target keeps them in memory). An
// empty options.directory writes no index.
class AccessUnitReader;
class Messages;
using OutputMaker = std::unique_ptr<SegmentOutput> (*)(const Options&, const AccessUnitReader&, const WallClock&,
                                                       Messages&, void* context);
SplitResult Split(h265tools::StreamInput& input, const Options& options, OutputMaker makeOutput, void* context,
                  const volatile std::sig_atomic_t* stop);

} // namespace h265split

#endif
