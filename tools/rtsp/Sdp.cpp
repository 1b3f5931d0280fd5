#include "Sdp.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "Base64.h"
#include "RtspUrl.h"
#include "TextFields.h"

namespace rtsp {

namespace {

// RFC 7798 7.1: sprop-max-don-diff and sprop-depack-buf-nalus are 0..32767.
const unsigned long kMaxDonParameter = 32767;

struct Line {
    char type;
    std::string value;
};

// SDP lines are "<type>=<value>", CRLF or LF ended (RFC 4566 5).
std::vector<Line> Lines(const char* text, std::size_t size) {
    std::vector<Line> lines;
    std::size_t at = 0;
    while (at < size) {
        const void* found = std::memchr(text + at, '\n', size - at);
        const std::size_t end = found ? static_cast<std::size_t>(static_cast<const char*>(found) - text) : size;
        std::size_t stop = end;
        if (stop > at && text[stop - 1] == '\r')
            --stop;
        if (stop - at >= 2 && text[at + 1] == '=') {
            Line line;
            line.type = text[at];
            line.value.assign(text + at + 2, stop - at - 2);
            lines.push_back(line);
        }
        at = end + 1;
    }
    return lines;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.compare(0, std::strlen(prefix), prefix) == 0; }

bool EqualNoCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string Trim(const std::string& text) {
    const std::size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A decimal number up to `max`.
bool DecimalUpTo(const std::string& text, unsigned long max, unsigned long& value) {
    return Decimal(text, 9, value) && value <= max;
}

// "<payload type> <rest>" of an a=rtpmap or a=fmtp value; -1 if it does not begin so.
int PayloadTypeOf(const std::string& value, std::string& rest) {
    const std::size_t space = value.find_first_of(" \t");
    unsigned long type = 0;
    if (space == std::string::npos || !DecimalUpTo(value.substr(0, space), 127, type))
        return -1;
    rest = Trim(value.substr(space + 1));
    return static_cast<int>(type);
}

// The fewest bytes a whole parameter set can have: its NAL unit header
// (7.3.1.2) and the fields of fixed length before the first ue(v) one. A VPS
// has vps_video_parameter_set_id to vps_reserved_0xffff_16bits (4 bytes) and
// the general profile_tier_level (12 bytes, 7.3.3); an SPS
// sps_video_parameter_set_id to sps_temporal_id_nesting_flag (1 byte) and the
// same 12; a PPS at least a byte of ue(v) and flags.
std::size_t MinimumBytes(std::size_t kind) {
    static const std::size_t kMinimum[] = {2 + 4 + 12, 2 + 1 + 12, 2 + 1};
    return kind < 3 ? kMinimum[kind] : 2;
}

// A NAL unit cut short: shorter than its fixed fields, or without the
// rbsp_stop_one_bit in its last byte (7.4.2: the last byte of a NAL unit is
// never 0x00), or ending inside an emulation prevention sequence.
bool CutShort(const std::vector<std::uint8_t>& unit, std::size_t kind) {
    const std::size_t n = unit.size();
    if (n < MinimumBytes(kind) || unit[n - 1] == 0)
        return true;
    return n >= 3 && unit[n - 1] == 3 && unit[n - 2] == 0 && unit[n - 3] == 0;
}

// A comma-separated list of base64 NAL units (RFC 7798 7.1, sprop-vps etc.);
// `kind` 0..3 for VPS, SPS, PPS, SEI. Units cut short are named in
// `truncated` instead.
bool NalUnits(const std::string& name, const std::string& list, std::size_t kind,
              std::vector<std::vector<std::uint8_t>>& units, std::vector<std::string>& truncated) {
    units.clear();
    std::size_t index = 0;
    std::size_t at = 0;
    while (at <= list.size()) {
        std::size_t end = list.find(',', at);
        if (end == std::string::npos)
            end = list.size();
        const std::string item = Trim(list.substr(at, end - at));
        at = end + 1;
        if (item.empty())
            continue;
        std::vector<std::uint8_t> unit;
        // Two bytes at least: a NAL unit header (7.3.1.2).
        if (!Base64Decode(item.data(), item.size(), unit) || unit.size() < 2)
            return false;
        ++index;
        if (CutShort(unit, kind))
            truncated.push_back(name + " " + std::to_string(index) + " (" + std::to_string(unit.size()) + " bytes)");
        else
            units.push_back(unit);
    }
    return true;
}

// The fmtp parameters of RFC 7798 7.1 that a receiver needs.
bool FormatParameters(const std::string& parameters, H265Media& media, std::string& error) {
    std::size_t at = 0;
    while (at <= parameters.size()) {
        std::size_t end = parameters.find(';', at);
        if (end == std::string::npos)
            end = parameters.size();
        const std::string item = Trim(parameters.substr(at, end - at));
        at = end + 1;
        const std::size_t equals = item.find('=');
        if (equals == std::string::npos)
            continue;
        const std::string name = Trim(item.substr(0, equals));
        const std::string value = Trim(item.substr(equals + 1));
        std::vector<std::vector<std::uint8_t>>* units = nullptr;
        std::size_t kind = 0;
        if (EqualNoCase(name, "sprop-vps"))
            units = &media.vps, kind = 0;
        else if (EqualNoCase(name, "sprop-sps"))
            units = &media.sps, kind = 1;
        else if (EqualNoCase(name, "sprop-pps"))
            units = &media.pps, kind = 2;
        else if (EqualNoCase(name, "sprop-sei"))
            units = &media.sei, kind = 3;
        if (units) {
            if (!NalUnits(name, value, kind, *units, media.truncated)) {
                error = name + " is not a list of base64 NAL units";
                return false;
            }
            continue;
        }
        unsigned long number = 0;
        const bool donDiff = EqualNoCase(name, "sprop-max-don-diff");
        if (donDiff || EqualNoCase(name, "sprop-depack-buf-nalus")) {
            if (!DecimalUpTo(value, kMaxDonParameter, number)) {
                error = name + " is not a number from 0 to 32767";
                return false;
            }
            (donDiff ? media.maxDonDiff : media.depackBufNalus) = static_cast<unsigned>(number);
        }
    }
    return true;
}

}  // namespace

bool ParseSdp(const char* text, std::size_t size, const std::string& base, H265Media& media, std::string& error) {
    const std::vector<Line> lines = Lines(text, size);
    bool anyVideo = false;
    std::string otherCodecs;
    std::string sessionControl;
    for (std::size_t i = 0; i < lines.size() && lines[i].type != 'm'; ++i)
        if (lines[i].type == 'a' && StartsWith(lines[i].value, "control:"))
            sessionControl = Trim(lines[i].value.substr(8));
    for (std::size_t m = 0; m < lines.size(); ++m) {
        if (lines[m].type != 'm' || !StartsWith(lines[m].value, "video "))
            continue;
        anyVideo = true;
        // m=video <port> <proto> <fmt> ...: the formats this media may carry.
        const std::string& mediaLine = lines[m].value;
        std::vector<int> formats;
        std::size_t at = 0;
        for (int field = 0; at < mediaLine.size(); ++field) {
            std::size_t end = mediaLine.find(' ', at);
            if (end == std::string::npos)
                end = mediaLine.size();
            unsigned long type = 0;
            if (field >= 3 && DecimalUpTo(mediaLine.substr(at, end - at), 127, type))
                formats.push_back(static_cast<int>(type));
            at = end + 1;
        }
        std::size_t last = m + 1;
        while (last < lines.size() && lines[last].type != 'm')
            ++last;
        media = H265Media();
        std::string control;
        for (std::size_t i = m + 1; i < last && media.payloadType < 0; ++i) {
            std::string rest;
            if (lines[i].type != 'a' || !StartsWith(lines[i].value, "rtpmap:"))
                continue;
            const int type = PayloadTypeOf(lines[i].value.substr(7), rest);
            bool listed = false;
            for (std::size_t k = 0; k < formats.size(); ++k)
                listed = listed || formats[k] == type;
            if (!listed)
                continue;
            // encoding name / clock rate; RFC 7798 7.1 fixes the rate at 90000.
            if (EqualNoCase(rest, "H265/90000"))
                media.payloadType = type;
            else if (otherCodecs.size() < 200)
                otherCodecs += (otherCodecs.empty() ? "" : ", ") + rest;
        }
        if (media.payloadType < 0)
            continue;
        for (std::size_t i = m + 1; i < last; ++i) {
            if (lines[i].type != 'a')
                continue;
            std::string rest;
            if (StartsWith(lines[i].value, "control:")) {
                control = Trim(lines[i].value.substr(8));
            } else if (StartsWith(lines[i].value, "fmtp:") &&
                       PayloadTypeOf(lines[i].value.substr(5), rest) == media.payloadType) {
                if (!FormatParameters(rest, media, error))
                    return false;
            }
        }
        media.control = ResolveControl(base, control);
        media.aggregateControl = ResolveControl(base, sessionControl);
        return true;
    }
    if (!anyVideo)
        error = "the SDP has no video media";
    else
        error = "no video media of the SDP is H265/90000" + (otherCodecs.empty() ? "" : " (it offers " + otherCodecs + ")");
    return false;
}

}  // namespace rtsp
