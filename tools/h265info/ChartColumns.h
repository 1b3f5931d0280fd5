// The pictures of a stream of any length in a fixed number of chart columns.
// Each column covers the same power-of-two number of consecutive pictures;
// when the pictures outgrow the columns, neighbouring columns are merged in
// pairs and each covers twice as many. Memory stays the same however long
// the stream, and one pass suffices, so a pipe needs no second look.
#ifndef H265INFO_CHART_COLUMNS_H
#define H265INFO_CHART_COLUMNS_H

#include <cstdint>
#include <vector>

#include "PictureAssembler.h"

namespace h265info {

struct ChartColumn {
    std::uint64_t firstPicture = 0;
    std::uint64_t pictures = 0;
    std::uint64_t bytes = 0;    // all of them added up
    std::uint64_t maxBytes = 0; // the largest one
    int maxType = kTypeUnknown; // type of the largest one
    std::uint64_t typeCounts[kPictureTypes] = {0, 0, 0, 0};
    std::uint64_t keyPictures = 0;
    int keyNalType = -1; // of the first key picture
    bool parameterSets = false;
    bool sei = false;
    double bitrateSum = 0; // of the window ending at each picture, bit/s
    double bitrateMax = 0;
    std::uint64_t segmentStarts = 0; // segment boundaries at its pictures

    int MajorityType() const;
    void Merge(const ChartColumn& next);
};

class ChartColumns {
public:
    // capacity is even and at least 2.
    explicit ChartColumns(std::size_t capacity);

    // Pictures come in order of index, from 0.
    void Add(const Picture& picture, double bitrate);
    // Marks a segment boundary at the picture of that index (already added).
    void SegmentStart(std::uint64_t pictureIndex);

    const std::vector<ChartColumn>& Columns() const { return columns_; }
    std::uint64_t PicturesPerColumn() const { return perColumn_; }

private:
    void HalveColumns();

    std::size_t capacity_;
    std::uint64_t perColumn_ = 1;
    std::vector<ChartColumn> columns_;
};

} // namespace h265info

#endif
