// The media playlist of RFC 8216 as h265split keeps it: each case adds
// segments and names lines its text must hold, in order.
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "HlsPlaylist.h"

namespace {

using mp4::MediaPlaylist;
using mp4::PlaylistSegment;

PlaylistSegment Segment(const char* uri, double seconds, const char* init = nullptr) {
    PlaylistSegment s;
    s.uri = uri;
    s.seconds = seconds;
    s.newInit = init != nullptr;
    s.initUri = init ? init : "";
    return s;
}

struct Case {
    const char* name;
    unsigned target;
    std::vector<PlaylistSegment> segments;
    bool ended;
    bool independent;
    std::vector<std::string> lines; // in this order, others may come between
    std::vector<std::string> absent;
};

const Case kCases[] = {
    {"recording",
     2,
     {Segment("seg-00000.m4s", 2.0, "init.mp4"), Segment("seg-00001.m4s", 1.96)},
     false,
     true,
     {"#EXTM3U", "#EXT-X-VERSION:7", "#EXT-X-TARGETDURATION:2", "#EXT-X-PLAYLIST-TYPE:EVENT",
      "#EXT-X-INDEPENDENT-SEGMENTS", "#EXT-X-MAP:URI=\"init.mp4\"", "#EXTINF:2.000,", "seg-00000.m4s",
      "#EXTINF:1.960,", "seg-00001.m4s"},
     {"#EXT-X-ENDLIST", "#EXT-X-DISCONTINUITY"}},
    {"ended", 2, {Segment("seg-00000.m4s", 0.48, "init.mp4")}, true, true, {"seg-00000.m4s", "#EXT-X-ENDLIST"}, {}},
    {"new init segment",
     2,
     {Segment("seg-00000.m4s", 2.0, "init.mp4"), Segment("seg-00001.m4s", 2.0, "init-00001.mp4")},
     true,
     true,
     {"#EXT-X-MAP:URI=\"init.mp4\"", "seg-00000.m4s", "#EXT-X-DISCONTINUITY", "#EXT-X-MAP:URI=\"init-00001.mp4\"",
      "seg-00001.m4s"},
     {}},
    // RFC 8216 6.2.1: the target never changes, also when a segment's rounded
    // duration exceeds it (Add says so).
    {"a long segment keeps the target", 2, {Segment("seg-00000.m4s", 2.5, "init.mp4")}, true, true,
     {"#EXT-X-TARGETDURATION:2", "#EXTINF:2.500,"}, {"#EXT-X-TARGETDURATION:3"}},
    {"2.49 s stays within 2", 2, {Segment("seg-00000.m4s", 2.49, "init.mp4")}, true, true,
     {"#EXT-X-TARGETDURATION:2", "#EXTINF:2.490,"}, {}},
    // Kept RASL pictures need the segment before: no independence claimed.
    {"kept RASL pictures", 2, {Segment("seg-00000.m4s", 2.0, "init.mp4")}, true, false,
     {"#EXT-X-MAP:URI=\"init.mp4\"", "#EXT-X-ENDLIST"}, {"#EXT-X-INDEPENDENT-SEGMENTS"}},
};

TEST(HlsPlaylist, MediaPlaylist) {
    for (const Case& c : kCases) {
        MediaPlaylist playlist(c.target, c.independent);
        for (const PlaylistSegment& s : c.segments)
            playlist.Add(s);
        const std::string text = playlist.Text(c.ended);
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
