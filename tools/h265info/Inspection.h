// What the inspector finds in a stream: one record per NAL unit, handed to a
// report as the walk goes, and a summary at the end.
#ifndef H265INFO_INSPECTION_H
#define H265INFO_INSPECTION_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "FrameRate.h"
#include "HdrSei.h"
#include "Listing.h"
#include "SpsDescription.h"
#include "VuiParameters.h"

namespace h265info {

// The stream readings shared with the other tools (tools/support).
using namespace h265tools;

// How far the slice segment header of a VCL NAL unit could be read.
enum class SliceState {
    kNotASlice,       // not a slice segment (non-VCL or a reserved VCL type)
    kTyped,           // ParseSliceType gave the picture type
    kDependent,       // a dependent slice segment: its slice_type is inherited
    kUntyped,         // ParseSliceType gave no type (slice_type out of range)
    kNoParameterSets, // the PPS it names, or the SPS that PPS names, has not come before it
    kTruncated        // the header ends before slice_type
};

struct UnitRecord {
    std::uint64_t index = 0;
    std::uint64_t offset = 0; // of the start code
    std::uint64_t size = 0;   // start code included
    int startCodeLength = 0;
    bool hasHeader = false; // both NAL unit header bytes present
    int nalUnitType = -1;   // -1 when not even the first header byte is there
    int layerId = -1;
    int temporalId = -1;
    bool codeKnown = false; // ParseNaluType succeeded
    int naluCode = -1;
    int keyFrame = 0; // IsKeyFrame
    SliceState slice = SliceState::kNotASlice;
    int pictureType = -1; // NALU_TYPE_I/P/B_FRAME when kTyped
    bool firstSliceInPic = false;
    // first_slice_segment_in_pic_flag as coded, for every slice segment with
    // a payload byte, whether or not its type could be read; -1 otherwise.
    int firstSliceSegmentInPicFlag = -1;
    bool keyPicture = false; // a picture's first slice segment with IsKeyFrame 1
    std::string error;       // what went wrong with this unit, if anything

    // The first slice segment of a picture whose PicOrderCntVal is known.
    bool hasPoc = false;
    std::int32_t poc = 0;
    FrameRate rate; // of the picture's SPS or VPS, or the user's
    // Whether a decoder outputs the picture, and where: its output index
    // counts the stream's output pictures from 0, its presentation time is
    // the sum of the frame durations of the output pictures before it.
    bool output = false;
    std::uint64_t outputIndex = 0;
    double presentationTime = 0;
    // What the tools' own syntax reader could not read in this unit (a
    // parameter set or SEI message it skips); not an error of the stream's
    // library reading.
    std::string note;
};

struct ParameterSetListing {
    std::uint64_t index = 0; // of the NAL unit that first had this content
    std::uint64_t offset = 0;
    std::uint64_t occurrences = 0;
    std::string text;
    ListingFields fields;
};

struct KeyPicture {
    std::uint64_t index = 0;
    std::uint64_t offset = 0;
    int nalUnitType = -1;
};

// A picture whose SPS gives another coded or display size than that of the
// picture before it.
struct SizeChange {
    std::uint64_t index = 0; // of its first slice segment
    std::uint64_t offset = 0;
    unsigned int spsId = 0;
    int codedWidth = 0; // GetResolution
    int codedHeight = 0;
    SpsDescription sps;
};

// How many error texts the summary keeps; all of them go to standard error.
const std::size_t kKeptErrors = 1000;

// What a picture's timing and the VUI of the stream's SPS tell: the summary
// describes the SPS of the first picture with a known PicOrderCntVal.
struct TimingSummary {
    bool haveSps = false;
    FrameRate rate;                 // of the first picture
    std::uint64_t outputPictures = 0;
    double duration = 0;            // of all output pictures, in seconds
    bool vuiPresent = false;
    VuiParameters vui;
    unsigned int maxNumReorderPics = 0; // sps_max_num_reorder_pics of the highest sub-layer
    unsigned int temporalLayers = 0;    // sps_max_sub_layers_minus1 + 1
    unsigned int chromaFormatIdc = 0;
    HdrSei hdr;
    // GOP structure in output order: M the most common distance between
    // pictures that are not B pictures, N that between key pictures (0 with
    // fewer than two); open when a key picture has RASL pictures.
    std::uint64_t gopM = 0;
    std::uint64_t gopN = 0;
    bool openGop = false;
    std::uint64_t notes = 0;
};

struct Summary {
    std::uint64_t fileSize = 0; // bytes read, for a pipe too
    std::uint64_t leadingBytes = 0;
    std::uint64_t unitCount = 0;
    int firstNaluType = -1; // GetNaluType on the first NAL unit
    // The SPS of the first picture; without a picture, the first SPS that
    // could be parsed completely.
    bool haveSps = false;
    std::uint64_t spsOffset = 0;
    int codedWidth = 0; // GetResolution on that SPS
    int codedHeight = 0;
    SpsDescription sps;
    std::vector<SizeChange> sizeChanges;
    std::uint64_t pictures[3] = {0, 0, 0};  // I, P, B
    std::uint64_t untypedSliceSegments = 0; // non-dependent ones whose type stayed unknown
    std::uint64_t dependentSliceSegments = 0;
    std::vector<KeyPicture> keyPictures;
    bool parameterSetsFirst = false; // HasParameterSets on the stream up to the first picture
    std::vector<ParameterSetListing> spsListings;
    std::vector<ParameterSetListing> ppsListings;
    std::uint64_t errorCount = 0;
    std::vector<std::string> errors; // the first kKeptErrors of them
    TimingSummary timing;
};

// Index into Summary::pictures for NALU_TYPE_I/P/B_FRAME; -1 otherwise.
int PictureTypeIndex(int naluCode);
// "I", "P", "B"; "-" otherwise.
const char* PictureTypeLetter(int naluCode);

class Report {
public:
    virtual ~Report() {}
    virtual void Begin(const std::string& path) = 0;
    virtual void Unit(const UnitRecord& unit) = 0;
    virtual void End(const Summary& summary) = 0;
};

} // namespace h265info

#endif
