#include "FragmentedOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CodecString.h"
#include "OutputFiles.h"
#include "SampleData.h"
#include "SpsDescription.h"
#include "SyntaxError.h"

namespace h265split {

namespace {

std::string Numbered(const char* format, unsigned int number) {
    char name[40];
    std::snprintf(name, sizeof name, format, number);
    return name;
}

// One segment's file: the fragments the Fragmenter hands on, written under a
// temporary name and renamed when the segment is complete.
class FragmentedSegment : public SegmentSink, public FragmentConsumer {
public:
    FragmentedSegment(FragmentedOutput& output, const std::string& name)
        : output_(output), name_(name), file_(output.store().Create(name, output.format() == OutputFormat::kMp4)) {
        output_.fragmenter().SetConsumer(this);
        if (output_.format() == OutputFormat::kMp4)
            WriteBytes(output_.initSegment());
    }

    ~FragmentedSegment() override { output_.fragmenter().SetConsumer(nullptr); }

    void Write(const unsigned char* data, std::size_t size) override {
        const NalUnitSpan nal = NalUnitOf(data, size);
        if (!nal.data)
            return;
        // hvc1 samples carry no parameter sets: those of the init segment are
        // left out. One the init segment does not hold (a PPS sent later
        // under a new id) stays in the sample, where a decoder finds it.
        if (IsParameterSet(NalUnitTypeOf(nal)) && output_.InInit(nal))
            return;
        AppendLengthPrefixed(sample_, nal);
    }

    void EndAccessUnit(const AccessUnit& au, bool pictureDropped) override {
        if (!au.HasPicture())
            return; // its NAL units go with the next picture
        // A RASL picture dropped at the segment's start, or one that no
        // decoder outputs (of a BLA picture), would leave a gap in
        // presentation time. Another picture keeps what was written of it.
        if (IsRasl(au.pictureNalUnitType) && (pictureDropped || !au.output)) {
            sample_.clear();
            return;
        }
        // The segment's first picture starts its decoding: as an IRAP picture
        // with NoRaslOutputFlag 1, it outputs all pictures before it.
        output_.fragmenter().Add(sample_, au.key, au.poc, first_ || au.startsSequence, au.reorderDepth);
        first_ = false;
        sample_.clear();
        ++pictures_;
    }

    void TakeFragment(const std::vector<unsigned char>& header, const std::vector<unsigned char>& payload,
                      std::uint32_t) override {
        WriteBytes(header);
        WriteBytes(payload);
        if (output_.format() == OutputFormat::kMp4)
            file_->Sync();
    }

    void Commit() override {
        output_.fragmenter().Flush();
        file_->Commit();
        output_.Committed(name_, bytes_, pictures_);
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
    std::uint64_t pictures_ = 0;
    bool first_ = true;
    std::vector<unsigned char> sample_;
};

} // namespace

FragmentedOutput::FragmentedOutput(OutputFormat format, FileStore& store, const SegmentRules& rules,
                                   const PictureReader& pictures, Messages& messages)
    : format_(format), store_(store), rules_(rules), pictures_(pictures), messages_(messages) {}

FragmentedOutput::~FragmentedOutput() = default;

bool FragmentedOutput::InInit(const NalUnitSpan& nal) const {
    const HevcDecoderConfiguration& c = track_.config;
    for (const std::vector<NalUnitBytes>* list : {&c.vps, &c.sps, &c.pps})
        for (const NalUnitBytes& unit : *list)
            if (unit.size() == nal.size && std::equal(unit.begin(), unit.end(), nal.data))
                return true;
    return false;
}

std::unique_ptr<SegmentSink> FragmentedOutput::Open(unsigned int number, const AccessUnit& key) {
    // The key picture's parameter sets, as the raw segments insert them: its
    // VPS, SPS and PPS, and the other PPS that name the same SPS and came after it.
    const h265tools::ParameterSets& sets = pictures_.parameterSets();
    if (!key.parameterSets.sps || !key.parameterSets.pps)
        throw WriteError("the key picture at byte offset " + std::to_string(key.Offset()) +
                         " has no SPS and PPS for an MP4 sample entry");
    const h265tools::KeptSps& keptSps = *key.parameterSets.sps;
    h265tools::SpsSyntax sps;
    try {
        const NalUnitSpan nal = NalUnitOf(keptSps.unit.data(), keptSps.unit.size());
        h265tools::ReadSps(nal.data, nal.size, sps);
    } catch (const h265tools::SyntaxError& e) {
        throw WriteError("the SPS at byte offset " + std::to_string(keptSps.offset) + " cannot be read for hvcC: " +
                         e.what());
    }
    const h265tools::KeptVps* vps = sets.Vps(sps.sps_video_parameter_set_id);
    std::vector<const h265tools::KeptPps*> pps{key.parameterSets.pps};
    for (unsigned int id = 0; id < h265tools::ParameterSets::kPpsIds; ++id) {
        const h265tools::KeptPps* p = sets.Pps(id);
        if (p && id != key.ppsId && p->spsId == keptSps.id && p->version > keptSps.version)
            pps.push_back(p);
    }

    VideoTrackFormat track;
    if (!fragmenter_) {
        // The frame rate of the first key picture times the whole recording:
        // the track's timescale is its numerator, a picture lasts its denominator.
        rate_ = key.rate;
        if (rate_.numerator > 0xFFFFFFFFu || rate_.denominator > 0xFFFFFFFFu)
            rate_ = h265tools::FrameRate();
        FragmentLimits limits;
        // A fragment of about one second: written that often while recording.
        limits.samples = static_cast<std::uint32_t>(std::max(1.0, std::min(1000.0, std::ceil(rate_.PerSecond()))));
        fragmenter_.reset(new Fragmenter(static_cast<std::uint32_t>(rate_.denominator), limits));
        const double target = rules_.seconds > 0 ? rules_.seconds : rate_.Seconds(rules_.pictures);
        playlist_.reset(new MediaPlaylist(static_cast<unsigned int>(std::max(1.0, std::min(86400.0, std::ceil(target))))));
    }
    track.timescale = static_cast<std::uint32_t>(rate_.numerator);
    track.sampleDuration = static_cast<std::uint32_t>(rate_.denominator);
    const h265tools::DisplaySize display = h265tools::ComputeDisplaySize(keptSps.description);
    track.width = static_cast<unsigned int>(display.width);
    track.height = static_cast<unsigned int>(display.height);
    track.config = DescribeConfiguration(sps, vps, keptSps, pps, pictures_.hdrSei());
    track.visual = DescribeVisual(sps, pictures_.hdr());
    std::vector<unsigned char> init = MakeInitSegment(track);

    newInit_ = init != init_;
    if (newInit_) {
        init_.swap(init);
        track_ = track;
        codecs_ = HevcCodecString("hvc1", track_.config);
        if (format_ == OutputFormat::kHls) {
            initName_ = initName_.empty() ? "init.mp4" : Numbered("init-%05u.mp4", number);
            store_.Replace(initName_, std::string(init_.begin(), init_.end()));
        }
    }
    const std::string name =
        format_ == OutputFormat::kHls ? Numbered("seg-%05u.m4s", number) : Numbered("rec-%05u.mp4", number);
    return std::unique_ptr<SegmentSink>(new FragmentedSegment(*this, name));
}

void FragmentedOutput::Committed(const std::string& name, std::uint64_t bytes, std::uint64_t pictures) {
    if (format_ != OutputFormat::kHls)
        return;
    PlaylistSegment segment;
    segment.uri = name;
    segment.seconds = rate_.Seconds(pictures);
    segment.newInit = newInit_;
    segment.initUri = initName_;
    newInit_ = false;
    if (!playlist_->Add(segment) && !reportedTarget_) {
        messages_.Say(name + " lasts " + std::to_string(RoundedSeconds(segment.seconds)) +
                      " s, beyond the playlist's target duration; #EXT-X-TARGETDURATION raised");
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
    StreamInfo info;
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
    store_.Replace("master.m3u8", MasterPlaylistText(info));
}

void FragmentedOutput::Finish() {
    if (format_ == OutputFormat::kHls && playlist_)
        WritePlaylists(true);
}

} // namespace h265split
