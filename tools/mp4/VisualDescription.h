// What an hvc1 sample entry says of its pictures besides hvcC: the colour
// description (colr, ISO/IEC 14496-12 12.1.5), the pixel aspect ratio (pasp,
// 12.1.4) and the HDR10 static metadata (mdcv, clli). Readers that never
// look inside hvcC's SPS and SEI (players choosing a display mode, media
// catalogues) find them here.
#ifndef MP4_VISUAL_DESCRIPTION_H
#define MP4_VISUAL_DESCRIPTION_H

#include "BoxWriter.h"
#include "HdrSei.h"

namespace mp4 {

struct VisualDescription {
    // The VUI's video signal description (E.3.1), 2 (unspecified) where not
    // coded. The transfer characteristics also name the HLS VIDEO-RANGE.
    unsigned int colour_primaries = 2;
    unsigned int transfer_characteristics = 2;
    unsigned int matrix_coeffs = 2;
    bool video_full_range_flag = false;
    // A colr box of colour_type nclx carries the four fields above.
    bool hasColr = false;
    // pasp: the sample aspect ratio in lowest terms; 0 when the VUI gives none.
    unsigned int hSpacing = 0;
    unsigned int vSpacing = 0;
    // mdcv and clli, each where its SEI message came (has_mastering_display,
    // has_content_light_level).
    h265tools::HdrSei hdr;
};

// Inside a VisualSampleEntry, after its decoder configuration box: colr,
// clli, mdcv, pasp, each where the description has it.
void WriteVisualDescription(BoxWriter& box, const VisualDescription& d);

} // namespace mp4

#endif
