// Pictures per second of a stream and where that number came from: the
// timing information of the active SPS's VUI (E.2.1), else that of its VPS
// (7.3.2.1), else the user's --fps, else an assumed 25. A decoder takes the
// rate in the same order.
#ifndef H265TOOLS_FRAME_RATE_H
#define H265TOOLS_FRAME_RATE_H

#include <cstdint>
#include <string>

namespace h265tools {

struct SpsSyntax;
struct VpsSyntax;

struct FrameRate {
    enum class Source { kAssumed, kOption, kSpsVui, kVps };
    // Pictures per second as the fraction numerator / denominator, reduced.
    std::uint64_t numerator = 25;
    std::uint64_t denominator = 1;
    Source source = Source::kAssumed;

    double PerSecond() const { return static_cast<double>(numerator) / static_cast<double>(denominator); }
    // The time of `pictures` pictures, in seconds.
    double Seconds(std::uint64_t pictures) const {
        return static_cast<double>(pictures) * static_cast<double>(denominator) / static_cast<double>(numerator);
    }
};

// time_scale / num_units_in_tick as a reduced fraction; false when either is 0.
bool FrameRateFromTiming(std::uint32_t num_units_in_tick, std::uint32_t time_scale, FrameRate::Source source,
                         FrameRate& rate);

// "25", "29.97" or "30000/1001": a rate above 0 with at most six decimals
// and terms below 2^32. False for anything else.
bool ParseFrameRate(const std::string& text, FrameRate& rate);

// The rate a stream plays at: `option` (the user's, when given) over the
// SPS VUI's timing over the VPS's; 25 when none has one. `sps` and `vps` may
// be null.
FrameRate ChooseFrameRate(const FrameRate* option, const SpsSyntax* sps, const VpsSyntax* vps);

// "SPS VUI", "VPS", "--fps" or "assumed".
const char* FrameRateSourceName(FrameRate::Source source);

// "30000/1001 (SPS VUI)", "25/1 (--fps)", "not in the stream, 25 assumed".
std::string FrameRateText(const FrameRate& rate);

// "1001/30000" seconds per picture as a decimal with `decimals` places.
std::string SecondsText(double seconds, int decimals = 3);

} // namespace h265tools

#endif
