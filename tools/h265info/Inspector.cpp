#include "Inspector.h"

#include <new>

#include "NalUnitNames.h"
#include "NalUnitTypes.h"
#include "h265headers.h"

namespace h265info {

using h265tools::NalUnitView;

using h265tools::LibraryLength;

namespace {

// Beyond this many bytes before the first VCL NAL unit, only the start codes
// and NAL unit headers of further units are kept for HasParameterSets, which
// looks at nothing else.
const std::size_t kPrefixLimit = 16u << 20;

std::string At(const UnitRecord& record) {
    return "at byte offset " + std::to_string(record.offset);
}

} // namespace

int PictureTypeIndex(int naluCode) {
    switch (naluCode) {
    case NALU_TYPE_I_FRAME:
        return 0;
    case NALU_TYPE_P_FRAME:
        return 1;
    case NALU_TYPE_B_FRAME:
        return 2;
    default:
        return -1;
    }
}

const char* PictureTypeLetter(int naluCode) {
    static const char* const letters[] = {"I", "P", "B"};
    const int i = PictureTypeIndex(naluCode);
    return i < 0 ? "-" : letters[i];
}


void Inspector::Fail(UnitRecord& record, const std::string& what) {
    record.error = what;
    ++summary_.errorCount;
    if (summary_.errors.size() < kKeptErrors)
        summary_.errors.push_back(what);
}

void Inspector::AddListing(std::vector<ParameterSetListing>& listings, std::map<std::string, std::size_t>& seen,
                           const UnitRecord& record, const std::string& text, const ListingFields& fields) {
    auto found = seen.find(text);
    if (found != seen.end()) {
        ++listings[found->second].occurrences;
        return;
    }
    ParameterSetListing listing;
    listing.index = record.index;
    listing.offset = record.offset;
    listing.occurrences = 1;
    listing.text = text;
    listing.fields = fields;
    seen.emplace(text, listings.size());
    listings.push_back(std::move(listing));
}

void Inspector::KeepForParameterSetCheck(const NalUnitView& unit, bool vcl) {
    if (checkedParameterSets_)
        return;
    // Of the first VCL NAL unit only its start code and header matter: that
    // is where HasParameterSets stops looking.
    const std::size_t head = static_cast<std::size_t>(unit.startCodeLength) + 2;
    std::size_t keep = unit.size;
    if (vcl || prefix_.size() + unit.size > kPrefixLimit)
        keep = unit.size < head ? unit.size : head;
    prefix_.insert(prefix_.end(), unit.data, unit.data + keep);
    if (vcl) {
        summary_.parameterSetsFirst = reader_.parsers().header->HasParameterSets(prefix_.data(), LibraryLength(prefix_.size()));
        checkedParameterSets_ = true;
        std::vector<unsigned char>().swap(prefix_);
    }
}

void Inspector::DescribeInSummary(std::uint64_t offset, int codedWidth, int codedHeight,
                                  const SpsDescription& description, std::uint64_t version) {
    summary_.haveSps = true;
    summary_.spsOffset = offset;
    summary_.codedWidth = codedWidth;
    summary_.codedHeight = codedHeight;
    summary_.sps = description;
    summarySpsVersion_ = version;
}

bool Inspector::ReadSet(const h265tools::UnitReading& reading, UnitRecord& record, const char* what,
                        const char* tooShort) {
    switch (reading.set) {
    case h265tools::SetReading::kKept:
    case h265tools::SetReading::kRepeated:
    case h265tools::SetReading::kNone:
        return true;
    case h265tools::SetReading::kTruncated:
        Fail(record, std::string(what) + " " + At(record) + " ends before its last field (truncated)");
        break;
    case h265tools::SetReading::kOutOfMemory:
        Fail(record, std::string("out of memory while parsing the ") + what + " " + At(record));
        break;
    case h265tools::SetReading::kEmpty:
        Fail(record, std::string(what) + " " + At(record) + " " + tooShort);
        break;
    }
    return false;
}

void Inspector::InspectSps(const h265tools::UnitReading& reading, UnitRecord& record) {
    if (!ReadSet(reading, record, "SPS", "is too short to hold an SPS"))
        return;
    // A repeated SPS, the same bytes as the last one, counts once more under
    // the same listing.
    AddListing(summary_.spsListings, seenSps_, record, reading.listing, reading.fields);
    if (reading.set == h265tools::SetReading::kRepeated)
        return;
    if (reading.resolutionTruncated)
        Fail(record, "SPS " + At(record) + " ends before GetResolution finds its picture size (truncated)");
    if (!summary_.haveSps) // until a picture names its SPS
        DescribeInSummary(record.offset, reading.codedWidth, reading.codedHeight, reading.description, reading.version);
}

void Inspector::InspectPps(const h265tools::UnitReading& reading, UnitRecord& record) {
    if (!ReadSet(reading, record, "PPS", "has no payload"))
        return;
    AddListing(summary_.ppsListings, seenPps_, record, reading.listing, reading.fields);
}

const KeptSps* Inspector::InspectSlice(const NalUnitView& unit, UnitRecord& record) {
    if (reader_.parameterSets().Empty()) {
        record.slice = SliceState::kNoParameterSets;
        return nullptr;
    }
    const std::size_t payload = static_cast<std::size_t>(unit.startCodeLength) + 2;
    if (unit.size <= payload) {
        record.slice = SliceState::kTruncated;
        Fail(record, "slice segment " + At(record) + " has no slice segment header");
        return nullptr;
    }
    const h265tools::SliceReading slice = reader_.ReadSlice(unit, true);
    switch (slice.state) {
    case h265tools::SliceReading::State::kTyped:
        record.slice = SliceState::kTyped;
        record.pictureType = slice.pictureType;
        record.firstSliceInPic = slice.firstInPicture;
        return slice.parameterSets.sps;
    case h265tools::SliceReading::State::kNoParameterSets:
        record.slice = SliceState::kNoParameterSets;
        return nullptr;
    case h265tools::SliceReading::State::kTruncated:
        record.slice = SliceState::kTruncated;
        Fail(record, "slice segment " + At(record) + " ends before slice_type (truncated)");
        return nullptr;
    case h265tools::SliceReading::State::kOutOfMemory:
        record.slice = SliceState::kTruncated;
        Fail(record, "out of memory while parsing the slice segment " + At(record));
        return nullptr;
    case h265tools::SliceReading::State::kPpsIdOutOfRange:
        record.slice = SliceState::kUntyped;
        Fail(record, "slice segment " + At(record) + " has a slice_pic_parameter_set_id above 63");
        return nullptr;
    case h265tools::SliceReading::State::kNoType:
        break;
    }
    // ParseSliceType gives no type for a dependent slice segment, which takes
    // slice_type from the segment before it, and for a slice_type above 2. A
    // dependent segment is never the first of its picture and needs
    // dependent_slice_segments_enabled_flag in the PPS.
    const bool firstSegment = (unit.data[payload] & 0x80) != 0;
    if (!firstSegment && slice.parameterSets.pps->dependentSliceSegmentsEnabled) {
        record.slice = SliceState::kDependent;
        ++summary_.dependentSliceSegments;
    } else {
        record.slice = SliceState::kUntyped;
        Fail(record, "slice segment " + At(record) + " has a slice_type other than B, P or I");
    }
    return nullptr;
}

void Inspector::CountPicture(UnitRecord& record, const KeptSps& sps) {
    ++summary_.pictures[PictureTypeIndex(record.pictureType)];
    if (record.keyFrame == 1) {
        record.keyPicture = true;
        summary_.keyPictures.push_back(KeyPicture{record.index, record.offset, record.nalUnitType});
    }
    // The summary describes the SPS of the first picture and lists the
    // pictures whose SPS gives another size than the one before.
    const DisplaySize display = ComputeDisplaySize(sps.description);
    if (!sawPicture_) {
        sawPicture_ = true;
        if (sps.version != summarySpsVersion_)
            DescribeInSummary(sps.offset, sps.codedWidth, sps.codedHeight, sps.description, sps.version);
    } else if (sps.codedWidth != lastCodedWidth_ || sps.codedHeight != lastCodedHeight_ ||
               display.valid != lastDisplay_.valid || display.width != lastDisplay_.width ||
               display.height != lastDisplay_.height) {
        summary_.sizeChanges.push_back(
            SizeChange{record.index, record.offset, sps.id, sps.codedWidth, sps.codedHeight, sps.description});
    }
    lastCodedWidth_ = sps.codedWidth;
    lastCodedHeight_ = sps.codedHeight;
    lastDisplay_ = display;
}

UnitRecord Inspector::Inspect(const NalUnitView& unit, h265tools::UnitReading& reading) {
    UnitRecord record;
    record.index = summary_.unitCount++;
    record.offset = unit.offset;
    record.size = unit.size;
    record.startCodeLength = unit.startCodeLength;
    const std::size_t h = static_cast<std::size_t>(unit.startCodeLength);
    if (unit.size > h)
        record.nalUnitType = (unit.data[h] >> 1) & 0x3F;
    if (unit.size > h + 1) {
        record.hasHeader = true;
        record.layerId = ((unit.data[h] & 1) << 5) | (unit.data[h + 1] >> 3);
        record.temporalId = (unit.data[h + 1] & 7) - 1;
    }

    const int len = LibraryLength(unit.size);
    int code = -1;
    record.codeKnown = reader_.parsers().parser->ParseNaluType(unit.data, static_cast<unsigned int>(len), &code);
    record.naluCode = record.codeKnown ? code : -1;
    if (record.index == 0)
        summary_.firstNaluType = reader_.parsers().header->GetNaluType(unit.data, len);
    record.keyFrame = reader_.parsers().header->IsKeyFrame(unit.data, len);

    const bool vcl = h265tools::IsVcl(record.nalUnitType);
    if (!sawVcl_)
        KeepForParameterSetCheck(unit, vcl);
    sawVcl_ = sawVcl_ || vcl;

    if (!record.hasHeader) {
        reading = h265tools::UnitReading();
        Fail(record, "NAL unit " + At(record) + " ends inside its NAL unit header");
        if (h265tools::IsSliceSegment(record.nalUnitType))
            record.slice = SliceState::kTruncated;
        return record;
    }
    if (h265tools::IsSliceSegment(record.nalUnitType) && unit.size > h + 2)
        record.firstSliceSegmentInPicFlag = unit.data[h + 2] >> 7;
    reading = reader_.Read(unit);
    const KeptSps* sliceSps = nullptr;
    if (record.nalUnitType == h265tools::kSpsNut)
        InspectSps(reading, record);
    else if (record.nalUnitType == h265tools::kPpsNut)
        InspectPps(reading, record);
    else if (h265tools::IsSliceSegment(record.nalUnitType))
        sliceSps = InspectSlice(unit, record);

    if (record.slice == SliceState::kTyped && record.firstSliceInPic) {
        CountPicture(record, *sliceSps);
    } else if (record.slice == SliceState::kNoParameterSets || record.slice == SliceState::kTruncated ||
               record.slice == SliceState::kUntyped) {
        ++summary_.untypedSliceSegments;
    }
    return record;
}

Summary& Inspector::Finish(std::uint64_t fileSize, std::uint64_t leadingBytes) {
    summary_.fileSize = fileSize;
    summary_.leadingBytes = leadingBytes;
    if (!checkedParameterSets_) {
        // No picture at all: the question covers the whole stream.
        summary_.parameterSetsFirst =
            !prefix_.empty() && reader_.parsers().header->HasParameterSets(prefix_.data(), LibraryLength(prefix_.size()));
        checkedParameterSets_ = true;
        std::vector<unsigned char>().swap(prefix_);
    }
    return summary_;
}

} // namespace h265info
