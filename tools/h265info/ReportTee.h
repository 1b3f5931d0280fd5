// Hands everything a walk finds to two reports, in order.
#ifndef H265INFO_REPORT_TEE_H
#define H265INFO_REPORT_TEE_H

#include "Inspection.h"

namespace h265info {

class ReportTee : public Report {
public:
    ReportTee(Report& first, Report& second) : first_(first), second_(second) {}
    void Begin(const std::string& path) override {
        first_.Begin(path);
        second_.Begin(path);
    }
    void Unit(const UnitRecord& unit) override {
        first_.Unit(unit);
        second_.Unit(unit);
    }
    void End(const Summary& summary) override {
        first_.End(summary);
        second_.End(summary);
    }

private:
    Report& first_;
    Report& second_;
};

} // namespace h265info

#endif
