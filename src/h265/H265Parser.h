// The H.265 parser behind IH265Parser: owns at most one SPS and one PPS record.
#ifndef H265HEADERS_H265_PARSER_H
#define H265HEADERS_H265_PARSER_H

#include "PictureParameterSet.h"
#include "SequenceParameterSet.h"

class CH265Parser final : public IH265Parser {
public:
    CH265Parser() : m_sps(0), m_pps(0) {}
    virtual ~CH265Parser();

    bool ParseNaluType(const unsigned char* data, unsigned int len, int* type);
    bool ParseSPS(const unsigned char* data, unsigned int len);
    bool ParsePPS(const unsigned char* data, unsigned int len);
    bool ParseSliceType(const unsigned char* data, unsigned int len, int* type, bool* firstSliceInPic);
    H265Parser::ISPS* GetSPS() { return m_sps; }
    H265Parser::IPPS* GetPPS() { return m_pps; }

private:
    CH265Parser(const CH265Parser&);
    CH265Parser& operator=(const CH265Parser&);

    CSPSInfo* m_sps; // owned
    CPPSInfo* m_pps; // owned
};

#endif
