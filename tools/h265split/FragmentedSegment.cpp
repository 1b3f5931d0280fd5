#include "FragmentedSegment.h"

#include "CountedNoun.h"
#include "NalUnitTypes.h"
#include "SampleData.h"

namespace h265split {

FragmentedSegment::FragmentedSegment(Mp4Track& track, FileStore& store, const std::string& name, bool oneFile,
                                     Messages& messages, Committed committed)
    : track_(track), name_(name), oneFile_(oneFile), messages_(messages), committed_(std::move(committed)),
      file_(store.Create(name, oneFile)) {
    track_.fragmenter().SetConsumer(this);
    if (oneFile_)
        WriteBytes(track_.entryInit());
}

FragmentedSegment::~FragmentedSegment() {
    track_.fragmenter().SetConsumer(nullptr);
    if (done_ || !oneFile_)
        return;
    if (fragmentPictures_ == 0) {
        file_->Keep(0); // an init segment alone plays nothing
        return;
    }
    // A write error or a failure elsewhere ends the recording: what its
    // complete fragments hold plays, and is kept under the final name.
    const std::string pictures = h265tools::CountedNoun(fragmentPictures_, "picture", "pictures");
    if (file_->Keep(completeBytes_))
        messages_.Say("kept " + name_ + " with the " + pictures + " of its complete fragments");
    else
        messages_.Say("the " + pictures + " written of " + name_ + " are left in " + name_ + ".tmp");
}

bool FragmentedSegment::InSample(const mp4::NalUnitSpan& nal) {
    if (!nal.data)
        return false;
    // hvc1 samples carry no parameter sets: those of the sample entry are
    // left out. One the entry does not hold (a PPS sent later, under a new id
    // or with new content) must stay in the sample, where a decoder finds
    // it: the sample entry becomes hev1, of the same size, rewritten in place
    // in a one-file recording.
    if (h265tools::IsParameterSet(mp4::NalUnitTypeOf(nal)) && !track_.entryInBand()) {
        if (track_.InEntry(nal))
            return false;
        const std::vector<unsigned char>& init = track_.CarryParameterSets();
        if (oneFile_)
            file_->Overwrite(0, init.data(), init.size());
    }
    return true;
}

void FragmentedSegment::Write(const unsigned char* data, std::size_t size) {
    const mp4::NalUnitSpan nal = mp4::NalUnitOf(data, size);
    if (InSample(nal))
        sample_.AppendCopy(nal);
}

void FragmentedSegment::WriteUnit(const AccessUnit& au, const UnitInAccessUnit& unit) {
    const mp4::NalUnitSpan nal = mp4::NalUnitOf(au.bytes.data() + unit.begin, unit.size);
    if (InSample(nal))
        sample_.Append(nal, au.bytes.owner());
}

void FragmentedSegment::EndAccessUnit(const AccessUnit& au, bool pictureDropped) {
    if (!au.HasPicture())
        return; // its NAL units go with the next picture
    ClockPicture picture;
    picture.sync = au.key;
    picture.poc = au.poc;
    // The segment's first picture starts its decoding: as an IRAP picture
    // with NoRaslOutputFlag 1, it outputs all pictures before it.
    picture.startsSequence = first_ || au.startsSequence;
    picture.reorder = au.reorderDepth;
    picture.ticks = au.ticks;
    picture.output = au.output;
    // A RASL picture dropped at the segment's start, or one that no decoder
    // outputs (of a BLA picture), is no sample. Another picture keeps what
    // was written of it. One that a decoder of the whole input shows keeps
    // its time in a recording of segments that play one after another.
    if (h265tools::IsRasl(au.pictureNalUnitType) && (pictureDropped || !au.output)) {
        sample_.clear();
        if (pictureDropped && au.output && !first_ && !oneFile_)
            track_.clock().Skip(picture);
        return;
    }
    track_.clock().Add(sample_, picture);
    first_ = false;
    sample_.clear();
}

void FragmentedSegment::TakeFragment(const std::vector<mp4::ByteSpan>& pieces, std::uint32_t samples) {
    pieces_.clear();
    std::uint64_t bytes = 0;
    for (const mp4::ByteSpan& piece : pieces) {
        pieces_.push_back(iovec{const_cast<unsigned char*>(piece.data), piece.size});
        bytes += piece.size;
    }
    if (prepare_ && completeBytes_ == 0)
        prepare_();
    file_->WriteGathered(pieces_.data(), pieces_.size());
    bytes_ += bytes;
    if (oneFile_)
        file_->Sync();
    completeBytes_ = bytes_;
    fragmentPictures_ += samples;
}

void FragmentedSegment::Commit(const SegmentSpan& span) {
    track_.clock().Flush();
    track_.fragmenter().Flush();
    if (prepare_)
        prepare_();
    file_->Commit();
    done_ = true;
    if (committed_)
        committed_(name_, bytes_, span);
}

void FragmentedSegment::WriteBytes(const std::vector<unsigned char>& bytes) {
    file_->Write(bytes.data(), bytes.size());
    bytes_ += bytes.size();
}

} // namespace h265split
