#include "H265HeaderParser.h"

#include "NalUnit.h"

using namespace h265headers;

CH265HeaderParser::CH265HeaderParser() {}

CH265HeaderParser::~CH265HeaderParser() {}

bool CH265HeaderParser::GetResolution(const unsigned char* data, int len, int* width, int* height) {
    // ParseSPS always installs a record, all zero where the parse did not
    // reach, so a buffer without an SPS reports 0 x 0.
    m_parser.ParseSPS(data, static_cast<unsigned int>(len));
    return m_parser.GetSPS()->GetPicSize(width, height);
}

int CH265HeaderParser::GetNaluType(const unsigned char* data, int len) {
    // What m_parser.ParseNaluType answers (its unsigned length converts back
    // to this int), without the call through the interface.
    if (!data)
        return -1;
    const unsigned char* start = FindStartCode(data, len, -1);
    if (!start)
        return -1;
    return NaluTypeCode(NalUnitTypeAt(start));
}

int CH265HeaderParser::IsKeyFrame(const unsigned char* data, int len) {
    if (!data)
        return 0;
    const unsigned char* start = FindStartCode(data, len, -1);
    if (!start)
        return 0;
    const int nal_unit_type = NalUnitTypeAt(start);
    // Every IRAP picture (BLA, IDR, CRA) is a point where decoding can start,
    // although only IDR_W_RADL has a NALU_TYPE code of its own.
    if (IsIrapNalUnitType(nal_unit_type))
        return 1;
    switch (NaluTypeCode(nal_unit_type)) {
    case NALU_TYPE_VPS:
    case NALU_TYPE_SPS:
        return 1;
    case NALU_TYPE_SLICE:
        return 2;
    default:
        return 0;
    }
}

bool CH265HeaderParser::HasParameterSets(const unsigned char* data, int len) {
    if (!data || len <= 0)
        return false;
    // One pass over the NAL units up to the first VCL NAL unit, linear in the
    // buffer length. Once all
    // three are seen nothing later can change the answer, so the pass stops
    // there instead of crossing SEI messages and the rest of the unit.
    unsigned seen = 0; // bit 0: a VPS, bit 1: an SPS, bit 2: a PPS
    NalUnitWalker walker(data, data + len);
    while (walker.Next()) {
        const unsigned nal_unit_type = static_cast<unsigned>(walker.NalUnitType());
        if (IsVclNalUnitType(static_cast<int>(nal_unit_type)))
            break;
        if (nal_unit_type - kNalVps <= kNalPps - kNalVps) {
            seen |= 1u << (nal_unit_type - kNalVps);
            if (seen == 7)
                return true;
        }
    }
    return false;
}
