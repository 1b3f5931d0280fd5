// Text for SVG documents: escaped character data and attribute values,
// numbers written the same way on every machine, and axis ticks.
#ifndef H265INFO_SVG_TEXT_H
#define H265INFO_SVG_TEXT_H

#include <string>

namespace h265info {

// The text with &, <, >, " escaped, bytes that are not well-formed UTF-8 and
// control characters XML does not allow replaced by U+FFFD.
std::string XmlEscaped(const std::string& text);

// A coordinate with at most two decimals and no trailing zeros: "12.5", "3".
std::string Coordinate(double value);

// The value with an SI prefix and three significant digits: "950", "12.5 k",
// "1.2 M" (followed by the unit, e.g. "B" or "bit/s").
std::string SiValue(double value, const char* unit);

// A time axis label: "0 s", "2.5 s", "45 s" below a minute, "1:30", "12:05"
// from there, "1:02:00" from an hour.
std::string TimeLabel(double seconds);

// A step of 1, 2 or 5 times a power of ten that divides [0, max] into at
// most `count` intervals (max above 0).
double TickStep(double max, int count);

} // namespace h265info

#endif
