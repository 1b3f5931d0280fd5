// The four queries of IVideoHeaderParser over arbitrary bytes, checked
// against each other and against a byte-at-a-time start-code search.
#include "FuzzSupport.h"
#include "h265headers.h"

namespace {

bool ReferenceHasParameterSets(const unsigned char* data, long len) {
    bool vps = false, sps = false, pps = false;
    long scan = 0;
    for (;;) {
        const long at = ReferenceFindStartCode(data + scan, len - scan, -1);
        if (at < 0)
            break;
        const long header = ReferenceHeaderOffset(data + scan, at) + scan;
        const int type = (data[header] >> 1) & 0x3F;
        if (type < 32)
            break;
        vps = vps || type == 32;
        sps = sps || type == 33;
        pps = pps || type == 34;
        scan = header;
    }
    return vps && sps && pps;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const ExactBuffer in(bytes, size);
    const unsigned char* data = in.data();
    const int len = in.intSize();
    IVideoHeaderParser* parser = CreateH265HeaderParser();

    const long first = ReferenceFindStartCode(data, len, -1);
    const int type = parser->GetNaluType(data, len);
    const int key = parser->IsKeyFrame(data, len);
    if (first < 0) {
        FUZZ_CHECK(type == -1);
        FUZZ_CHECK(key == 0);
    } else {
        const int nal_unit_type = (data[ReferenceHeaderOffset(data, first)] >> 1) & 0x3F;
        FUZZ_CHECK(type == ReferenceNaluTypeCode(nal_unit_type));
        const bool irap = nal_unit_type >= 16 && nal_unit_type <= 23;
        const int expectedKey = irap || nal_unit_type == 32 || nal_unit_type == 33 ? 1 : nal_unit_type < 32 ? 2 : 0;
        FUZZ_CHECK(key == expectedKey);
    }
    FUZZ_CHECK(parser->HasParameterSets(data, len) == ReferenceHasParameterSets(data, len));

    int width = -1, height = -1;
    bool complete = CompletesOrEndsOfData([&] { FUZZ_CHECK(parser->GetResolution(data, len, &width, &height)); });
    if (complete && ReferenceFindStartCode(data, len, 33) < 0)
        FUZZ_CHECK(width == 0 && height == 0);
    // Negative lengths and null data find nothing.
    FUZZ_CHECK(parser->GetNaluType(data, -len - 1) == -1);
    FUZZ_CHECK(parser->IsKeyFrame(0, len) == 0);
    FUZZ_CHECK(!parser->HasParameterSets(data, -len));
    // The same query again on the same object gives the same answer.
    FUZZ_CHECK(parser->GetNaluType(data, len) == type);
    ReleaseVideoHeaderParser(&parser);
    FUZZ_CHECK(parser == 0);
    return 0;
}
