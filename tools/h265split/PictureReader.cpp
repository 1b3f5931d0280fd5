#include "PictureReader.h"

#include <new>
#include <stdexcept>

#include "Listing.h"
#include "SlicePicParameterSetId.h"
#include "SpsDescription.h"
#include "LibraryParsers.h"
#include "h265headers.h"

namespace h265split {

using h265tools::NalUnitView;

using h265tools::LibraryLength;

namespace {

std::string At(const NalUnitView& unit) {
    return "at byte offset " + std::to_string(unit.offset);
}

} // namespace

PictureReader::PictureReader(Messages& messages, const h265tools::FrameRate* rateOption)
    : messages_(messages), rateOption_(rateOption) {}

void PictureReader::ObserveTiming(const NalUnitView& unit, AccessUnit& au) {
    const std::size_t h = static_cast<std::size_t>(unit.startCodeLength);
    h265tools::PictureTiming timing;
    std::string note;
    const h265tools::StreamTiming::Seen seen = timing_.Observe(unit.data + h, unit.size - h, unit.offset, timing, note);
    if (timing.sliceHeaderCut)
        au.sliceHeaderTruncated = true;
    if (seen == h265tools::StreamTiming::Seen::kPicture && !au.hasPoc) {
        au.hasPoc = true;
        au.poc = timing.poc;
        au.output = timing.output;
        au.rate = h265tools::ChooseFrameRate(rateOption_, timing.sps, timing.vps);
        au.startsSequence = timing.startsSequence;
        if (timing.sps)
            au.reorderDepth = timing.MaxNumReorder();
    } else if (seen == h265tools::StreamTiming::Seen::kHdrSei) {
        // Its bytes go into the hvcC of an MP4 init segment; a damaged SEI
        // message (one the reader could not read) is not copied there.
        hdrSei_.assign(unit.data, unit.data + unit.size);
    } else if (seen == h265tools::StreamTiming::Seen::kUnknownPicture && !au.hasPoc) {
        au.rate = h265tools::ChooseFrameRate(rateOption_, timing_.ActiveSps(), timing_.ActiveVps());
    }
    if (!note.empty())
        messages_.Say(note + "; the timing of the pictures that use it is unknown");
}

void PictureReader::Observe(const NalUnitView& unit, const UnitHeader& header, AccessUnit& au) {
    ObserveTiming(unit, au);
    switch (header.nalUnitType) {
    case h265tools::kVpsNut:
        KeepVps(unit);
        return;
    case h265tools::kSpsNut:
        KeepSps(unit);
        return;
    case h265tools::kPpsNut:
        KeepPps(unit);
        return;
    default:
        if (!h265tools::IsSliceSegment(header.nalUnitType))
            return;
        if (header.firstSliceSegment && !au.HasPicture()) {
            ReadPicture(unit, header, au);
        } else {
            // Of a later slice segment only the start of its header is read,
            // to tell a cut-off one at the end of the stream.
            const std::size_t nal = static_cast<std::size_t>(unit.startCodeLength);
            unsigned int ppsId = 0;
            if (h265tools::ReadSlicePicParameterSetId(unit.data + nal, unit.size - nal, ppsId) ==
                h265tools::PpsIdReading::kTruncated)
                au.sliceHeaderTruncated = true;
        }
    }
}

void PictureReader::KeepVps(const NalUnitView& unit) {
    const std::size_t payload = static_cast<std::size_t>(unit.startCodeLength) + 2;
    if (unit.size <= payload) {
        messages_.Say("VPS " + At(unit) + " has no payload; it is not repeated in segments");
        return;
    }
    h265tools::KeptVps vps;
    vps.unit.assign(unit.data, unit.data + unit.size);
    // 7.3.2.1 vps_video_parameter_set_id u(4): the first payload bits.
    parameterSets_.Keep(static_cast<unsigned int>(unit.data[payload] >> 4), std::move(vps));
}

void PictureReader::KeepSps(const NalUnitView& unit) {
    const int len = LibraryLength(unit.size);
    activation_.ParsedSps(0); // ParseSPS replaces the parser's record, whatever comes of it
    h265tools::KeptSps sps;
    try {
        if (!parsers_.parser->ParseSPS(unit.data, static_cast<unsigned int>(len)))
            throw 1;
        const h265tools::ListingFields fields = h265tools::SplitListing(h265tools::FetchListing(*parsers_.parser->GetSPS()));
        sps.id = h265tools::FieldValue(fields, "sps_seq_parameter_set_id");
        sps.description = h265tools::DescribeSps(fields, nullptr);
        parsers_.header->GetResolution(unit.data, len, &sps.codedWidth, &sps.codedHeight);
    } catch (int) {
        // One that cannot be read may have replaced any id.
        parameterSets_.ForgetSps();
        messages_.Say("SPS " + At(unit) + " ends before its last field (truncated)");
        return;
    }
    sps.unit.assign(unit.data, unit.data + unit.size);
    sps.offset = unit.offset;
    activation_.ParsedSps(parameterSets_.Keep(std::move(sps)));
}

void PictureReader::KeepPps(const NalUnitView& unit) {
    activation_.ParsedPps(0);
    h265tools::KeptPps pps;
    unsigned int ppsId = 0;
    try {
        if (!parsers_.parser->ParsePPS(unit.data, static_cast<unsigned int>(LibraryLength(unit.size))))
            throw 1;
        const h265tools::ListingFields fields = h265tools::SplitListing(h265tools::FetchListing(*parsers_.parser->GetPPS()));
        ppsId = h265tools::FieldValue(fields, "pps_pic_parameter_set_id");
        pps.spsId = h265tools::FieldValue(fields, "pps_seq_parameter_set_id");
        pps.dependentSliceSegmentsEnabled = h265tools::FieldValue(fields, "dependent_slice_segments_enabled_flag") != 0;
    } catch (int) {
        parameterSets_.ForgetPps();
        messages_.Say("PPS " + At(unit) + " ends before its last field (truncated)");
        return;
    }
    pps.unit.assign(unit.data, unit.data + unit.size);
    activation_.ParsedPps(parameterSets_.Keep(ppsId, std::move(pps)));
}

void PictureReader::ReadPicture(const NalUnitView& unit, const UnitHeader& header, AccessUnit& au) {
    const int len = LibraryLength(unit.size);
    au.pictureNalUnitType = header.nalUnitType;
    // IsKeyFrame on the picture's own first slice segment: on a buffer that
    // starts with a VPS or SPS it answers 1 whatever picture follows.
    au.key = parsers_.header->IsKeyFrame(unit.data, len) == 1;

    const std::size_t nal = static_cast<std::size_t>(unit.startCodeLength);
    unsigned int ppsId = 0;
    switch (h265tools::ReadSlicePicParameterSetId(unit.data + nal, unit.size - nal, ppsId)) {
    case h265tools::PpsIdReading::kRead:
        break;
    case h265tools::PpsIdReading::kTruncated:
        au.sliceHeaderTruncated = true;
        return;
    case h265tools::PpsIdReading::kOutOfRange:
        messages_.Say("slice segment " + At(unit) + " has a slice_pic_parameter_set_id above 63");
        return;
    }
    au.ppsId = ppsId;
    au.parameterSets = parameterSets_.ForPps(ppsId);
    if (!au.parameterSets.pps)
        return; // a picture whose PPS has not come: it cannot start a segment's decoding anyway
    activation_.Activate(*parsers_.parser, au.parameterSets);
    int type = -1;
    try {
        if (parsers_.parser->ParseSliceType(unit.data, static_cast<unsigned int>(len), &type, nullptr))
            au.pictureType = type;
    } catch (int) {
        au.sliceHeaderTruncated = true;
    }
}

bool PictureReader::CarriesParameterSets(const AccessUnit& au) const {
    // HasParameterSets stops at the first VCL NAL unit; the bytes from there on
    // need not be handed over.
    std::size_t end = au.bytes.size();
    for (const UnitInAccessUnit& unit : au.units) {
        if (h265tools::IsVcl(unit.nalUnitType)) {
            end = unit.begin + unit.size;
            break;
        }
    }
    return parsers_.header->HasParameterSets(au.bytes.data(), LibraryLength(end));
}

} // namespace h265split
