// Writes ISO BMFF boxes (ISO/IEC 14496-12 4.2) into a byte buffer: fields in
// big-endian order, and each box's 32-bit size patched in when its body is
// done, so that no box size is computed by hand.
#ifndef MP4_BOX_WRITER_H
#define MP4_BOX_WRITER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace mp4 {

// A byte count fits a 32-bit size field. Spelled as a shift so that it says
// nothing odd where std::size_t has 32 bits itself.
inline bool FitsIn32Bits(std::uint64_t n) { return (n >> 32) == 0; }

class BoxWriter {
public:
    explicit BoxWriter(std::vector<unsigned char>& out) : out_(out) {}

    void U8(unsigned int value) { out_.push_back(static_cast<unsigned char>(value & 0xFFu)); }
    void U16(unsigned int value);
    void U24(std::uint32_t value);
    void U32(std::uint32_t value);
    void U64(std::uint64_t value);
    // A signed 32-bit field in two's complement (trun version 1 composition offsets).
    void S32(std::int32_t value);
    void Bytes(const unsigned char* data, std::size_t size);
    void Zeros(std::size_t count);
    // A four-character code.
    void FourCc(const char* code);

    // Opens a box: its size placeholder and type. Returns what End needs.
    std::size_t Begin(const char* type);
    // Opens a FullBox (4.2): version u(8) and flags u(24) after the type.
    std::size_t BeginFull(const char* type, unsigned int version, std::uint32_t flags);
    // Patches the size of the box opened at `start` with everything written since.
    void End(std::size_t start);

    std::size_t Position() const { return out_.size(); }
    // Overwrites a 32-bit field written earlier (trun's data_offset, known once moof is done).
    void PatchU32(std::size_t position, std::uint32_t value);

private:
    std::vector<unsigned char>& out_;
};

} // namespace mp4

#endif
