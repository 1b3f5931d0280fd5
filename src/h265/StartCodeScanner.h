// The one start-code scanner: Annex B start codes (B.2 Byte stream NAL unit
// syntax) and the positions at which they may be reported.
#ifndef H265HEADERS_START_CODE_SCANNER_H
#define H265HEADERS_START_CODE_SCANNER_H

#include "ByteWords.h"
#include "SafeArithmetic.h"

namespace h265headers {

// The scan behind FindStartCode, from position 0, with the widest vector or
// word path compiled in.
const unsigned char* ScanForStartCode(const unsigned char* data, int len, int wanted);

// The same scan with word-at-a-time arithmetic alone: the path of targets
// without a vector unit, kept callable so that tests compare it too.
const unsigned char* ScanForStartCodeByWords(const unsigned char* data, int len, int wanted);

// Position of the first start code (00 00 01, or 00 00 00 01 reported at its
// first zero) at positions 0 .. len - 5 whose NAL unit has nal_unit_type
// `wanted`, or of any type when `wanted` is negative; null when there is none.
// Every byte read lies in data[0 .. len - 1].
inline const unsigned char* FindStartCode(const unsigned char* data, int len, int wanted) {
    // Buffers and NAL units usually begin right at a start code; position 0
    // is answered here, without a call, from its first four bytes at once
    // where one load reads them and the byte order is known.
    if (len >= 5) {
        int header = -1;
#if (H265_WORDS_LITTLE_ENDIAN || H265_WORDS_BIG_ENDIAN) && H265_WORDS_UNALIGNED_LOADS
        using namespace bytewords;
        const uint32_t head = Load32(data);
        if (head == Bytes32(0, 0, 0, 1))
            header = data[4];
        else if ((head & Bytes32(0xFF, 0xFF, 0xFF, 0)) == Bytes32(0, 0, 1, 0))
            header = data[3];
#else
        if (data[0] == 0 && data[1] == 0) {
            if (data[2] == 1)
                header = data[3];
            else if (data[2] == 0 && data[3] == 1)
                header = data[4];
        }
#endif
        if (header >= 0 && (wanted < 0 || ((header >> 1) & 0x3F) == wanted))
            return data;
    }
    return ScanForStartCode(data, len, wanted);
}

// Length of the start code found at `start`: 3 when its third byte is 01, else 4.
inline int StartCodeLength(const unsigned char* start) { return start[2] == 1 ? 3 : 4; }

// The unsigned length of an IH265Parser call as the scanner's signed int,
// modulo 2^32 (lengths of 2^31 and above become negative and find nothing).
inline int ScanLength(unsigned int len) { return ToSignedInt32(len); }

} // namespace h265headers

#endif
