// The HEVCDecoderConfigurationRecord of an hvc1 sample entry (ISO/IEC
// 14496-15 8.3.3.1): profile, tier and level, chroma format and bit depths
// from the SPS, and the parameter sets themselves, which hvc1 samples do not
// carry.
#ifndef MP4_HVCC_H
#define MP4_HVCC_H

#include <cstdint>
#include <vector>

#include "BoxWriter.h"

namespace mp4 {

// A NAL unit as hvcC and samples hold it: NAL unit header and payload, no
// start code, no trailing zero bytes.
using NalUnitBytes = std::vector<unsigned char>;

struct HevcDecoderConfiguration {
    // profile_tier_level() of the SPS (7.3.3), general part.
    unsigned int general_profile_space = 0;
    unsigned int general_tier_flag = 0;
    unsigned int general_profile_idc = 0;
    std::uint32_t general_profile_compatibility_flags = 0; // flag j at bit 31-j, as coded
    std::uint64_t general_constraint_indicator_flags = 0;  // the 48 bits as coded, in the low bits
    unsigned int general_level_idc = 0;
    unsigned int min_spatial_segmentation_idc = 0; // VUI bitstream restriction, 0 when absent
    unsigned int parallelismType = 0;              // 0: unknown
    unsigned int chroma_format_idc = 1;
    unsigned int bit_depth_luma_minus8 = 0;
    unsigned int bit_depth_chroma_minus8 = 0;
    unsigned int numTemporalLayers = 1; // sps_max_sub_layers_minus1 + 1
    bool temporalIdNested = false;      // sps_temporal_id_nesting_flag
    std::vector<NalUnitBytes> vps;
    std::vector<NalUnitBytes> sps;
    std::vector<NalUnitBytes> pps;
    std::vector<NalUnitBytes> prefixSei; // declarative SEI: HDR mastering display and light level
    // array_completeness of the parameter set arrays: 1 for hvc1; 0 for hev1,
    // whose samples may carry further ones.
    bool parameterSetsComplete = true;
};

// Samples use 4-byte NAL unit lengths.
const unsigned int kLengthSizeMinusOne = 3;

// The hvcC box.
void WriteHvcC(BoxWriter& box, const HevcDecoderConfiguration& config);

} // namespace mp4

#endif
