// IH265Parser::ParseSPS over arbitrary bytes, then GetPicSize and both forms
// of ISPS::Dump on whatever record the parse left, complete or not.
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "h265headers.h"

namespace {

// The value of the line "name = value" in a listing, or -1.
long long ListedValue(const std::string& text, const std::string& name) {
    const std::string key = name + " = ";
    const size_t at = text.find(key);
    if (at == std::string::npos || (at > 0 && text[at - 1] != '\n'))
        return -1;
    return std::strtoll(text.c_str() + at + key.size(), 0, 10);
}

void CheckRecord(H265Parser::ISPS* sps) {
    FUZZ_CHECK(sps != 0);
    int width = -1, height = -1;
    FUZZ_CHECK(sps->GetPicSize(&width, &height));
    int untouched = -5;
    FUZZ_CHECK(!sps->GetPicSize(&untouched, 0));
    FUZZ_CHECK(!sps->GetPicSize(0, &untouched));
    FUZZ_CHECK(untouched == -5);

    const int needed = sps->Dump(0);
    FUZZ_CHECK(needed > 1);
    // One byte more than announced, to see that exactly `needed` are written.
    std::vector<char> buffer(static_cast<size_t>(needed) + 1, '\x7f');
    FUZZ_CHECK(sps->Dump(buffer.data()) == needed);
    FUZZ_CHECK(buffer[static_cast<size_t>(needed) - 1] == '\0');
    FUZZ_CHECK(buffer[static_cast<size_t>(needed)] == '\x7f');
    const std::string text(buffer.data());
    FUZZ_CHECK(text.size() + 1 == static_cast<size_t>(needed));
    FUZZ_CHECK(text[text.size() - 1] == '\n');
    // The listing and GetPicSize describe the same record.
    FUZZ_CHECK(static_cast<unsigned int>(ListedValue(text, "pic_width_in_luma_samples")) ==
               static_cast<unsigned int>(width));
    FUZZ_CHECK(static_cast<unsigned int>(ListedValue(text, "pic_height_in_luma_samples")) ==
               static_cast<unsigned int>(height));
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    const ExactBuffer in(bytes, size);
    IH265Parser* parser = CreateH265Parser();
    bool found = false;
    const bool complete =
        CompletesOrEndsOfData([&] { found = parser->ParseSPS(in.data(), in.uintSize()); });
    if (complete)
        FUZZ_CHECK(found == (ReferenceFindStartCode(in.data(), in.intSize(), 33) >= 0));
    CheckRecord(parser->GetSPS());

    // A second parse replaces the record; a buffer without an SPS leaves a
    // zeroed one.
    FUZZ_CHECK(!parser->ParseSPS(in.data(), 0));
    CheckRecord(parser->GetSPS());
    int width = -1, height = -1;
    FUZZ_CHECK(parser->GetSPS()->GetPicSize(&width, &height) && width == 0 && height == 0);
    CompletesOrEndsOfData([&] { parser->ParseSPS(in.data(), in.uintSize()); });
    CheckRecord(parser->GetSPS());
    ReleaseH265Parser(&parser);
    return 0;
}
