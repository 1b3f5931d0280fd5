// Names of nal_unit_type values and of the library's NALU_TYPE codes.
#ifndef H265INFO_NAL_UNIT_NAMES_H
#define H265INFO_NAL_UNIT_NAMES_H

#include <string>

namespace h265info {

// TRAIL_N, ..., CRA_NUT, RSV_IRAP_VCL22, VPS_NUT, ..., RSV_NVCL47, UNSPEC48,
// ... for 0..63; "invalid" outside that range.
std::string NalUnitTypeName(int nal_unit_type);

// "NALU_TYPE_VPS", ..., "NALU_TYPE_OTHER"; the number for codes the library
// does not define.
std::string NaluTypeCodeName(int code);

// The NALU_TYPE code name without its prefix ("VPS", "I_FRAME", ...).
std::string NaluTypeCodeShortName(int code);

} // namespace h265info

#endif
