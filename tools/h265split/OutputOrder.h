// The order in which a decoder outputs pictures (H.265 C.5.2, "bumping"):
// pictures wait in decoding order until more of them wait than the stream's
// reorder depth allows, then the one with the smallest PicOrderCntVal goes
// out; a new coded video sequence outputs all that wait. Each picture gets
// its index in output order as soon as that is decided, a bounded number of
// pictures after it came.
#ifndef H265SPLIT_OUTPUT_ORDER_H
#define H265SPLIT_OUTPUT_ORDER_H

#include <cstdint>
#include <vector>

namespace h265split {

class OutputOrder {
public:
    struct Output {
        std::uint64_t picture; // the number Add gave, in decoding order from 0
        std::uint64_t index;   // in output order from 0
    };

    // `reorder` is sps_max_num_reorder_pics of the highest sub-layer, or any
    // larger number (a larger one only delays the decisions).
    void SetReorder(unsigned int reorder) { reorder_ = reorder; }

    // The next picture in decoding order; `startsSequence` when it is an IRAP
    // picture with NoRaslOutputFlag 1. Appends to `decided` the pictures whose
    // output index is now known. Returns the picture's number.
    std::uint64_t Add(std::int32_t picOrderCntVal, bool startsSequence, std::vector<Output>& decided);
    // Outputs all that wait (the end of a segment or of the stream).
    void Flush(std::vector<Output>& decided);

    std::uint64_t waiting() const { return waiting_.size(); }

private:
    void Bump(std::vector<Output>& decided);

    struct Waiting {
        std::int32_t poc;
        std::uint64_t picture;
    };
    std::vector<Waiting> waiting_;
    unsigned int reorder_ = 16;
    std::uint64_t nextPicture_ = 0;
    std::uint64_t nextIndex_ = 0;
};

} // namespace h265split

#endif
