#include "SampleData.h"

#include <stdexcept>

#include "BoxWriter.h"

namespace mp4 {

NalUnitSpan NalUnitOf(const unsigned char* annexB, std::size_t size) {
    std::size_t begin = 0;
    while (begin < size && annexB[begin] == 0)
        ++begin;
    ++begin; // the 01 of the start code
    std::size_t end = size;
    while (end > begin && annexB[end - 1] == 0)
        --end;
    NalUnitSpan nal;
    if (begin < end && end - begin >= 2) {
        nal.data = annexB + begin;
        nal.size = end - begin;
    }
    return nal;
}

void AppendLengthPrefixed(std::vector<unsigned char>& sample, const NalUnitSpan& nal) {
    if (!FitsIn32Bits(nal.size))
        throw std::length_error("NAL unit over 4 GiB");
    BoxWriter out(sample);
    out.U32(static_cast<std::uint32_t>(nal.size));
    out.Bytes(nal.data, nal.size);
}

} // namespace mp4
