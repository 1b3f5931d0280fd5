#include "HlsPlaylist.h"

#include <cmath>
#include <cstdio>

#include "ColourNames.h"

namespace mp4 {

unsigned int RoundedSeconds(double seconds) {
    if (!(seconds > 0))
        return 0;
    if (seconds > 4e9)
        return 4000000000u;
    return static_cast<unsigned int>(std::floor(seconds + 0.5));
}

bool MediaPlaylist::Add(const PlaylistSegment& segment) {
    // The segment's lines are written once, here: the playlist is rewritten
    // after every segment, and a recording of thousands would otherwise
    // format every line again each time.
    if (segment.newInit) {
        if (segments_ > 0)
            lines_ += "#EXT-X-DISCONTINUITY\n";
        lines_ += "#EXT-X-MAP:URI=\"" + segment.initUri + "\"\n";
    }
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.3f", segment.seconds);
    lines_ += std::string("#EXTINF:") + duration + ",\n" + segment.uri + "\n";
    ++segments_;
    totalSeconds_ += segment.seconds;
    return RoundedSeconds(segment.seconds) <= targetDuration_;
}

std::string MediaPlaylist::Text(bool ended) const {
    std::string text = "#EXTM3U\n"
                       "#EXT-X-VERSION:7\n";
    text += "#EXT-X-TARGETDURATION:" + std::to_string(targetDuration_) + "\n";
    text += "#EXT-X-MEDIA-SEQUENCE:0\n";
    // EVENT: segments are only appended; #EXT-X-ENDLIST closes it at the end.
    text += "#EXT-X-PLAYLIST-TYPE:EVENT\n";
    if (independent_)
        text += "#EXT-X-INDEPENDENT-SEGMENTS\n";
    text += lines_;
    if (ended)
        text += "#EXT-X-ENDLIST\n";
    return text;
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
