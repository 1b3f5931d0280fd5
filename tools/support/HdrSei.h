// sei_rbsp( ) and sei_message( ) (7.3.5), for the HDR messages of a prefix
// SEI NAL unit: mastering_display_colour_volume( ) (D.2.28, payloadType 137)
// and content_light_level_info( ) (D.2.35, payloadType 144).
#ifndef H265TOOLS_HDR_SEI_H
#define H265TOOLS_HDR_SEI_H

#include <cstddef>
#include <cstdint>

namespace h265tools {

struct HdrSei {
    bool has_mastering_display = false;
    unsigned display_primaries_x[3] = {}; // c = 0, 1, 2 as coded (green, blue, red in units of 0.00002)
    unsigned display_primaries_y[3] = {};
    unsigned white_point_x = 0;
    unsigned white_point_y = 0;
    std::uint32_t max_display_mastering_luminance = 0; // units of 0.0001 cd/m2
    std::uint32_t min_display_mastering_luminance = 0;
    bool has_content_light_level = false;
    unsigned max_content_light_level = 0;     // cd/m2
    unsigned max_pic_average_light_level = 0;
};

// Walks the SEI messages of an SEI NAL unit (`nal` at its NAL unit header);
// other payloads are stepped over by their payloadSize. The messages found
// are set in `sei`, the rest of it is left as it was. A suffix SEI NAL unit
// is walked but holds neither message. A payload that runs past the unit, or
// one of the two shorter than its syntax, is a SyntaxError.
void ReadHdrSei(const unsigned char* nal, std::size_t size, HdrSei& sei);

} // namespace h265tools

#endif
