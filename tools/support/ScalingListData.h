// scaling_list_data( ), 7.3.4.
#ifndef H265TOOLS_SCALING_LIST_DATA_H
#define H265TOOLS_SCALING_LIST_DATA_H

#include <cstdint>

#include "RbspBits.h"

namespace h265tools {

// The coded elements, by sizeId and matrixId; for sizeId 3 only matrixId 0
// and 3 are coded.
struct ScalingListData {
    bool scaling_list_pred_mode_flag[4][6] = {};
    unsigned scaling_list_pred_matrix_id_delta[4][6] = {};
    std::int16_t scaling_list_dc_coef_minus8[2][6] = {};        // [ sizeId - 2 ][ matrixId ]
    std::int16_t scaling_list_delta_coef[4][6][64] = {};        // in coding order
    unsigned coefficients[4][6] = {};                           // coefNum of each coded list, 0 when predicted
};

void ReadScalingListData(RbspBits& bits, ScalingListData& data);

} // namespace h265tools

#endif
