#include "OutputOrder.h"

#include <algorithm>

namespace h265tools {

// A stream that breaks the reorder bound (or names no bound) must not make
// the wait grow with its length.
static const std::size_t kMaxWaiting = 16;

const std::uint64_t OutputOrder::kMaxAge;

void OutputOrder::Output(std::vector<Pending>::iterator picture) {
    OutputPosition position;
    position.id = picture->id;
    position.output = true;
    position.index = nextIndex_++;
    decided_.push_back(position);
    waiting_.erase(picture);
}

void OutputOrder::Bump() {
    Output(std::min_element(waiting_.begin(), waiting_.end(),
                            [](const Pending& a, const Pending& b) { return a.poc < b.poc; }));
}

void OutputOrder::Add(const DecodedPicture& picture) {
    if (picture.startsSequence) {
        // C.5.2.2: the pictures of the sequence before are output first,
        // unless NoOutputOfPriorPicsFlag empties the buffer without output.
        if (picture.noOutputOfPriorPics) {
            for (const Pending& w : waiting_) {
                OutputPosition position;
                position.id = w.id;
                decided_.push_back(position);
            }
            waiting_.clear();
        } else {
            Flush();
        }
    }
    if (!picture.output) {
        OutputPosition position;
        position.id = picture.id;
        decided_.push_back(position);
        ++added_;
        return;
    }
    waiting_.push_back(Pending{picture.id, picture.poc, added_++});
    // C.5.2.3 "additional bumping": more pictures waiting than the sequence
    // may reorder.
    const std::size_t bound = std::min<std::size_t>(picture.maxNumReorder, kMaxWaiting);
    while (waiting_.size() > bound)
        Bump();
    // The oldest waiting picture is the first: pictures are added in order.
    while (!waiting_.empty() && added_ - waiting_.front().added > kMaxAge) {
        Output(waiting_.begin());
        ++late_;
    }
}

void OutputOrder::Flush() {
    while (!waiting_.empty())
        Bump();
}

bool OutputOrder::Take(OutputPosition& position) {
    if (decided_.empty())
        return false;
    position = decided_.front();
    decided_.pop_front();
    return true;
}

} // namespace h265tools
