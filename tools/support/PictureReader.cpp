#include "PictureReader.h"

#include <algorithm>
#include <new>

#include "NalUnitTypes.h"
#include "SlicePicParameterSetId.h"
#include "SpsDescription.h"

namespace h265tools {

namespace {

// Runs a library call: its end-of-data signal and exhausted memory become
// readings.
template <typename Call> SetReading LibraryCall(Call call) {
    try {
        return call() ? SetReading::kKept : SetReading::kEmpty;
    } catch (int) {
        return SetReading::kTruncated;
    } catch (const std::bad_alloc&) {
        return SetReading::kOutOfMemory;
    }
}

int SetIndex(int nalUnitType) {
    return nalUnitType - kVpsNut; // VPS, SPS, PPS: 0, 1, 2
}

} // namespace

bool PictureReader::Repeats(int nalUnitType, const NalUnitView& unit) {
    const std::size_t h = static_cast<std::size_t>(unit.startCodeLength);
    const LastSet& last = last_[SetIndex(nalUnitType)];
    if (last.bytes.empty() || last.bytes.size() != unit.size - h || !std::equal(last.bytes.begin(), last.bytes.end(), unit.data + h))
        return false;
    const KeptVps* vps = nalUnitType == kVpsNut ? sets_.Vps(last.id) : nullptr;
    const KeptSps* sps = nalUnitType == kSpsNut ? sets_.Sps(last.id) : nullptr;
    const KeptPps* pps = nalUnitType == kPpsNut ? sets_.Pps(last.id) : nullptr;
    const std::uint64_t before = vps ? vps->version : sps ? sps->version : pps ? pps->version : 0;
    if (before == 0)
        return false; // no longer kept: read it as new
    activation_.Renumbered(before, sets_.Repeated(nalUnitType, last.id, unit.offset));
    return true;
}

SetReading PictureReader::ReadVps(const NalUnitView& unit) {
    const std::size_t payload = static_cast<std::size_t>(unit.startCodeLength) + 2;
    if (unit.size <= payload)
        return SetReading::kEmpty;
    KeptVps vps;
    vps.unit.assign(unit.data, unit.data + unit.size);
    // 7.3.2.1 vps_video_parameter_set_id u(4): the first payload bits.
    const unsigned int id = static_cast<unsigned int>(unit.data[payload] >> 4);
    sets_.Keep(id, std::move(vps));
    last_[0].id = id;
    return SetReading::kKept;
}

SetReading PictureReader::ReadSps(const NalUnitView& unit, UnitReading& reading) {
    const int len = LibraryLength(unit.size);
    // ParseSPS replaces the parser's record, whatever comes of it.
    activation_.ParsedSps(0);
    SetReading result = LibraryCall([&] { return parsers_.parser->ParseSPS(unit.data, static_cast<unsigned int>(len)); });
    if (result != SetReading::kKept) {
        sets_.ForgetSps(); // one that cannot be read may have replaced any id
        return result;
    }
    reading.listing = FetchListing(*parsers_.parser->GetSPS());
    reading.fields = SplitListing(reading.listing);
    KeptSps sps;
    sps.id = FieldValue(reading.fields, "sps_seq_parameter_set_id");
    const std::size_t h = static_cast<std::size_t>(unit.startCodeLength);
    GeneralProfileTierLevel ptl;
    const bool havePtl = ReadGeneralProfileTierLevel(unit.data + h, unit.size - h, ptl);
    sps.description = DescribeSps(reading.fields, havePtl ? &ptl : nullptr);
    try {
        parsers_.header->GetResolution(unit.data, len, &sps.codedWidth, &sps.codedHeight);
    } catch (int) {
        reading.resolutionTruncated = true;
    } catch (const std::bad_alloc&) {
        reading.resolutionTruncated = true;
    }
    sps.unit.assign(unit.data, unit.data + unit.size);
    sps.offset = unit.offset;
    last_[1].id = sps.id;
    reading.spsId = sps.id;
    reading.description = sps.description;
    reading.codedWidth = sps.codedWidth;
    reading.codedHeight = sps.codedHeight;
    reading.version = sets_.Keep(std::move(sps));
    activation_.ParsedSps(reading.version);
    return SetReading::kKept;
}

SetReading PictureReader::ReadPps(const NalUnitView& unit, UnitReading& reading) {
    activation_.ParsedPps(0);
    SetReading result = LibraryCall(
        [&] { return parsers_.parser->ParsePPS(unit.data, static_cast<unsigned int>(LibraryLength(unit.size))); });
    if (result != SetReading::kKept) {
        sets_.ForgetPps();
        return result;
    }
    reading.listing = FetchListing(*parsers_.parser->GetPPS());
    reading.fields = SplitListing(reading.listing);
    KeptPps pps;
    const unsigned int id = FieldValue(reading.fields, "pps_pic_parameter_set_id");
    pps.spsId = FieldValue(reading.fields, "pps_seq_parameter_set_id");
    pps.dependentSliceSegmentsEnabled = FieldValue(reading.fields, "dependent_slice_segments_enabled_flag") != 0;
    pps.unit.assign(unit.data, unit.data + unit.size);
    last_[2].id = id;
    activation_.ParsedPps(sets_.Keep(id, std::move(pps)));
    return SetReading::kKept;
}

UnitReading PictureReader::Read(const NalUnitView& unit) {
    UnitReading reading;
    const std::size_t h = static_cast<std::size_t>(unit.startCodeLength);
    if (unit.size < h + 2)
        return reading;
    const int type = (unit.data[h] >> 1) & 0x3F;
    const bool parameterSet = type == kVpsNut || type == kSpsNut || type == kPpsNut;
    if (parameterSet) {
        // Streams repeat their parameter sets, mostly unchanged.
        if (Repeats(type, unit)) {
            reading.set = SetReading::kRepeated;
            reading.listing = last_[SetIndex(type)].listing;
            return reading;
        }
        last_[SetIndex(type)].bytes.clear();
        // The library first: the syntax reader's failure is scoped to the id
        // the library kept the same bytes under.
        reading.set = type == kVpsNut ? ReadVps(unit) : type == kSpsNut ? ReadSps(unit, reading) : ReadPps(unit, reading);
    }
    reading.seen = timing_.Observe(unit.data + h, unit.size - h, unit.offset, reading.timing, reading.note);
    if (reading.seen == StreamTiming::Seen::kHdrSei) {
        // Its bytes go into the hvcC of an MP4 init segment; a damaged SEI
        // message (one the reader could not read) is not kept.
        hdrSei_.assign(unit.data, unit.data + unit.size);
    }
    const bool kept = reading.set == SetReading::kKept && !reading.resolutionTruncated;
    if (parameterSet && kept && reading.note.empty() &&
        (type != kSpsNut || sets_.Sps(last_[1].id)) && (type != kPpsNut || sets_.Pps(last_[2].id))) {
        last_[SetIndex(type)].bytes.assign(unit.data + h, unit.data + unit.size);
        last_[SetIndex(type)].listing = reading.listing;
    }
    return reading;
}

SliceReading PictureReader::ReadSlice(const NalUnitView& unit, bool sliceType) {
    SliceReading reading;
    const std::size_t h = static_cast<std::size_t>(unit.startCodeLength);
    switch (ReadSlicePicParameterSetId(unit.data + h, unit.size - h, reading.ppsId)) {
    case PpsIdReading::kRead:
        break;
    case PpsIdReading::kTruncated:
        reading.state = SliceReading::State::kTruncated;
        return reading;
    case PpsIdReading::kOutOfRange:
        reading.state = SliceReading::State::kPpsIdOutOfRange;
        return reading;
    }
    reading.parameterSets = sets_.ForPps(reading.ppsId);
    if (!reading.parameterSets.pps) {
        reading.state = SliceReading::State::kNoParameterSets;
        return reading;
    }
    reading.state = SliceReading::State::kTyped;
    if (!sliceType)
        return reading;
    activation_.Activate(*parsers_.parser, reading.parameterSets);
    bool typed = false;
    try {
        typed = parsers_.parser->ParseSliceType(unit.data, static_cast<unsigned int>(LibraryLength(unit.size)),
                                                &reading.pictureType, &reading.firstInPicture);
    } catch (int) {
        reading.state = SliceReading::State::kTruncated;
        return reading;
    } catch (const std::bad_alloc&) {
        reading.state = SliceReading::State::kOutOfMemory;
        return reading;
    }
    if (!typed) {
        reading.pictureType = -1;
        reading.state = SliceReading::State::kNoType;
    }
    return reading;
}

} // namespace h265tools
