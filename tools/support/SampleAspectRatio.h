// The sample aspect ratio of a VUI (E.3.1, Table E.1).
#ifndef H265TOOLS_SAMPLE_ASPECT_RATIO_H
#define H265TOOLS_SAMPLE_ASPECT_RATIO_H

#include "VuiParameters.h"

namespace h265tools {

// Width and height of a sample as the VUI gives them: the ratio of
// aspect_ratio_idc 1..16, or sar_width:sar_height for 255 (EXTENDED_SAR).
// False when the VUI gives none (absent, unspecified, reserved or a zero term).
bool SampleAspectRatio(const VuiParameters& vui, unsigned int& width, unsigned int& height);

} // namespace h265tools

#endif
