// One access unit as h265split holds it: its bytes as they came, the NAL
// units in them, and what the library said about its picture.
#ifndef H265SPLIT_ACCESS_UNIT_H
#define H265SPLIT_ACCESS_UNIT_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "FrameRate.h"
#include "NalUnitReader.h"
#include "NalUnitTypes.h"
#include "ParameterSets.h"
#include "WallClock.h"

namespace h265split {

// The bytes of an access unit's NAL units, one after another. Where they lie
// one after another in the reader's window, as they do but where a window
// ends or bytes that are no NAL unit were skipped, they stay there and the
// window is kept; else they are copied once, into a buffer of their own.
// Whoever writes them later keeps owner() instead of copying them.
class AccessUnitBytes {
public:
    const unsigned char* data() const { return data_; }
    std::size_t size() const { return size_; }
    // What keeps data() valid: the reader's window, or the copy.
    const std::shared_ptr<const void>& owner() const { return owner_; }

    void Append(const h265tools::NalUnitView& unit) {
        if (!copy_ && unit.window && (size_ == 0 || (unit.window == owner_ && unit.data == data_ + size_))) {
            if (size_ == 0) {
                data_ = unit.data;
                owner_ = unit.window;
            }
            size_ += unit.size;
            return;
        }
        if (!copy_) {
            copy_ = std::make_shared<std::vector<unsigned char>>();
            copy_->reserve(size_ + unit.size);
            copy_->assign(data_, data_ + size_);
            owner_ = copy_;
        }
        copy_->insert(copy_->end(), unit.data, unit.data + unit.size);
        data_ = copy_->data();
        size_ = copy_->size();
    }

    void clear() {
        data_ = nullptr;
        size_ = 0;
        owner_.reset();
        copy_.reset();
    }

private:
    const unsigned char* data_ = nullptr;
    std::size_t size_ = 0;
    std::shared_ptr<const void> owner_;
    std::shared_ptr<std::vector<unsigned char>> copy_; // when the bytes are copied
};

struct UnitInAccessUnit {
    std::size_t begin = 0;    // in AccessUnit::bytes, at the start code
    std::size_t size = 0;     // start code included
    std::uint64_t offset = 0; // in the input
    int nalUnitType = 0;
    bool firstSliceSegment = false; // first_slice_segment_in_pic_flag of a slice segment
};

struct AccessUnit {
    AccessUnitBytes bytes;
    std::vector<UnitInAccessUnit> units;

    bool HasPicture() const { return pictureNalUnitType >= 0; }
    std::uint64_t Offset() const { return units.empty() ? 0 : units.front().offset; }

    // Of the slice segment that starts the picture (first_slice_segment_in_pic_flag 1).
    int pictureNalUnitType = -1;
    bool key = false;      // IsKeyFrame gave 1: an IRAP picture
    int pictureType = -1;  // NALU_TYPE_I/P/B_FRAME from ParseSliceType, -1 when unknown
    unsigned int ppsId = 0;
    h265tools::ParameterSets::Pair parameterSets; // the PPS it names and that PPS's SPS; null when not kept
    // A slice segment header of the access unit ends before slice_type, or
    // the picture's first one before slice_temporal_mvp_enabled_flag: at the
    // end of the stream, the sign of a cut-off access unit.
    bool sliceHeaderTruncated = false;
    // PicOrderCntVal of the picture, when the tools' syntax reader could read
    // it; whether a decoder of the whole stream outputs it, and at what rate.
    bool hasPoc = false;
    std::int32_t poc = 0;
    bool output = true;
    h265tools::FrameRate rate;

    // An IRAP picture with NoRaslOutputFlag 1 starts a coded video sequence;
    // the reorder depth is sps_max_num_reorder_pics of its SPS's highest
    // sub-layer (16, the most, when unknown). For the MP4 output order.
    bool startsSequence = false;
    unsigned int reorderDepth = 16;

    // Its frame in ticks of the recording's timescale (RecordingClock): the
    // time it takes in decoding order; 0 before the recording's first key
    // picture.
    std::uint32_t ticks = 0;
    // Its UTC time as its sender's clock tells (a camera's RTCP sender
    // reports); 0 when not known.
    std::int64_t senderUtcMillis = 0;
    // When it arrived; unset (now) for input that is not a camera's.
    Arrival arrival;
    // A camera's access unit that lost part of itself or followed a loss
    // (--keep-damaged): a decoder conceals what is missing.
    bool damaged = false;
    // The ticks it is shown for; 0 when it is not output.
    std::uint32_t ShownTicks() const { return HasPicture() && output ? ticks : 0; }

    void Clear() {
        bytes.clear();
        units.clear();
        pictureNalUnitType = -1;
        key = false;
        pictureType = -1;
        ppsId = 0;
        parameterSets = h265tools::ParameterSets::Pair();
        sliceHeaderTruncated = false;
        hasPoc = false;
        poc = 0;
        output = true;
        rate = h265tools::FrameRate();
        startsSequence = false;
        reorderDepth = 16;
        ticks = 0;
        senderUtcMillis = 0;
        arrival = Arrival();
        damaged = false;
    }
};

} // namespace h265split

#endif
