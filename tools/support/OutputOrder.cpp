#include "OutputOrder.h"

#include <algorithm>

namespace h265tools {

// A stream that breaks the reorder bound (or names no bound) must not make
// the wait grow with its length.
static const std::size_t kMaxWaiting = 16;

void OutputOrder::Bump() {
    auto smallest = std::min_element(waiting_.begin(), waiting_.end(),
                                     [](const Pending& a, const Pending& b) { return a.poc < b.poc; });
    OutputPosition position;
    position.id = smallest->id;
    position.output = true;
    position.index = nextIndex_++;
    decided_.push_back(position);
    waiting_.erase(smallest);
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
        return;
    }
    waiting_.push_back(Pending{picture.id, picture.poc});
    // C.5.2.3 "additional bumping": more pictures waiting than the sequence
    // may reorder.
    const std::size_t bound = std::min<std::size_t>(picture.maxNumReorder, kMaxWaiting);
    while (waiting_.size() > bound)
        Bump();
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
