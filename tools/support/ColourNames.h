// The names of the VUI's video signal description (E.3.1, with the code
// points of ITU-T H.273) as ffprobe spells them, so that what a tool prints
// can be held next to what a user already knows.
#ifndef H265TOOLS_COLOUR_NAMES_H
#define H265TOOLS_COLOUR_NAMES_H

#include <string>

namespace h265tools {

// video_full_range_flag: "pc" (full range) or "tv" (limited range).
const char* ColourRangeName(unsigned int video_full_range_flag);
// colour_primaries: "bt709", "bt2020", ...; "unknown" for 2 (unspecified),
// "reserved" for code points H.273 does not assign.
const char* ColourPrimariesName(unsigned int colour_primaries);
// transfer_characteristics: "bt709", "smpte2084", "arib-std-b67", ...
const char* TransferCharacteristicsName(unsigned int transfer_characteristics);
// matrix_coeffs: "bt709", "bt2020nc", "gbr", ...
const char* MatrixCoefficientsName(unsigned int matrix_coeffs);
// chroma_sample_loc_type 0..5: "left", "center", "topleft", "top",
// "bottomleft", "bottom"; "reserved" above.
const char* ChromaLocationName(unsigned int chroma_sample_loc_type);
// The high dynamic range system a transfer characteristic belongs to: "PQ"
// (SMPTE ST 2084, 16), "HLG" (ARIB STD-B67, 18); empty for the others.
std::string HdrSystemName(unsigned int transfer_characteristics);

} // namespace h265tools

#endif
