// Responses read from the control connection: the parser's limits, and the
// interleaved reader telling frames from responses and garbage however the
// connection cuts the bytes.
#include "RtspResponse.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "InterleavedReader.h"

namespace {

using namespace std::string_literals;

std::string Repeat(char c, std::size_t n) { return std::string(n, c); }

struct ParseCase {
    const char* name;
    std::string bytes;
    rtsp::RtspResponseParser::State state;
    int status;
    std::size_t used;       // bytes the parser takes
    std::string expect;     // "Name=value|..." of the headers then "#body", or the error's beginning
};

const ParseCase kParseCases[] = {
    {"status and headers", "RTSP/1.0 200 OK\r\nCSeq: 3\r\nPublic:  OPTIONS, PLAY \r\n\r\nnext",
     rtsp::RtspResponseParser::State::kComplete, 200, 53, "CSeq=3|Public=OPTIONS, PLAY|#"},
    {"body with '$' and CRLF inside", "RTSP/1.0 200 OK\r\nContent-Length: 6\r\n\r\n$\0\0\r\n!more"s,
     rtsp::RtspResponseParser::State::kComplete, 200, 44, "Content-Length=6|#$\0\0\r\n!"s},
    {"bare LF, empty reason, folded header", "RTSP/1.0 454\nSession: 12\n ;timeout=5\n\n",
     rtsp::RtspResponseParser::State::kComplete, 454, 38, "Session=12 ;timeout=5|#"},
    {"not yet ended", "RTSP/1.0 200 OK\r\nCSeq: 1\r\n", rtsp::RtspResponseParser::State::kIncomplete, 200, 26, ""},
    {"RTSP 2.0", "RTSP/2.0 200 OK\r\n", rtsp::RtspResponseParser::State::kError, 0, 17, "a response of RTSP version 2.0"},
    {"no status code", "RTSP/1.0 OK\r\n", rtsp::RtspResponseParser::State::kError, 0, 13, "a status line without"},
    {"status 99", "RTSP/1.0 099 X\r\n", rtsp::RtspResponseParser::State::kError, 0, 16, "a status line without"},
    {"header without colon", "RTSP/1.0 200 OK\r\nCSeq 1\r\n", rtsp::RtspResponseParser::State::kError, 200, 25,
     "a header line without"},
    {"two Content-Lengths", "RTSP/1.0 200 OK\r\nContent-Length: 1\r\nContent-Length: 2\r\n\r\n",
     rtsp::RtspResponseParser::State::kError, 200, 57, "a Content-Length that"},
    {"negative Content-Length", "RTSP/1.0 200 OK\r\nContent-Length: -1\r\n\r\n", rtsp::RtspResponseParser::State::kError,
     200, 39, "a Content-Length that"},
    {"body over 64 KiB", "RTSP/1.0 200 OK\r\nContent-Length: 65537\r\n\r\n", rtsp::RtspResponseParser::State::kError,
     200, 42, "a body of 65537 bytes"},
    {"body of 64 KiB", "RTSP/1.0 200 OK\r\nContent-Length: 65536\r\n\r\n" + Repeat('x', 65536),
     rtsp::RtspResponseParser::State::kComplete, 200, 42 + 65536, "Content-Length=65536|#" },
    {"header line of 4096", "RTSP/1.0 200 OK\r\nX: " + Repeat('a', 4093) + "\r\n\r\n",
     rtsp::RtspResponseParser::State::kComplete, 200, 17 + 4098 + 2, ""},
    {"header line of 4097", "RTSP/1.0 200 OK\r\nX: " + Repeat('a', 4094) + "\r\n\r\n",
     rtsp::RtspResponseParser::State::kError, 200, 17 + 4098, "a header line over 4096"},
    {"endless status line", "RTSP/1.0 200 " + Repeat('a', 5000), rtsp::RtspResponseParser::State::kError, 0, 5013,
     "a status line over 4096"},
};

std::string Describe(const rtsp::RtspResponse& response, bool withBody) {
    std::string text;
    for (const auto& header : response.headers)
        text += header.first + "=" + header.second + "|";
    return text + "#" + (withBody ? response.body : "");
}

TEST(RtspResponseParser, ReadsWithinBounds) {
    for (const ParseCase& c : kParseCases) {
        SCOPED_TRACE(c.name);
        rtsp::RtspResponseParser parser;
        const std::size_t used =
            parser.Feed(reinterpret_cast<const std::uint8_t*>(c.bytes.data()), c.bytes.size());
        ASSERT_EQ(parser.state(), c.state) << parser.error();
        EXPECT_EQ(used, c.used);
        EXPECT_EQ(parser.response().status, c.status);
        const std::string& expect = c.expect;
        if (c.state == rtsp::RtspResponseParser::State::kError) {
            EXPECT_EQ(parser.error().compare(0, expect.size(), expect), 0) << parser.error();
        } else if (!expect.empty()) {
            EXPECT_EQ(Describe(parser.response(), c.bytes.size() < 1000), expect);
        }
    }
}

TEST(RtspResponseParser, SixtyFiveHeadersAreTooMany) {
    std::string bytes = "RTSP/1.0 200 OK\r\n";
    for (int i = 0; i < 64; ++i)
        bytes += "X: 1\r\n";
    rtsp::RtspResponseParser parser;
    parser.Feed(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
    EXPECT_EQ(parser.state(), rtsp::RtspResponseParser::State::kIncomplete);
    parser.Feed(reinterpret_cast<const std::uint8_t*>("X: 1\r\n"), 6);
    EXPECT_EQ(parser.error(), "more than 64 headers");
}

// What the reader hands on, as text: "F<channel>:<size>/<last byte>" per
// frame, "R<status>:<body>" per response.
struct Recorder : rtsp::InterleavedSink {
    std::string events;
    void OnFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size) override {
        events += "F" + std::to_string(channel) + ":" + std::to_string(size) + "/" + static_cast<char>(data[size - 1]) + " ";
    }
};

std::string Frame(int channel, const std::string& payload) {
    return std::string("$") + static_cast<char>(channel) + static_cast<char>(payload.size() >> 8) +
           static_cast<char>(payload.size() & 255) + payload;
}

// Feeds `bytes` in pieces of `piece` bytes, taking responses as they end.
std::string Read(const std::string& bytes, std::size_t piece, std::uint64_t& skipped) {
    rtsp::InterleavedReader reader(1);
    Recorder recorder;
    for (std::size_t at = 0; at < bytes.size();) {
        const std::size_t n = bytes.size() - at < piece ? bytes.size() - at : piece;
        std::size_t used = 0;
        while (used < n) {
            used += reader.Consume(reinterpret_cast<const std::uint8_t*>(bytes.data() + at + used), n - used, recorder);
            if (reader.failed())
                return recorder.events + "error: " + reader.error();
            if (reader.hasResponse()) {
                recorder.events += "R" + std::to_string(reader.response().status) + ":" + reader.response().body + " ";
                reader.TakeResponse();
            }
        }
        at += n;
    }
    reader.Idle(recorder);
    skipped = reader.bytesSkipped();
    return recorder.events;
}

struct StreamCase {
    const char* name;
    std::string bytes;
    std::string events;
    std::uint64_t skipped;
};

const std::string kRtp = "\x80\x60"s + "rest-of-packet";  // 16 bytes, version 2
const std::string kRtcp = "\x80\xC8\x00\x06"s + Repeat('s', 23) + "r";

const StreamCase kStreamCases[] = {
    {"frames and a keep-alive answer between them",
     Frame(0, kRtp) + "RTSP/1.0 200 OK\r\nCSeq: 5\r\n\r\n" + Frame(1, kRtcp) + Frame(0, kRtp),
     "F0:16/t R200: F1:28/r F0:16/t ", 0},
    {"a body holding a whole frame's bytes",
     "RTSP/1.0 200 OK\r\nContent-Length: 20\r\n\r\n" + Frame(0, kRtp) + Frame(0, kRtp),
     "R200:" + Frame(0, kRtp) + " F0:16/t ", 0},
    {"garbage, a '$' of another channel, RTSP/ cut short",
     "xx$\x05\x00\x10"s + kRtp + "\nRTSQ\r\nRTSP/1.0 404 Not Found\r\n\r\n" + Frame(1, kRtcp),
     "R404: F1:28/r ", 2 + 4 + 16 + 7},
    {"a request of the server, its RTSP/ not at a line's start",
     "SET_PARAMETER rtsp://cam/ RTSP/1.0\r\nCSeq: 9\r\nContent-Length: 4\r\n\r\n$\x00\x10!"s + Frame(0, kRtp),
     "F0:16/t ", 70},
    {"'$' frames that are not RTP: too short, version 0",
     Frame(0, "\x80\x60\x00"s) + Frame(0, "\x00\x60\x00\x00\x00"s) + Frame(0, kRtp), "F0:16/t ", 7 + 9},
    {"a '$' inside a frame header's length", "$\x00$"s + Frame(0, kRtp), "F0:16/t ", 3},
    {"garbage that looks like a frame header long enough to swallow the frames after it",
     "$\x00\x00\x20\x80xyz"s + Frame(0, kRtp) + Frame(0, kRtp), "F0:16/t F0:16/t ", 8},
    {"garbage right after a frame", Frame(0, kRtp) + "xx" + Frame(1, kRtcp), "F0:16/t F1:28/r ", 2},
    {"a response that cannot be read", Frame(0, kRtp) + "RTSP/1.0 abc\r\n" + Frame(0, kRtp),
     "F0:16/t error: a status line without a status code from 100 to 599", 0},
};

TEST(InterleavedReader, SameEventsHoweverCut) {
    for (const StreamCase& c : kStreamCases) {
        SCOPED_TRACE(c.name);
        for (std::size_t piece = 1; piece <= c.bytes.size(); ++piece) {
            std::uint64_t skipped = 0;
            ASSERT_EQ(Read(c.bytes, piece, skipped), c.events) << "in pieces of " << piece;
            if (c.events.find("error") == std::string::npos) {
                ASSERT_EQ(skipped, c.skipped) << "in pieces of " << piece;
            }
        }
    }
}

}  // namespace

// Garbage made of what passes for frame headers, each long enough to hide
// the next: every one is held, found to hide another and read again. The
// bytes looked at stay a small multiple of the bytes given, as for any
// garbage (a reader that copies each held frame again looks at 64 KiB per
// header).
struct GarbageCase {
    const char* name;
    std::string pattern;  // repeated to 4 MB
};

const GarbageCase kGarbageCases[] = {
    {"longest frame headers, one every 5 bytes", "$\x00\xff\xff\x80"s},
    {"frame headers of both channels, one every 7 bytes", "$\x01\xff\xf0\x80\x00\x00$\x00\x80\x00\x80\x01\x02"s},
    {"a header hidden far inside each", "$\x00\xff\xff\x80"s + Repeat('\x80', 4000)},
    {"random bytes", ""},
};

TEST(InterleavedReader, GarbageOfFrameHeadersCostsLinearWork) {
    const std::size_t kBytes = 4u << 20;
    for (const GarbageCase& c : kGarbageCases) {
        SCOPED_TRACE(c.name);
        std::string bytes;
        bytes.reserve(kBytes);
        std::uint32_t random = 1;
        while (bytes.size() < kBytes) {
            if (c.pattern.empty()) {
                random = random * 1103515245u + 12345u;
                bytes += static_cast<char>(random >> 24);
            } else {
                bytes += c.pattern;
            }
        }
        rtsp::InterleavedReader reader(1);
        Recorder recorder;
        for (std::size_t at = 0; at < bytes.size(); at += 1400) {
            const std::size_t n = bytes.size() - at < 1400 ? bytes.size() - at : 1400;
            ASSERT_EQ(reader.Consume(reinterpret_cast<const std::uint8_t*>(bytes.data() + at), n, recorder), n);
        }
        EXPECT_LE(reader.bytesExamined(), 8 * bytes.size());
    }
}
