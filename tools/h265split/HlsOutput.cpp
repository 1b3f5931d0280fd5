#include "HlsOutput.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "CodecString.h"
#include "FragmentedSegment.h"

namespace h265split {

namespace {

std::string Numbered(const char* format, unsigned int number) {
    char name[40];
    std::snprintf(name, sizeof name, format, number);
    return name;
}

} // namespace

HlsOutput::HlsOutput(FileStore& store, Archive& archive, const SegmentRules& rules, std::size_t liveSegments,
                     const AccessUnitReader& pictures, const WallClock& wallClock, Messages& messages)
    : store_(store), archive_(archive), rules_(rules), messages_(messages), track_(pictures, messages), wallClock_(wallClock),
      liveSegments_(liveSegments) {}

std::unique_ptr<SegmentSink> HlsOutput::Open(unsigned int number, const AccessUnit& key) {
    mp4::VideoTrackFormat format = track_.Describe(key);
    const bool first = !track_.started();
    std::int64_t startMillis = 0;
    if (first) {
        track_.NewTimeline(); // one timeline for the whole recording
        // A resumed recording's media times go on from the earlier run's end.
        const std::uint64_t startTicks = static_cast<std::uint64_t>(std::llround(timelineStart_ * format.timescale));
        track_.clock().StartAt(startTicks);
        startMillis = static_cast<std::int64_t>(startTicks * 1000 / format.timescale);
    }
    // Media time 0 is the recording's start (this run's, less the earlier
    // run's time before it), whose UTC time follows the clock's anchor (a
    // live one may be set again at a key picture).
    if (wallClock_.known() && first)
        track_.fragmenter().SetUtcReference(format.timescale,
                                            [this, startMillis] { return wallClock_.At(0) - startMillis; });
    // Players that read one HLS stream through a single MP4 reader (ffmpeg,
    // GStreamer's playbin) keep the first init segment's parameter sets
    // after a new #EXT-X-MAP. From the first change on, segments carry
    // theirs in band at their start, under hev1 sample entries, which allow
    // that; the raw segments' parameter sets come with the key picture.
    const std::vector<unsigned char> hvc1 = mp4::MakeInitSegment(format);
    if (!lastHvc1Init_.empty() && hvc1 != lastHvc1Init_)
        inBand_ = true;
    lastHvc1Init_ = hvc1;
    if (inBand_)
        Mp4Track::CarryInBand(format);
    track_.SetEntry(format);
    segmentNumber_ = number;
    std::unique_ptr<FragmentedSegment> segment(new FragmentedSegment(
        track_, store_, Numbered("seg-%05u.m4s", number), false, messages_,
        [this](const std::string& name, std::uint64_t bytes, const SegmentSpan& span) { Committed(name, bytes, span); }));
    segment->BeforeWriting([this] { WriteInit(); });
    return std::unique_ptr<SegmentSink>(segment.release());
}

void HlsOutput::WriteInit() {
    // The init segment is written with the first segment that needs it,
    // before that segment's first fragment and again, when its sample entry
    // changed (a parameter set carried in band), before it has its name:
    // after a crash or a power cut no fragment is there without its init
    // segment.
    format_ = track_.entry(); // the same as the last init segment's when that is not new
    if (track_.entryInit() == init_)
        return;
    init_ = track_.entryInit();
    if (!newInit_)
        initName_ = initName_.empty() ? "init.mp4" : Numbered("init-%05u.mp4", segmentNumber_);
    newInit_ = true;
    store_.Replace(initName_, std::string(init_.begin(), init_.end()));
    const std::string codec = mp4::HevcCodecString(format_.sampleEntry, format_.config);
    if (("," + codecs_ + ",").find("," + codec + ",") == std::string::npos)
        codecs_ += (codecs_.empty() ? "" : ",") + codec;
}

void HlsOutput::Committed(const std::string& name, std::uint64_t bytes, const SegmentSpan& span) {
    // A sample that had to carry a parameter set made the sample entry hev1,
    // and so every later one.
    inBand_ = inBand_ || track_.entryInBand();
    committedAny_ = true;
    if (targetDuration_ == 0) {
        // RFC 8216 4.3.3.1: every rounded #EXTINF is at most the target, which
        // never changes. A segment ends at the first key picture the rule
        // allows, so it lasts less than the rule's time plus the time between
        // key pictures: the longest such interval up to the first segment's end.
        const double rule = rules_.seconds > 0 ? rules_.seconds : track_.rate().Seconds(rules_.pictures);
        const double target = std::max(std::ceil(rule + span.longestKeyInterval - 1e-6),
                                       static_cast<double>(mp4::RoundedSeconds(span.seconds)));
        targetDuration_ = static_cast<unsigned int>(std::max(1.0, std::min(86400.0, target)));
        if (liveSegments_ > 0)
            live_.reset(new mp4::LivePlaylist(targetDuration_, !rules_.keepRasl, liveSegments_));
    }
    FollowChapter();
    mp4::PlaylistSegment segment;
    segment.newInit = newInit_;
    newInit_ = false;
    segment.discontinuity = discontinuity_ || span.discontinuity;
    discontinuity_ = false;
    segment.uri = name;
    segment.seconds = span.seconds;
    segment.initUri = initName_;
    segment.haveUtc = span.haveUtc;
    segment.utcMillis = span.utcMillis;
    archive_.UsesInit(initName_);
    if (live_) {
        live_->Add(segment);
        archive_.KeepFrom(segmentNumber_ >= liveSegments_ ? segmentNumber_ - static_cast<unsigned int>(liveSegments_ - 1)
                                                          : 0);
    }
    const bool fits = playlist_->Add(segment, appended_);
    if (!fits && !reportedTarget_) {
        messages_.Say(name + " lasts " + h265tools::SecondsText(segment.seconds) +
                      " s, beyond the playlist's #EXT-X-TARGETDURATION of " +
                      std::to_string(playlist_->targetDuration()) +
                      " s: its key pictures came further apart than any before; the target duration stays");
        reportedTarget_ = true;
    }
    totalBytes_ += bytes;
    totalSeconds_ += segment.seconds;
    if (segment.seconds > 0) {
        const double bits = std::ceil(static_cast<double>(bytes) * 8.0 / segment.seconds);
        if (bits > static_cast<double>(maxBitsPerSecond_))
            maxBitsPerSecond_ = static_cast<std::uint64_t>(std::min(bits, 1e18));
    }
    WritePlaylists(false);
}

void HlsOutput::FollowChapter() {
    if (playlist_ && archive_.playlist() == playlistName_)
        return;
    if (playlist_) {
        store_.Append(playlistName_, mp4::MediaPlaylist::EndText());
        store_.EndAppend(playlistName_);
    }
    playlistName_ = archive_.playlist();
    playlist_.reset(new mp4::MediaPlaylist(targetDuration_, !rules_.keepRasl, archive_.chaptered() ? segmentNumber_ : 0));
}

void HlsOutput::WritePlaylists(bool ended) {
    // The segment's file and name are on the disk before a playlist names it.
    // The media playlist only grows: each segment's lines are appended, so
    // that its cost does not grow with the recording.
    if (!appended_.empty())
        store_.Append(playlistName_, appended_);
    appended_.clear();
    if (ended && !ended_) {
        store_.Append(playlistName_, mp4::MediaPlaylist::EndText());
        ended_ = true;
    }
    if (live_)
        store_.Replace("live.m3u8", live_->Text(ended));
    mp4::StreamInfo info;
    info.bandwidth = maxBitsPerSecond_;
    info.averageBandwidth =
        totalSeconds_ > 0 ? static_cast<std::uint64_t>(std::min(std::ceil(totalBytes_ * 8.0 / totalSeconds_), 1e18))
                          : 0;
    info.width = format_.width;
    info.height = format_.height;
    info.frameRate = track_.rate().PerSecond();
    info.codecs = codecs_;
    info.transferCharacteristics = format_.visual.transfer_characteristics;
    // Chapters end and go: players follow a recording with a budget live;
    // with --live, viewers want the live playlist too (the archive stays
    // reachable through index.m3u8 or archive.csv).
    info.uri = archive_.chaptered() || liveSegments_ > 0 ? "live.m3u8" : playlistName_;
    info.independentSegments = !rules_.keepRasl;
    // The master playlist is rewritten when what a player chooses by
    // changes (the peak bandwidth, the codecs, the picture size) and at the
    // end; AVERAGE-BANDWIDTH, which moves with every segment, is brought up
    // to date then, so that its cost stays off most segments.
    const std::string master = mp4::MasterPlaylistText(info);
    info.averageBandwidth = 0;
    const std::string key = mp4::MasterPlaylistText(info);
    if (ended || key != masterKey_) {
        store_.Replace("master.m3u8", master);
        masterKey_ = key;
    }
}

void HlsOutput::ContinueEarlierRun(const ResumePoint& earlier) {
    timelineStart_ = earlier.endSeconds;
    if (!earlier.havePlaylist)
        return; // nothing named yet: the first segment starts the playlists
    discontinuity_ = true;
    targetDuration_ = earlier.targetDuration;
    playlistName_ = archive_.playlist();
    playlist_.reset(new mp4::MediaPlaylist(earlier.targetDuration, earlier.independent));
    playlist_->ContinueAfter(earlier.playlistSegments);
    totalSeconds_ = earlier.playlistSeconds;
    if (liveSegments_ > 0 && earlier.live)
        live_.reset(new mp4::LivePlaylist(*earlier.live));
    init_ = earlier.init;
    initName_ = earlier.initName;
    codecs_ = earlier.codecs;
    maxBitsPerSecond_ = earlier.bandwidth;
    totalBytes_ =
        static_cast<std::uint64_t>(static_cast<double>(earlier.averageBandwidth) * earlier.playlistSeconds / 8);
    store_.ContinueAppending(playlistName_);
}

void HlsOutput::Finish() {
    track_.ReportLatePictures();
    if (playlist_ && !committedAny_) {
        // Resumed without a segment of this run (none began, or the first
        // failed or was stopped before it was named): the earlier run's
        // segments are all there is, and the playlists end with them;
        // master.m3u8 stays as it was.
        if (!ended_)
            store_.Append(playlistName_, mp4::MediaPlaylist::EndText());
        ended_ = true;
        if (live_)
            store_.Replace("live.m3u8", live_->Text(true));
        return;
    }
    if (playlist_)
        WritePlaylists(true);
}

} // namespace h265split
