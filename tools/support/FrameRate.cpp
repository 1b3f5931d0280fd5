#include "FrameRate.h"

#include <cstdio>

#include "SpsSyntax.h"
#include "VpsSyntax.h"

namespace h265tools {

namespace {

std::uint64_t Gcd(std::uint64_t a, std::uint64_t b) {
    while (b != 0) {
        const std::uint64_t r = a % b;
        a = b;
        b = r;
    }
    return a;
}

bool Reduced(std::uint64_t numerator, std::uint64_t denominator, FrameRate::Source source, FrameRate& rate) {
    if (numerator == 0 || denominator == 0)
        return false;
    const std::uint64_t g = Gcd(numerator, denominator);
    rate.numerator = numerator / g;
    rate.denominator = denominator / g;
    rate.source = source;
    return true;
}

// Digits only, at least one, value below 2^32.
bool ParseWhole(const std::string& text, std::uint64_t& value) {
    if (text.empty() || text.size() > 10)
        return false;
    value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + static_cast<std::uint64_t>(c - '0');
    }
    return value <= 0xFFFFFFFFu;
}

} // namespace

bool FrameRateFromTiming(std::uint32_t num_units_in_tick, std::uint32_t time_scale, FrameRate::Source source,
                         FrameRate& rate) {
    // A clock tick is num_units_in_tick / time_scale seconds (E.3.1); the
    // picture rate is its inverse.
    return Reduced(time_scale, num_units_in_tick, source, rate);
}

bool ParseFrameRate(const std::string& text, FrameRate& rate) {
    const std::size_t slash = text.find('/');
    std::uint64_t numerator = 0;
    std::uint64_t denominator = 1;
    if (slash != std::string::npos) {
        if (!ParseWhole(text.substr(0, slash), numerator) || !ParseWhole(text.substr(slash + 1), denominator))
            return false;
    } else {
        const std::size_t point = text.find('.');
        std::string whole = text.substr(0, point);
        std::string fraction = point == std::string::npos ? std::string() : text.substr(point + 1);
        if ((point != std::string::npos && fraction.empty()) || fraction.size() > 6)
            return false;
        if (whole.empty())
            whole = "0";
        std::uint64_t fractionValue = 0;
        if (!ParseWhole(whole, numerator) || (!fraction.empty() && !ParseWhole(fraction, fractionValue)))
            return false;
        for (std::size_t i = 0; i < fraction.size(); ++i) {
            numerator *= 10;
            denominator *= 10;
        }
        numerator += fractionValue;
    }
    return Reduced(numerator, denominator, FrameRate::Source::kOption, rate);
}

FrameRate ChooseFrameRate(const FrameRate* option, const SpsSyntax* sps, const VpsSyntax* vps) {
    if (option)
        return *option;
    FrameRate rate;
    if (sps && sps->vui_parameters_present_flag && sps->vui.vui_timing_info_present_flag &&
        FrameRateFromTiming(sps->vui.vui_num_units_in_tick, sps->vui.vui_time_scale, FrameRate::Source::kSpsVui, rate))
        return rate;
    if (vps && vps->vps_timing_info_present_flag &&
        FrameRateFromTiming(vps->vps_num_units_in_tick, vps->vps_time_scale, FrameRate::Source::kVps, rate))
        return rate;
    return FrameRate();
}

const char* FrameRateSourceName(FrameRate::Source source) {
    switch (source) {
    case FrameRate::Source::kSpsVui:
        return "SPS VUI";
    case FrameRate::Source::kVps:
        return "VPS";
    case FrameRate::Source::kOption:
        return "--fps";
    case FrameRate::Source::kAssumed:
        break;
    }
    return "assumed";
}

std::string FrameRateText(const FrameRate& rate) {
    if (rate.source == FrameRate::Source::kAssumed)
        return "not in the stream, " + std::to_string(rate.numerator) + " assumed";
    return std::to_string(rate.numerator) + "/" + std::to_string(rate.denominator) + " (" +
           FrameRateSourceName(rate.source) + ")";
}

std::string SecondsText(double seconds, int decimals) {
    // Whole numbers of the last decimal place, without printf's float
    // formatting, which costs more than reading a picture's timing.
    static const double kScale[] = {1, 10, 100, 1000, 10000, 100000, 1000000};
    if (decimals >= 0 && decimals <= 6 && seconds >= 0 && seconds < 1e9) {
        const std::uint64_t units = static_cast<std::uint64_t>(seconds * kScale[decimals] + 0.5);
        const std::uint64_t scale = static_cast<std::uint64_t>(kScale[decimals]);
        std::string text = std::to_string(units / scale);
        if (decimals > 0) {
            const std::string fraction = std::to_string(units % scale);
            text += '.';
            text.append(static_cast<std::size_t>(decimals) - fraction.size(), '0');
            text += fraction;
        }
        return text;
    }
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, seconds);
    return text;
}

} // namespace h265tools
