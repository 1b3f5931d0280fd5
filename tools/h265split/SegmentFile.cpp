#include "SegmentFile.h"

#include <cstdio>

namespace h265split {

std::string SegmentFile::Name(unsigned int number) {
    char name[32];
    std::snprintf(name, sizeof name, "seg-%05u.265", number);
    return name;
}

SegmentFile::SegmentFile(FileStore& store, unsigned int number)
    : name_(Name(number)), file_(store.Create(name_, false)) {}

void SegmentFile::Write(const unsigned char* data, std::size_t size) {
    copies_.emplace_back(data, data + size);
    Add(copies_.back().data(), size);
}

void SegmentFile::WriteUnit(const AccessUnit& au, const UnitInAccessUnit& unit) {
    if (owners_.empty() || owners_.back() != au.bytes.owner())
        owners_.push_back(au.bytes.owner());
    Add(au.bytes.data() + unit.begin, unit.size);
}

void SegmentFile::Add(const unsigned char* data, std::size_t size) {
    bytes_ += size;
    collected_ += size;
    // The NAL units of an access unit follow each other: one piece.
    if (!pieces_.empty() && static_cast<const unsigned char*>(pieces_.back().iov_base) + pieces_.back().iov_len == data)
        pieces_.back().iov_len += size;
    else
        pieces_.push_back(iovec{const_cast<unsigned char*>(data), size});
    if (collected_ >= kBlock)
        Flush();
}

void SegmentFile::Flush() {
    file_->WriteGathered(pieces_.data(), pieces_.size());
    pieces_.clear();
    owners_.clear();
    copies_.clear();
    collected_ = 0;
}

void SegmentFile::Commit(const SegmentSpan&) {
    Flush();
    file_->Commit();
}

std::unique_ptr<SegmentSink> RawSegmentOutput::Open(unsigned int number, const AccessUnit&) {
    return std::unique_ptr<SegmentSink>(new SegmentFile(store_, number));
}

} // namespace h265split
