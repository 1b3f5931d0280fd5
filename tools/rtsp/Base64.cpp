#include "Base64.h"

namespace rtsp {

namespace {

const char kAlphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";

int Value(char c) {
    if (c >= 'A' && c <= 'Z')
        return c - 'A';
    if (c >= 'a' && c <= 'z')
        return c - 'a' + 26;
    if (c >= '0' && c <= '9')
        return c - '0' + 52;
    if (c == '+')
        return 62;
    if (c == '/')
        return 63;
    return -1;
}

}  // namespace

std::string Base64Encode(const std::string& bytes) {
    std::string out;
    out.reserve((bytes.size() + 2) / 3 * 4);
    for (std::size_t i = 0; i < bytes.size(); i += 3) {
        const std::size_t n = bytes.size() - i < 3 ? bytes.size() - i : 3;
        std::uint32_t group = static_cast<std::uint8_t>(bytes[i]) << 16;
        if (n > 1)
            group |= static_cast<std::uint8_t>(bytes[i + 1]) << 8;
        if (n > 2)
            group |= static_cast<std::uint8_t>(bytes[i + 2]);
        out += kAlphabet[group >> 18];
        out += kAlphabet[(group >> 12) & 63];
        out += n > 1 ? kAlphabet[(group >> 6) & 63] : '=';
        out += n > 2 ? kAlphabet[group & 63] : '=';
    }
    return out;
}

bool Base64Decode(const char* text, std::size_t size, std::vector<std::uint8_t>& out) {
    for (int pad = 0; pad < 2 && size > 0 && text[size - 1] == '='; ++pad)
        --size;
    if (size % 4 == 1)
        return false;
    std::uint32_t group = 0;
    unsigned bits = 0;
    for (std::size_t i = 0; i < size; ++i) {
        const int v = Value(text[i]);
        if (v < 0)
            return false;
        group = (group << 6) | static_cast<std::uint32_t>(v);
        bits += 6;
        if (bits >= 8) {
            bits -= 8;
            out.push_back(static_cast<std::uint8_t>(group >> bits));
            group &= (1u << bits) - 1;
        }
    }
    return true;
}

}  // namespace rtsp
