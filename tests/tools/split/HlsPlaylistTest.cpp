// The media playlist of RFC 8216 as h265split keeps it: each case adds
// segments and names lines its text must hold, in order.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "HlsPlaylist.h"

namespace {

using mp4::MediaPlaylist;
using mp4::PlaylistSegment;

PlaylistSegment Segment(const char* uri, double seconds, const char* init = nullptr, std::int64_t utc = -1,
                        bool discontinuity = false) {
    PlaylistSegment s;
    s.uri = uri;
    s.seconds = seconds;
    s.newInit = init != nullptr;
    s.initUri = init ? init : ""; // the one before, as the caller gives it
    s.haveUtc = utc >= 0;
    s.utcMillis = utc;
    s.discontinuity = discontinuity;
    return s;
}

struct Case {
    const char* name;
    std::size_t window; // 0: the EVENT playlist of the whole recording
    unsigned target;
    std::vector<PlaylistSegment> segments;
    bool ended;
    bool independent;
    std::vector<std::string> lines; // in this order, others may come between
    std::vector<std::string> absent;
};

const Case kCases[] = {
    {"recording",
     0,
     2,
     {Segment("seg-00000.m4s", 2.0, "init.mp4"), Segment("seg-00001.m4s", 1.96)},
     false,
     true,
     {"#EXTM3U", "#EXT-X-VERSION:7", "#EXT-X-TARGETDURATION:2", "#EXT-X-PLAYLIST-TYPE:EVENT",
      "#EXT-X-INDEPENDENT-SEGMENTS", "#EXT-X-MAP:URI=\"init.mp4\"", "#EXTINF:2.000,", "seg-00000.m4s",
      "#EXTINF:1.960,", "seg-00001.m4s"},
     {"#EXT-X-ENDLIST", "#EXT-X-DISCONTINUITY"}},
    {"ended", 0, 2, {Segment("seg-00000.m4s", 0.48, "init.mp4")}, true, true, {"seg-00000.m4s", "#EXT-X-ENDLIST"}, {}},
    {"new init segment",
     0,
     2,
     {Segment("seg-00000.m4s", 2.0, "init.mp4"), Segment("seg-00001.m4s", 2.0, "init-00001.mp4")},
     true,
     true,
     {"#EXT-X-MAP:URI=\"init.mp4\"", "seg-00000.m4s", "#EXT-X-DISCONTINUITY", "#EXT-X-MAP:URI=\"init-00001.mp4\"",
      "seg-00001.m4s"},
     {}},
    // RFC 8216 6.2.1: the target never changes, also when a segment's rounded
    // duration exceeds it (Add says so).
    {"a long segment keeps the target", 0, 2, {Segment("seg-00000.m4s", 2.5, "init.mp4")}, true, true,
     {"#EXT-X-TARGETDURATION:2", "#EXTINF:2.500,"}, {"#EXT-X-TARGETDURATION:3"}},
    {"2.49 s stays within 2", 0, 2, {Segment("seg-00000.m4s", 2.49, "init.mp4")}, true, true,
     {"#EXT-X-TARGETDURATION:2", "#EXTINF:2.490,"}, {}},
    // Kept RASL pictures need the segment before: no independence claimed.
    {"kept RASL pictures", 0, 2, {Segment("seg-00000.m4s", 2.0, "init.mp4")}, true, false,
     {"#EXT-X-MAP:URI=\"init.mp4\"", "#EXT-X-ENDLIST"}, {"#EXT-X-INDEPENDENT-SEGMENTS"}},
    // Wall-clock time of each segment's first picture, with milliseconds; a
    // restart is a discontinuity without a new init segment.
    {"program date time", 0, 2,
     {Segment("seg-00000.m4s", 2.0, "init.mp4", 1765202580250LL), Segment("seg-00001.m4s", 2.0, nullptr, 1765202582250LL),
      Segment("seg-00002.m4s", 2.0, nullptr, 1765206000000LL, true)},
     false, true,
     {"#EXT-X-PROGRAM-DATE-TIME:2025-12-08T14:03:00.250Z", "seg-00000.m4s",
      "#EXT-X-PROGRAM-DATE-TIME:2025-12-08T14:03:02.250Z", "seg-00001.m4s", "#EXT-X-DISCONTINUITY",
      "#EXT-X-PROGRAM-DATE-TIME:2025-12-08T15:00:00.000Z", "seg-00002.m4s"},
     {}},
    // A live window of 2: the sequence numbers count the segments and the
    // discontinuities that left it; its first segment names its init segment.
    {"live window", 2, 2,
     {Segment("seg-00000.m4s", 2.0, "init.mp4"), Segment("seg-00001.m4s", 2.0, "init-00001.mp4"),
      Segment("seg-00002.m4s", 2.0), Segment("seg-00003.m4s", 2.0, nullptr, -1, true)},
     false, true,
     {"#EXT-X-MEDIA-SEQUENCE:2", "#EXT-X-DISCONTINUITY-SEQUENCE:1", "#EXT-X-MAP:URI=\"init-00001.mp4\"",
      "seg-00002.m4s", "#EXT-X-DISCONTINUITY", "seg-00003.m4s"},
     {"seg-00001.m4s", "#EXT-X-PLAYLIST-TYPE:EVENT", "#EXT-X-ENDLIST"}},
};

TEST(HlsPlaylist, MediaPlaylist) {
    for (const Case& c : kCases) {
        // Each segment names the init segment in force, as the output does.
        std::vector<PlaylistSegment> segments = c.segments;
        for (std::size_t i = 1; i < segments.size(); ++i)
            if (!segments[i].newInit)
                segments[i].initUri = segments[i - 1].initUri;
        std::string text;
        if (c.window == 0) {
            // The EVENT playlist's file as its appends leave it.
            MediaPlaylist playlist(c.target, c.independent);
            for (const PlaylistSegment& s : segments) {
                std::string appended;
                playlist.Add(s, appended);
                text += appended;
            }
            text += c.ended ? MediaPlaylist::EndText() : "";
        } else {
            mp4::LivePlaylist playlist(c.target, c.independent, c.window);
            for (const PlaylistSegment& s : segments)
                playlist.Add(s);
            text = playlist.Text(c.ended);
        }
        std::size_t at = 0;
        for (const std::string& line : c.lines) {
            const std::size_t found = text.find(line + "\n", at);
            ASSERT_NE(found, std::string::npos) << c.name << ": no " << line << " after " << at << " in\n" << text;
            at = found + line.size();
        }
        for (const std::string& line : c.absent)
            EXPECT_EQ(text.find(line + "\n"), std::string::npos) << c.name << ": " << line;
    }
}

// VIDEO-RANGE of the master playlist, from the VUI's transfer_characteristics:
// SMPTE ST 2084, ARIB STD-B67, BT.709, BT.2020 10-bit, unspecified.
TEST(HlsPlaylist, MasterPlaylistVideoRange) {
    const std::pair<unsigned, const char*> kRanges[] = {{16, "PQ"}, {18, "HLG"}, {1, "SDR"}, {14, "SDR"}, {2, "SDR"}};
    for (const auto& c : kRanges) {
        mp4::StreamInfo info;
        info.codecs = "hvc1.2.4.L93.B0";
        info.uri = "index.m3u8";
        info.transferCharacteristics = c.first;
        const std::string text = mp4::MasterPlaylistText(info);
        const std::string line = std::string("CODECS=\"hvc1.2.4.L93.B0\",VIDEO-RANGE=") + c.second + "\nindex.m3u8\n";
        EXPECT_NE(text.find(line), std::string::npos) << c.first << ":\n" << text;
    }
}

} // namespace
