// The chart of a stream as a report: pictures are put together and folded
// into chart columns while the stream is read, and the SVG file is written
// at the end, with the summary's sizes, profile and counts in its title.
#ifndef H265INFO_SVG_REPORT_H
#define H265INFO_SVG_REPORT_H

#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

#include "BitrateWindow.h"
#include "ChartColumns.h"
#include "GopLengths.h"
#include "Inspection.h"
#include "PictureAssembler.h"

namespace h265info {

// Columns the chart keeps: up to this many pictures get a bar each.
const std::size_t kChartColumns = 2048;

class SvgReport : public Report {
public:
    // Opens `path` for writing at once, so that a bad path fails before the
    // stream is read; `segmentOffsets` are the ascending first_byte_offset
    // values of an h265split index (empty for none). The time axis and the
    // bitrate window go at `rateOption` (the user's --fps) when given, else
    // at the rate of the first picture's SPS or VPS, else at 25. Throws
    // std::runtime_error when the file cannot be opened.
    SvgReport(const std::string& path, const FrameRate* rateOption, std::vector<std::uint64_t> segmentOffsets);
    // Removes the file again when the chart was never written (the input
    // could not be read), so that no empty chart is left behind.
    ~SvgReport() override;

    void Begin(const std::string& path) override;
    void Unit(const UnitRecord& unit) override;
    // Writes the chart; throws std::runtime_error when that fails.
    void End(const Summary& summary) override;

private:
    void AddPicture(const Picture& picture);
    std::vector<std::string> TitleLines(const Summary& summary) const;

    std::string outPath_;
    std::ofstream out_;
    bool written_ = false;
    std::string inputName_;
    FrameRate rate_;
    bool rateFixed_ = false; // by the option or the first picture
    std::vector<std::uint64_t> segmentOffsets_;
    std::size_t nextSegment_ = 0;
    std::uint64_t untypedPictures_ = 0;
    ChartColumns columns_;
    BitrateWindow bitrate_;
    GopLengths gops_;
    PictureAssembler assembler_;
};

} // namespace h265info

#endif
