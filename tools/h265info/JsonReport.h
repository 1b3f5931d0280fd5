// The report as one JSON document, written as the walk goes so that its size
// does not depend on memory.
#ifndef H265INFO_JSON_REPORT_H
#define H265INFO_JSON_REPORT_H

#include <ostream>

#include "Inspection.h"

namespace h265info {

class JsonReport : public Report {
public:
    explicit JsonReport(std::ostream& out) : out_(out) {}
    void Begin(const std::string& path) override;
    void Unit(const UnitRecord& unit) override;
    void End(const Summary& summary) override;

private:
    std::ostream& out_;
    bool firstUnit_ = true;
    std::string row_; // the NAL unit's object being written, kept for its capacity
};

} // namespace h265info

#endif
