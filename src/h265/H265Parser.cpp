#include "H265Parser.h"

#include "NalUnit.h"
#include "SliceHeader.h"

using namespace h265headers;

CH265Parser::~CH265Parser() {
    delete m_sps;
    delete m_pps;
}

bool CH265Parser::ParseNaluType(const unsigned char* data, unsigned int len, int* type) {
    if (!data || !type)
        return false;
    const unsigned char* start = FindStartCode(data, ScanLength(len), -1);
    if (!start)
        return false;
    *type = NaluTypeCode(NalUnitTypeAt(start));
    return true;
}

bool CH265Parser::ParseSPS(const unsigned char* data, unsigned int len) {
    // The previous record goes first, so that after any call, failed ones
    // included, GetSPS shows this call's record (or none if allocating it failed).
    delete m_sps;
    m_sps = 0;
    m_sps = new CSPSInfo();
    if (!data || len == 0)
        return false;
    return ParseSequenceParameterSet(data, len, *m_sps);
}

bool CH265Parser::ParsePPS(const unsigned char* data, unsigned int len) {
    delete m_pps;
    m_pps = 0;
    m_pps = new CPPSInfo();
    if (!data || len == 0)
        return false;
    return ParsePictureParameterSet(data, len, *m_pps);
}

bool CH265Parser::ParseSliceType(const unsigned char* data, unsigned int len, int* type, bool* firstSliceInPic) {
    if (!m_sps || !m_pps || !data || len == 0 || !type)
        return false;
    return ParseSlicePictureType(data, len, m_sps->sps, m_pps->pps, type, firstSliceInPic);
}
