#include "OutputOrder.h"

namespace h265split {

void OutputOrder::Bump(std::vector<Output>& decided) {
    // C.5.2.4: the picture that is first for output is the one with the
    // smallest PicOrderCntVal of all in the DPB.
    std::size_t first = 0;
    for (std::size_t i = 1; i < waiting_.size(); ++i)
        if (waiting_[i].poc < waiting_[first].poc)
            first = i;
    decided.push_back(Output{waiting_[first].picture, nextIndex_++});
    waiting_.erase(waiting_.begin() + static_cast<std::ptrdiff_t>(first));
}

std::uint64_t OutputOrder::Add(std::int32_t picOrderCntVal, bool startsSequence, std::vector<Output>& decided) {
    // C.5.2.2: an IRAP picture with NoRaslOutputFlag 1 outputs every picture
    // of the sequence before it; their POCs are not comparable with the new ones.
    if (startsSequence)
        Flush(decided);
    const std::uint64_t picture = nextPicture_++;
    waiting_.push_back(Waiting{picOrderCntVal, picture});
    // C.5.2.3: bumped while more pictures wait for output than the reorder depth.
    while (waiting_.size() > reorder_)
        Bump(decided);
    return picture;
}

void OutputOrder::Flush(std::vector<Output>& decided) {
    while (!waiting_.empty())
        Bump(decided);
}

} // namespace h265split
