// How a picture's place in time reads in the text listing.
#ifndef H265INFO_PICTURE_TIME_H
#define H265INFO_PICTURE_TIME_H

#include <cstddef>
#include <string>

#include "Inspection.h"

namespace h265info {

// Room for the longest text of FormatPictureTime.
const std::size_t kPictureTimeText = 96;

// Writes "POC 4, output #2 at 0.067 s" or "POC -3, not output" into `text`
// (kPictureTimeText bytes) and gives its length. Formatted by hand: this is
// written for every picture of a stream, and stream formatting cost more
// than reading the picture's timing.
std::size_t FormatPictureTime(const UnitRecord& unit, char* text);

inline std::string PictureTimeText(const UnitRecord& unit) {
    char text[kPictureTimeText];
    return std::string(text, FormatPictureTime(unit, text));
}

} // namespace h265info

#endif
