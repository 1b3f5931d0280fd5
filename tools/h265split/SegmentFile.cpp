#include "SegmentFile.h"

#include <cstdio>
#include <unistd.h>

#include "OutputFiles.h"

namespace h265split {

std::string SegmentFile::Name(unsigned int number) {
    char name[32];
    std::snprintf(name, sizeof name, "seg-%05u.265", number);
    return name;
}

SegmentFile::SegmentFile(const std::string& directory, unsigned int number)
    : name_(Name(number)), directory_(directory), path_(directory + "/" + name_), temporaryPath_(path_ + ".tmp") {
    fd_ = CreateTemporaryFile(temporaryPath_);
    block_.reserve(kBlock);
}

SegmentFile::~SegmentFile() {
    if (committed_)
        return;
    if (fd_ >= 0)
        ::close(fd_);
    ::unlink(temporaryPath_.c_str());
}

void SegmentFile::Write(const unsigned char* data, std::size_t size) {
    bytes_ += size;
    if (block_.size() + size > kBlock) {
        Flush();
        if (size >= kBlock) {
            WriteAll(fd_, data, size, temporaryPath_);
            return;
        }
    }
    block_.insert(block_.end(), data, data + size);
}

void SegmentFile::Flush() {
    WriteAll(fd_, block_.data(), block_.size(), temporaryPath_);
    block_.clear();
}

void SegmentFile::Commit(const SegmentSpan&) {
    Flush();
    // Without the flush a crash soon after the rename could leave the final
    // name on a file whose data never reached the disk.
    if (::fsync(fd_) != 0)
        ThrowWriteError("write", temporaryPath_);
    const int fd = fd_;
    fd_ = -1;
    CloseFile(fd, temporaryPath_);
    CommitName(temporaryPath_, path_);
    committed_ = true;
    // The new name reaches the disk with the directory.
    SyncDirectory(directory_);
}

std::unique_ptr<SegmentSink> RawSegmentOutput::Open(unsigned int number, const AccessUnit&) {
    return std::unique_ptr<SegmentSink>(new SegmentFile(directory_, number));
}

} // namespace h265split
