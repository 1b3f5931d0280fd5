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
#include "ParameterSets.h"
#include "PictureReader.h"

namespace h265info {

class Inspector {
public:
    Inspector() = default; // std::bad_alloc when the parsers cannot be made
    Inspector(const Inspector&) = delete;
    Inspector& operator=(const Inspector&) = delete;

    // Looks at the next NAL unit of the stream. A unit the library cannot
    // read completely gets an error text, also collected in the summary.
    // `reading` receives what the picture reader made of it, its timing
    // among it.
    UnitRecord Inspect(const h265tools::NalUnitView& unit, h265tools::UnitReading& reading);

    // The stream's first HDR SEI messages.
    const h265tools::HdrSei& hdr() const { return reader_.hdr(); }

    // The summary once every unit has been seen.
    Summary& Finish(std::uint64_t fileSize, std::uint64_t leadingBytes);

private:
    void InspectSps(const h265tools::UnitReading& reading, UnitRecord& record);
    void InspectPps(const h265tools::UnitReading& reading, UnitRecord& record);
    // Says why a parameter set could not be read; false then.
    bool ReadSet(const h265tools::UnitReading& reading, UnitRecord& record, const char* what, const char* tooShort);
    // The SPS of the slice segment when it was typed, else null.
    const KeptSps* InspectSlice(const h265tools::NalUnitView& unit, UnitRecord& record);
    void CountPicture(UnitRecord& record, const KeptSps& sps);
    void DescribeInSummary(std::uint64_t offset, int codedWidth, int codedHeight, const SpsDescription& description,
                           std::uint64_t version);
    void KeepForParameterSetCheck(const h265tools::NalUnitView& unit, bool vcl);
    void Fail(UnitRecord& record, const std::string& what);
    static void AddListing(std::vector<ParameterSetListing>& listings, std::map<std::string, std::size_t>& seen,
                           const UnitRecord& record, const std::string& text, const ListingFields& fields);

    h265tools::PictureReader reader_;
    Summary summary_;
    std::uint64_t summarySpsVersion_ = 0;
    // Coded and display size of the last picture, to find where they change.
    bool sawPicture_ = false;
    int lastCodedWidth_ = 0;
    int lastCodedHeight_ = 0;
    DisplaySize lastDisplay_;
    bool sawVcl_ = false;
    bool checkedParameterSets_ = false;
    std::vector<unsigned char> prefix_; // the stream up to its first VCL NAL unit
    std::map<std::string, std::size_t> seenSps_;
    std::map<std::string, std::size_t> seenPps_;
};

} // namespace h265info

#endif
