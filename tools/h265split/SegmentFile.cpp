#include "SegmentFile.h"

#include <cstdio>

namespace h265split {

std::string SegmentFile::Name(unsigned int number) {
    char name[32];
    std::snprintf(name, sizeof name, "seg-%05u.265", number);
    return name;
}

SegmentFile::SegmentFile(FileStore& store, unsigned int number)
    : name_(Name(number)), file_(store.Create(name_, false)) {
    block_.reserve(kBlock);
}

void SegmentFile::Write(const unsigned char* data, std::size_t size) {
    bytes_ += size;
    if (block_.size() + size > kBlock) {
        Flush();
        if (size >= kBlock) {
            file_->Write(data, size);
            return;
        }
    }
    block_.insert(block_.end(), data, data + size);
}

void SegmentFile::Flush() {
    file_->Write(block_.data(), block_.size());
    block_.clear();
}

void SegmentFile::Commit(const SegmentSpan&) {
    Flush();
    file_->Commit();
}

std::unique_ptr<SegmentSink> RawSegmentOutput::Open(unsigned int number, const AccessUnit&) {
    return std::unique_ptr<SegmentSink>(new SegmentFile(store_, number));
}

} // namespace h265split
