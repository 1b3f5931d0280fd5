// IH265Parser::ParsePPS over arbitrary bytes, then both forms of IPPS::Dump.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "h265headers.h"

namespace {

void CheckListing(H265Parser::IPPS* pps) {
    FUZZ_CHECK(pps != 0);
    const int needed = pps->Dump(0);
    FUZZ_CHECK(needed > 1);
    std::vector<char> buffer(static_cast<size_t>(needed) + 1, '\x7f');
    FUZZ_CHECK(pps->Dump(buffer.data()) == needed);
    FUZZ_CHECK(buffer[static_cast<size_t>(needed) - 1] == '\0');
    FUZZ_CHECK(buffer[static_cast<size_t>(needed)] == '\x7f');
    const std::string text(buffer.data());
    FUZZ_CHECK(text.size() + 1 == static_cast<size_t>(needed));
    // Seven fields, one line each; num_extra_slice_header_bits is u(3).
    size_t lines = 0;
    for (char c : text)
        lines += c == '\n';
    FUZZ_CHECK(lines == 7);
    const size_t at = text.find("num_extra_slice_header_bits = ");
    FUZZ_CHECK(at != std::string::npos);
    FUZZ_CHECK(text[at + 30] >= '0' && text[at + 30] <= '7' && text[at + 31] == '\n');
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const ExactBuffer in(bytes, size);
    IH265Parser* parser = CreateH265Parser();
    bool found = false;
    const bool complete = CompletesOrEndsOfData([&] { found = parser->ParsePPS(in.data(), in.uintSize()); });
    const long at = ReferenceFindStartCode(in.data(), in.intSize(), 34);
    if (complete && found)
        FUZZ_CHECK(at >= 0);
    if (at < 0)
        FUZZ_CHECK(complete && !found);
    CheckListing(parser->GetPPS());
    FUZZ_CHECK(!parser->ParsePPS(0, in.uintSize()));
    CheckListing(parser->GetPPS());
    ReleaseH265Parser(&parser);
    return 0;
}
