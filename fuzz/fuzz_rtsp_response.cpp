// What an RTSP server sends on the control connection: the input after two
// bytes is the connection's bytes, read by the interleaved reader once
// whole and once in chunks of the size the first byte gives (each chunk an
// exact copy, so that a read past it shows); the second byte gives the
// session's highest channel. Each response goes on to the readers of what
// it carries: the SDP of a 200 with a body, Transport, Session,
// WWW-Authenticate (answered); each frame of channel 1 to the RTCP reader.
// Checked:
//   - how the bytes are cut changes nothing: the same frames, responses,
//     skipped bytes and error, in the same order;
//   - frames are of a session channel, 4 to 65535 bytes, RTP version 2;
//   - responses keep their bounds (status 100..599, at most 64 headers,
//     the body of Content-Length at most 64 KiB);
//   - what the readers give back is within its ranges, and no Authorization
//     header holds a CR or LF a server could have slipped in.
#include "FuzzSupport.h"

#include <string>

#include "Authentication.h"
#include "InterleavedReader.h"
#include "RtcpPacket.h"
#include "Sdp.h"
#include "SessionHeader.h"
#include "TransportHeader.h"

namespace {

// A running digest of the events, so that two readings can be compared
// without keeping them.
struct Events : rtsp::InterleavedSink {
    std::uint8_t maxChannel = 1;
    std::uint64_t digest = 14695981039346656037ull;
    std::uint64_t count = 0;

    void Mix(std::uint64_t value) {
        digest = (digest ^ value) * 1099511628211ull;
        ++count;
    }
    void OnFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size) override {
        FUZZ_CHECK(channel <= maxChannel && size >= 4 && size <= 65535 && (data[0] >> 6) == 2);
        ExactBuffer frame(data, size);
        Mix(channel);
        Mix(size);
        for (std::size_t i = 0; i < size; ++i)
            Mix(frame.data()[i]);
        if (channel == 1) {
            rtsp::SenderReport report;
            rtsp::FindSenderReport(frame.data(), frame.size(), report);
        }
    }
    void OnResponse(const rtsp::RtspResponse& response);
};

void Events::OnResponse(const rtsp::RtspResponse& response) {
    FUZZ_CHECK(response.status >= 100 && response.status <= 599);
    FUZZ_CHECK(response.headers.size() <= rtsp::kMaxHeaders && response.body.size() <= rtsp::kMaxBodyBytes);
    const std::string* length = response.Find("Content-Length");
    FUZZ_CHECK(length ? std::strtoul(length->c_str(), nullptr, 10) == response.body.size() : response.body.empty());
    Mix(0x100 + static_cast<std::uint64_t>(response.status));
    Mix(response.headers.size());
    for (std::size_t i = 0; i < response.body.size(); ++i)
        Mix(static_cast<std::uint8_t>(response.body[i]));

    if (response.status == 200 && !response.body.empty()) {
        ExactBuffer body(reinterpret_cast<const std::uint8_t*>(response.body.data()), response.body.size());
        rtsp::H265Media media;
        std::string error;
        if (rtsp::ParseSdp(reinterpret_cast<const char*>(body.data()), body.size(), "rtsp://cam:554/live/", media,
                           error)) {
            FUZZ_CHECK(media.payloadType >= 0 && media.payloadType <= 127);
            FUZZ_CHECK(media.maxDonDiff <= 32767 && media.depackBufNalus <= 32767);
        } else {
            FUZZ_CHECK(!error.empty());
        }
    }
    if (const std::string* value = response.Find("Transport")) {
        rtsp::Transport t;
        if (rtsp::ParseTransport(*value, t)) {
            FUZZ_CHECK(t.interleaved[0] <= 255 && t.interleaved[1] <= 255);
            FUZZ_CHECK(t.serverPort[0] <= 65535 && t.serverPort[1] <= 65535);
        }
    }
    if (const std::string* value = response.Find("Session")) {
        std::string id;
        unsigned timeout = 0;
        if (rtsp::ParseSession(*value, id, timeout))
            FUZZ_CHECK(!id.empty() && id.find_first_of(" ;\r\n") == std::string::npos);
        FUZZ_CHECK(timeout > 0);
    }
    const std::vector<std::string> challenges = response.FindAll("WWW-Authenticate");
    if (!challenges.empty()) {
        rtsp::Authenticator authenticator("user", "password");
        std::string error;
        if (authenticator.Challenge(challenges, error)) {
            for (int i = 0; i < 2; ++i) {
                const std::string header = authenticator.Authorization("DESCRIBE", "rtsp://cam:554/live");
                FUZZ_CHECK(!header.empty() && header.find_first_of("\r\n") == std::string::npos);
            }
        }
    }
}

// Reads the connection in pieces of `chunk` bytes (all at once when 0) and
// returns whether it ended on an error.
bool Read(const std::uint8_t* data, std::size_t size, std::size_t chunk, Events& events, std::uint64_t& skipped) {
    rtsp::InterleavedReader reader(events.maxChannel);
    bool failed = false;
    for (std::size_t at = 0; at < size && !failed;) {
        const std::size_t n = chunk == 0 || size - at < chunk ? size - at : chunk;
        ExactBuffer piece(data + at, n);
        std::size_t used = 0;
        while (used < n && !failed) {
            used += reader.Consume(piece.data() + used, n - used, events);
            FUZZ_CHECK(used <= n);
            if (reader.failed()) {
                failed = true;
                events.Mix(0xE0000000u + reader.error().size());
            } else if (reader.hasResponse()) {
                events.OnResponse(reader.response());
                reader.TakeResponse();
            }
        }
        at += n;
    }
    if (!failed)
        reader.Idle(events);
    skipped = reader.bytesSkipped();
    return failed;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const std::size_t chunk = 1 + data[0];
    const std::uint8_t maxChannel = data[1] & 3;
    Take(&data, &size, 2);
    Events whole, cut;
    whole.maxChannel = cut.maxChannel = maxChannel;
    std::uint64_t skippedWhole = 0, skippedCut = 0;
    const bool failedWhole = Read(data, size, 0, whole, skippedWhole);
    const bool failedCut = Read(data, size, chunk, cut, skippedCut);
    FUZZ_CHECK(failedWhole == failedCut && whole.count == cut.count && whole.digest == cut.digest);
    FUZZ_CHECK(skippedWhole == skippedCut && skippedWhole <= size);
    return 0;
}
