// RTP input end to end, as the recorder reads a camera over TCP: the input
// after two bytes is the RTSP connection's bytes, fed in chunks of the size
// the second byte gives to the RTSP client's interleaved reader, which tells
// '$' frames from responses (taken and let go, as the client does between
// requests) and garbage; frames of channel 0 go to the H.265 depacketizer as
// RTP packets (channel 1, RTCP, is ignored). A response that cannot be read
// ends the connection, as it ends the client's. The first byte chooses the session:
// DONs carried or not, the reorder buffer's size and time window, small or
// large limits. Checked:
//   - every access unit begins with a 4-byte start code and a NAL unit
//     header of the base layer with forbidden_zero_bit 0 and a TemporalId,
//     and stays within the access unit limit;
//   - the counters agree with what came in and went out: each frame of
//     channel 0 is a packet received or rejected, each access unit passed on
//     is counted;
//   - the frame held is within one frame's 65535 bytes, the reorder buffer
//     within its packets, and after Flush nothing is held.
#include "FuzzSupport.h"

#include "H265Depacketizer.h"
#include "InterleavedReader.h"

namespace {

struct Checker : rtp::AccessUnitSink, rtsp::InterleavedSink {
    rtp::H265Depacketizer* depacketizer = nullptr;
    std::size_t maxAccessUnitBytes = 0;
    std::uint64_t units = 0;
    std::uint64_t rtpFrames = 0;

    void OnAccessUnit(const rtp::AccessUnit& unit) override {
        FUZZ_CHECK(unit.size >= 6 && unit.size <= maxAccessUnitBytes);
        FUZZ_CHECK(unit.data[0] == 0 && unit.data[1] == 0 && unit.data[2] == 0 && unit.data[3] == 1);
        const std::uint8_t* header = unit.data + 4;
        FUZZ_CHECK((header[0] & 0x80) == 0);
        FUZZ_CHECK((header[0] & 1) == 0 && (header[1] >> 3) == 0);
        FUZZ_CHECK((header[1] & 7) != 0);
        ++units;
    }
    void OnFrame(std::uint8_t channel, const std::uint8_t* data, std::size_t size) override {
        if (channel != 0)
            return;
        ++rtpFrames;
        // An exact copy: a read past the frame shows under AddressSanitizer.
        ExactBuffer packet(data, size);
        depacketizer->Push(packet.data(), packet.size());
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2)
        return 0;
    const std::uint8_t session = data[0];
    const std::size_t chunk = 1 + data[1];
    Take(&data, &size, 2);

    rtp::DepacketizerOptions options;
    options.maxDonDiff = (session & 3) == 3 ? 2 : 0;
    options.reorderPackets = 1 + ((session >> 2) & 7) * 3;
    options.reorderTicks = (session & 0x20) ? 3000 : 45000;
    options.maxAccessUnitBytes = (session & 0x40) ? 2048 : 8u << 20;
    options.maxNalUnitBytes = (session & 0x80) ? 300 : 4u << 20;
    options.decodingOrderUnits = 16;

    Checker checker;
    checker.maxAccessUnitBytes = options.maxAccessUnitBytes;
    rtp::H265Depacketizer depacketizer(checker, options);
    checker.depacketizer = &depacketizer;
    rtsp::InterleavedReader reader(1);
    std::uint64_t given = 0;
    while (size > 0 && !reader.failed()) {
        const std::size_t n = size < chunk ? size : chunk;
        ExactBuffer piece(data, n);
        std::size_t used = 0;
        while (used < n && !reader.failed()) {
            used += reader.Consume(piece.data() + used, n - used, checker);
            FUZZ_CHECK(used <= n);
            if (reader.hasResponse())
                reader.TakeResponse();
            else
                FUZZ_CHECK(used == n || reader.failed());
        }
        given += used;
        Take(&data, &size, n);
    }
    reader.Idle(checker);
    FUZZ_CHECK(reader.bytesExamined() <= 8 * given + 64);
    depacketizer.Flush();
    const rtp::DepacketizerCounters& counters = depacketizer.counters();
    FUZZ_CHECK(counters.packetsReceived + counters.packetsRejected == checker.rtpFrames);
    FUZZ_CHECK(counters.accessUnitsOut == checker.units);
    return 0;
}
