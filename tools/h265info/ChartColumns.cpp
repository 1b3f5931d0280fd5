#include "ChartColumns.h"

#include <algorithm>

namespace h265info {

int ChartColumn::MajorityType() const {
    int best = 0;
    for (int t = 1; t < kPictureTypes; ++t)
        if (typeCounts[t] > typeCounts[best])
            best = t;
    return best;
}

void ChartColumn::Merge(const ChartColumn& next) {
    pictures += next.pictures;
    bytes += next.bytes;
    if (next.maxBytes > maxBytes) {
        maxBytes = next.maxBytes;
        maxType = next.maxType;
    }
    for (int t = 0; t < kPictureTypes; ++t)
        typeCounts[t] += next.typeCounts[t];
    if (keyPictures == 0)
        keyNalType = next.keyNalType;
    keyPictures += next.keyPictures;
    parameterSets = parameterSets || next.parameterSets;
    sei = sei || next.sei;
    bitrateSum += next.bitrateSum;
    bitrateMax = std::max(bitrateMax, next.bitrateMax);
    segmentStarts += next.segmentStarts;
}

ChartColumns::ChartColumns(std::size_t capacity) : capacity_(capacity) {
    columns_.reserve(capacity_);
}

void ChartColumns::HalveColumns() {
    const std::size_t half = columns_.size() / 2;
    for (std::size_t i = 0; i < half; ++i) {
        ChartColumn merged = columns_[2 * i];
        merged.Merge(columns_[2 * i + 1]);
        columns_[i] = merged;
    }
    columns_.resize(half);
    perColumn_ *= 2;
}

void ChartColumns::Add(const Picture& picture, double bitrate) {
    if (picture.index / perColumn_ >= capacity_)
        HalveColumns();
    const std::size_t at = static_cast<std::size_t>(picture.index / perColumn_);
    if (at == columns_.size()) {
        columns_.emplace_back();
        columns_.back().firstPicture = picture.index;
    }
    ChartColumn& column = columns_[at];
    ++column.pictures;
    column.bytes += picture.bytes;
    if (picture.bytes > column.maxBytes) {
        column.maxBytes = picture.bytes;
        column.maxType = picture.type;
    }
    ++column.typeCounts[picture.type];
    if (picture.key) {
        if (column.keyPictures == 0)
            column.keyNalType = picture.keyNalType;
        ++column.keyPictures;
    }
    column.parameterSets = column.parameterSets || picture.parameterSets;
    column.sei = column.sei || picture.sei;
    column.bitrateSum += bitrate;
    column.bitrateMax = std::max(column.bitrateMax, bitrate);
}

void ChartColumns::SegmentStart(std::uint64_t pictureIndex) {
    const std::size_t at = static_cast<std::size_t>(pictureIndex / perColumn_);
    if (at < columns_.size())
        ++columns_[at].segmentStarts;
}

} // namespace h265info
