#include "HvcC.h"

#include <stdexcept>

namespace mp4 {

namespace {

// nal_unit_type of each array (Table 7-1).
const unsigned int kVpsType = 32;
const unsigned int kSpsType = 33;
const unsigned int kPpsType = 34;
const unsigned int kPrefixSeiType = 39;

void WriteArray(BoxWriter& box, unsigned int nalUnitType, const std::vector<NalUnitBytes>& units, bool complete) {
    // array_completeness u(1): 1 when every NAL unit of the type is here, as
    // hvc1 requires; reserved u(1) 0; NAL_unit_type u(6)
    box.U8((complete ? 0x80u : 0u) | nalUnitType);
    box.U16(static_cast<unsigned int>(units.size())); // numNalus u(16)
    for (const NalUnitBytes& unit : units) {
        if (unit.size() > 0xFFFFu)
            throw std::length_error("parameter set over 64 KiB");
        box.U16(static_cast<unsigned int>(unit.size())); // nalUnitLength u(16)
        box.Bytes(unit.data(), unit.size());
    }
}

} // namespace

// ISO/IEC 14496-15 8.3.3.1.2 HEVCDecoderConfigurationRecord
void WriteHvcC(BoxWriter& box, const HevcDecoderConfiguration& c) {
    const std::size_t hvcC = box.Begin("hvcC");
    box.U8(1); // configurationVersion u(8)
    // general_profile_space u(2), general_tier_flag u(1), general_profile_idc u(5)
    box.U8(((c.general_profile_space & 3u) << 6) | ((c.general_tier_flag & 1u) << 5) | (c.general_profile_idc & 31u));
    box.U32(c.general_profile_compatibility_flags); // general_profile_compatibility_flags u(32)
    // general_constraint_indicator_flags u(48)
    box.U16(static_cast<unsigned int>((c.general_constraint_indicator_flags >> 32) & 0xFFFFu));
    box.U32(static_cast<std::uint32_t>(c.general_constraint_indicator_flags & 0xFFFFFFFFu));
    box.U8(c.general_level_idc);                                     // general_level_idc u(8)
    box.U16(0xF000u | (c.min_spatial_segmentation_idc & 0x0FFFu));   // reserved '1111', min_spatial_segmentation_idc u(12)
    box.U8(0xFCu | (c.parallelismType & 3u));                        // reserved '111111', parallelismType u(2)
    box.U8(0xFCu | (c.chroma_format_idc & 3u));                      // reserved '111111', chromaFormat u(2)
    box.U8(0xF8u | (c.bit_depth_luma_minus8 & 7u));                  // reserved '11111', bitDepthLumaMinus8 u(3)
    box.U8(0xF8u | (c.bit_depth_chroma_minus8 & 7u));                // reserved '11111', bitDepthChromaMinus8 u(3)
    box.U16(0);                                                      // avgFrameRate u(16): unspecified
    // constantFrameRate u(2) 0 (unknown), numTemporalLayers u(3),
    // temporalIdNested u(1), lengthSizeMinusOne u(2)
    box.U8(((c.numTemporalLayers & 7u) << 3) | ((c.temporalIdNested ? 1u : 0u) << 2) | kLengthSizeMinusOne);
    unsigned int arrays = 3;
    if (!c.prefixSei.empty())
        ++arrays;
    box.U8(arrays); // numOfArrays u(8)
    WriteArray(box, kVpsType, c.vps, c.parameterSetsComplete);
    WriteArray(box, kSpsType, c.sps, c.parameterSetsComplete);
    WriteArray(box, kPpsType, c.pps, c.parameterSetsComplete);
    if (!c.prefixSei.empty())
        WriteArray(box, kPrefixSeiType, c.prefixSei, c.parameterSetsComplete);
    box.End(hvcC);
}

} // namespace mp4
