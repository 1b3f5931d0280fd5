// How a picture's place in time reads in the text listing.
#ifndef H265INFO_PICTURE_TIME_H
#define H265INFO_PICTURE_TIME_H

#include <string>

#include "Inspection.h"

namespace h265info {

// "POC 4, output #2 at 0.067 s" or "POC -3, not output".
std::string PictureTimeText(const UnitRecord& unit);

} // namespace h265info

#endif
