#include "Segmenter.h"

#include <algorithm>

#include "Archive.h"
#include "SpsDescription.h"
#include "h265headers.h"

namespace h265split {

Segmenter::Segmenter(const std::string& directory, const SegmentRules& rules, const AccessUnitReader& pictures,
                     SegmentOutput& output, WallClock& wallClock, Messages& messages)
    : directory_(directory), rules_(rules), index_(directory.empty() ? nullptr : output.store(), output.archive()),
      pictures_(pictures), wallClock_(wallClock), messages_(messages), output_(output) {}

namespace {

// Whether a picture that follows the key picture in decoding order comes
// before it in output order (a leading picture): by PicOrderCntVal when both
// are known, else by nal_unit_type (RADL_N, RADL_R, RASL_N, RASL_R).
bool Leads(const AccessUnit& au, bool keyHasPoc, std::int32_t keyPoc) {
    if (au.hasPoc && keyHasPoc)
        return au.poc < keyPoc;
    return h265tools::IsLeading(au.pictureNalUnitType);
}

// Beyond this many leading pictures held, the cut is decided with those.
const std::size_t kMaxHeld = 64;

} // namespace

bool Segmenter::SizeChanges(const AccessUnit& au) const {
    // A new picture size starts a segment of its own, so that the size in
    // the index holds for every picture of a segment.
    const h265tools::KeptSps* sps = au.parameterSets.sps;
    if (!sps)
        return false;
    const h265tools::DisplaySize display = h265tools::ComputeDisplaySize(sps->description);
    return sps->codedWidth != record_.codedWidth || sps->codedHeight != record_.codedHeight ||
           display.width != record_.displayWidth || display.height != record_.displayHeight;
}

std::vector<const std::vector<unsigned char>*> Segmenter::ParameterSetsOf(const AccessUnit& au) const {
    const h265tools::KeptSps* sps = au.parameterSets.sps;
    const h265tools::KeptVps* vps = sps ? pictures_.parameterSets().Vps(sps->description.sps_video_parameter_set_id) : nullptr;
    return {vps ? &vps->unit : nullptr, sps ? &sps->unit : nullptr,
            au.parameterSets.pps ? &au.parameterSets.pps->unit : nullptr};
}

bool Segmenter::MustStart(const AccessUnit& au) const {
    if (SizeChanges(au))
        return true;
    // A live recording's clock stepped: the times before and after do not
    // follow each other.
    if (wallClock_.StepsAt(Seconds(presentedTicks_), au.arrival, au.senderUtcMillis))
        return true;
    // A repeated identical parameter set changes nothing.
    const std::vector<const std::vector<unsigned char>*> sets = ParameterSetsOf(au);
    for (std::size_t i = 0; i < sets.size() && i < startSets_.size(); ++i)
        if (sets[i] && *sets[i] != startSets_[i])
            return true;
    return false;
}

bool Segmenter::CanStart(const AccessUnit& au) {
    std::string why;
    if (output_.CanStart(au, why))
        return true;
    // Reported for the first such key picture, and counted.
    if (passedKeys_++ == 0)
        messages_.Say("the key picture at byte offset " + std::to_string(au.Offset()) + " " + why +
                      "; no segment starts there");
    passedKeyReason_ = why;
    return false;
}

std::uint64_t Segmenter::PicturesBefore(std::uint64_t leading) const {
    // In output order the segment runs from its key picture, after that
    // picture's own leading pictures, to the next key picture, after that
    // one's leading pictures.
    return picturesSinceStart_ - leadingOfStart_ + leading;
}

void Segmenter::Take(AccessUnit& au) {
    if (!held_.empty()) {
        if (au.HasPicture() && !au.key && Leads(au, held_[0].hasPoc, held_[0].poc) && held_.size() < kMaxHeld) {
            held_.push_back(std::move(au));
            return;
        }
        PlaceHeld();
    }
    if (au.key && file_ && !MustStart(au) && PicturesBefore(0) < rules_.pictures) {
        // Whether this key picture comes late enough depends on how many
        // leading pictures follow it: hold it until they have come.
        held_.push_back(std::move(au));
        return;
    }
    Place(au, au.key);
}

void Segmenter::Settle() {
    if (!held_.empty())
        PlaceHeld();
}

void Segmenter::PlaceHeld() {
    std::uint64_t leading = 0;
    for (std::size_t i = 1; i < held_.size(); ++i)
        leading += held_[i].HasPicture() ? 1 : 0;
    Place(held_[0], PicturesBefore(leading) >= rules_.pictures);
    for (std::size_t i = 1; i < held_.size(); ++i)
        Place(held_[i], false);
    held_.clear();
}

void Segmenter::Place(const AccessUnit& au, bool startsSegment) {
    if (au.key) {
        if (sawKey_)
            longestKeyInterval_ = std::max(longestKeyInterval_, presentedTicks_ - lastKeyTicks_);
        sawKey_ = true;
        lastKeyTicks_ = presentedTicks_;
    }
    if (au.key && (startsSegment || !file_) && CanStart(au)) {
        CloseSegment();
        Open(au);
    } else if (!file_) {
        // Before the first key picture nothing can be decoded.
        skippedPictures_ += au.HasPicture() ? 1 : 0;
        skippedBytes_ += au.bytes.size();
        return;
    } else if (au.key) {
        droppingRasl_ = false; // the RASL pictures after this IRAP picture decode from the segment's start
        raslOfStart_ = false;
        countingLeading_ = false;
    }
    Write(au);
    presentedTicks_ += au.ShownTicks();
}

void Segmenter::Open(const AccessUnit& au) {
    if (segments_ == 0 && rules_.seconds > 0 && !rules_.haveRate && !PicturesIn(rules_.seconds, au.rate, rules_.pictures))
        PicturesIn(rules_.seconds, h265tools::FrameRate(), rules_.pictures); // a rate beyond counting: 25 instead
    // A live recording's UTC times are anchored, or checked, as the key
    // picture arrives; set afresh there, they start a discontinuity.
    bool stepped = false;
    wallClock_.AtSegmentStart(Seconds(presentedTicks_), au.arrival, au.senderUtcMillis, afterBreak_, stepped);
    if (Archive* archive = output_.archive())
        archive->SegmentStarts(firstNumber_ + segments_, startSeconds_ + Seconds(presentedTicks_), wallClock_.known(),
                               wallClock_.At(Seconds(presentedTicks_)));
    file_ = output_.Open(firstNumber_ + segments_, au);
    breakBefore_ = afterBreak_ || stepped;
    afterBreak_ = false;
    record_ = SegmentRecord();
    startTicks_ = presentedTicks_;
    record_.file = file_->name();
    record_.firstByteOffset = au.Offset();
    record_.keyNalType = au.pictureNalUnitType;
    if (const h265tools::KeptSps* sps = au.parameterSets.sps) {
        const h265tools::DisplaySize display = h265tools::ComputeDisplaySize(sps->description);
        record_.codedWidth = sps->codedWidth;
        record_.codedHeight = sps->codedHeight;
        record_.displayWidth = display.width;
        record_.displayHeight = display.height;
    }
    startSets_.clear();
    for (const std::vector<unsigned char>* unit : ParameterSetsOf(au))
        startSets_.push_back(unit ? *unit : std::vector<unsigned char>());
    picturesSinceStart_ = 0;
    // The key picture's own leading pictures come before it in output order:
    // they count to the segment before (PicturesBefore).
    leadingOfStart_ = 0;
    countingLeading_ = true;
    startHasPoc_ = au.hasPoc;
    startPoc_ = au.poc;
    // A segment's decoding starts at its key picture, where a CRA picture is
    // handled as a BLA picture is (NoRaslOutputFlag 1): the RASL pictures
    // associated with it refer to pictures before it and are not decoded.
    raslOfStart_ = au.pictureNalUnitType == h265tools::kCraNut || au.pictureNalUnitType == h265tools::kBlaWLp;
    // After a break their reference pictures are gone: they are dropped
    // even with --keep-rasl.
    droppingRasl_ = raslOfStart_ && (!rules_.keepRasl || breakBefore_);
    insertPending_ = !pictures_.CarriesParameterSets(au);
    if (insertPending_ && !au.parameterSets.pps)
        messages_.Say("the key picture at byte offset " + std::to_string(au.Offset()) +
                      " names a PPS that has not come; " + record_.file + " does not start with one");
}

// The VPS, SPS and PPS of the key picture, and the other PPS that name the
// same SPS and came after it: the later pictures of the segment may name
// them. An older PPS may have been made for another SPS of that id and is
// left out.
void Segmenter::InsertParameterSets(const AccessUnit& au) {
    const h265tools::ParameterSets& sets = pictures_.parameterSets();
    const h265tools::KeptSps& sps = *au.parameterSets.sps;
    if (const h265tools::KeptVps* vps = sets.Vps(sps.description.sps_video_parameter_set_id))
        file_->Write(vps->unit.data(), vps->unit.size());
    else
        messages_.Say("the VPS that " + record_.file + " needs has not come; it starts with an SPS");
    file_->Write(sps.unit.data(), sps.unit.size());
    file_->Write(au.parameterSets.pps->unit.data(), au.parameterSets.pps->unit.size());
    for (unsigned int id = 0; id < h265tools::ParameterSets::kPpsIds; ++id) {
        const h265tools::KeptPps* pps = sets.Pps(id);
        if (pps && id != au.ppsId && pps->spsId == sps.id && pps->version > sps.version)
            file_->Write(pps->unit.data(), pps->unit.size());
    }
    record_.parameterSetsInserted = true;
}

void Segmenter::Write(const AccessUnit& au) {
    bool droppedPicture = false;
    for (const UnitInAccessUnit& unit : au.units) {
        // An access unit delimiter stays the first NAL unit of its access unit.
        if (insertPending_ && unit.nalUnitType != h265tools::kAudNut) {
            insertPending_ = false;
            if (au.parameterSets.pps)
                InsertParameterSets(au);
        }
        if (droppingRasl_ && h265tools::IsRasl(unit.nalUnitType)) {
            droppedPicture = true;
            continue;
        }
        file_->WriteUnit(au, unit);
    }
    file_->EndAccessUnit(au, droppedPicture);
    if (!au.HasPicture())
        return;
    ++picturesSinceStart_;
    if (countingLeading_ && !au.key && Leads(au, startHasPoc_, startPoc_))
        ++leadingOfStart_;
    else if (!au.key)
        countingLeading_ = false;
    // In output order the RASL pictures of the segment's key picture come
    // before it, and decoded from the segment's start they are not output
    // (kept or not): the segment's first picture is shown after them.
    if (raslOfStart_ && h265tools::IsRasl(au.pictureNalUnitType)) {
        startTicks_ += au.ShownTicks();
        wallClock_.SegmentStartsAt(Seconds(startTicks_));
    }
    if (droppedPicture) {
        ++record_.raslDropped;
        return;
    }
    ++record_.pictures;
    if (au.damaged)
        ++record_.damagedPictures;
    if (au.pictureType == NALU_TYPE_I_FRAME)
        ++record_.iPictures;
    else if (au.pictureType == NALU_TYPE_P_FRAME)
        ++record_.pPictures;
    else if (au.pictureType == NALU_TYPE_B_FRAME)
        ++record_.bPictures;
}

void Segmenter::ContinueAfter(unsigned int firstNumber, double startSeconds) {
    firstNumber_ = firstNumber;
    startSeconds_ = startSeconds;
    index_.Continue();
}

void Segmenter::Finish() {
    Settle();
    CloseSegment();
}

void Segmenter::Break(std::uint64_t gapTicks) {
    Finish();
    afterBreak_ = segments_ > 0;
    if (segments_ == 0)
        return; // the recording starts after the break
    presentedTicks_ += gapTicks;
    lastSegmentEnd_ = presentedTicks_; // no segment's duration holds it
    output_.Gap(gapTicks);
}

void Segmenter::Abandon() {
    file_.reset();
    held_.clear();
}

void Segmenter::CloseSegment() {
    if (!file_)
        return;
    SegmentSpan span;
    span.seconds = Seconds(presentedTicks_ - lastSegmentEnd_);
    span.longestKeyInterval = Seconds(longestKeyInterval_);
    span.haveUtc = record_.haveUtc = wallClock_.known();
    span.utcMillis = record_.utcMillis = wallClock_.At(Seconds(startTicks_));
    span.discontinuity = record_.discontinuity = breakBefore_;
    record_.losses = losses_;
    file_->Commit(span);
    lastSegmentEnd_ = presentedTicks_;
    record_.bytes = file_->bytes();
    record_.startTime = startSeconds_ + Seconds(startTicks_);
    record_.duration = Seconds(presentedTicks_ - startTicks_);
    index_.Add(record_);
    file_.reset();
    if (Archive* archive = output_.archive())
        archive->Kept(firstNumber_ + segments_, record_.file, record_.bytes, startSeconds_ + Seconds(presentedTicks_));
    ++segments_;
}

} // namespace h265split
