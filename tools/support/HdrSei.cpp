#include "HdrSei.h"

#include <string>

#include "RbspBits.h"

namespace h265tools {

namespace {

const int kPrefixSeiNut = 39;
const std::uint64_t kMasteringDisplayColourVolume = 137;
const std::uint64_t kContentLightLevelInfo = 144;
const std::uint64_t kMasteringDisplayBytes = 24;
const std::uint64_t kContentLightLevelBytes = 4;

void CheckPayloadSize(const char* name, std::uint64_t payloadSize, std::uint64_t needed) {
    if (payloadSize < needed)
        throw SyntaxError(std::string(name) + " payloadSize " + std::to_string(payloadSize) + " is below " +
                          std::to_string(needed));
}

// D.2.28 Mastering display colour volume SEI message syntax
void ReadMasteringDisplayColourVolume(RbspBits& bits, HdrSei& sei) {
    for (int c = 0; c < 3; c++) {
        sei.display_primaries_x[c] = bits.u(16, "display_primaries_x");                      // u(16)
        sei.display_primaries_y[c] = bits.u(16, "display_primaries_y");                      // u(16)
    }
    sei.white_point_x = bits.u(16, "white_point_x");                                          // u(16)
    sei.white_point_y = bits.u(16, "white_point_y");                                          // u(16)
    sei.max_display_mastering_luminance = bits.u(32, "max_display_mastering_luminance");      // u(32)
    sei.min_display_mastering_luminance = bits.u(32, "min_display_mastering_luminance");      // u(32)
    sei.has_mastering_display = true;
}

// D.2.35 Content light level information SEI message syntax
void ReadContentLightLevelInfo(RbspBits& bits, HdrSei& sei) {
    sei.max_content_light_level = bits.u(16, "max_content_light_level");                      // u(16)
    sei.max_pic_average_light_level = bits.u(16, "max_pic_average_light_level");              // u(16)
    sei.has_content_light_level = true;
}

// payload_type_byte or payload_size_byte values summed up to the first
// one below 0xFF; 64 bits hold any sum the unit's bytes can give.
std::uint64_t ReadSeiVariable(RbspBits& bits, const char* name) {
    std::uint64_t value = 0;
    std::uint32_t byte = 0;
    do {
        byte = bits.u(8, name);                                                               // u(8)
        value += byte;
    } while (byte == 0xFF);
    return value;
}

} // namespace

// 7.3.5 Supplemental enhancement information RBSP syntax; 7.3.5 sei_message( )
void ReadHdrSei(const unsigned char* nal, std::size_t size, HdrSei& sei) {
    RbspBits bits(nal, size);
    const bool prefix = bits.NalUnitType() == kPrefixSeiNut;
    do {
        const std::uint64_t payloadType = ReadSeiVariable(bits, "payload_type_byte");
        const std::uint64_t payloadSize = ReadSeiVariable(bits, "payload_size_byte");
        if (payloadSize > bits.BitsLeft() / 8)
            throw SyntaxError("sei_message payloadType " + std::to_string(payloadType) + " payloadSize " +
                              std::to_string(payloadSize) + " runs past the NAL unit");
        const std::uint64_t end = bits.Position() + payloadSize * 8;
        if (prefix && payloadType == kMasteringDisplayColourVolume) {
            CheckPayloadSize("mastering_display_colour_volume", payloadSize, kMasteringDisplayBytes);
            ReadMasteringDisplayColourVolume(bits, sei);
        } else if (prefix && payloadType == kContentLightLevelInfo) {
            CheckPayloadSize("content_light_level_info", payloadSize, kContentLightLevelBytes);
            ReadContentLightLevelInfo(bits, sei);
        }
        // The rest of the payload: other messages, reserved_payload_extension_data.
        bits.Skip(end - bits.Position(), "sei_payload");
    } while (bits.MoreRbspData());
}

} // namespace h265tools
