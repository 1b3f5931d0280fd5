#include "RtspResponse.h"

#include <cctype>
#include <cstring>

#include "TextFields.h"

namespace rtsp {

namespace {

bool EqualNoCase(const std::string& a, const char* b) {
    const std::size_t n = std::strlen(b);
    if (a.size() != n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

bool IsSpace(char c) { return c == ' ' || c == '\t'; }

std::string Trim(const std::string& text, std::size_t from) {
    std::size_t end = text.size();
    while (from < end && IsSpace(text[from]))
        ++from;
    while (end > from && IsSpace(text[end - 1]))
        --end;
    return text.substr(from, end - from);
}

}  // namespace

const std::string* RtspResponse::Find(const char* name) const {
    for (std::size_t i = 0; i < headers.size(); ++i)
        if (EqualNoCase(headers[i].first, name))
            return &headers[i].second;
    return nullptr;
}

std::vector<std::string> RtspResponse::FindAll(const char* name) const {
    std::vector<std::string> values;
    for (std::size_t i = 0; i < headers.size(); ++i)
        if (EqualNoCase(headers[i].first, name))
            values.push_back(headers[i].second);
    return values;
}

long RtspResponse::CSeq() const {
    const std::string* value = Find("CSeq");
    unsigned long n = 0;
    return value && Decimal(*value, 9, n) ? static_cast<long>(n) : -1;
}

RtspResponseParser::RtspResponseParser() { m_line.reserve(kMaxLineBytes + 2); }

void RtspResponseParser::Reset() {
    m_state = State::kIncomplete;
    m_part = Part::kStatusLine;
    m_line.clear();
    m_bodyBytes = 0;
    m_response.status = 0;
    m_response.reason.clear();
    m_response.headers.clear();
    m_response.body.clear();
    m_error.clear();
}

void RtspResponseParser::Fail(const std::string& error) {
    m_state = State::kError;
    m_error = error;
}

std::size_t RtspResponseParser::Feed(const std::uint8_t* data, std::size_t size) {
    std::size_t at = 0;
    while (at < size && m_state == State::kIncomplete) {
        if (m_part == Part::kBody) {
            const std::size_t n = size - at < m_bodyBytes - m_response.body.size() ? size - at
                                                                                  : m_bodyBytes - m_response.body.size();
            m_response.body.append(reinterpret_cast<const char*>(data + at), n);
            at += n;
            if (m_response.body.size() == m_bodyBytes)
                m_state = State::kComplete;
            continue;
        }
        // Lines end in CRLF (RFC 2326 4); a bare LF is taken too, as HTTP
        // readers do.
        const void* found = std::memchr(data + at, '\n', size - at);
        const std::size_t end = found ? static_cast<std::size_t>(static_cast<const std::uint8_t*>(found) - data) : size;
        if (m_line.size() + (end - at) > kMaxLineBytes + 1) {
            Fail(m_part == Part::kStatusLine ? "a status line over 4096 bytes" : "a header line over 4096 bytes");
            return end;
        }
        m_line.append(reinterpret_cast<const char*>(data + at), end - at);
        at = end;
        if (!found)
            break;
        ++at;
        if (!m_line.empty() && m_line[m_line.size() - 1] == '\r')
            m_line.erase(m_line.size() - 1);
        if (m_line.size() > kMaxLineBytes) {
            Fail(m_part == Part::kStatusLine ? "a status line over 4096 bytes" : "a header line over 4096 bytes");
            return at;
        }
        if (!Line(m_line))
            return at;
        m_line.clear();
    }
    return at;
}

bool RtspResponseParser::Line(const std::string& line) {
    if (m_part == Part::kStatusLine)
        return StatusLine(line);
    if (line.empty())
        return EndOfHeaders();
    return HeaderLine(line);
}

// RFC 2326 7.1: RTSP-Version SP Status-Code SP Reason-Phrase.
bool RtspResponseParser::StatusLine(const std::string& line) {
    unsigned long major = 0, minor = 0, status = 0;
    const std::size_t dot = line.find('.');
    const std::size_t space = line.find(' ');
    if (line.compare(0, 5, "RTSP/") != 0 || dot == std::string::npos || space == std::string::npos || dot > space ||
        !Decimal(line.substr(5, dot - 5), 3, major) || !Decimal(line.substr(dot + 1, space - dot - 1), 3, minor)) {
        Fail("a status line that does not begin with RTSP/<major>.<minor>");
        return false;
    }
    if (major != 1) {
        Fail("a response of RTSP version " + std::to_string(major) + "." + std::to_string(minor) + ", not 1.x");
        return false;
    }
    const std::size_t reason = line.find(' ', space + 1);
    if (!Decimal(line.substr(space + 1, reason == std::string::npos ? std::string::npos : reason - space - 1), 3,
                 status) ||
        status < 100 || status > 599) {
        Fail("a status line without a status code from 100 to 599");
        return false;
    }
    m_response.status = static_cast<int>(status);
    m_response.reason = reason == std::string::npos ? std::string() : Trim(line, reason + 1);
    for (std::size_t i = 0; i < m_response.reason.size(); ++i)
        if (static_cast<unsigned char>(m_response.reason[i]) < ' ')
            m_response.reason[i] = '?';  // it goes into messages
    m_part = Part::kHeaders;
    return true;
}

// RFC 2326 4.2 (as HTTP/1.1 4.2): name ":" value, a line beginning with a
// space or tab continuing the value before it.
bool RtspResponseParser::HeaderLine(const std::string& line) {
    if (IsSpace(line[0])) {
        if (m_response.headers.empty()) {
            Fail("a continuation line before any header");
            return false;
        }
        std::string& value = m_response.headers.back().second;
        if (value.size() + line.size() > kMaxLineBytes) {
            Fail("a folded header over 4096 bytes");
            return false;
        }
        value += ' ';
        value += Trim(line, 0);
        return true;
    }
    const std::size_t colon = line.find(':');
    if (colon == 0 || colon == std::string::npos) {
        Fail("a header line without a name and ':'");
        return false;
    }
    if (m_response.headers.size() == kMaxHeaders) {
        Fail("more than 64 headers");
        return false;
    }
    m_response.headers.push_back(std::make_pair(Trim(line.substr(0, colon), 0), Trim(line, colon + 1)));
    return true;
}

// RFC 2326 12.14: without Content-Length the body is empty.
bool RtspResponseParser::EndOfHeaders() {
    m_bodyBytes = 0;
    bool seen = false;
    for (std::size_t i = 0; i < m_response.headers.size(); ++i) {
        if (!EqualNoCase(m_response.headers[i].first, "Content-Length"))
            continue;
        unsigned long n = 0;
        if (!Decimal(m_response.headers[i].second, 9, n) || (seen && n != m_bodyBytes)) {
            Fail("a Content-Length that is not one decimal number");
            return false;
        }
        if (n > kMaxBodyBytes) {
            Fail("a body of " + std::to_string(n) + " bytes, over the 65536 taken");
            return false;
        }
        m_bodyBytes = n;
        seen = true;
    }
    if (m_bodyBytes == 0)
        m_state = State::kComplete;
    else {
        m_part = Part::kBody;
        m_response.body.reserve(m_bodyBytes);
    }
    return true;
}

}  // namespace rtsp
