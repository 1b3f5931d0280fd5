// IH265Parser::ParseSliceType after ParseSPS and ParsePPS, each on its own
// piece of the input, so that the slice header is read with the SPS and PPS
// records the fuzzer shapes (non-zero num_extra_slice_header_bits,
// dependent_slice_segments_enabled_flag, coding block sizes, ...).
//
// Input layout:
//   byte 0   length of the SPS piece (0..255)
//   byte 1   length of the PPS piece (0..255)
//   byte 2   flags: 1 = put 00 00 01 42 01 before the SPS piece,
//                   2 = put 00 00 01 44 01 before the PPS piece,
//                   4 = put 00 00 01 <byte 3> 01 before the slice piece
//   byte 3   NAL unit header byte for flag 4
//   then the SPS piece, the PPS piece, and the rest is the slice piece.
// fuzz/make_seeds.py writes real access units in this layout.
#include <vector>

#include "FuzzSupport.h"
#include "h265headers.h"

namespace {

std::vector<unsigned char> Piece(bool prefixed, unsigned char header, const uint8_t* data, size_t size) {
    const unsigned char start[] = {0, 0, 1, header, 1};
    const size_t prefix = prefixed ? sizeof start : 0;
    std::vector<unsigned char> out(prefix + size);
    if (prefix)
        std::memcpy(&out[0], start, prefix);
    if (size)
        std::memcpy(&out[prefix], data, size);
    return out;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 4)
        return 0;
    const size_t spsWanted = data[0], ppsWanted = data[1];
    const unsigned flags = data[2];
    const unsigned char sliceHeader = data[3];
    Take(&data, &size, 4);
    const uint8_t* spsBytes = data;
    const size_t spsSize = Take(&data, &size, spsWanted);
    const uint8_t* ppsBytes = data;
    const size_t ppsSize = Take(&data, &size, ppsWanted);

    const std::vector<unsigned char> spsPiece = Piece(flags & 1, 0x42, spsBytes, spsSize);
    const std::vector<unsigned char> ppsPiece = Piece(flags & 2, 0x44, ppsBytes, ppsSize);
    const std::vector<unsigned char> slicePiece = Piece(flags & 4, sliceHeader, data, size);
    const ExactBuffer sps(spsPiece.data(), spsPiece.size());
    const ExactBuffer pps(ppsPiece.data(), ppsPiece.size());
    const ExactBuffer slice(slicePiece.data(), slicePiece.size());

    IH265Parser* parser = CreateH265Parser();
    int type = -7;
    bool first = true;
    // Without both records there is nothing to read the slice header with.
    FUZZ_CHECK(!parser->ParseSliceType(slice.data(), slice.uintSize(), &type, &first));
    CompletesOrEndsOfData([&] { parser->ParseSPS(sps.data(), sps.uintSize()); });
    FUZZ_CHECK(!parser->ParseSliceType(slice.data(), slice.uintSize(), &type, &first));
    CompletesOrEndsOfData([&] { parser->ParsePPS(pps.data(), pps.uintSize()); });
    FUZZ_CHECK(type == -7 && first);

    bool found = false;
    const bool complete = CompletesOrEndsOfData(
        [&] { found = parser->ParseSliceType(slice.data(), slice.uintSize(), &type, &first); });
    if (complete && found) {
        FUZZ_CHECK(type == NALU_TYPE_I_FRAME || type == NALU_TYPE_P_FRAME || type == NALU_TYPE_B_FRAME);
    } else {
        FUZZ_CHECK(type == -7 && first);
    }
    // Without the flag pointer: the same outcome and the same type.
    int again = -7;
    bool foundAgain = false;
    const bool completeAgain = CompletesOrEndsOfData(
        [&] { foundAgain = parser->ParseSliceType(slice.data(), slice.uintSize(), &again, 0); });
    FUZZ_CHECK(completeAgain == complete && foundAgain == found);
    if (found)
        FUZZ_CHECK(again == type);
    FUZZ_CHECK(!parser->ParseSliceType(slice.data(), slice.uintSize(), 0, &first));
    FUZZ_CHECK(!parser->ParseSliceType(0, slice.uintSize(), &again, &first));
    ReleaseH265Parser(&parser);
    return 0;
}
