// The media playlist of RFC 8216 as h265split keeps it: each case adds
// segments and names lines its text must hold, in order.
#include <algorithm>
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

// A live playlist that a resumed run goes on with: read back from the text
// the earlier run published, it must give every segment the media sequence
// number and discontinuity sequence number it had (RFC 8216 6.2.1, 6.2.2),
// as if the run had not stopped. Each case adds `segments`, publishes the
// text after `restartAfter` of them, and continues it in a playlist of
// `window` segments (the next run's --live).
struct ContinueCase {
    const char* name;
    std::size_t window;
    std::vector<PlaylistSegment> segments;
    std::size_t restartAfter;
    std::size_t newWindow;
    std::uint64_t mediaSequence; // of the continued playlist at the end
    std::uint64_t discontinuitySequence;
};

const ContinueCase kContinueCases[] = {
    {"window full", 3,
     {Segment("seg-00000.m4s", 2.0, "init.mp4"), Segment("seg-00001.m4s", 2.0), Segment("seg-00002.m4s", 2.0),
      Segment("seg-00003.m4s", 2.0, nullptr, -1, true), Segment("seg-00004.m4s", 2.0), Segment("seg-00006.m4s", 2.0),
      Segment("seg-00007.m4s", 2.0), Segment("seg-00008.m4s", 2.0)},
     5, 3, 5, 1},
    {"window not yet full", 6,
     {Segment("seg-00000.m4s", 2.0, "init.mp4", 1765202580000LL), Segment("seg-00001.m4s", 2.0, nullptr, 1765202582000LL),
      Segment("seg-00003.m4s", 2.0, nullptr, 1765202590000LL, true)},
     2, 6, 0, 0},
    // A new init segment leaves the window: its discontinuity is counted
    // once, before and after the restart.
    {"a new init segment leaves", 2,
     {Segment("seg-00000.m4s", 2.0, "init.mp4"), Segment("seg-00001.m4s", 2.0, "init-00001.mp4"),
      Segment("seg-00002.m4s", 2.0), Segment("seg-00004.m4s", 2.0, "init-00004.mp4", -1, true),
      Segment("seg-00005.m4s", 2.0), Segment("seg-00006.m4s", 2.0), Segment("seg-00007.m4s", 2.0)},
     3, 2, 5, 2},
    // The window's first segment brought a new init segment: after the
    // restart it stays a discontinuity.
    {"the first one's init segment is new", 2,
     {Segment("seg-00000.m4s", 2.0, "init.mp4"), Segment("seg-00001.m4s", 2.0, "init-00001.mp4"),
      Segment("seg-00002.m4s", 2.0), Segment("seg-00003.m4s", 2.0)},
     2, 2, 2, 1},
    // The next run keeps fewer segments: the numbers still go on.
    {"a smaller window", 4,
     {Segment("seg-00000.m4s", 2.0, "init.mp4"), Segment("seg-00001.m4s", 2.0), Segment("seg-00002.m4s", 2.0),
      Segment("seg-00003.m4s", 2.0, nullptr, -1, true), Segment("seg-00004.m4s", 2.0), Segment("seg-00006.m4s", 2.0)},
     5, 2, 4, 1},
};

TEST(HlsPlaylist, LivePlaylistContinues) {
    for (const ContinueCase& c : kContinueCases) {
        std::vector<PlaylistSegment> segments = c.segments;
        for (std::size_t i = 1; i < segments.size(); ++i)
            if (!segments[i].newInit)
                segments[i].initUri = segments[i - 1].initUri;
        mp4::LivePlaylist before(2, true, c.window);
        for (std::size_t i = 0; i < c.restartAfter; ++i)
            before.Add(segments[i]);
        const mp4::MediaPlaylistContents read = mp4::ReadMediaPlaylist(before.Text(false));
        ASSERT_TRUE(read.valid) << c.name;
        EXPECT_EQ(read.targetDuration, 2u) << c.name;
        EXPECT_TRUE(read.independent) << c.name;
        mp4::LivePlaylist after(read.targetDuration, read.independent, c.newWindow);
        after.ContinueFrom(read.mediaSequence, read.discontinuitySequence, read.segments);
        // The same playlist as one that never stopped.
        mp4::LivePlaylist whole(2, true, c.window);
        for (std::size_t i = 0; i < c.restartAfter; ++i)
            whole.Add(segments[i]);
        if (c.newWindow == c.window) {
            EXPECT_EQ(after.Text(false), whole.Text(false)) << c.name;
        }
        std::uint64_t media = after.mediaSequence(), discontinuities = after.discontinuitySequence();
        EXPECT_GE(media, read.mediaSequence) << c.name;
        EXPECT_GE(discontinuities, read.discontinuitySequence) << c.name;
        for (std::size_t i = c.restartAfter; i < segments.size(); ++i) {
            after.Add(segments[i]);
            whole.Add(segments[i]);
            EXPECT_GE(after.mediaSequence(), media) << c.name << " at " << segments[i].uri;
            EXPECT_GE(after.discontinuitySequence(), discontinuities) << c.name << " at " << segments[i].uri;
            media = after.mediaSequence();
            discontinuities = after.discontinuitySequence();
            if (c.newWindow == c.window) {
                EXPECT_EQ(after.Text(i + 1 == segments.size()), whole.Text(i + 1 == segments.size()))
                    << c.name << " at " << segments[i].uri;
            }
        }
        EXPECT_EQ(media, c.mediaSequence) << c.name;
        EXPECT_EQ(discontinuities, c.discontinuitySequence) << c.name;
        // Each segment's media sequence number is its place in the recording.
        const mp4::MediaPlaylistContents last = mp4::ReadMediaPlaylist(after.Text(true));
        ASSERT_EQ(last.segments.size(), std::min(c.newWindow, segments.size())) << c.name;
        EXPECT_EQ(last.segments.front().uri, segments[segments.size() - last.segments.size()].uri) << c.name;
        EXPECT_EQ(last.mediaSequence, segments.size() - last.segments.size()) << c.name;
        EXPECT_TRUE(last.ended) << c.name;
    }
}

// What a media playlist read back says of each segment: a first
// #EXT-X-MAP is a change of init segment only at the recording's start or
// after #EXT-X-DISCONTINUITY.
struct ReadCase {
    const char* name;
    const char* text;
    std::uint64_t mediaSequence;
    std::uint64_t discontinuitySequence;
    std::vector<std::string> uris;
    std::vector<bool> newInit;
    std::vector<bool> discontinuity;
    std::int64_t firstUtc; // -1: none
};

const ReadCase kReadCases[] = {
    {"a chapter's playlist",
     "#EXTM3U\n#EXT-X-VERSION:7\n#EXT-X-TARGETDURATION:2\n#EXT-X-MEDIA-SEQUENCE:14\n#EXT-X-PLAYLIST-TYPE:EVENT\n"
     "#EXT-X-MAP:URI=\"init.mp4\"\n#EXT-X-PROGRAM-DATE-TIME:2025-12-08T14:03:00.250Z\n#EXTINF:2.000,\nseg-00014.m4s\n"
     "#EXT-X-DISCONTINUITY\n#EXT-X-MAP:URI=\"init-00015.mp4\"\n#EXTINF:1.960,\nseg-00015.m4s\n"
     "#EXT-X-DISCONTINUITY\n#EXTINF:1.000,\nseg-00017.m4s\n#EXT-X-ENDLIST\n",
     14, 0, {"seg-00014.m4s", "seg-00015.m4s", "seg-00017.m4s"}, {false, true, false}, {false, true, true},
     1765202580250LL},
    {"the recording's start", "#EXTM3U\n#EXT-X-TARGETDURATION:2\n#EXT-X-MAP:URI=\"init.mp4\"\n#EXTINF:2.000,\nseg-00000.m4s\n",
     0, 0, {"seg-00000.m4s"}, {true}, {false}, -1},
    {"a live window after a change, cut short", "#EXTM3U\n#EXT-X-MEDIA-SEQUENCE:7\n#EXT-X-DISCONTINUITY-SEQUENCE:3\n"
     "#EXT-X-DISCONTINUITY\n#EXT-X-MAP:URI=\"init-00009.mp4\"\n#EXTINF:2.000,\nseg-00009.m4s\n#EXTINF:2.000,\nseg-0001",
     7, 3, {"seg-00009.m4s"}, {true}, {true}, -1},
};

TEST(HlsPlaylist, ReadMediaPlaylist) {
    for (const ReadCase& c : kReadCases) {
        const mp4::MediaPlaylistContents read = mp4::ReadMediaPlaylist(c.text);
        EXPECT_TRUE(read.valid) << c.name;
        EXPECT_EQ(read.mediaSequence, c.mediaSequence) << c.name;
        EXPECT_EQ(read.discontinuitySequence, c.discontinuitySequence) << c.name;
        ASSERT_EQ(read.segments.size(), c.uris.size()) << c.name;
        for (std::size_t i = 0; i < c.uris.size(); ++i) {
            EXPECT_EQ(read.segments[i].uri, c.uris[i]) << c.name;
            EXPECT_EQ(read.segments[i].newInit, c.newInit[i]) << c.name << " " << c.uris[i];
            EXPECT_EQ(read.segments[i].discontinuity, c.discontinuity[i]) << c.name << " " << c.uris[i];
        }
        EXPECT_EQ(read.segments[0].haveUtc, c.firstUtc >= 0) << c.name;
        if (c.firstUtc >= 0) {
            EXPECT_EQ(read.segments[0].utcMillis, c.firstUtc) << c.name;
        }
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
