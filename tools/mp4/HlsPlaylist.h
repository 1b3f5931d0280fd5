// The HLS playlists of a recording (RFC 8216): media playlists, the EVENT
// playlist of the whole recording appended to and a live one of its last
// segments, and the master playlist that names one.
#ifndef MP4_HLS_PLAYLIST_H
#define MP4_HLS_PLAYLIST_H

#include <cstddef>
#include <cstdint>
#include <deque>
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
    // Time does not run on from the segment before (a restart, a gap):
    // #EXT-X-DISCONTINUITY.
    bool discontinuity = false;
    // The UTC time of its first picture, in milliseconds since the epoch:
    // #EXT-X-PROGRAM-DATE-TIME.
    bool haveUtc = false;
    std::int64_t utcMillis = 0;
};

// The lines of one segment in a media playlist. `recordingStart`: the
// recording's first segment, whose init segment is no change;
// `playlistStart`: the playlist's first, which names its #EXT-X-MAP.
std::string SegmentLines(const PlaylistSegment& segment, bool recordingStart, bool playlistStart);

// A media playlist that only grows (EVENT): the text of each segment is
// appended to what the file holds, so the work per segment does not grow
// with the recording, and nothing of the segments is kept in memory.
class MediaPlaylist {
public:
    // #EXT-X-TARGETDURATION may not change during a playlist's life (RFC 8216
    // 6.2.1), so it is fixed when the playlist is made. Add returns false for
    // a segment whose rounded duration exceeds it (a key picture that came
    // later than any before): the target stays, and the caller says so.
    // `independent`: every segment starts with a picture that decodes on its
    // own and carries no picture that needs one before it.
    // `mediaSequence`: the number of its first segment (#EXT-X-MEDIA-SEQUENCE).
    MediaPlaylist(unsigned int targetDuration, bool independent, std::uint64_t mediaSequence = 0)
        : targetDuration_(targetDuration), independent_(independent), mediaSequence_(mediaSequence) {}

    // `appended` receives what the file takes for the segment: with the
    // first one, the playlist's head before it.
    bool Add(const PlaylistSegment& segment, std::string& appended);
    unsigned int targetDuration() const { return targetDuration_; }
    // What ends the playlist.
    static const char* EndText() { return "#EXT-X-ENDLIST\n"; }

    // The file already holds a head and `segments` segments (an earlier
    // run's): what is appended follows them.
    void ContinueAfter(std::uint64_t segments) { segments_ = segments; }

private:
    // The head of a playlist of this target, before any segment.
    std::string Head() const;

    unsigned int targetDuration_;
    bool independent_;
    std::uint64_t mediaSequence_;
    std::uint64_t segments_ = 0;
};

// A live playlist (RFC 8216 6.2.2): the last `window` segments, rewritten
// whole after each one, with #EXT-X-MEDIA-SEQUENCE and
// #EXT-X-DISCONTINUITY-SEQUENCE counting what left it; no PLAYLIST-TYPE.
class LivePlaylist {
public:
    LivePlaylist(unsigned int targetDuration, bool independent, std::size_t window)
        : targetDuration_(targetDuration), independent_(independent), window_(window ? window : 1) {}

    void Add(const PlaylistSegment& segment);
    std::string Text(bool ended) const;

    // Goes on from the live playlist an earlier run published (read back by
    // ReadMediaPlaylist): a client reloading it must find each segment under
    // the media sequence number it had, and neither sequence number may go
    // down (RFC 8216 6.2.1, 6.2.2), so its numbers and segments are taken
    // as they are, less those beyond this playlist's window.
    void ContinueFrom(std::uint64_t mediaSequence, std::uint64_t discontinuitySequence,
                      const std::vector<PlaylistSegment>& segments);
    std::uint64_t mediaSequence() const { return mediaSequence_; }
    std::uint64_t discontinuitySequence() const { return discontinuitySequence_; }

private:
    void Slide(); // drops the segments beyond the window

    unsigned int targetDuration_;
    bool independent_;
    std::size_t window_;
    std::deque<PlaylistSegment> segments_;
    std::uint64_t mediaSequence_ = 0;
    std::uint64_t discontinuitySequence_ = 0;
};

// A media playlist read back (one this code wrote, EVENT or live), its
// segments whole up to the last URI line.
struct MediaPlaylistContents {
    bool valid = false; // it starts with #EXTM3U
    unsigned int targetDuration = 0;
    std::uint64_t mediaSequence = 0;
    std::uint64_t discontinuitySequence = 0;
    bool independent = false;
    bool ended = false;
    // As written: `discontinuity` where #EXT-X-DISCONTINUITY precedes the
    // segment, `initUri` the last #EXT-X-MAP before it. `newInit` where its
    // #EXT-X-MAP names a change of init segment: every #EXT-X-MAP after the
    // first, and the first when it starts the recording (media sequence 0)
    // or follows #EXT-X-DISCONTINUITY. A first segment's #EXT-X-MAP is there
    // for any playlist's start, so whether it changed is not told otherwise.
    std::vector<PlaylistSegment> segments;
};
MediaPlaylistContents ReadMediaPlaylist(const std::string& text);

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
