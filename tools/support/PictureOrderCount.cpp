#include "PictureOrderCount.h"

#include <limits>

#include "NalUnitTypes.h"
#include "SyntaxError.h"

namespace h265tools {

// 8.3.1 Decoding process for picture order count
std::int32_t PictureOrderCount::Next(int nal_unit_type, int temporalId, std::uint32_t slice_pic_order_cnt_lsb,
                                     unsigned log2_max_pic_order_cnt_lsb_minus4, bool startsSequence) {
    CheckAtMost("log2_max_pic_order_cnt_lsb_minus4", log2_max_pic_order_cnt_lsb_minus4, 12);
    const std::int64_t maxLsb = std::int64_t(1) << (log2_max_pic_order_cnt_lsb_minus4 + 4);
    const std::int64_t lsb = static_cast<std::int64_t>(slice_pic_order_cnt_lsb) & (maxLsb - 1);
    const bool irap = IsIrap(nal_unit_type);
    startedSequence_ = false;
    if (irap) {
        noRaslOutputFlag_ = IsIdrOrBla(nal_unit_type) || first_ || afterEndOfSequence_ || startsSequence;
        afterEndOfSequence_ = false;
        startedSequence_ = noRaslOutputFlag_;
    }
    std::int64_t msb = 0;
    if (!(irap && noRaslOutputFlag_) && !first_) {
        const std::int64_t prevLsb = prevPicOrderCntLsb_;
        if (lsb < prevLsb && prevLsb - lsb >= maxLsb / 2)
            msb = prevPicOrderCntMsb_ + maxLsb;                                               // 8-1
        else if (lsb > prevLsb && lsb - prevLsb > maxLsb / 2)
            msb = prevPicOrderCntMsb_ - maxLsb;
        else
            msb = prevPicOrderCntMsb_;
    }
    // PicOrderCntVal is -2^31 .. 2^31 - 1; a stream that leaves that range
    // starts again from PicOrderCntMsb 0 rather than wrap.
    if (msb + lsb > std::numeric_limits<std::int32_t>::max() || msb + lsb < std::numeric_limits<std::int32_t>::min())
        msb = 0;
    first_ = false;
    if (temporalId == 0 && !IsLeading(nal_unit_type) && !IsSubLayerNonReference(nal_unit_type)) {
        prevPicOrderCntLsb_ = static_cast<std::uint32_t>(lsb);
        prevPicOrderCntMsb_ = msb;
    }
    return static_cast<std::int32_t>(msb + lsb);
}

void PictureOrderCount::EndOfSequence() { afterEndOfSequence_ = true; }

bool PictureOrderCount::NoRaslOutputFlag() const { return noRaslOutputFlag_; }

bool PictureOrderCount::StartedSequence() const { return startedSequence_; }

} // namespace h265tools
