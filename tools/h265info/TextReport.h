// The human-readable report: a table of NAL units, a summary and the SPS and
// PPS listings.
#ifndef H265INFO_TEXT_REPORT_H
#define H265INFO_TEXT_REPORT_H

#include <ostream>

#include "Inspection.h"

namespace h265info {

class TextReport : public Report {
public:
    explicit TextReport(std::ostream& out) : out_(out) {}
    void Begin(const std::string& path) override;
    void Unit(const UnitRecord& unit) override;
    void End(const Summary& summary) override;

private:
    std::ostream& out_;
    std::string line_; // the row being written, kept for its capacity
};

// The last column of a NAL unit row: for slice segments "I first", "P",
// "- dependent", ...; for other units "! error" when they could not be read,
// else nothing.
std::string SliceColumn(const UnitRecord& unit);

} // namespace h265info

#endif
