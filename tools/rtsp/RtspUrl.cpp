#include "RtspUrl.h"

#include <cctype>
#include <cstring>

namespace rtsp {

namespace {

bool StartsWithNoCase(const std::string& text, const char* prefix) {
    const std::size_t n = std::strlen(prefix);
    if (text.size() < n)
        return false;
    for (std::size_t i = 0; i < n; ++i)
        if (std::tolower(static_cast<unsigned char>(text[i])) != prefix[i])
            return false;
    return true;
}

int HexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// RFC 3986 2.1; false on a '%' not followed by two hex digits.
bool PercentDecode(const std::string& text, std::string& out) {
    out.clear();
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '%') {
            out += text[i];
            continue;
        }
        const int high = i + 2 < text.size() ? HexValue(text[i + 1]) : -1;
        const int low = high >= 0 ? HexValue(text[i + 2]) : -1;
        if (low < 0)
            return false;
        out += static_cast<char>(high * 16 + low);
        i += 2;
    }
    return true;
}

// Host names, IPv4 and IPv6 literals: nothing that would end the request
// line or a header early, nor a character a resolver could take for syntax.
bool PlausibleHost(const std::string& host, bool ipv6) {
    if (host.empty() || host.size() > 255)
        return false;
    for (std::size_t i = 0; i < host.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(host[i]);
        if (!(std::isalnum(c) || c == '-' || c == '.' || c == '_' || (ipv6 && (c == ':' || c == '%'))))
            return false;
    }
    return true;
}

// RFC 3986 5.2.4: "." and ".." segments taken out of a merged path.
std::string RemoveDotSegments(const std::string& path) {
    std::string out;
    std::size_t at = 0;
    while (at < path.size()) {
        std::size_t end = path.find('/', at + 1);
        if (end == std::string::npos)
            end = path.size();
        const std::string segment = path.substr(at, end - at);  // with its leading '/'
        if (segment == "/." || segment == "/..") {
            if (segment == "/..") {
                const std::size_t cut = out.rfind('/');
                out.erase(cut == std::string::npos ? 0 : cut);
            }
            if (end == path.size())
                out += '/';
        } else {
            out += segment;
        }
        at = end;
    }
    return out;
}

}  // namespace

bool IsRtspUrl(const std::string& text) { return StartsWithNoCase(text, "rtsp://"); }

bool ParseRtspUrl(const std::string& text, RtspUrl& url, std::string& error) {
    url = RtspUrl();
    if (!IsRtspUrl(text)) {
        error = "not an rtsp:// URL";
        return false;
    }
    const std::size_t start = 7;
    std::size_t end = text.find_first_of("/?#", start);
    if (end == std::string::npos)
        end = text.size();
    std::string authority = text.substr(start, end - start);
    // The last '@' ends the user information: passwords of cameras often
    // hold an '@' of their own, unencoded.
    const std::size_t at = authority.rfind('@');
    if (at != std::string::npos) {
        const std::string userInfo = authority.substr(0, at);
        const std::size_t colon = userInfo.find(':');
        if (!PercentDecode(userInfo.substr(0, colon), url.user) ||
            !PercentDecode(colon == std::string::npos ? std::string() : userInfo.substr(colon + 1), url.password)) {
            url.user.clear();
            url.password.clear();
            error = "bad percent-encoding in the user name or password of the URL";
            return false;
        }
        url.hasCredentials = true;
        authority.erase(0, at + 1);
    }
    std::string portText;
    bool ipv6 = false;
    if (!authority.empty() && authority[0] == '[') {
        const std::size_t close = authority.find(']');
        if (close == std::string::npos) {
            error = "an IPv6 address in the URL without its closing ']'";
            return false;
        }
        url.host = authority.substr(1, close - 1);
        ipv6 = true;
        // RFC 6874: a zone identifier's '%' is written "%25" in a URL.
        const std::size_t zone = url.host.find("%25");
        if (zone != std::string::npos)
            url.host.erase(zone + 1, 2);
        if (close + 1 < authority.size()) {
            if (authority[close + 1] != ':') {
                error = "text after the IPv6 address in the URL";
                return false;
            }
            portText = authority.substr(close + 2);
        }
    } else {
        const std::size_t colon = authority.find(':');
        url.host = authority.substr(0, colon);
        if (colon != std::string::npos)
            portText = authority.substr(colon + 1);
    }
    if (!PlausibleHost(url.host, ipv6)) {
        error = url.host.empty() ? "no host in the URL" : "the URL's host '" + url.host + "' is not a host name or address";
        return false;
    }
    if (!portText.empty() || (authority.size() > 0 && authority[authority.size() - 1] == ':')) {
        unsigned long port = 0;
        bool digits = !portText.empty() && portText.size() <= 5;
        for (std::size_t i = 0; digits && i < portText.size(); ++i) {
            digits = std::isdigit(static_cast<unsigned char>(portText[i])) != 0;
            port = port * 10 + static_cast<unsigned long>(portText[i] - '0');
        }
        if (!digits || port == 0 || port > 65535) {
            error = "the URL's port is not a number from 1 to 65535";
            return false;
        }
        url.port = static_cast<std::uint16_t>(port);
    }
    // The fragment is the client's own (RFC 3986 3.5) and never sent.
    std::string path = text.substr(end, text.find('#', end) == std::string::npos ? std::string::npos
                                                                                  : text.find('#', end) - end);
    for (std::size_t i = 0; i < path.size(); ++i) {
        const unsigned char c = static_cast<unsigned char>(path[i]);
        if (c <= ' ' || c == 0x7F) {
            error = "a space or control character in the URL's path";
            return false;
        }
    }
    if (path.empty() || path[0] == '?')
        path.insert(0, "/");
    url.path = path;
    return true;
}

std::string RtspUrl::WithoutCredentials() const {
    std::string name = host;
    if (host.find(':') != std::string::npos) {
        const std::size_t zone = name.find('%');
        if (zone != std::string::npos)
            name.insert(zone + 1, "25");
        name = "[" + name + "]";
    }
    return "rtsp://" + name + ":" + std::to_string(port) + path;
}

std::string ResolveControl(const std::string& base, const std::string& control) {
    if (control.empty() || control == "*")
        return base;
    if (IsRtspUrl(control) || StartsWithNoCase(control, "rtsps://"))
        return control;
    // The base as scheme://authority, path and query (RFC 3986 3).
    const std::size_t scheme = base.find("://");
    const std::size_t pathStart =
        scheme == std::string::npos ? std::string::npos : base.find_first_of("/?#", scheme + 3);
    const std::string origin = base.substr(0, pathStart);
    std::string basePath = pathStart == std::string::npos ? std::string() : base.substr(pathStart);
    const std::size_t cut = basePath.find_first_of("?#");
    const std::string baseQuery = cut != std::string::npos && basePath[cut] == '?'
                                      ? basePath.substr(cut, basePath.find('#', cut) - cut)
                                      : std::string();
    if (cut != std::string::npos)
        basePath.erase(cut);
    if (control[0] == '?')
        return origin + (basePath.empty() ? "/" : basePath) + control;
    if (control[0] == '#')
        return origin + basePath + baseQuery;
    if (control[0] == '/')
        return origin + RemoveDotSegments(control);
    // RFC 3986 5.2.3: the base path up to its last '/', then the reference.
    const std::size_t slash = basePath.rfind('/');
    const std::string merged = (slash == std::string::npos ? std::string("/") : basePath.substr(0, slash + 1)) + control;
    const std::size_t query = merged.find('?');
    return origin + RemoveDotSegments(merged.substr(0, query)) + (query == std::string::npos ? "" : merged.substr(query));
}

}  // namespace rtsp
