#include "SampleData.h"

#include <stdexcept>
#include <utility>

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

void SampleData::Append(const NalUnitSpan& nal, const std::shared_ptr<const void>& owner) {
    // The units of a sample mostly lie in one buffer.
    if (!owner_)
        owner_ = owner;
    else if (owner != owner_ && (owners_.empty() || owners_.back() != owner))
        owners_.push_back(owner);
    Add(nal.data, nal.size);
}

void SampleData::AppendCopy(const NalUnitSpan& nal) {
    copies_.emplace_back(nal.data, nal.data + nal.size);
    Add(copies_.back().data(), nal.size);
}

void SampleData::Add(const unsigned char* data, std::size_t size) {
    if (!FitsIn32Bits(size))
        throw std::length_error("NAL unit over 4 GiB");
    Unit unit;
    unit.length[0] = static_cast<unsigned char>(size >> 24);
    unit.length[1] = static_cast<unsigned char>(size >> 16);
    unit.length[2] = static_cast<unsigned char>(size >> 8);
    unit.length[3] = static_cast<unsigned char>(size);
    unit.data = data;
    unit.size = size;
    if (units_.empty())
        units_.reserve(8); // a picture's slices and SEI without growing
    units_.push_back(unit);
    size_ += 4 + size;
}

void SampleData::clear() {
    units_.clear();
    owner_.reset();
    owners_.clear();
    copies_.clear();
    size_ = 0;
}

void SampleData::swap(SampleData& other) {
    units_.swap(other.units_);
    owner_.swap(other.owner_);
    owners_.swap(other.owners_);
    copies_.swap(other.copies_);
    std::swap(size_, other.size_);
}

void SampleData::AppendTo(std::vector<ByteSpan>& pieces) const {
    for (const Unit& unit : units_) {
        pieces.push_back(ByteSpan{unit.length, 4});
        pieces.push_back(ByteSpan{unit.data, unit.size});
    }
}

} // namespace mp4
