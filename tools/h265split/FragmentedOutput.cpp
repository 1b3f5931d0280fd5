#include "FragmentedOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CodecString.h"
#include "OutputFiles.h"
#include "SampleData.h"
#include "SpsDescription.h"
#include "SyntaxError.h"
#include "TrackFormat.h"

namespace h265split {

namespace {

std::string Numbered(const char* format, unsigned int number) {
    char name[40];
    std::snprintf(name, sizeof name, format, number);
    return name;
}

std::string Pictures(std::uint64_t n) {
    return std::to_string(n) + (n == 1 ? " picture" : " pictures");
}

// One segment's file: the fragments the Fragmenter hands on, written under a
// temporary name and renamed when the segment is complete.
class FragmentedSegment : public SegmentSink, public mp4::FragmentConsumer {
public:
    FragmentedSegment(FragmentedOutput& output, const std::string& name)
        : output_(output), name_(name), file_(output.store().Create(name, output.format() == OutputFormat::kMp4)) {
        output_.fragmenter().SetConsumer(this);
        if (output_.format() == OutputFormat::kMp4)
            WriteBytes(output_.initSegment());
    }

    ~FragmentedSegment() override {
        output_.fragmenter().SetConsumer(nullptr);
        if (committed_ || output_.format() != OutputFormat::kMp4)
            return;
        if (fragmentPictures_ == 0) {
            file_->Keep(0); // an init segment alone plays nothing
            return;
        }
        // A write error or a failure elsewhere ends the recording: what its
        // complete fragments hold plays, and is kept under the final name.
        if (file_->Keep(completeBytes_))
            output_.messages().Say("kept " + name_ + " with the " + Pictures(fragmentPictures_) +
                                   " of its complete fragments");
        else
            output_.messages().Say("the " + Pictures(fragmentPictures_) + " written of " + name_ +
                                   " are left in " + name_ + ".tmp");
    }

    void Write(const unsigned char* data, std::size_t size) override {
        const mp4::NalUnitSpan nal = mp4::NalUnitOf(data, size);
        if (!nal.data)
            return;
        // hvc1 samples carry no parameter sets: those of the init segment are
        // left out. One the init segment does not hold (a PPS sent later,
        // under a new id or with new content) must stay in the sample, where
        // a decoder finds it: the sample entry becomes hev1.
        if (h265tools::IsParameterSet(mp4::NalUnitTypeOf(nal)) && !output_.inBand()) {
            if (output_.InInit(nal))
                return;
            const std::vector<unsigned char>& init = output_.CarryParameterSets();
            if (output_.format() == OutputFormat::kMp4)
                file_->Overwrite(0, init.data(), init.size());
        }
        mp4::AppendLengthPrefixed(sample_, nal);
    }

    void EndAccessUnit(const AccessUnit& au, bool pictureDropped) override {
        if (!au.HasPicture())
            return; // its NAL units go with the next picture
        ClockPicture picture;
        picture.sync = au.key;
        picture.poc = au.poc;
        // The segment's first picture starts its decoding: as an IRAP picture
        // with NoRaslOutputFlag 1, it outputs all pictures before it.
        picture.startsSequence = first_ || au.startsSequence;
        picture.reorder = au.reorderDepth;
        // A RASL picture dropped at the segment's start, or one that no
        // decoder outputs (of a BLA picture), is no sample. Another picture
        // keeps what was written of it. One that a decoder of the whole input
        // shows keeps its time in a recording of segments that play one
        // after another.
        if (h265tools::IsRasl(au.pictureNalUnitType) && (pictureDropped || !au.output)) {
            sample_.clear();
            if (pictureDropped && au.output && !first_ && output_.format() == OutputFormat::kHls)
                output_.clock().Skip(picture);
            return;
        }
        output_.clock().Add(sample_, picture);
        first_ = false;
        sample_.clear();
        ++pictures_;
    }

    void TakeFragment(const std::vector<unsigned char>& header, const std::vector<unsigned char>& payload,
                      std::uint32_t samples) override {
        WriteBytes(header);
        WriteBytes(payload);
        if (output_.format() == OutputFormat::kMp4)
            file_->Sync();
        completeBytes_ = bytes_;
        fragmentPictures_ += samples;
    }

    void Commit(const SegmentSpan& span) override {
        output_.clock().Flush();
        output_.fragmenter().Flush();
        file_->Commit();
        committed_ = true;
        output_.Committed(name_, bytes_, span);
    }

    const std::string& name() const override { return name_; }
    std::uint64_t bytes() const override { return bytes_; }

private:
    void WriteBytes(const std::vector<unsigned char>& bytes) {
        file_->Write(bytes.data(), bytes.size());
        bytes_ += bytes.size();
    }

    FragmentedOutput& output_;
    std::string name_;
    std::unique_ptr<FileStore::File> file_;
    std::uint64_t bytes_ = 0;
    std::uint64_t completeBytes_ = 0;    // up to the end of the last fragment written
    std::uint64_t fragmentPictures_ = 0; // the pictures of the fragments written
    std::uint64_t pictures_ = 0;
    bool first_ = true;
    bool committed_ = false;
    std::vector<unsigned char> sample_;
};

// A frame that lasts more ticks than this would let a few frames of
// composition offset exceed 32 bits.
const std::uint32_t kMaxFrameTicks = SampleClock::kMaxFrameTicks;

} // namespace

TrackClock ChooseTrackClock(const h265tools::FrameRate& rate) {
    TrackClock clock;
    if (rate.numerator > 0 && rate.numerator <= 0xFFFFFFFFu && rate.denominator > 0 &&
        rate.denominator <= kMaxFrameTicks) {
        clock.timescale = static_cast<std::uint32_t>(rate.numerator);
        clock.sampleDuration = static_cast<std::uint32_t>(rate.denominator);
        return clock;
    }
    clock.timescale = 90000;
    const double ticks = std::floor(90000.0 / rate.PerSecond() + 0.5);
    clock.sampleDuration = !(ticks >= 1) ? 1u : ticks > kMaxFrameTicks ? kMaxFrameTicks : static_cast<std::uint32_t>(ticks);
    clock.approximated = true;
    return clock;
}

FragmentedOutput::FragmentedOutput(OutputFormat format, FileStore& store, const SegmentRules& rules,
                                   const PictureReader& pictures, Messages& messages)
    : format_(format), store_(store), rules_(rules), pictures_(pictures), messages_(messages) {}

FragmentedOutput::~FragmentedOutput() = default;

bool FragmentedOutput::InInit(const mp4::NalUnitSpan& nal) const {
    const mp4::HevcDecoderConfiguration& c = segmentTrack_.config;
    for (const std::vector<mp4::NalUnitBytes>* list : {&c.vps, &c.sps, &c.pps})
        for (const mp4::NalUnitBytes& unit : *list)
            if (unit.size() == nal.size && std::equal(unit.begin(), unit.end(), nal.data))
                return true;
    return false;
}

namespace {

// The hev1 form of a track: the same boxes, the same size.
void CarryInBand(mp4::VideoTrackFormat& track) {
    track.sampleEntry = "hev1";
    track.config.parameterSetsComplete = false;
}

} // namespace

const std::vector<unsigned char>& FragmentedOutput::CarryParameterSets() {
    if (!segmentInBand_) {
        segmentInBand_ = true;
        inBand_ = inBand_ || format_ == OutputFormat::kHls;
        CarryInBand(segmentTrack_);
        segmentInit_ = mp4::MakeInitSegment(segmentTrack_);
    }
    return segmentInit_;
}

const h265tools::SpsSyntax* FragmentedOutput::ReadKeySps(const AccessUnit& key, std::string& why) {
    const h265tools::KeptSps& kept = *key.parameterSets.sps;
    if (kept.version != spsVersion_) {
        spsVersion_ = kept.version;
        spsError_.clear();
        try {
            const mp4::NalUnitSpan nal = mp4::NalUnitOf(kept.unit.data(), kept.unit.size());
            h265tools::ReadSps(nal.data, nal.size, sps_);
        } catch (const h265tools::SyntaxError& e) {
            spsError_ = "uses the SPS at byte offset " + std::to_string(kept.offset) +
                        ", which cannot be read for an MP4 sample entry: " + e.what();
        }
    }
    why = spsError_;
    return spsError_.empty() ? &sps_ : nullptr;
}

bool FragmentedOutput::CanStart(const AccessUnit& key, std::string& why) {
    if (!key.parameterSets.sps || !key.parameterSets.pps) {
        why = "names a PPS (or that PPS an SPS) that has not come before it, which an MP4 sample entry needs";
        return false;
    }
    const h265tools::SpsSyntax* sps = ReadKeySps(key, why);
    if (!sps)
        return false;
    // hvcC holds a VPS array; readers such as ffmpeg refuse one without a VPS.
    const h265tools::KeptVps* vps = pictures_.parameterSets().Vps(sps->sps_video_parameter_set_id);
    if (!vps || vps->unit.empty()) {
        why = "has no VPS (vps_video_parameter_set_id " + std::to_string(sps->sps_video_parameter_set_id) +
              ") before it, which an MP4 sample entry (hvcC) needs";
        return false;
    }
    return true;
}

void FragmentedOutput::MakeTimeline() {
    if (sampleClock_)
        latePictures_ += sampleClock_->latePictures();
    mp4::FragmentLimits limits;
    // A fragment of about one second: written that often while recording.
    limits.samples = static_cast<std::uint32_t>(std::max(1.0, std::min(1000.0, std::ceil(rate_.PerSecond()))));
    fragmenter_.reset(new mp4::Fragmenter(limits));
    sampleClock_.reset(new SampleClock(clock_.sampleDuration, *fragmenter_));
}

std::unique_ptr<SegmentSink> FragmentedOutput::Open(unsigned int number, const AccessUnit& key) {
    std::string why;
    const h265tools::SpsSyntax* sps = ReadKeySps(key, why);
    if (!sps || !key.parameterSets.pps)
        throw WriteError("the key picture at byte offset " + std::to_string(key.Offset()) + " " + why);
    const h265tools::KeptSps& keptSps = *key.parameterSets.sps;
    const h265tools::ParameterSets& sets = pictures_.parameterSets();
    const ParameterSetUnits units =
        GatherParameterSets(sets, sets.Vps(sps->sps_video_parameter_set_id), keptSps, *key.parameterSets.pps);

    if (!fragmenter_) {
        // The frame rate of the first key picture times the whole recording.
        rate_ = key.rate;
        clock_ = ChooseTrackClock(rate_);
        if (clock_.approximated)
            messages_.Say("the frame rate " + std::to_string(rate_.numerator) + "/" + std::to_string(rate_.denominator) +
                          " does not fit an MP4 track's times; they are counted in 90 kHz ticks, " +
                          std::to_string(clock_.sampleDuration) + " a picture");
    }
    // Each file of a one-file recording has its own timeline, from 0.
    if (!fragmenter_ || format_ == OutputFormat::kMp4)
        MakeTimeline();

    mp4::VideoTrackFormat track;
    track.timescale = clock_.timescale;
    track.sampleDuration = clock_.sampleDuration;
    const h265tools::DisplaySize display = h265tools::ComputeDisplaySize(keptSps.description);
    track.width = static_cast<unsigned int>(display.width);
    track.height = static_cast<unsigned int>(display.height);
    track.config = DescribeConfiguration(*sps, units, pictures_.hdrSei());
    track.visual = DescribeVisual(*sps, pictures_.hdr());
    std::vector<unsigned char> init = mp4::MakeInitSegment(track);
    // Players that read one HLS stream through a single MP4 reader (ffmpeg,
    // GStreamer's playbin) keep the first init segment's parameter sets
    // after a new #EXT-X-MAP. From the first change on, segments carry
    // theirs in band at their start, under hev1 sample entries, which allow
    // that; the raw segments' parameter sets come with the key picture.
    if (format_ == OutputFormat::kHls && !lastHvc1Init_.empty() && init != lastHvc1Init_)
        inBand_ = true;
    lastHvc1Init_ = init;
    segmentInBand_ = inBand_;
    if (segmentInBand_) {
        CarryInBand(track);
        init = mp4::MakeInitSegment(track);
    }
    segmentTrack_ = track;
    segmentInit_.swap(init);
    segmentNumber_ = number;
    const std::string name =
        format_ == OutputFormat::kHls ? Numbered("seg-%05u.m4s", number) : Numbered("rec-%05u.mp4", number);
    return std::unique_ptr<SegmentSink>(new FragmentedSegment(*this, name));
}

void FragmentedOutput::Committed(const std::string& name, std::uint64_t bytes, const SegmentSpan& span) {
    if (format_ != OutputFormat::kHls)
        return;
    if (!playlist_) {
        // RFC 8216 4.3.3.1: every rounded #EXTINF is at most the target, which
        // never changes. A segment ends at the first key picture the rule
        // allows, so it lasts less than the rule's time plus the time between
        // key pictures: the longest such interval up to the first segment's end.
        const double rule = rules_.seconds > 0 ? rules_.seconds : rate_.Seconds(rules_.pictures);
        const double target = std::max(std::ceil(rule + span.longestKeyInterval - 1e-6),
                                       static_cast<double>(mp4::RoundedSeconds(span.seconds)));
        playlist_.reset(new mp4::MediaPlaylist(static_cast<unsigned int>(std::max(1.0, std::min(86400.0, target))),
                                          !rules_.keepRasl));
    }
    // The init segment is written with the first segment that needs it, when
    // that segment's sample entry is known.
    mp4::PlaylistSegment segment;
    segment.newInit = segmentInit_ != init_;
    if (segment.newInit) {
        init_ = segmentInit_;
        track_ = segmentTrack_;
        initName_ = initName_.empty() ? "init.mp4" : Numbered("init-%05u.mp4", segmentNumber_);
        store_.Replace(initName_, std::string(init_.begin(), init_.end()));
        const std::string codec = mp4::HevcCodecString(track_.sampleEntry, track_.config);
        if (("," + codecs_ + ",").find("," + codec + ",") == std::string::npos)
            codecs_ += (codecs_.empty() ? "" : ",") + codec;
    }
    segment.uri = name;
    segment.seconds = span.seconds;
    segment.initUri = initName_;
    if (!playlist_->Add(segment) && !reportedTarget_) {
        messages_.Say(name + " lasts " + h265tools::SecondsText(segment.seconds) +
                      " s, beyond the playlist's #EXT-X-TARGETDURATION of " +
                      std::to_string(playlist_->targetDuration()) +
                      " s: its key pictures came further apart than any before; the target duration stays");
        reportedTarget_ = true;
    }
    totalBytes_ += bytes;
    if (segment.seconds > 0) {
        const double bits = std::ceil(static_cast<double>(bytes) * 8.0 / segment.seconds);
        if (bits > static_cast<double>(maxBitsPerSecond_))
            maxBitsPerSecond_ = static_cast<std::uint64_t>(std::min(bits, 1e18));
    }
    WritePlaylists(false);
}

void FragmentedOutput::WritePlaylists(bool ended) {
    // The segment's file and name are on the disk before a playlist names it.
    store_.Replace("index.m3u8", playlist_->Text(ended));
    mp4::StreamInfo info;
    info.bandwidth = maxBitsPerSecond_;
    const double seconds = playlist_->TotalSeconds();
    info.averageBandwidth =
        seconds > 0 ? static_cast<std::uint64_t>(std::min(std::ceil(totalBytes_ * 8.0 / seconds), 1e18)) : 0;
    info.width = track_.width;
    info.height = track_.height;
    info.frameRate = rate_.PerSecond();
    info.codecs = codecs_;
    info.transferCharacteristics = track_.visual.transfer_characteristics;
    info.uri = "index.m3u8";
    info.independentSegments = !rules_.keepRasl;
    store_.Replace("master.m3u8", mp4::MasterPlaylistText(info));
}

void FragmentedOutput::Finish() {
    const std::uint64_t late = latePictures_ + (sampleClock_ ? sampleClock_->latePictures() : 0);
    if (late > 0)
        messages_.Say(Pictures(late) + " waited for their output position beyond " +
                      std::to_string(h265tools::OutputOrder::kMaxAge) +
                      " later pictures (a damaged picture order count) and were shown then");
    if (format_ == OutputFormat::kHls && playlist_)
        WritePlaylists(true);
}

} // namespace h265split
