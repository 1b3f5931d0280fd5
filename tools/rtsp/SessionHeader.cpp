#include "SessionHeader.h"

#include <cctype>

namespace rtsp {

namespace {

// RFC 2326 3.4: 1*( ALPHA | DIGIT | safe ), with safe "$" | "-" | "_" | "." | "+".
bool SessionIdCharacter(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) || c == '$' || c == '-' || c == '_' || c == '.' || c == '+';
}

}  // namespace

bool ParseSession(const std::string& value, std::string& id, unsigned& timeoutSeconds) {
    timeoutSeconds = kDefaultSessionTimeout;
    const std::size_t semicolon = value.find(';');
    id = value.substr(0, semicolon);
    while (!id.empty() && (id[id.size() - 1] == ' ' || id[id.size() - 1] == '\t'))
        id.erase(id.size() - 1);
    if (id.empty() || id.size() > 256)
        return false;
    for (std::size_t i = 0; i < id.size(); ++i)
        if (!SessionIdCharacter(id[i]))
            return false;
    if (semicolon == std::string::npos)
        return true;
    std::size_t at = value.find_first_not_of(" \t", semicolon + 1);
    if (at == std::string::npos || value.compare(at, 7, "timeout") != 0)
        return true;  // parameters we do not know are no reason to fail
    at = value.find_first_not_of(" \t", at + 7);
    if (at == std::string::npos || value[at] != '=')
        return true;
    at = value.find_first_not_of(" \t", at + 1);
    unsigned long seconds = 0;
    std::size_t digits = 0;
    while (at != std::string::npos && at < value.size() && std::isdigit(static_cast<unsigned char>(value[at])) &&
           digits < 9) {
        seconds = seconds * 10 + static_cast<unsigned long>(value[at] - '0');
        ++at;
        ++digits;
    }
    // A timeout of 0 would ask for keep-alives without pause: the default
    // holds then.
    if (digits > 0 && seconds > 0)
        timeoutSeconds = static_cast<unsigned>(seconds);
    return true;
}

}  // namespace rtsp
