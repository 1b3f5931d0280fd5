// How a picture's place in time reads in the text listing.
#ifndef H265INFO_PICTURE_TIME_H
#define H265INFO_PICTURE_TIME_H

#include <string>

#include "Inspection.h"

namespace h265info {

// Appends "POC 4, output #2 at 0.067 s" or "POC -3, not output".
void AppendPictureTime(std::string& out, const UnitRecord& unit);

} // namespace h265info

#endif
