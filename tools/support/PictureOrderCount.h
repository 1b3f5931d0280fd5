// Decoding process for picture order count, 8.3.1.
#ifndef H265TOOLS_PICTURE_ORDER_COUNT_H
#define H265TOOLS_PICTURE_ORDER_COUNT_H

#include <cstdint>

namespace h265tools {

// PicOrderCntVal of each picture, given in decoding order. An IRAP picture
// with NoRaslOutputFlag 1 (IDR, BLA, the first picture of the stream, a CRA
// after an end of sequence NAL unit or one that starts a segment) has
// PicOrderCntMsb 0; every other picture takes PicOrderCntMsb from prevTid0Pic,
// the last picture with TemporalId 0 that is not a RASL, RADL or sub-layer
// non-reference picture.
class PictureOrderCount {
public:
    // For each picture, in decoding order, from its first slice segment. `startsSequence` makes a
    // CRA picture start a coded video sequence (HandleCraAsBlaFlag: the first picture of a segment).
    // Returns PicOrderCntVal. log2_max_pic_order_cnt_lsb_minus4 above 12 is a SyntaxError.
    std::int32_t Next(int nal_unit_type, int temporalId, std::uint32_t slice_pic_order_cnt_lsb,
                      unsigned log2_max_pic_order_cnt_lsb_minus4, bool startsSequence = false);
    void EndOfSequence();             // an end of sequence NAL unit (36) came: next IRAP has NoRaslOutputFlag 1
    bool NoRaslOutputFlag() const;    // of the last IRAP picture (its RASL pictures are not output when 1)
    bool StartedSequence() const;     // the last picture given to Next was an IRAP with NoRaslOutputFlag 1

private:
    bool first_ = true;
    bool afterEndOfSequence_ = false;
    bool noRaslOutputFlag_ = false;
    bool startedSequence_ = false;
    // prevTid0Pic: its slice_pic_order_cnt_lsb and PicOrderCntMsb.
    std::uint32_t prevPicOrderCntLsb_ = 0;
    std::int64_t prevPicOrderCntMsb_ = 0;
};

} // namespace h265tools

#endif
