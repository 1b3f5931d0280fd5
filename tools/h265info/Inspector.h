// Runs the library over the NAL units of a stream, one at a time, the way a
// caller does: the H.265 parser for the per-unit steps and the header parser
// for the four coarse queries.
#ifndef H265INFO_INSPECTOR_H
#define H265INFO_INSPECTOR_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "Inspection.h"
#include "NalUnitReader.h"

class IH265Parser;
class IVideoHeaderParser;

namespace h265info {

using h265tools::NalUnitView;

class Inspector {
public:
    Inspector(); // std::bad_alloc when the parsers cannot be made
    ~Inspector();
    Inspector(const Inspector&) = delete;
    Inspector& operator=(const Inspector&) = delete;

    // Looks at the next NAL unit of the stream. A unit the library cannot
    // read completely gets an error text, also collected in the summary.
    UnitRecord Inspect(const NalUnitView& unit);

    // The summary once every unit has been seen.
    const Summary& Finish(std::uint64_t fileSize, std::uint64_t leadingBytes);

private:
    void InspectSps(const NalUnitView& unit, UnitRecord& record);
    void InspectPps(const NalUnitView& unit, UnitRecord& record);
    void InspectSlice(const NalUnitView& unit, UnitRecord& record);
    void KeepForParameterSetCheck(const NalUnitView& unit, bool vcl);
    template <typename Call> bool Guarded(UnitRecord& record, const char* what, const char* ending, Call call);
    void Fail(UnitRecord& record, const std::string& what);
    static void AddListing(std::vector<ParameterSetListing>& listings, std::map<std::string, std::size_t>& seen,
                           const UnitRecord& record, const std::string& text, const ListingFields& fields);

    IH265Parser* parser_ = nullptr;
    IVideoHeaderParser* headerParser_ = nullptr;
    Summary summary_;
    bool spsUsable_ = false; // the parser holds a completely parsed SPS
    bool ppsUsable_ = false; // ... and PPS
    bool dependentSliceSegmentsEnabled_ = false; // in that PPS
    bool sawVcl_ = false;
    bool checkedParameterSets_ = false;
    std::vector<unsigned char> prefix_; // the stream up to its first VCL NAL unit
    std::map<std::string, std::size_t> seenSps_;
    std::map<std::string, std::size_t> seenPps_;
};

} // namespace h265info

#endif
