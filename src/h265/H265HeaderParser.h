// The codec-neutral header parser, answering its queries with a private H.265 parser.
#ifndef H265HEADERS_H265_HEADER_PARSER_H
#define H265HEADERS_H265_HEADER_PARSER_H

#include "h265headers.h"

class CH265HeaderParser final : public IVideoHeaderParser {
public:
    CH265HeaderParser();
    ~CH265HeaderParser();

    bool GetResolution(const unsigned char* data, int len, int* width, int* height);
    int GetNaluType(const unsigned char* data, int len);
    int IsKeyFrame(const unsigned char* data, int len);
    bool HasParameterSets(const unsigned char* data, int len);

private:
    CH265HeaderParser(const CH265HeaderParser&);
    CH265HeaderParser& operator=(const CH265HeaderParser&);

    IH265Parser* m_parser; // owned, made by CreateH265Parser
};

#endif
