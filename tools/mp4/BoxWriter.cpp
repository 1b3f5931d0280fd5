#include "BoxWriter.h"

#include <stdexcept>

namespace mp4 {

// Fields go in with one append each: a fragment's trun has four for every
// sample.
void BoxWriter::U16(unsigned int value) {
    const unsigned char bytes[2] = {static_cast<unsigned char>((value >> 8) & 0xFFu),
                                    static_cast<unsigned char>(value & 0xFFu)};
    Bytes(bytes, 2);
}

void BoxWriter::U24(std::uint32_t value) {
    const unsigned char bytes[3] = {static_cast<unsigned char>((value >> 16) & 0xFFu),
                                    static_cast<unsigned char>((value >> 8) & 0xFFu),
                                    static_cast<unsigned char>(value & 0xFFu)};
    Bytes(bytes, 3);
}

void BoxWriter::U32(std::uint32_t value) {
    const unsigned char bytes[4] = {static_cast<unsigned char>(value >> 24),
                                    static_cast<unsigned char>((value >> 16) & 0xFFu),
                                    static_cast<unsigned char>((value >> 8) & 0xFFu),
                                    static_cast<unsigned char>(value & 0xFFu)};
    Bytes(bytes, 4);
}

void BoxWriter::U64(std::uint64_t value) {
    U32(static_cast<std::uint32_t>(value >> 32));
    U32(static_cast<std::uint32_t>(value & 0xFFFFFFFFu));
}

void BoxWriter::S32(std::int32_t value) {
    // Two's complement spelled out: converting a negative value to unsigned
    // is defined as adding 2^32.
    U32(static_cast<std::uint32_t>(value));
}

void BoxWriter::Bytes(const unsigned char* data, std::size_t size) {
    out_.insert(out_.end(), data, data + size);
}

void BoxWriter::Zeros(std::size_t count) {
    out_.insert(out_.end(), count, 0);
}

void BoxWriter::FourCc(const char* code) {
    Bytes(reinterpret_cast<const unsigned char*>(code), 4);
}

std::size_t BoxWriter::Begin(const char* type) {
    const std::size_t start = out_.size();
    U32(0); // size, patched by End
    FourCc(type);
    return start;
}

std::size_t BoxWriter::BeginFull(const char* type, unsigned int version, std::uint32_t flags) {
    const std::size_t start = Begin(type);
    U8(version);
    U24(flags);
    return start;
}

void BoxWriter::End(std::size_t start) {
    const std::size_t size = out_.size() - start;
    // Boxes written in memory are small (a moov, a moof); a size that needs
    // the 64-bit largesize form would be a fault of the caller.
    if (!FitsIn32Bits(size))
        throw std::length_error("box over 4 GiB");
    PatchU32(start, static_cast<std::uint32_t>(size));
}

void BoxWriter::PatchU32(std::size_t position, std::uint32_t value) {
    out_[position] = static_cast<unsigned char>(value >> 24);
    out_[position + 1] = static_cast<unsigned char>((value >> 16) & 0xFFu);
    out_[position + 2] = static_cast<unsigned char>((value >> 8) & 0xFFu);
    out_[position + 3] = static_cast<unsigned char>(value & 0xFFu);
}

} // namespace mp4
