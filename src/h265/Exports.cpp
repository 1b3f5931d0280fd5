// The functions exported under plain names: creation and release of the two
// parser objects.
#include "H265HeaderParser.h"
#include "H265Parser.h"

IVideoHeaderParser* CreateH265HeaderParser() {
    return new CH265HeaderParser();
}

void ReleaseVideoHeaderParser(IVideoHeaderParser** parser) {
    if (!parser || !*parser)
        return;
    delete *parser;
    *parser = 0;
}

IH265Parser* CreateH265Parser() {
    return new CH265Parser();
}

void ReleaseH265Parser(IH265Parser** parser) {
    if (!parser || !*parser)
        return;
    // IH265Parser has no virtual destructor; CH265Parser is its only implementation.
    delete static_cast<CH265Parser*>(*parser);
    *parser = 0;
}
