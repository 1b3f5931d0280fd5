// Inspects one file from start to end and hands what it finds to a report.
#ifndef H265INFO_FILE_INSPECTION_H
#define H265INFO_FILE_INSPECTION_H

#include <ostream>
#include <stdexcept>
#include <string>

#include "Inspection.h"

namespace h265info {

// The file as a whole cannot be inspected: it cannot be opened or read, is a
// directory, is empty or holds no start code. Nothing has been reported yet.
class InputError : public std::runtime_error {
public:
    explicit InputError(const std::string& what) : std::runtime_error(what) {}
};

// Walks the NAL units of the file into `report`. Each NAL unit the library
// cannot read completely is reported on standard error as it is met (after
// flushing `out`, so that the two streams stay in order on a terminal), and
// the walk goes on. True when no unit had such an error.
bool InspectFile(const std::string& path, Report& report, std::ostream& out);

} // namespace h265info

#endif
