#include "RtpPacket.h"

namespace rtp {

namespace {

const std::size_t kFixedHeaderBytes = 12;
const std::size_t kMaxPacketBytes = 65535;

std::uint16_t Read16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

std::uint32_t Read32(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | p[3];
}

}  // namespace

const char* PacketErrorText(PacketError error) {
    switch (error) {
    case PacketError::kNone:
        return "no error";
    case PacketError::kShorterThanHeader:
        return "packet shorter than the 12-byte RTP header";
    case PacketError::kVersion:
        return "RTP version is not 2";
    case PacketError::kCsrcListTruncated:
        return "CSRC list runs past the end of the packet";
    case PacketError::kExtensionTruncated:
        return "header extension runs past the end of the packet";
    case PacketError::kPaddingZero:
        return "padding flag set with a padding count of 0";
    case PacketError::kPaddingTooLong:
        return "padding count runs into the RTP header";
    case PacketError::kLongerThanAnyPacket:
        return "packet longer than 65535 bytes";
    case PacketError::kOtherSsrc:
        return "packet of another SSRC than the session's";
    case PacketError::kOtherPayloadType:
        return "packet of another payload type than the session's";
    }
    return "unknown error";
}

PacketError ParseRtpPacket(const std::uint8_t* data, std::size_t size, RtpPacket& packet) {
    if (size < kFixedHeaderBytes)
        return PacketError::kShorterThanHeader;
    if (size > kMaxPacketBytes)
        return PacketError::kLongerThanAnyPacket;
    if ((data[0] >> 6) != 2)
        return PacketError::kVersion;
    const bool padding = (data[0] & 0x20) != 0;
    packet.hasExtension = (data[0] & 0x10) != 0;
    packet.csrcCount = data[0] & 0x0F;
    packet.marker = (data[1] & 0x80) != 0;
    packet.payloadType = data[1] & 0x7F;
    packet.sequenceNumber = Read16(data + 2);
    packet.timestamp = Read32(data + 4);
    packet.ssrc = Read32(data + 8);

    // Every offset below is compared with `size` before it is read at.
    std::size_t at = kFixedHeaderBytes + 4u * packet.csrcCount;
    if (at > size)
        return PacketError::kCsrcListTruncated;
    packet.extensionProfile = 0;
    if (packet.hasExtension) {
        if (size - at < 4)
            return PacketError::kExtensionTruncated;
        packet.extensionProfile = Read16(data + at);
        const std::size_t words = Read16(data + at + 2);
        at += 4;
        if (size - at < 4 * words)
            return PacketError::kExtensionTruncated;
        at += 4 * words;
    }
    std::size_t end = size;
    packet.paddingBytes = 0;
    if (padding) {
        const std::uint8_t count = data[size - 1];
        if (count == 0)
            return PacketError::kPaddingZero;
        if (count > size - at)
            return PacketError::kPaddingTooLong;
        packet.paddingBytes = count;
        end -= count;
    }
    packet.payload = data + at;
    packet.payloadSize = end - at;
    return PacketError::kNone;
}

}  // namespace rtp
