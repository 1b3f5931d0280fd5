#include "TextFields.h"

#include <cctype>

namespace rtsp {

std::string Lower(std::string text) {
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    return text;
}

bool Decimal(const std::string& text, std::size_t digits, unsigned long& value) {
    if (text.empty() || text.size() > digits)
        return false;
    value = 0;
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (!std::isdigit(static_cast<unsigned char>(text[i])))
            return false;
        value = value * 10 + static_cast<unsigned long>(text[i] - '0');
    }
    return true;
}

}  // namespace rtsp
