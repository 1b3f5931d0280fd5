#include "NalUnitNames.h"

#include "h265headers.h"

namespace h265info {

namespace {

const char* const kNamedTypes[] = {"TRAIL_N",     "TRAIL_R",     "TSA_N",          "TSA_R",         "STSA_N",
                                   "STSA_R",      "RADL_N",      "RADL_R",         "RASL_N",        "RASL_R",
                                   "RSV_VCL_N10", "RSV_VCL_R11", "RSV_VCL_N12",    "RSV_VCL_R13",   "RSV_VCL_N14",
                                   "RSV_VCL_R15", "BLA_W_LP",    "BLA_W_RADL",     "BLA_N_LP",      "IDR_W_RADL",
                                   "IDR_N_LP",    "CRA_NUT",     "RSV_IRAP_VCL22", "RSV_IRAP_VCL23"};

const char* const kNonVclTypes[] = {"VPS_NUT", "SPS_NUT", "PPS_NUT",        "AUD_NUT",       "EOS_NUT",
                                    "EOB_NUT", "FD_NUT",  "PREFIX_SEI_NUT", "SUFFIX_SEI_NUT"};

} // namespace

std::string NalUnitTypeName(int t) {
    if (t < 0 || t > 63)
        return "invalid";
    if (t <= 23)
        return kNamedTypes[t];
    if (t <= 31)
        return "RSV_VCL" + std::to_string(t);
    if (t <= 40)
        return kNonVclTypes[t - 32];
    if (t <= 47)
        return "RSV_NVCL" + std::to_string(t);
    return "UNSPEC" + std::to_string(t);
}

std::string NaluTypeCodeShortName(int code) {
    switch (code) {
    case NALU_TYPE_VPS:
        return "VPS";
    case NALU_TYPE_SPS:
        return "SPS";
    case NALU_TYPE_PPS:
        return "PPS";
    case NALU_TYPE_SEI_PREFIX:
        return "SEI_PREFIX";
    case NALU_TYPE_SEI_SUFFIX:
        return "SEI_SUFFIX";
    case NALU_TYPE_SLICE:
        return "SLICE";
    case NALU_TYPE_I_FRAME:
        return "I_FRAME";
    case NALU_TYPE_P_FRAME:
        return "P_FRAME";
    case NALU_TYPE_B_FRAME:
        return "B_FRAME";
    case NALU_TYPE_OTHER:
        return "OTHER";
    default:
        return std::to_string(code);
    }
}

std::string NaluTypeCodeName(int code) {
    const std::string shortName = NaluTypeCodeShortName(code);
    if (shortName == std::to_string(code))
        return shortName;
    return "NALU_TYPE_" + shortName;
}

} // namespace h265info
