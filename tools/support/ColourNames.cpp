#include "ColourNames.h"

namespace h265tools {

namespace {

template <unsigned int N> const char* Lookup(const char* const (&names)[N], unsigned int code) {
    return code < N && names[code] ? names[code] : "reserved";
}

} // namespace

const char* ColourRangeName(unsigned int video_full_range_flag) {
    return video_full_range_flag ? "pc" : "tv";
}

const char* ColourPrimariesName(unsigned int colour_primaries) {
    static const char* const names[] = {nullptr,     "bt709",    "unknown",  nullptr,  "bt470m", "bt470bg",
                                        "smpte170m", "smpte240m", "film",     "bt2020", "smpte428", "smpte431",
                                        "smpte432",  nullptr,    nullptr,    nullptr,  nullptr,  nullptr,
                                        nullptr,     nullptr,    nullptr,    nullptr,  "ebu3213"};
    return Lookup(names, colour_primaries);
}

const char* TransferCharacteristicsName(unsigned int transfer_characteristics) {
    static const char* const names[] = {
        nullptr,   "bt709",        "unknown", nullptr,        "bt470m",       "bt470bg",   "smpte170m",
        "smpte240m", "linear",     "log100",  "log316",       "iec61966-2-4", "bt1361e",   "iec61966-2-1",
        "bt2020-10", "bt2020-12",  "smpte2084", "smpte428",   "arib-std-b67"};
    return Lookup(names, transfer_characteristics);
}

const char* MatrixCoefficientsName(unsigned int matrix_coeffs) {
    static const char* const names[] = {"gbr",      "bt709",    "unknown",   nullptr,           "fcc",
                                        "bt470bg",  "smpte170m", "smpte240m", "ycgco",           "bt2020nc",
                                        "bt2020c",  "smpte2085", "chroma-derived-nc", "chroma-derived-c", "ictcp"};
    return Lookup(names, matrix_coeffs);
}

const char* ChromaLocationName(unsigned int chroma_sample_loc_type) {
    static const char* const names[] = {"left", "center", "topleft", "top", "bottomleft", "bottom"};
    return Lookup(names, chroma_sample_loc_type);
}

std::string HdrSystemName(unsigned int transfer_characteristics) {
    if (transfer_characteristics == 16)
        return "PQ";
    if (transfer_characteristics == 18)
        return "HLG";
    return std::string();
}

} // namespace h265tools
