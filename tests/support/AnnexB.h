// Annex B splitting for the tests, written independently of the library's
// scanner, so that tests can check the library against it.
#ifndef H265HEADERS_TESTS_ANNEX_B_H
#define H265HEADERS_TESTS_ANNEX_B_H

#include <cstddef>
#include <vector>

// Annex B splitting, written independently of the library's scanner: a NAL unit
// starts at 00 00 01; a zero byte right before it is the zero_byte of a 4-byte
// start code and belongs to the unit that follows. Each unit runs to the next
// start code and is handed to the library with its start code.

struct NalChunk {
    size_t begin = 0; // first byte of the start code
    size_t size = 0;  // start code, header, payload and any trailing zero bytes
    int startCodeLength = 0;
    int nalUnitType = -1;
};

inline std::vector<NalChunk> SplitAnnexB(const std::vector<unsigned char>& data) {
    std::vector<NalChunk> chunks;
    const size_t n = data.size();
    for (size_t i = 0; i + 3 < n; ++i) {
        if (data[i] != 0 || data[i + 1] != 0 || data[i + 2] != 1)
            continue;
        NalChunk chunk;
        chunk.startCodeLength = (i > 0 && data[i - 1] == 0) ? 4 : 3;
        chunk.begin = i + 3 - static_cast<size_t>(chunk.startCodeLength);
        chunk.nalUnitType = (data[i + 3] >> 1) & 0x3F;
        if (!chunks.empty())
            chunks.back().size = chunk.begin - chunks.back().begin;
        chunks.push_back(chunk);
        i += 2;
    }
    if (!chunks.empty())
        chunks.back().size = n - chunks.back().begin;
    return chunks;
}

#endif
