#include "SvgText.h"

#include <cmath>
#include <cstdio>

#include "Json.h"

namespace h265info {

std::string XmlEscaped(const std::string& text) {
    static const char kReplacement[] = "\xEF\xBF\xBD"; // U+FFFD
    std::string out;
    out.reserve(text.size());
    AppendUtf8(text, out, kReplacement, [](unsigned char c, std::string& out) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            // XML 1.0 allows no control character but tab, LF and CR.
            if (c < 0x20 && c != '\t' && c != '\n' && c != '\r')
                out += kReplacement;
            else
                out += static_cast<char>(c);
        }
    });
    return out;
}

std::string Coordinate(double value) {
    // Integer hundredths rather than printf's "%.2f": the chart writes tens of
    // thousands of coordinates, and these are all far inside 64 bits.
    const long long hundredths = std::llround(value * 100);
    const unsigned long long magnitude =
        hundredths < 0 ? 0ULL - static_cast<unsigned long long>(hundredths) : static_cast<unsigned long long>(hundredths);
    std::string s = (hundredths < 0 ? "-" : "") + std::to_string(magnitude / 100);
    const unsigned int fraction = static_cast<unsigned int>(magnitude % 100);
    if (fraction != 0) {
        s += '.';
        s += static_cast<char>('0' + fraction / 10);
        if (fraction % 10 != 0)
            s += static_cast<char>('0' + fraction % 10);
    }
    return s;
}

std::string SiValue(double value, const char* unit) {
    static const char* const kPrefixes[] = {"", "k", "M", "G", "T", "P"};
    int prefix = 0;
    while (std::fabs(value) >= 999.5 && prefix < 5) {
        value /= 1000;
        ++prefix;
    }
    char text[64];
    const int decimals = std::fabs(value) >= 99.95 ? 0 : std::fabs(value) >= 9.995 ? 1 : 2;
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    std::string s = text;
    if (s.find('.') != std::string::npos) {
        while (s.back() == '0')
            s.pop_back();
        if (s.back() == '.')
            s.pop_back();
    }
    return s + " " + kPrefixes[prefix] + unit;
}

std::string TimeLabel(double seconds) {
    if (seconds < 59.995) {
        std::string text = SiValue(seconds, "s");
        return text;
    }
    const unsigned long long whole = static_cast<unsigned long long>(seconds + 0.5);
    char text[64];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%llu:%02llu:%02llu", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%llu:%02llu", whole / 60, whole % 60);
    return text;
}

double TickStep(double max, int count) {
    const double rough = max / count;
    const double power = std::pow(10.0, std::floor(std::log10(rough)));
    for (double factor : {1.0, 2.0, 5.0, 10.0})
        if (factor * power >= rough)
            return factor * power;
    return 10 * power;
}

} // namespace h265info
