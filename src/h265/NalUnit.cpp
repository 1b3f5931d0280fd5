#include "NalUnit.h"

#include <cstring>

#include "ByteWords.h"
#include "h265headers.h"

namespace h265headers {

// VCL types 0..31 are slices, IDR_W_RADL (19) a key frame of its own;
// parameter sets and SEI have their codes, everything else is OTHER.
const signed char kNaluTypeCodes[64] = {
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_SLICE,
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_SLICE,
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_SLICE,
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_I_FRAME, // 19
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_SLICE,
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,      NALU_TYPE_SLICE, NALU_TYPE_SLICE,   NALU_TYPE_SLICE,
    NALU_TYPE_SLICE,      NALU_TYPE_SLICE,                                                         // 31
    NALU_TYPE_VPS,        NALU_TYPE_SPS,        NALU_TYPE_PPS,   NALU_TYPE_OTHER,   NALU_TYPE_OTHER, // 32..36
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_SEI_PREFIX, NALU_TYPE_SEI_SUFFIX,         // 37..40
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_OTHER, NALU_TYPE_OTHER,   NALU_TYPE_OTHER,
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_OTHER, NALU_TYPE_OTHER,   NALU_TYPE_OTHER,
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_OTHER, NALU_TYPE_OTHER,   NALU_TYPE_OTHER,
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_OTHER, NALU_TYPE_OTHER,   NALU_TYPE_OTHER,
    NALU_TYPE_OTHER,      NALU_TYPE_OTHER,      NALU_TYPE_OTHER,                                   // 63
};

unsigned int UnescapeNalPayload(const unsigned char* nal, unsigned int size, unsigned char* out) {
    // The byte-by-byte rule (from position 2, a 00 00 03 whose 03 lies
    // within the unit is copied as 00 00, and the byte after it is examined
    // afresh) drops exactly the 03 bytes that follow a 00 00 pair starting at
    // position 2 or later: after a dropped 03 no pair can start at the two
    // positions the rule passes over, as the 03 is not zero. So the pairs are
    // found a word at a time, and the runs between dropped bytes are copied
    // whole.
    using namespace bytewords;
    if (size <= 2)
        return 0;
    unsigned int written = 0;
    unsigned int from = 2; // start of the run not yet copied
    unsigned int j = 2;    // where the next 00 00 pair may start
    for (;;) {
        // The next pair at or after j, while its 03 could lie in the unit.
        bool pair = false;
        while (j + sizeof(Word) < size) { // reads nal[j .. j + sizeof(Word)]
            const Word marks = ZeroBytes(LoadWord(nal + j) | LoadWord(nal + j + 1));
            if (!marks) {
                j += sizeof(Word);
                continue;
            }
            const int first = FirstZeroByte(marks);
            if (first >= 0) {
                j += static_cast<unsigned int>(first);
                pair = true;
            }
            break;
        }
        if (!pair) {
            while (j + 2 < size && (nal[j] != 0 || nal[j + 1] != 0))
                ++j;
        }
        if (j + 2 >= size)
            break;
        if (nal[j + 2] == 3) {
            std::memcpy(out + written, nal + from, j + 2 - from);
            written += j + 2 - from;
            from = j + 3;
            j += 3;
        } else {
            ++j;
        }
    }
    std::memcpy(out + written, nal + from, size - from);
    return written + (size - from);
}

} // namespace h265headers
