#include "GopStructure.h"

#include "h265headers.h"

namespace h265info {

void GopStructure::Add(int pictureType, bool key) {
    const std::uint64_t position = pictures_++;
    if (key) {
        if (sawKey_)
            ++keyDistances_[position - lastKey_];
        sawKey_ = true;
        lastKey_ = position;
    }
    // A picture of unknown type counts as an anchor: only B pictures are
    // known to sit between anchors.
    if (pictureType != NALU_TYPE_B_FRAME) {
        if (sawAnchor_)
            ++anchorDistances_[position - lastAnchor_];
        sawAnchor_ = true;
        lastAnchor_ = position;
    }
}

std::uint64_t GopStructure::MostCommon(const std::map<std::uint64_t, std::uint64_t>& counts) {
    std::uint64_t best = 0;
    std::uint64_t bestCount = 0;
    for (const auto& entry : counts) {
        if (entry.second > bestCount) {
            best = entry.first;
            bestCount = entry.second;
        }
    }
    return best;
}

} // namespace h265info
