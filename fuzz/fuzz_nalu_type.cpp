// IH265Parser::ParseNaluType over arbitrary bytes, against a byte-at-a-time
// start-code search, at many offsets and lengths of the input so that start
// codes at the very end and every alignment are examined.
#include "FuzzSupport.h"
#include "h265headers.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const ExactBuffer in(bytes, size);
    IH265Parser* parser = CreateH265Parser();
    // Every start offset up to 15 (so that a scanner that reads words sees
    // every alignment) and every length from the rest down to 5 bytes short.
    for (size_t offset = 0; offset < 16 && offset <= size; ++offset) {
        const unsigned char* data = in.data() + offset;
        for (size_t cut = 0; cut <= 5 && cut + offset <= size; ++cut) {
            const unsigned int len = static_cast<unsigned int>(size - offset - cut);
            int type = -7;
            const bool found = parser->ParseNaluType(data, len, &type);
            const long at = ReferenceFindStartCode(data, static_cast<long>(len), -1);
            FUZZ_CHECK(found == (at >= 0));
            if (found) {
                FUZZ_CHECK(type >= 0 && type <= 11 && type != 3 && type != 6 && type != 9 && type != 10);
                const int nal_unit_type = (data[ReferenceHeaderOffset(data, at)] >> 1) & 0x3F;
                FUZZ_CHECK((type == NALU_TYPE_SLICE) == (nal_unit_type < 32 && nal_unit_type != 19));
                FUZZ_CHECK((type == NALU_TYPE_I_FRAME) == (nal_unit_type == 19));
                FUZZ_CHECK((type == NALU_TYPE_SPS) == (nal_unit_type == 33));
            } else {
                FUZZ_CHECK(type == -7);
            }
            FUZZ_CHECK(!parser->ParseNaluType(data, len, 0));
            FUZZ_CHECK(!parser->ParseNaluType(0, len, &type));
        }
    }
    ReleaseH265Parser(&parser);
    return 0;
}
