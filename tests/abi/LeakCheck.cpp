// Runs every path that allocates — records with sub-layer arrays, replaced
// records, the end-of-data signal in the middle of a parse, slice headers with
// reserved flags — then releases the parsers. Run under valgrind or
// LeakSanitizer, it proves that nothing stays allocated.
#include <cstdio>

#include "BitWriter.h"
#include "h265headers.h"

namespace {

int g_failures = 0;

void Expect(bool condition, const char* what) {
    if (!condition) {
        std::fprintf(stderr, "leak_check: %s\n", what);
        ++g_failures;
    }
}

template <typename Call> bool EndsWithEndOfData(Call call) {
    try {
        call();
    } catch (int signal) {
        return signal == 1;
    }
    return false;
}

} // namespace

int main() {
    SpsFields f;
    f.sps_max_sub_layers_minus1 = 3;
    f.sub_layer_profile_present_flag = {1, 1, 0};
    f.sub_layer_level_present_flag = {1, 0, 1};
    f.sub_layer_profile_idc = {1, 1, 0};
    f.sub_layer_reserved_zero_44bits = {0, 0, 0};
    f.sub_layer_level_idc = {30, 0, 60};
    const Bytes sps = Nal(33, SpsRbsp(f));
    const Bytes pps = Hex("00 00 01 44 01 C6 72"); // num_extra_slice_header_bits 2
    const Bytes stream = Concat({Nal(32, Hex("0C 01 FF")), sps, pps, Hex("00 00 01 02 01 F4")});
    const Bytes truncated(sps.begin(), sps.begin() + static_cast<long>(sps.size() - 8));
    const Bytes slice = Hex("00 00 01 02 01 C0"); // runs out after the reserved flags

    IH265Parser* parser = CreateH265Parser();
    for (int round = 0; round < 3; ++round) {
        Expect(parser->ParseSPS(stream.data(), static_cast<unsigned int>(stream.size())), "ParseSPS");
        Expect(parser->ParsePPS(stream.data(), static_cast<unsigned int>(stream.size())), "ParsePPS");
        int type = 0;
        bool first = false;
        Expect(parser->ParseSliceType(stream.data(), static_cast<unsigned int>(stream.size()), &type, &first),
               "ParseSliceType");
        Expect(EndsWithEndOfData([&] { parser->ParseSliceType(slice.data(), 6, &type, &first); }),
               "slice header running out of data");
        char listing[1024];
        Expect(parser->GetSPS()->Dump(nullptr) <= 1024 && parser->GetSPS()->Dump(listing) > 0, "SPS Dump");
        Expect(parser->GetPPS()->Dump(listing) > 0, "PPS Dump");
        Expect(EndsWithEndOfData([&] {
                   parser->ParseSPS(truncated.data(), static_cast<unsigned int>(truncated.size()));
               }),
               "truncated SPS");
    }
    ReleaseH265Parser(&parser);

    IVideoHeaderParser* header = CreateH265HeaderParser();
    int width = 0, height = 0;
    Expect(header->GetResolution(stream.data(), static_cast<int>(stream.size()), &width, &height), "GetResolution");
    Expect(EndsWithEndOfData([&] {
               header->GetResolution(truncated.data(), static_cast<int>(truncated.size()), &width, &height);
           }),
           "GetResolution on a truncated SPS");
    Expect(header->GetResolution(stream.data(), static_cast<int>(stream.size()), &width, &height), "GetResolution");
    Expect(width == 1920 && height == 1080, "picture size");
    ReleaseVideoHeaderParser(&header);
    return g_failures == 0 ? 0 : 1;
}
