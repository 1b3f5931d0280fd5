// Reads each NAL unit of a stream once for both tools: the parameter sets
// with the library (its records, listings and picture size) and with the
// tools' own syntax reader, both kept by id in one table; a parameter set
// that repeats the last one of its kind byte for byte is not read again.
// Slice segments are read with the PPS they name and that PPS's SPS, and the
// tools' syntax reader follows picture order count, output flags and HDR SEI
// messages. Error texts are the callers': the readings say what happened.
#ifndef H265TOOLS_PICTURE_READER_H
#define H265TOOLS_PICTURE_READER_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "HdrSei.h"
#include "LibraryParsers.h"
#include "Listing.h"
#include "NalUnitReader.h"
#include "ParameterSets.h"
#include "StreamTiming.h"

namespace h265tools {

// What the library made of a VPS, SPS or PPS NAL unit.
enum class SetReading {
    kNone,        // not a parameter set
    kKept,        // read (for a VPS: its id taken) and kept under its id
    kRepeated,    // the last one of its kind again, byte for byte: not read again
    kTruncated,   // ParseSPS/ParsePPS ran out of bytes
    kEmpty,       // ParseSPS/ParsePPS gave false; a VPS without payload
    kOutOfMemory  // the library could not allocate
};

struct UnitReading {
    SetReading set = SetReading::kNone;
    // The library's listing of an SPS or PPS kept now or repeated, and (kept
    // now) its fields.
    std::string listing;
    ListingFields fields;
    // An SPS read now: its id, what it says, its picture size (GetResolution;
    // 0x0 and `resolutionTruncated` when that ran out of bytes) and the
    // version it is kept under (0 for an id above 15, which is not kept).
    unsigned int spsId = 0;
    SpsDescription description;
    int codedWidth = 0;
    int codedHeight = 0;
    bool resolutionTruncated = false;
    std::uint64_t version = 0;
    // The tools' syntax reader: what the unit is to it and, for a picture's
    // first slice segment, its timing; `note` names a set it could not read.
    StreamTiming::Seen seen = StreamTiming::Seen::kOther;
    PictureTiming timing;
    std::string note;
};

// A slice segment header as the library reads it, up to slice_type.
struct SliceReading {
    enum class State {
        kTyped,            // slice_type read (ParseSliceType), or not asked for
        kNoType,           // ParseSliceType gave no type: a dependent slice segment or slice_type above 2
        kTruncated,        // the header ends before slice_pic_parameter_set_id or slice_type
        kPpsIdOutOfRange,  // slice_pic_parameter_set_id above 63
        kNoParameterSets,  // its PPS, or that PPS's SPS, is not kept
        kOutOfMemory
    };
    State state = State::kNoParameterSets;
    unsigned int ppsId = 0;
    ParameterSets::Pair parameterSets;
    int pictureType = -1;     // NALU_TYPE_I/P/B_FRAME
    bool firstInPicture = false;
};

class PictureReader {
public:
    PictureReader() = default; // std::bad_alloc when the library's parsers cannot be made
    PictureReader(const PictureReader&) = delete;
    PictureReader& operator=(const PictureReader&) = delete;

    // Reads the unit's parameter set, SEI message or picture timing. Every
    // NAL unit of the stream goes through here, in order.
    UnitReading Read(const NalUnitView& unit);

    // The slice segment's PPS id and parameter sets; with `sliceType`, its
    // slice_type by the library, whose parser then holds that SPS and PPS.
    SliceReading ReadSlice(const NalUnitView& unit, bool sliceType);

    LibraryParsers& parsers() { return parsers_; }
    // The library's header parser, for the queries that keep no state.
    IVideoHeaderParser& header() const { return *parsers_.header; }
    const ParameterSets& parameterSets() const { return sets_; }
    // The SPS and VPS of the last picture the syntax reader followed.
    const SpsSyntax* ActiveSps() const { return timing_.ActiveSps(); }
    const VpsSyntax* ActiveVps() const { return timing_.ActiveVps(); }
    // The stream's first mastering display colour volume and content light
    // level SEI messages, and the last prefix SEI NAL unit that carried
    // either (start code included; empty when none came).
    const HdrSei& hdr() const { return timing_.Hdr(); }
    const std::vector<unsigned char>& hdrSei() const { return hdrSei_; }

private:
    SetReading ReadVps(const NalUnitView& unit);
    SetReading ReadSps(const NalUnitView& unit, UnitReading& reading);
    SetReading ReadPps(const NalUnitView& unit, UnitReading& reading);
    bool Repeats(int nalUnitType, const NalUnitView& unit);

    LibraryParsers parsers_;
    ParameterSets sets_;
    ParserActivation activation_;
    StreamTiming timing_{sets_};
    std::vector<unsigned char> hdrSei_;
    // The last VPS, SPS and PPS that both readers read, start code excluded,
    // and the id each is kept under.
    struct LastSet {
        std::vector<unsigned char> bytes;
        unsigned int id = 0;
        std::string listing; // the library's, of an SPS or PPS
    };
    LastSet last_[3];
};

} // namespace h265tools

#endif
