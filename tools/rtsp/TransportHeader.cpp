#include "TransportHeader.h"

#include <cctype>
#include <cstdlib>

#include "TextFields.h"

namespace rtsp {

namespace {

bool Number(const std::string& text, int max, int& value) {
    if (text.empty() || text.size() > 5)
        return false;
    value = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
        value = value * 10 + (text[i] - '0');
    }
    return value <= max;
}

// "a" or "a-b" (RFC 2326 12.39: port and channel ranges); a lone value
// stands for itself and the next.
bool Range(const std::string& text, int max, int range[2]) {
    const std::size_t dash = text.find('-');
    if (!Number(text.substr(0, dash), max, range[0]))
        return false;
    if (dash == std::string::npos) {
        range[1] = range[0] + 1;
        return range[1] <= max;
    }
    return Number(text.substr(dash + 1), max, range[1]);
}

}  // namespace

bool ParseTransport(const std::string& value, Transport& transport) {
    transport = Transport();
    // The first transport of the list, the one the server chose.
    std::string chosen = value.substr(0, value.find(','));
    std::size_t at = 0;
    bool first = true;
    while (at <= chosen.size()) {
        std::size_t end = chosen.find(';', at);
        if (end == std::string::npos)
            end = chosen.size();
        std::string item = chosen.substr(at, end - at);
        while (!item.empty() && std::isspace(static_cast<unsigned char>(item[0])))
            item.erase(0, 1);
        while (!item.empty() && std::isspace(static_cast<unsigned char>(item[item.size() - 1])))
            item.erase(item.size() - 1);
        at = end + 1;
        const std::size_t equals = item.find('=');
        const std::string name = Lower(item.substr(0, equals));
        const std::string argument = equals == std::string::npos ? std::string() : item.substr(equals + 1);
        if (first) {
            // transport-protocol/profile[/lower-transport]
            if (name == "rtp/avp/tcp")
                transport.tcp = true;
            else if (name != "rtp/avp" && name != "rtp/avp/udp")
                return false;
            first = false;
        } else if (name == "multicast") {
            transport.multicast = true;
        } else if (name == "interleaved") {
            if (!Range(argument, 255, transport.interleaved))
                return false;
        } else if (name == "client_port") {
            if (!Range(argument, 65535, transport.clientPort))
                return false;
        } else if (name == "server_port") {
            if (!Range(argument, 65535, transport.serverPort))
                return false;
        } else if (name == "source") {
            transport.source = argument;
        }
    }
    return !first;
}

}  // namespace rtsp
