// Decides where segments start and writes the access units into them: a
// segment starts at a key picture that comes enough pictures after the
// current segment's (in output order), or when the picture size changes; it
// starts with a VPS, SPS and PPS; the RASL pictures of a CRA or BLA picture
// that starts it are dropped.
#ifndef H265SPLIT_SEGMENTER_H
#define H265SPLIT_SEGMENTER_H

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "AccessUnit.h"
#include "FrameRate.h"
#include "Messages.h"
#include "AccessUnitReader.h"
#include "SegmentSink.h"
#include "SegmentIndex.h"
#include "WallClock.h"

namespace h265split {

struct SegmentRules {
    // A key picture this many pictures after the segment's key picture, in
    // output order, begins the next segment.
    std::uint64_t pictures = 50;
    // When above 0, `pictures` is this many seconds at the rate of the first
    // key picture (its SPS VUI or VPS timing, or `rate` when `haveRate`).
    double seconds = 0;
    bool haveRate = false;
    h265tools::FrameRate rate; // --fps
    bool keepRasl = false;
};

// ceil(seconds * rate) pictures, at least 1, without the rounding error of
// the product pushing a whole number up; false when that is beyond counting.
bool PicturesIn(double seconds, const h265tools::FrameRate& rate, std::uint64_t& pictures);

class Segmenter {
public:
    // The index goes to the output's store, unless `directory` is empty.
    Segmenter(const std::string& directory, const SegmentRules& rules, const AccessUnitReader& pictures,
              SegmentOutput& output, WallClock& wallClock, Messages& messages);

    // Writes the access unit into the current segment, or into a new one
    // that it starts; may move from it. Throws WriteError.
    void Take(AccessUnit& au);
    // Writes what is held and closes the current segment; a later Take
    // starts a new one.
    void Finish();
    // Pictures are missing before the next access unit (a camera's stream
    // lost some, or its time jumped): the current segment ends, and the next
    // starts at a key picture, marked as a discontinuity. The missing
    // pictures' time, `gapTicks`, passes before it.
    void Break(std::uint64_t gapTicks);
    // What the input (a camera) lost so far: the index entry of the segment
    // that closes next says it.
    void NoteLosses(const StreamLosses& losses) { losses_ = losses; }
    // Places what is held with what is known now. Called before a VPS, SPS
    // or PPS is kept: a held key picture refers to the parameter sets as they
    // were when it came.
    void Settle();

    // A resumed run: segments are numbered from `firstNumber` and their
    // index times run on from `startSeconds`; the index files are added to.
    void ContinueAfter(unsigned int firstNumber, double startSeconds);

    unsigned int segments() const { return segments_; }
    // Pictures and bytes before the first key picture, which no segment holds.
    std::uint64_t skippedPictures() const { return skippedPictures_; }
    std::uint64_t skippedBytes() const { return skippedBytes_; }
    // Why the key pictures that the output could not start a segment at were
    // passed over (the last reason); empty when none was.
    const std::string& passedKeyReason() const { return passedKeyReason_; }
    // Drops the segment being written, as a write error leaves it: what the
    // output keeps of it is the output's choice.
    void Abandon();

private:
    bool SizeChanges(const AccessUnit& au) const;
    // A key picture that cannot wait for the cutting rule: a new picture
    // size, or parameter sets other than the segment's (an MP4 sample entry
    // holds one set of them).
    bool MustStart(const AccessUnit& au) const;
    // The VPS, SPS and PPS the key picture uses, in that order; null where not kept.
    std::vector<const std::vector<unsigned char>*> ParameterSetsOf(const AccessUnit& au) const;
    // Whether the output can start a segment at the key picture; says why not once.
    bool CanStart(const AccessUnit& au);
    // Pictures of the segment before a key picture with `leading` leading
    // pictures, in output order.
    std::uint64_t PicturesBefore(std::uint64_t leading) const;
    void PlaceHeld();
    void Place(const AccessUnit& au, bool startsSegment);
    void CloseSegment();
    void Open(const AccessUnit& au);
    void Write(const AccessUnit& au);
    void InsertParameterSets(const AccessUnit& au);

    std::string directory_;
    SegmentRules rules_;
    SegmentIndex index_;
    const AccessUnitReader& pictures_;
    WallClock& wallClock_;
    Messages& messages_;

    SegmentOutput& output_;
    std::unique_ptr<SegmentSink> file_;
    SegmentRecord record_;
    std::vector<std::vector<unsigned char>> startSets_; // ParameterSetsOf the segment's key picture
    std::uint64_t picturesSinceStart_ = 0; // in decoding order, dropped ones included
    std::uint64_t leadingOfStart_ = 0;     // the leading pictures of the segment's key picture
    bool countingLeading_ = false;
    bool startHasPoc_ = false; // PicOrderCntVal of the segment's key picture
    std::int32_t startPoc_ = 0;
    // A key picture that may start a segment and the leading pictures after
    // it, until their number decides.
    std::vector<AccessUnit> held_;
    bool droppingRasl_ = false;            // the leading pictures of the CRA that started the segment
    bool raslOfStart_ = false;             // RASL pictures now are those of the segment's CRA or BLA picture
    bool insertPending_ = false;
    StreamLosses losses_;
    bool afterBreak_ = false;   // the next segment follows a Break
    bool breakBefore_ = false;  // the open segment does
    unsigned int segments_ = 0;
    unsigned int firstNumber_ = 0;
    double startSeconds_ = 0;
    std::uint64_t skippedPictures_ = 0;
    std::uint64_t skippedBytes_ = 0;
    // Ticks (RecordingClock) of the output pictures placed so far, in the
    // input's output order: the pictures that precede a key picture in
    // decoding order precede it in output order.
    std::uint64_t presentedTicks_ = 0;
    std::uint64_t lastSegmentEnd_ = 0;  // presentedTicks_ when the last segment closed
    bool sawKey_ = false;
    std::uint64_t lastKeyTicks_ = 0;    // presentedTicks_ at the last key picture placed
    std::uint64_t longestKeyInterval_ = 0;
    // Ticks of the segment's start: its first picture's presentation time.
    std::uint64_t startTicks_ = 0;
    double Seconds(std::uint64_t ticks) const { return pictures_.clock().Seconds(ticks); }
    std::string passedKeyReason_;
    std::uint64_t passedKeys_ = 0;
};

} // namespace h265split

#endif
