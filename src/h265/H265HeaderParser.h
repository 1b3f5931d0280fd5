// The codec-neutral header parser, answering its queries with a private H.265 parser.
#ifndef H265HEADERS_H265_HEADER_PARSER_H
#define H265HEADERS_H265_HEADER_PARSER_H

#include "H265Parser.h"
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

    // Its own H.265 parser, held by value: the header parser depends on the
    // parser's class, not on the exported functions that make parsers.
    CH265Parser m_parser;
};

#endif
