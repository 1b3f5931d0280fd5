// Follows a stream's parameter sets, HDR SEI messages and pictures with the
// tools' own syntax reader, for what the library does not read: the VUI and
// VPS timing, and each picture's PicOrderCntVal (8.3.1) and whether a
// decoder outputs it. Fed every NAL unit in stream order; the parameter sets
// it reads go into the table of kept parameter sets it is given.
#ifndef H265TOOLS_STREAM_TIMING_H
#define H265TOOLS_STREAM_TIMING_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "HdrSei.h"
#include "OutputOrder.h"
#include "ParameterSets.h"
#include "PictureOrderCount.h"
#include "PpsSyntax.h"
#include "SpsSyntax.h"
#include "VpsSyntax.h"

namespace h265tools {

// What the first slice segment of a picture tells about its place in time.
struct PictureTiming {
    std::int32_t poc = 0;          // PicOrderCntVal
    bool irap = false;
    bool startsSequence = false;   // an IRAP picture with NoRaslOutputFlag 1
    bool output = true;            // PicOutputFlag (a RASL picture of such an IRAP picture is not decoded)
    // NoOutputOfPriorPicsFlag of a picture that starts a sequence: the
    // pictures still waiting for output are discarded.
    bool noOutputOfPriorPics = false;
    unsigned int temporalId = 0;
    // The NAL unit ends inside the part of the slice segment header read
    // here (up to slice_temporal_mvp_enabled_flag), also when the picture is
    // kUnknownPicture. Only at the end of a stream is that a cut.
    bool sliceHeaderCut = false;
    const SpsSyntax* sps = nullptr; // the SPS the picture activates
    const VpsSyntax* vps = nullptr; // that SPS's VPS, null when none could be read

    // sps_max_num_reorder_pics of the highest sub-layer of its SPS; 0 without one.
    unsigned int MaxNumReorder() const;
    // The picture as the output process takes it.
    DecodedPicture Decoded(std::uint64_t id) const;
};

class StreamTiming {
public:
    explicit StreamTiming(ParameterSets& sets) : sets_(sets) {}

    enum class Seen {
        kOther,          // not the first slice segment of a picture
        kPicture,        // a picture's first slice segment; `timing` is filled in
        kUnknownPicture, // a picture whose PicOrderCntVal cannot be known
        kHdrSei          // a prefix SEI NAL unit with mastering display or content light level
    };

    // One NAL unit: `nal` points at its NAL unit header (start code
    // excluded), `offset` where it is in the stream (for messages). A
    // parameter set or SEI message that cannot be read gets `note`, a
    // message naming it and the element ("SPS at byte offset 28:
    // num_short_term_ref_pic_sets 70 is above 64").
    Seen Observe(const unsigned char* nal, std::size_t size, std::uint64_t offset, PictureTiming& timing,
                 std::string& note);

    // The next picture starts a coded video sequence even when it is a CRA
    // picture (HandleCraAsBlaFlag 1): where a segment of a stream begins.
    void StartSequenceAtNextPicture() { startSequence_ = true; }

    // The first mastering display colour volume and content light level
    // SEI messages of the stream.
    const HdrSei& Hdr() const { return hdr_; }
    // The SPS of the last picture (its VPS too), null before one.
    const SpsSyntax* ActiveSps() const { return activeSps_.get(); }
    const VpsSyntax* ActiveVps() const { return activeVps_.get(); }

private:
    Seen ObserveSlice(const unsigned char* nal, std::size_t size, std::uint64_t offset, PictureTiming& timing,
                      std::string& note);

    ParameterSets& sets_;
    // Kept alive while a picture refers to them, even when replaced.
    std::shared_ptr<const SpsSyntax> activeSps_;
    std::shared_ptr<const VpsSyntax> activeVps_;
    PictureOrderCount poc_;
    HdrSei hdr_;
    bool startSequence_ = false;
};

} // namespace h265tools

#endif
