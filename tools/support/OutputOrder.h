// The order in which a decoder outputs the pictures of a stream (C.5.2.2,
// "bumping"): within a coded video sequence pictures leave the decoded
// picture buffer in increasing PicOrderCntVal, as soon as more than
// sps_max_num_reorder_pics of them wait; an IRAP picture with
// NoRaslOutputFlag 1 first sends out (or, with NoOutputOfPriorPicsFlag,
// discards) every picture still waiting.
// A picture's output position is thus known a bounded number of pictures
// after it was decoded, and a tool that follows a stream in decoding order
// can give each picture its output index without holding the whole stream.
#ifndef H265TOOLS_OUTPUT_ORDER_H
#define H265TOOLS_OUTPUT_ORDER_H

#include <cstdint>
#include <deque>
#include <vector>

namespace h265tools {

struct DecodedPicture {
    std::uint64_t id = 0;      // the caller's name for it, e.g. its number in decoding order
    std::int32_t poc = 0;      // PicOrderCntVal
    bool output = true;        // PicOutputFlag: false for a RASL picture that is not decoded, pic_output_flag 0
    bool startsSequence = false;       // an IRAP picture with NoRaslOutputFlag 1
    bool noOutputOfPriorPics = false;  // NoOutputOfPriorPicsFlag of such a picture
    unsigned int maxNumReorder = 0;    // sps_max_num_reorder_pics[HighestTid] of its SPS
};

// A picture whose output position is decided: `index` counts the output
// pictures of the stream from 0; a discarded picture has `output` false.
struct OutputPosition {
    std::uint64_t id = 0;
    bool output = false;
    std::uint64_t index = 0;
};

class OutputOrder {
public:
    // Takes the next picture in decoding order.
    void Add(const DecodedPicture& picture);
    // The end of the stream: every picture still waiting is output.
    void Flush();
    // The next decided picture, in the order the decisions were made (output
    // order for the output ones); false when none is waiting to be taken.
    bool Take(OutputPosition& position);
    // Pictures added but not yet decided.
    std::size_t Waiting() const { return waiting_.size(); }
    // Pictures output because they had waited for kMaxAge later pictures:
    // a picture order count far from its neighbours' (a damaged slice header)
    // would otherwise hold them, and every later position, to the end of the
    // coded video sequence.
    std::uint64_t latePictures() const { return late_; }

    // A conforming stream's picture is output within its DPB's few pictures.
    static const std::uint64_t kMaxAge = 256;

private:
    struct Pending {
        std::uint64_t id;
        std::int32_t poc;
        std::uint64_t added; // its number among the pictures added
    };
    void Bump(); // outputs the waiting picture with the smallest PicOrderCntVal
    void Output(std::vector<Pending>::iterator picture);

    std::vector<Pending> waiting_; // at most sps_max_num_reorder_pics + 1 for a conforming stream
    std::deque<OutputPosition> decided_;
    std::uint64_t nextIndex_ = 0;
    std::uint64_t added_ = 0;
    std::uint64_t late_ = 0;
};

} // namespace h265tools

#endif
