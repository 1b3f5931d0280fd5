#include "AccessUnitReader.h"

#include <new>

#include "LibraryParsers.h"
#include "h265headers.h"

namespace h265split {

using h265tools::NalUnitView;
using h265tools::SetReading;
using h265tools::SliceReading;

namespace {

std::string At(const NalUnitView& unit) {
    return "at byte offset " + std::to_string(unit.offset);
}

} // namespace

void AccessUnitReader::ReadTiming(const h265tools::UnitReading& reading, AccessUnit& au) {
    if (reading.timing.sliceHeaderCut)
        au.sliceHeaderTruncated = true;
    if (reading.seen == h265tools::StreamTiming::Seen::kPicture && !au.hasPoc) {
        const h265tools::PictureTiming& timing = reading.timing;
        au.hasPoc = true;
        au.poc = timing.poc;
        au.output = timing.output;
        au.rate = h265tools::ChooseFrameRate(rateOption_, timing.sps, timing.vps);
        au.startsSequence = timing.startsSequence;
        if (timing.sps)
            au.reorderDepth = timing.MaxNumReorder();
    } else if (reading.seen == h265tools::StreamTiming::Seen::kUnknownPicture && !au.hasPoc) {
        au.rate = h265tools::ChooseFrameRate(rateOption_, reader_.ActiveSps(), reader_.ActiveVps());
    }
    if (!reading.note.empty())
        messages_.Say(reading.note + "; the timing of the pictures that use it is unknown");
}

void AccessUnitReader::SayUnread(const NalUnitView& unit, int nalUnitType, SetReading set) {
    switch (set) {
    case SetReading::kNone:
    case SetReading::kKept:
    case SetReading::kRepeated:
        return;
    case SetReading::kOutOfMemory:
        throw std::bad_alloc();
    case SetReading::kTruncated:
    case SetReading::kEmpty:
        break;
    }
    if (nalUnitType == h265tools::kVpsNut)
        messages_.Say("VPS " + At(unit) + " has no payload; it is not repeated in segments");
    else
        messages_.Say(std::string(nalUnitType == h265tools::kSpsNut ? "SPS " : "PPS ") + At(unit) +
                      " ends before its last field (truncated)");
}

void AccessUnitReader::Observe(const NalUnitView& unit, const UnitHeader& header, AccessUnit& au) {
    const h265tools::UnitReading reading = reader_.Read(unit);
    ReadTiming(reading, au);
    SayUnread(unit, header.nalUnitType, reading.set);
    if (!h265tools::IsSliceSegment(header.nalUnitType))
        return;
    if (header.firstSliceSegment && !au.HasPicture()) {
        au.pictureNalUnitType = header.nalUnitType;
        ReadPicture(unit, au);
        // The timescale follows the rate of the first key picture that
        // knows it: a recording that starts in the middle of a stream passes
        // over key pictures before its first SPS, whose 25 per second would
        // only be assumed. After a few such, the assumption holds.
        if (au.key && !clock_.started() &&
            (au.hasPoc || au.rate.source != h265tools::FrameRate::Source::kAssumed ||
             ++keysWithoutSets_ > kKeysWithoutSets))
            clock_.Start(au.rate);
        if (clock_.started())
            au.ticks = clock_.Ticks(au.rate);
    } else if (reader_.ReadSlice(unit, false).state == SliceReading::State::kTruncated) {
        // Of a later slice segment only the start of its header is read, to
        // tell a cut-off one at the end of the stream.
        au.sliceHeaderTruncated = true;
    }
}

void AccessUnitReader::ReadPicture(const NalUnitView& unit, AccessUnit& au) {
    // IsKeyFrame on the picture's own first slice segment: on a buffer that
    // starts with a VPS or SPS it answers 1 whatever picture follows.
    au.key = reader_.header().IsKeyFrame(unit.data, h265tools::LibraryLength(unit.size)) == 1;
    const SliceReading slice = reader_.ReadSlice(unit, true);
    switch (slice.state) {
    case SliceReading::State::kPpsIdOutOfRange:
        messages_.Say("slice segment " + At(unit) + " has a slice_pic_parameter_set_id above 63");
        return;
    case SliceReading::State::kOutOfMemory:
        throw std::bad_alloc();
    default:
        break;
    }
    if (slice.state == SliceReading::State::kTruncated)
        au.sliceHeaderTruncated = true;
    if (slice.state == SliceReading::State::kTruncated && !slice.parameterSets.pps)
        return; // cut before slice_pic_parameter_set_id
    au.ppsId = slice.ppsId;
    au.parameterSets = slice.parameterSets;
    if (slice.state == SliceReading::State::kTyped)
        au.pictureType = slice.pictureType;
}

bool AccessUnitReader::CarriesParameterSets(const AccessUnit& au) const {
    // HasParameterSets stops at the first VCL NAL unit; the bytes from there on
    // need not be handed over.
    std::size_t end = au.bytes.size();
    for (const UnitInAccessUnit& unit : au.units) {
        if (h265tools::IsVcl(unit.nalUnitType)) {
            end = unit.begin + unit.size;
            break;
        }
    }
    return reader_.header().HasParameterSets(au.bytes.data(), h265tools::LibraryLength(end));
}

} // namespace h265split
