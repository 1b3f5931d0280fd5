// The library's two parser objects as a tool holds them, and the length its
// calls take.
#ifndef H265TOOLS_LIBRARY_PARSERS_H
#define H265TOOLS_LIBRARY_PARSERS_H

#include <climits>
#include <cstddef>

#include "h265headers.h"

namespace h265tools {

// The library takes lengths as int; a unit beyond 2 GiB is passed in part.
inline int LibraryLength(std::size_t size) {
    return size > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<int>(size);
}

// An H.265 parser and a header parser, made together and given back to the
// library's release functions together; nothing leaks when the second
// cannot be made.
class LibraryParsers {
public:
    LibraryParsers() : parser(CreateH265Parser()) {
        try {
            header = CreateH265HeaderParser();
        } catch (...) {
            ReleaseH265Parser(&parser);
            throw;
        }
    }
    ~LibraryParsers() {
        ReleaseVideoHeaderParser(&header);
        ReleaseH265Parser(&parser);
    }
    LibraryParsers(const LibraryParsers&) = delete;
    LibraryParsers& operator=(const LibraryParsers&) = delete;

    IH265Parser* parser;
    IVideoHeaderParser* header = nullptr;
};

} // namespace h265tools

#endif
