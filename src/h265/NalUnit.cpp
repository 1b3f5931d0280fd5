#include "NalUnit.h"

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
    // afresh) drops exactly the 03 bytes at positions 4 and later that follow
    // two zero bytes: after a dropped 03 no pair can start at the two
    // positions the rule passes over, as the 03 is not zero. Parameter sets
    // are full of zeros but hold few 03 bytes, so the copy goes a word at a
    // time and stops only at those. Each word is stored before it is tested:
    // after a 03 the next store overwrites its tail, so the output stays
    // within size - 2 bytes, though bytes past the count returned may change.
    using namespace bytewords;
    if (size <= 2)
        return 0;
    const unsigned int kWord = sizeof(Word);
    const Word kThrees = kOnes * 3;
    unsigned int written = 0;
    unsigned int j = 2; // the next byte to copy; written <= j - 2
    for (;;) {
        bool three = false;
        while (j + kWord <= size) { // reads nal[j .. j + kWord - 1], writes out[.. j + kWord - 3]
            const Word word = LoadWord(nal + j);
            StoreWord(out + written, word);
            const Word marks = ZeroBytes(word ^ kThrees);
            if (marks) {
                const int first = FirstZeroByte(marks);
                if (first >= 0) {
                    j += static_cast<unsigned int>(first);
                    written += static_cast<unsigned int>(first);
                    three = true;
                }
                break;
            }
            j += kWord;
            written += kWord;
        }
        if (!three) {
            while (j < size && nal[j] != 3)
                out[written++] = nal[j++];
            if (j == size)
                return written;
        }
        // nal[j] is a 03 byte.
        if (j < 4 || nal[j - 1] != 0 || nal[j - 2] != 0)
            out[written++] = 3; // not an emulation_prevention_three_byte
        ++j;
    }
}

} // namespace h265headers
