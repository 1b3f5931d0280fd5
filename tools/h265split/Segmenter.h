// Decides where segments start and writes the access units into them: a
// segment starts at a key picture once the current one holds enough
// pictures, or when the picture size changes; it starts with a VPS, SPS and
// PPS; the RASL pictures of a CRA or BLA picture that starts it are
// dropped.
#ifndef H265SPLIT_SEGMENTER_H
#define H265SPLIT_SEGMENTER_H

#include <cstdint>
#include <memory>
#include <string>

#include "AccessUnit.h"
#include "Messages.h"
#include "PictureReader.h"
#include "SegmentFile.h"
#include "SegmentIndex.h"

namespace h265split {

struct SegmentRules {
    std::uint64_t pictures = 50; // a key picture this many pictures after the segment's start begins the next
    bool keepRasl = false;
};

class Segmenter {
public:
    Segmenter(const std::string& directory, const SegmentRules& rules, bool jsonIndex, const PictureReader& pictures,
              Messages& messages);

    // Writes the access unit into the current segment, or into a new one
    // that it starts. Throws WriteError.
    void Take(const AccessUnit& au);
    // Closes the current segment; a later Take starts a new one.
    void Finish();

    unsigned int segments() const { return segments_; }
    // Pictures and bytes before the first key picture, which no segment holds.
    std::uint64_t skippedPictures() const { return skippedPictures_; }
    std::uint64_t skippedBytes() const { return skippedBytes_; }

private:
    bool StartsSegment(const AccessUnit& au) const;
    void Open(const AccessUnit& au);
    void Write(const AccessUnit& au);
    void InsertParameterSets(const AccessUnit& au);

    std::string directory_;
    SegmentRules rules_;
    SegmentIndex index_;
    const PictureReader& pictures_;
    Messages& messages_;

    std::unique_ptr<SegmentFile> file_;
    SegmentRecord record_;
    std::uint64_t picturesSinceStart_ = 0; // dropped ones included: the time the segment spans
    bool droppingRasl_ = false;            // the leading pictures of the CRA that started the segment
    bool insertPending_ = false;
    unsigned int segments_ = 0;
    std::uint64_t skippedPictures_ = 0;
    std::uint64_t skippedBytes_ = 0;
};

} // namespace h265split

#endif
