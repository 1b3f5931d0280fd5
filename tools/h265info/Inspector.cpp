#include "Inspector.h"

#include <new>

#include "GeneralProfileTierLevel.h"
#include "NalUnitNames.h"
#include "NalUnitTypes.h"
#include "SlicePicParameterSetId.h"
#include "LibraryParsers.h"
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

// Runs a library call on the unit. The end-of-data signal becomes the error
// "WHAT at byte offset N ENDING (truncated)", exhausted memory "out of memory
// while parsing the WHAT at byte offset N"; false then.
template <typename Call> bool Inspector::Guarded(UnitRecord& record, const char* what, const char* ending, Call call) {
    try {
        call();
        return true;
    } catch (int) {
        Fail(record, std::string(what) + " " + At(record) + " " + ending + " (truncated)");
    } catch (const std::bad_alloc&) {
        Fail(record, std::string("out of memory while parsing the ") + what + " " + At(record));
    }
    return false;
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
        summary_.parameterSetsFirst = parsers_.header->HasParameterSets(prefix_.data(), LibraryLength(prefix_.size()));
        checkedParameterSets_ = true;
        std::vector<unsigned char>().swap(prefix_);
    }
}

void Inspector::DescribeInSummary(const KeptSps& sps) {
    summary_.haveSps = true;
    summary_.spsOffset = sps.offset;
    summary_.codedWidth = sps.codedWidth;
    summary_.codedHeight = sps.codedHeight;
    summary_.sps = sps.description;
    summarySpsVersion_ = sps.version;
}

void Inspector::InspectSps(const NalUnitView& unit, UnitRecord& record) {
    const unsigned int len = static_cast<unsigned int>(LibraryLength(unit.size));
    // ParseSPS replaces the parser's record, whatever comes of it.
    activation_.ParsedSps(0);
    bool parsed = false;
    // One that cannot be read may have replaced any id.
    if (!Guarded(record, "SPS", "ends before its last field", [&] { parsed = parsers_.parser->ParseSPS(unit.data, len); })) {
        parameterSets_.ForgetSps();
        return;
    }
    if (!parsed) {
        Fail(record, "SPS " + At(record) + " is too short to hold an SPS");
        parameterSets_.ForgetSps();
        return;
    }
    const std::string text = FetchListing(*parsers_.parser->GetSPS());
    const ListingFields fields = SplitListing(text);
    AddListing(summary_.spsListings, seenSps_, record, text, fields);

    KeptSps sps;
    sps.unit.assign(unit.data, unit.data + unit.size);
    sps.offset = record.offset;
    sps.id = FieldValue(fields, "sps_seq_parameter_set_id");
    GeneralProfileTierLevel ptl;
    const std::size_t header = static_cast<std::size_t>(unit.startCodeLength);
    const bool havePtl = ReadGeneralProfileTierLevel(unit.data + header, unit.size - header, ptl);
    sps.description = DescribeSps(fields, havePtl ? &ptl : nullptr);
    Guarded(record, "SPS", "ends before GetResolution finds its picture size", [&] {
        parsers_.header->GetResolution(unit.data, LibraryLength(unit.size), &sps.codedWidth, &sps.codedHeight);
    });
    if (!summary_.haveSps)
        DescribeInSummary(sps); // until a picture names its SPS
    activation_.ParsedSps(parameterSets_.Keep(std::move(sps)));
}

void Inspector::InspectPps(const NalUnitView& unit, UnitRecord& record) {
    const unsigned int len = static_cast<unsigned int>(LibraryLength(unit.size));
    activation_.ParsedPps(0);
    bool parsed = false;
    // One that cannot be read may have replaced any id.
    if (!Guarded(record, "PPS", "ends before its last field", [&] { parsed = parsers_.parser->ParsePPS(unit.data, len); })) {
        parameterSets_.ForgetPps();
        return;
    }
    if (!parsed) {
        Fail(record, "PPS " + At(record) + " has no payload");
        parameterSets_.ForgetPps();
        return;
    }
    const std::string text = FetchListing(*parsers_.parser->GetPPS());
    const ListingFields fields = SplitListing(text);
    AddListing(summary_.ppsListings, seenPps_, record, text, fields);

    KeptPps pps;
    pps.unit.assign(unit.data, unit.data + unit.size);
    pps.spsId = FieldValue(fields, "pps_seq_parameter_set_id");
    pps.dependentSliceSegmentsEnabled = FieldValue(fields, "dependent_slice_segments_enabled_flag") != 0;
    activation_.ParsedPps(parameterSets_.Keep(FieldValue(fields, "pps_pic_parameter_set_id"), std::move(pps)));
}

const KeptSps* Inspector::InspectSlice(const NalUnitView& unit, UnitRecord& record) {
    if (parameterSets_.Empty()) {
        record.slice = SliceState::kNoParameterSets;
        return nullptr;
    }
    const std::size_t header = static_cast<std::size_t>(unit.startCodeLength);
    const std::size_t payload = header + 2;
    if (unit.size <= payload) {
        record.slice = SliceState::kTruncated;
        Fail(record, "slice segment " + At(record) + " has no slice segment header");
        return nullptr;
    }
    unsigned int ppsId = 0;
    switch (ReadSlicePicParameterSetId(unit.data + header, unit.size - header, ppsId)) {
    case PpsIdReading::kRead:
        break;
    case PpsIdReading::kTruncated:
        record.slice = SliceState::kTruncated;
        Fail(record, "slice segment " + At(record) + " ends before slice_type (truncated)");
        return nullptr;
    case PpsIdReading::kOutOfRange:
        record.slice = SliceState::kUntyped;
        Fail(record, "slice segment " + At(record) + " has a slice_pic_parameter_set_id above 63");
        return nullptr;
    }
    const ParameterSets::Pair pair = parameterSets_.ForPps(ppsId);
    if (!pair.pps) {
        record.slice = SliceState::kNoParameterSets;
        return nullptr;
    }
    activation_.Activate(*parsers_.parser, pair);

    int type = -1;
    bool first = false;
    bool typed = false;
    if (!Guarded(record, "slice segment", "ends before slice_type", [&] {
            typed = parsers_.parser->ParseSliceType(unit.data, static_cast<unsigned int>(LibraryLength(unit.size)), &type,
                                            &first);
        })) {
        record.slice = SliceState::kTruncated;
        return nullptr;
    }
    if (typed) {
        record.slice = SliceState::kTyped;
        record.pictureType = type;
        record.firstSliceInPic = first;
        return pair.sps;
    }
    // ParseSliceType gives no type for a dependent slice segment, which takes
    // slice_type from the segment before it, and for a slice_type above 2. A
    // dependent segment is never the first of its picture and needs
    // dependent_slice_segments_enabled_flag in the PPS.
    const bool firstSegment = (unit.data[payload] & 0x80) != 0;
    if (!firstSegment && pair.pps->dependentSliceSegmentsEnabled) {
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
            DescribeInSummary(sps);
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

UnitRecord Inspector::Inspect(const NalUnitView& unit) {
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
    record.codeKnown = parsers_.parser->ParseNaluType(unit.data, static_cast<unsigned int>(len), &code);
    record.naluCode = record.codeKnown ? code : -1;
    if (record.index == 0)
        summary_.firstNaluType = parsers_.header->GetNaluType(unit.data, len);
    record.keyFrame = parsers_.header->IsKeyFrame(unit.data, len);

    const bool vcl = h265tools::IsVcl(record.nalUnitType);
    if (!sawVcl_)
        KeepForParameterSetCheck(unit, vcl);
    sawVcl_ = sawVcl_ || vcl;

    if (!record.hasHeader) {
        Fail(record, "NAL unit " + At(record) + " ends inside its NAL unit header");
        if (h265tools::IsSliceSegment(record.nalUnitType))
            record.slice = SliceState::kTruncated;
        return record;
    }
    if (h265tools::IsSliceSegment(record.nalUnitType) && unit.size > h + 2)
        record.firstSliceSegmentInPicFlag = unit.data[h + 2] >> 7;
    const KeptSps* sliceSps = nullptr;
    if (record.nalUnitType == 33)
        InspectSps(unit, record);
    else if (record.nalUnitType == 34)
        InspectPps(unit, record);
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
            !prefix_.empty() && parsers_.header->HasParameterSets(prefix_.data(), LibraryLength(prefix_.size()));
        checkedParameterSets_ = true;
        std::vector<unsigned char>().swap(prefix_);
    }
    return summary_;
}

} // namespace h265info
