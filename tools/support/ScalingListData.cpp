#include "ScalingListData.h"

namespace h265tools {

namespace {

// se(v) with the range the semantics give (7.4.5).
std::int16_t ReadSignedIn(RbspBits& bits, const char* name, std::int32_t low, std::int32_t high) {
    const std::int32_t value = bits.se(name);
    if (value < low || value > high)
        throw SyntaxError(std::string(name) + " " + std::to_string(value) + " is outside " + std::to_string(low) +
                          ".." + std::to_string(high));
    return static_cast<std::int16_t>(value);
}

} // namespace

// 7.3.4 Scaling list data syntax
void ReadScalingListData(RbspBits& bits, ScalingListData& data) {
    for (unsigned sizeId = 0; sizeId < 4; sizeId++) {
        for (unsigned matrixId = 0; matrixId < 6; matrixId += (sizeId == 3) ? 3 : 1) {
            data.scaling_list_pred_mode_flag[sizeId][matrixId] = bits.flag("scaling_list_pred_mode_flag"); // u(1)
            data.coefficients[sizeId][matrixId] = 0;
            if (!data.scaling_list_pred_mode_flag[sizeId][matrixId]) {
                data.scaling_list_pred_matrix_id_delta[sizeId][matrixId] =
                    bits.ue("scaling_list_pred_matrix_id_delta");                                   // ue(v)
                CheckAtMost("scaling_list_pred_matrix_id_delta", data.scaling_list_pred_matrix_id_delta[sizeId][matrixId],
                            sizeId == 3 ? matrixId / 3 : matrixId);
            } else {
                const unsigned coefNum = sizeId == 0 ? 16 : 64; // Min( 64, 1 << ( 4 + ( sizeId << 1 ) ) )
                if (sizeId > 1)
                    data.scaling_list_dc_coef_minus8[sizeId - 2][matrixId] =
                        ReadSignedIn(bits, "scaling_list_dc_coef_minus8", -7, 247);                 // se(v)
                for (unsigned i = 0; i < coefNum; i++)
                    data.scaling_list_delta_coef[sizeId][matrixId][i] =
                        ReadSignedIn(bits, "scaling_list_delta_coef", -128, 127);                   // se(v)
                data.coefficients[sizeId][matrixId] = coefNum;
            }
        }
    }
}

} // namespace h265tools
