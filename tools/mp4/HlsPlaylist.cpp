#include "HlsPlaylist.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "ColourNames.h"
#include "UtcTime.h"

namespace mp4 {

unsigned int RoundedSeconds(double seconds) {
    if (!(seconds > 0))
        return 0;
    if (seconds > 4e9)
        return 4000000000u;
    return static_cast<unsigned int>(std::floor(seconds + 0.5));
}

std::string SegmentLines(const PlaylistSegment& s, bool recordingStart, bool playlistStart) {
    std::string text;
    if (s.discontinuity || (s.newInit && !recordingStart))
        text += "#EXT-X-DISCONTINUITY\n";
    if (s.newInit || playlistStart)
        text += "#EXT-X-MAP:URI=\"" + s.initUri + "\"\n";
    if (s.haveUtc)
        text += "#EXT-X-PROGRAM-DATE-TIME:" + h265tools::UtcText(s.utcMillis) + "\n";
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", s.seconds);
    return text + "#EXTINF:" + duration + ",\n" + s.uri + "\n";
}

namespace {

std::string HeadLines(unsigned int targetDuration) {
    return "#EXTM3U\n"
           "#EXT-X-VERSION:7\n"
           "#EXT-X-TARGETDURATION:" +
           std::to_string(targetDuration) + "\n";
}

} // namespace

std::string MediaPlaylist::Head() const {
    // EVENT: segments are only appended; #EXT-X-ENDLIST closes it at the end.
    return HeadLines(targetDuration_) + "#EXT-X-MEDIA-SEQUENCE:" + std::to_string(mediaSequence_) +
           "\n#EXT-X-PLAYLIST-TYPE:EVENT\n" +
           (independent_ ? "#EXT-X-INDEPENDENT-SEGMENTS\n" : "");
}

bool MediaPlaylist::Add(const PlaylistSegment& segment, std::string& appended) {
    appended = segments_ == 0 ? Head() : std::string();
    appended += SegmentLines(segment, segments_ == 0, segments_ == 0);
    ++segments_;
    return RoundedSeconds(segment.seconds) <= targetDuration_;
}

void LivePlaylist::Add(const PlaylistSegment& segment) {
    segments_.push_back(segment);
    Slide();
}

void LivePlaylist::ContinueFrom(std::uint64_t mediaSequence, std::uint64_t discontinuitySequence,
                                const std::vector<PlaylistSegment>& segments) {
    mediaSequence_ = mediaSequence;
    discontinuitySequence_ = discontinuitySequence;
    segments_.assign(segments.begin(), segments.end());
    Slide();
}

void LivePlaylist::Slide() {
    while (segments_.size() > window_) {
        // RFC 8216 6.2.2: a removed #EXT-X-DISCONTINUITY counts in
        // #EXT-X-DISCONTINUITY-SEQUENCE.
        const PlaylistSegment& removed = segments_.front();
        if (removed.discontinuity || (removed.newInit && mediaSequence_ > 0))
            ++discontinuitySequence_;
        segments_.pop_front();
        ++mediaSequence_;
    }
}

std::string LivePlaylist::Text(bool ended) const {
    std::string text = HeadLines(targetDuration_) + "#EXT-X-MEDIA-SEQUENCE:" + std::to_string(mediaSequence_) +
                       "\n#EXT-X-DISCONTINUITY-SEQUENCE:" + std::to_string(discontinuitySequence_) + "\n" +
                       (independent_ ? "#EXT-X-INDEPENDENT-SEGMENTS\n" : "");
    // Each segment keeps the lines it has in the whole recording, so that its
    // discontinuity sequence number does not change as the window moves; the
    // first one also names its init segment.
    for (std::size_t i = 0; i < segments_.size(); ++i)
        text += SegmentLines(segments_[i], mediaSequence_ + i == 0, i == 0);
    if (ended)
        text += "#EXT-X-ENDLIST\n";
    return text;
}

namespace {

// The decimal number after `tag` at the start of `line`; false for another line.
bool TagNumber(const std::string& line, const char* tag, std::uint64_t& value) {
    const std::size_t length = std::char_traits<char>::length(tag);
    if (line.compare(0, length, tag) != 0)
        return false;
    value = std::strtoull(line.c_str() + length, nullptr, 10);
    return true;
}

} // namespace

MediaPlaylistContents ReadMediaPlaylist(const std::string& text) {
    MediaPlaylistContents contents;
    contents.valid = text.compare(0, 8, "#EXTM3U\n") == 0;
    PlaylistSegment entry;
    bool map = false;
    std::string init;
    std::uint64_t number = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break; // a line cut short
        const std::string line = text.substr(at, end - at);
        at = end + 1;
        if (line.empty())
            continue;
        if (line[0] != '#') {
            entry.uri = line;
            entry.initUri = init;
            entry.newInit = map && (!contents.segments.empty() || contents.mediaSequence == 0 || entry.discontinuity);
            contents.segments.push_back(entry);
            entry = PlaylistSegment();
            map = false;
        } else if (TagNumber(line, "#EXT-X-TARGETDURATION:", number)) {
            contents.targetDuration = static_cast<unsigned int>(std::min<std::uint64_t>(number, 4000000000u));
        } else if (TagNumber(line, "#EXT-X-MEDIA-SEQUENCE:", number)) {
            contents.mediaSequence = number;
        } else if (TagNumber(line, "#EXT-X-DISCONTINUITY-SEQUENCE:", number)) {
            contents.discontinuitySequence = number;
        } else if (line == "#EXT-X-INDEPENDENT-SEGMENTS") {
            contents.independent = true;
        } else if (line == "#EXT-X-ENDLIST") {
            contents.ended = true;
        } else if (line == "#EXT-X-DISCONTINUITY") {
            entry.discontinuity = true;
        } else if (line.compare(0, 16, "#EXT-X-MAP:URI=\"") == 0 && line.back() == '"') {
            map = true;
            init = line.substr(16, line.size() - 17);
        } else if (line.compare(0, 25, "#EXT-X-PROGRAM-DATE-TIME:") == 0) {
            entry.haveUtc = h265tools::ParseUtc(line.substr(25), entry.utcMillis);
        } else if (line.compare(0, 8, "#EXTINF:") == 0) {
            entry.seconds = std::strtod(line.c_str() + 8, nullptr);
        }
    }
    return contents;
}

std::string MasterPlaylistText(const StreamInfo& s) {
    char frameRate[32];
    std::snprintf(frameRate, sizeof frameRate, "%.3f", s.frameRate);
    // VIDEO-RANGE (RFC 8216bis 4.4.6.2): PQ for SMPTE ST 2084 (16), HLG for
    // ARIB STD-B67 (18), SDR for every other transfer characteristic.
    std::string videoRange = h265tools::HdrSystemName(s.transferCharacteristics);
    if (videoRange.empty())
        videoRange = "SDR";
    return std::string("#EXTM3U\n"
                       "#EXT-X-VERSION:7\n") +
           (s.independentSegments ? "#EXT-X-INDEPENDENT-SEGMENTS\n" : "") + "#EXT-X-STREAM-INF:BANDWIDTH=" +
           std::to_string(s.bandwidth) + ",AVERAGE-BANDWIDTH=" + std::to_string(s.averageBandwidth) +
           ",RESOLUTION=" + std::to_string(s.width) + "x" + std::to_string(s.height) + ",FRAME-RATE=" + frameRate +
           ",CODECS=\"" + s.codecs + "\",VIDEO-RANGE=" + videoRange + "\n" + s.uri + "\n";
}

} // namespace mp4
