#include "RtspRequest.h"

namespace rtsp {

namespace {

void AppendLine(std::string& out, const std::string& text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        if (text[i] != '\r' && text[i] != '\n')
            out += text[i];
    out += "\r\n";
}

}  // namespace

std::string RtspRequest::Text() const {
    std::string out;
    AppendLine(out, method + " " + uri + " RTSP/1.0");
    AppendLine(out, "CSeq: " + std::to_string(cseq));
    for (std::size_t i = 0; i < headers.size(); ++i)
        AppendLine(out, headers[i].first + ": " + headers[i].second);
    out += "\r\n";
    return out;
}

}  // namespace rtsp
