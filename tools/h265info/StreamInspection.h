// Inspects one input (a file, or standard input for "-") from start to end and
// hands what it finds to a report.
#ifndef H265INFO_STREAM_INSPECTION_H
#define H265INFO_STREAM_INSPECTION_H

#include <ostream>
#include <string>

#include "Inspection.h"

namespace h265info {

// Walks the NAL units of the input named `name` into `report`. Each NAL unit
// the library cannot read completely is reported on standard error as it is
// met (after flushing `out`, so that the two streams stay in order on a
// terminal), and the walk goes on. True when no unit had such an error.
// Throws h265tools::InputError when the input cannot be opened or read, is a
// directory, is empty or holds no start code; only a read error past the
// first NAL unit comes after a part of the report.
// A picture's record reaches the report once its output position is known,
// a few pictures later; messages come with their records. What the tools'
// own syntax reader cannot read (a note) goes to standard error as well but
// is no error. `rateOption` is the user's --fps, or null.
bool InspectStream(const std::string& name, const FrameRate* rateOption, Report& report, std::ostream& out);

} // namespace h265info

#endif
