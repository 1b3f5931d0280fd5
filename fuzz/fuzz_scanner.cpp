// The start-code scanner itself: FindStartCode (the vector path where the
// build has one) and ScanForStartCodeByWords (the word path of targets
// without a vector unit) against a byte-at-a-time search, for every start
// offset up to 15 and lengths down to 8 bytes short of the input, each
// window in a heap block of its own so that AddressSanitizer sees any read
// past its end. Byte 0 picks the nal_unit_type searched for (bit 7: any).
#include "FuzzSupport.h"
#include "NalUnit.h"

using namespace h265headers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const int wanted = data[0] & 0x80 ? -1 : data[0] & 0x3F;
    Take(&data, &size, 1);
    for (size_t offset = 0; offset < 16 && offset <= size; ++offset) {
        for (size_t cut = 0; cut <= 8 && offset + cut <= size; ++cut) {
            const ExactBuffer window(data + offset, size - offset - cut);
            const unsigned char* p = window.data();
            const int len = window.intSize();
            const long expected = ReferenceFindStartCode(p, len, wanted);
            const unsigned char* found = FindStartCode(p, len, wanted);
            const unsigned char* byWords = ScanForStartCodeByWords(p, len, wanted);
            FUZZ_CHECK(found == (expected < 0 ? 0 : p + expected));
            FUZZ_CHECK(byWords == found);
            FUZZ_CHECK(FindStartCode(p, len, -1) == (ReferenceFindStartCode(p, len, -1) < 0 ? 0 : p + ReferenceFindStartCode(p, len, -1)));
        }
    }
    return 0;
}
