// Draws the chart of a stream as one self-contained SVG document: a lane of
// picture sizes in decode order, a strip of picture types under it, ticks for
// parameter sets and SEI, a lane with the bitrate, segment boundaries, axes,
// a legend and title lines.
#ifndef H265INFO_SVG_CHART_H
#define H265INFO_SVG_CHART_H

#include <ostream>
#include <string>
#include <vector>

#include "ChartColumns.h"

namespace h265info {

struct ChartContent {
    std::vector<std::string> titleLines; // plain text; escaped when written
    const ChartColumns* columns = nullptr;
    std::uint64_t pictures = 0;
    double fps = 25; // pictures per second of the time axis and the bitrate window
    // What came after the last picture, drawn at the end of the axis.
    bool trailingParameterSets = false;
    bool trailingSei = false;
    bool trailingSegmentStart = false;
};

// The same content gives the same bytes.
void WriteSvgChart(std::ostream& out, const ChartContent& content);

} // namespace h265info

#endif
