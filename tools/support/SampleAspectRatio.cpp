#include "SampleAspectRatio.h"

namespace h265tools {

bool SampleAspectRatio(const VuiParameters& vui, unsigned int& width, unsigned int& height) {
    static const unsigned int kTable[17][2] = {{0, 0},   {1, 1},   {12, 11}, {10, 11}, {16, 11}, {40, 33},
                                               {24, 11}, {20, 11}, {32, 11}, {80, 33}, {18, 11}, {15, 11},
                                               {64, 33}, {160, 99}, {4, 3},  {3, 2},   {2, 1}};
    const unsigned int kExtendedSar = 255;
    if (!vui.aspect_ratio_info_present_flag)
        return false;
    if (vui.aspect_ratio_idc == kExtendedSar) {
        width = vui.sar_width;
        height = vui.sar_height;
    } else if (vui.aspect_ratio_idc < 17) {
        width = kTable[vui.aspect_ratio_idc][0];
        height = kTable[vui.aspect_ratio_idc][1];
    } else {
        return false;
    }
    return width != 0 && height != 0;
}

} // namespace h265tools
