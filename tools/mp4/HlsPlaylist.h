// The HLS playlists of a recording (RFC 8216): the media playlist index.m3u8,
// rewritten after each segment, and the master playlist that names it.
#ifndef MP4_HLS_PLAYLIST_H
#define MP4_HLS_PLAYLIST_H

#include <cstdint>
#include <string>
#include <vector>

namespace mp4 {

struct PlaylistSegment {
    std::string uri;
    double seconds = 0;
    // The segment's init segment differs from the one before (new parameter
    // sets, a new picture size): #EXT-X-DISCONTINUITY and a new #EXT-X-MAP.
    bool newInit = false;
    std::string initUri;
};

class MediaPlaylist {
public:
    // #EXT-X-TARGETDURATION may not change during a playlist's life (RFC 8216
    // 6.2.1), so it is fixed when the playlist is made. Add returns false for
    // a segment whose rounded duration exceeds it (a key picture that came
    // later than any before): the target stays, and the caller says so.
    // `independent`: every segment starts with a picture that decodes on its
    // own and carries no picture that needs one before it.
    MediaPlaylist(unsigned int targetDuration, bool independent)
        : targetDuration_(targetDuration), independent_(independent) {}

    bool Add(const PlaylistSegment& segment);
    unsigned int targetDuration() const { return targetDuration_; }
    // The playlist text: an EVENT playlist, with #EXT-X-ENDLIST when ended.
    std::string Text(bool ended) const;

    double TotalSeconds() const { return totalSeconds_; }

private:
    unsigned int targetDuration_;
    bool independent_;
    std::string lines_; // of the segments added
    std::size_t segments_ = 0;
    double totalSeconds_ = 0;
};

struct StreamInfo {
    std::uint64_t bandwidth = 0;        // bits per second, of the largest segment
    std::uint64_t averageBandwidth = 0; // bits per second over the whole recording
    unsigned int width = 0;
    unsigned int height = 0;
    double frameRate = 0;
    std::string codecs;
    // The VUI's transfer_characteristics (2 when not coded): VIDEO-RANGE.
    unsigned int transferCharacteristics = 2;
    std::string uri;
    bool independentSegments = true;
};

std::string MasterPlaylistText(const StreamInfo& stream);

// EXTINF's duration rounded to the nearest whole second (RFC 8216 4.3.3.1:
// the target duration is at least each rounded EXTINF).
unsigned int RoundedSeconds(double seconds);

} // namespace mp4

#endif
