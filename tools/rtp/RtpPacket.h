// One RTP packet (RFC 3550 5.1) read from the caller's buffer: the fixed
// header, the CSRC list and the header extension skipped, the padding taken
// off the end. The payload is a view into the caller's bytes; nothing is
// copied and nothing past `size` is ever read, since packets come from the
// network.
#ifndef RTP_RTP_PACKET_H
#define RTP_RTP_PACKET_H

#include <cstddef>
#include <cstdint>

namespace rtp {

enum class PacketError {
    kNone,
    kShorterThanHeader,   // fewer than the 12 bytes of the fixed header
    kVersion,             // V is not 2
    kCsrcListTruncated,   // CC names more CSRCs than the packet holds
    kExtensionTruncated,  // X set, but the extension header or its words run past the end
    kPaddingZero,         // P set with a last byte of 0
    kPaddingTooLong,      // the padding count runs into the header
    kLongerThanAnyPacket, // over 65535 bytes, more than UDP or a TCP interleaved frame carries
    // Not errors of the packet itself but of its place in the session; given
    // by a receiver (H265Depacketizer), never by ParseRtpPacket.
    kOtherSsrc,           // another source than the session's first packet
    kOtherPayloadType,    // another payload type than the session's
};

// A line for a message: "packet shorter than the 12-byte RTP header", ...
const char* PacketErrorText(PacketError error);

struct RtpPacket {
    bool marker = false;
    std::uint8_t payloadType = 0;
    std::uint16_t sequenceNumber = 0;
    std::uint32_t timestamp = 0;
    std::uint32_t ssrc = 0;
    std::uint8_t csrcCount = 0;
    bool hasExtension = false;
    std::uint16_t extensionProfile = 0;
    // Bytes of padding taken off the end, the count byte included.
    std::uint8_t paddingBytes = 0;
    // The payload: between the header (with CSRCs and extension) and the
    // padding. May be empty.
    const std::uint8_t* payload = nullptr;
    std::size_t payloadSize = 0;
};

// Reads `data[0 .. size)` into `packet`. On an error, `packet` is unspecified.
PacketError ParseRtpPacket(const std::uint8_t* data, std::size_t size, RtpPacket& packet);

}  // namespace rtp

#endif
