// SDP text as a DESCRIBE answer carries it, read for its H.265 media. The
// first byte chooses the base (with or without a trailing '/', with a
// query). Checked:
//   - nothing past the text is read (an exact copy);
//   - the text with every bare LF made CRLF reads the same: line ends are
//     no part of any value;
//   - what is read is within its ranges: payload type 0..127, NAL units of
//     at least their 2-byte header, DON parameters up to 32767, the control
//     URLs absolute (rtsp://), since the base is.
#include "FuzzSupport.h"

#include <string>

#include "Sdp.h"

namespace {

const char* const kBases[] = {"rtsp://cam:554/live/", "rtsp://cam:554/live/ch0", "rtsp://[::1]:554/a?b=c"};

bool Read(const std::string& text, const char* base, rtsp::H265Media& media, std::string& error) {
    ExactBuffer exact(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    return rtsp::ParseSdp(reinterpret_cast<const char*>(exact.data()), exact.size(), base, media, error);
}

bool AbsoluteRtsp(const std::string& url) {
    return url.size() >= 7 && (url[0] == 'r' || url[0] == 'R') && url.find("://") != std::string::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const char* base = kBases[data[0] % 3];
    Take(&data, &size, 1);
    const std::string text(reinterpret_cast<const char*>(data), size);
    rtsp::H265Media media;
    std::string error;
    const bool ok = Read(text, base, media, error);

    std::string crlf;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r'))
            crlf += '\r';
        crlf += text[i];
    }
    rtsp::H265Media again;
    std::string againError;
    FUZZ_CHECK(Read(crlf, base, again, againError) == ok);
    FUZZ_CHECK(againError == error);
    if (!ok) {
        FUZZ_CHECK(!error.empty());
        return 0;
    }
    FUZZ_CHECK(again.payloadType == media.payloadType && again.control == media.control &&
               again.aggregateControl == media.aggregateControl && again.vps == media.vps && again.sps == media.sps &&
               again.pps == media.pps && again.sei == media.sei && again.maxDonDiff == media.maxDonDiff &&
               again.depackBufNalus == media.depackBufNalus);
    FUZZ_CHECK(media.payloadType >= 0 && media.payloadType <= 127 && media.clockRate == 90000);
    FUZZ_CHECK(media.maxDonDiff <= 32767 && media.depackBufNalus <= 32767);
    const std::vector<std::vector<std::uint8_t>>* lists[] = {&media.vps, &media.sps, &media.pps, &media.sei};
    for (const auto* list : lists)
        for (const auto& unit : *list)
            FUZZ_CHECK(unit.size() >= 2 && unit.size() <= size);
    FUZZ_CHECK(AbsoluteRtsp(media.control) && AbsoluteRtsp(media.aggregateControl));
    return 0;
}
