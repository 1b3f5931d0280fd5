#include "RbspBits.h"

#include <string>

namespace h265tools {

namespace {

const int kMaxUeLeadingZeros = 31; // 2^32 - 2, the largest value that fits 32 bits

} // namespace

int CeilLog2(std::uint64_t n) {
    int bits = 0;
    while (bits < 64 && (std::uint64_t(1) << bits) < n)
        ++bits;
    return bits;
}

RbspBits::RbspBits(const unsigned char* nal, std::size_t size) : nal_(nal), size_(size) {}

int RbspBits::NalUnitType() const { return size_ < 2 ? 0 : (nal_[0] >> 1) & 0x3F; }

int RbspBits::TemporalId() const {
    // nuh_temporal_id_plus1 0 is forbidden; it gives 0 here, not -1.
    return size_ < 2 || (nal_[1] & 7) == 0 ? 0 : (nal_[1] & 7) - 1;
}

int RbspBits::LayerId() const { return size_ < 2 ? 0 : ((nal_[0] & 1) << 5) | (nal_[1] >> 3); }

void RbspBits::Truncated(const char* name) const {
    throw SyntaxError(std::string("ends before ") + name + " (truncated)", true);
}

void RbspBits::NextByte() {
    zeros_ = nal_[byte_] == 0 ? (zeros_ < 2 ? zeros_ + 1 : 2) : 0;
    ++byte_;
    bit_ = 0;
    // 7.3.1.1: a 03 after two zero bytes of the payload is an
    // emulation_prevention_three_byte, not RBSP data.
    if (zeros_ == 2 && byte_ < size_ && nal_[byte_] == 3) {
        ++byte_;
        zeros_ = 0;
    }
}

std::uint32_t RbspBits::u(int n, const char* name) {
    if (n < 0 || n > 32)
        throw std::invalid_argument("RbspBits::u reads 0 to 32 bits");
    std::uint64_t value = 0;
    while (n > 0) {
        if (byte_ >= size_)
            Truncated(name);
        const int available = 8 - bit_;
        const int take = n < available ? n : available;
        const unsigned bits = (static_cast<unsigned>(nal_[byte_]) >> (available - take)) & ((1u << take) - 1u);
        value = (value << take) | bits;
        n -= take;
        bit_ += take;
        position_ += static_cast<std::uint64_t>(take);
        if (bit_ == 8)
            NextByte();
    }
    return static_cast<std::uint32_t>(value);
}

bool RbspBits::flag(const char* name) { return u(1, name) != 0; }

std::uint32_t RbspBits::ue(const char* name) {
    // 9.2: leadingZeroBits zero bits, a one, then as many bits.
    int leadingZeros = 0;
    while (u(1, name) == 0) {
        if (++leadingZeros > kMaxUeLeadingZeros)
            throw SyntaxError(std::string(name) + " has a ue(v) code above 2^32 - 2");
    }
    const std::uint32_t prefix = static_cast<std::uint32_t>((std::uint64_t(1) << leadingZeros) - 1u);
    return prefix + u(leadingZeros, name);
}

std::int32_t RbspBits::se(const char* name) {
    // 9.2.2: k = 1, 2, 3, 4 ... gives 1, -1, 2, -2 ...; |value| <= 2^31 - 1.
    const std::uint32_t k = ue(name);
    const std::int32_t magnitude = static_cast<std::int32_t>(k / 2u + (k & 1u));
    return (k & 1u) ? magnitude : -magnitude;
}

void RbspBits::Skip(std::uint64_t bits, const char* name) {
    if (bits > BitsLeft())
        Truncated(name);
    // The rest of the current byte, whole bytes without assembling their
    // bits (an SEI payload of some KiB), then the first bits of the last.
    if (bit_ > 0) {
        const int rest = 8 - bit_;
        const int take = bits < static_cast<std::uint64_t>(rest) ? static_cast<int>(bits) : rest;
        u(take, name);
        bits -= static_cast<std::uint64_t>(take);
    }
    for (; bits >= 8; bits -= 8) {
        if (byte_ >= size_)
            Truncated(name);
        position_ += 8;
        NextByte();
    }
    u(static_cast<int>(bits), name);
}

std::uint64_t RbspBits::BitsLeft() const {
    if (byte_ >= size_)
        return 0;
    return static_cast<std::uint64_t>(size_ - byte_) * 8u - static_cast<std::uint64_t>(bit_);
}

bool RbspBits::FindStopBit() {
    // The last non-zero byte holds rbsp_stop_one_bit, unless it is the
    // emulation_prevention_three_byte appended after a final zero byte (7.4.2).
    std::size_t i = size_;
    while (i > 2) {
        --i;
        if (nal_[i] == 0)
            continue;
        if (nal_[i] == 3 && i >= 4 && nal_[i - 1] == 0 && nal_[i - 2] == 0)
            continue;
        stopByte_ = i;
        int lowest = 0;
        while (((nal_[i] >> lowest) & 1) == 0)
            ++lowest;
        stopBit_ = 7 - lowest;
        return true;
    }
    return false;
}

bool RbspBits::MoreRbspData() {
    if (!stopFound_) {
        hasStop_ = FindStopBit();
        stopFound_ = true;
    }
    return hasStop_ && (byte_ < stopByte_ || (byte_ == stopByte_ && bit_ < stopBit_));
}

} // namespace h265tools
