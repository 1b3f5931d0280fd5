#include "FileStore.h"

#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "OutputFiles.h"

namespace h265split {

namespace {

class DirectoryFile : public FileStore::File {
public:
    DirectoryFile(const OutputDirectory& directory, const std::string& name, bool keepPartial)
        : directory_(directory), name_(name), temporaryName_(name + ".tmp"),
          temporaryPath_(directory.PathOf(temporaryName_)), keepPartial_(keepPartial) {
        fd_ = directory_.CreateTemporaryFile(temporaryName_);
    }

    ~DirectoryFile() override {
        if (fd_ < 0)
            return;
        ::close(fd_);
        // A partial recording that was not kept stays under its temporary
        // name, where the next run finds it.
        if (!keepPartial_)
            directory_.Remove(temporaryName_);
    }

    void Write(const unsigned char* data, std::size_t size) override { WriteAll(fd_, data, size, temporaryPath_); }

    void WriteGathered(const struct iovec* pieces, std::size_t count) override {
        WriteAllGathered(fd_, pieces, count, temporaryPath_);
    }

    void Overwrite(std::uint64_t offset, const unsigned char* data, std::size_t size) override {
        while (size > 0) {
            const ssize_t n = ::pwrite(fd_, data, size, static_cast<off_t>(offset));
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                ThrowWriteError("write", temporaryPath_);
            data += n;
            size -= static_cast<std::size_t>(n);
            offset += static_cast<std::uint64_t>(n);
        }
    }

    void Sync() override {
        if (::fdatasync(fd_) != 0)
            ThrowWriteError("write", temporaryPath_);
    }

    void Commit() override {
        if (::fsync(fd_) != 0)
            ThrowWriteError("write", temporaryPath_);
        const int fd = fd_;
        fd_ = -1;
        CloseFile(fd, temporaryPath_);
        directory_.CommitName(temporaryName_, name_);
        directory_.Sync();
    }

    bool Keep(std::uint64_t bytes) override {
        if (fd_ < 0)
            return false;
        if (bytes == 0) {
            ::close(fd_);
            fd_ = -1;
            return directory_.Remove(temporaryName_);
        }
        // The bytes after `bytes` (a fragment cut short) play nowhere.
        const bool kept = ::ftruncate(fd_, static_cast<off_t>(bytes)) == 0 && ::fsync(fd_) == 0;
        const int fd = fd_;
        fd_ = -1;
        ::close(fd);
        if (!kept || !directory_.RenameNoReplace(temporaryName_, name_))
            return false;
        try {
            directory_.Sync();
        } catch (const WriteError&) {
            // The name is there; only its flush to the device is in doubt.
        }
        return true;
    }

private:
    const OutputDirectory& directory_;
    std::string name_;
    std::string temporaryName_;
    std::string temporaryPath_;
    bool keepPartial_;
    int fd_ = -1;
};

} // namespace

std::unique_ptr<FileStore::File> DirectoryStore::Create(const std::string& name, bool keepPartial) {
    return std::unique_ptr<File>(new DirectoryFile(directory_, name, keepPartial));
}

void DirectoryStore::Replace(const std::string& name, const std::string& content) {
    directory_.Replace(name, content);
}

void DirectoryStore::Append(const std::string& name, const std::string& content) {
    auto open = appended_.find(name);
    if (open == appended_.end()) {
        directory_.Replace(name, content);
        appended_[name] = directory_.OpenForAppend(name);
        return;
    }
    const std::string path = directory_.PathOf(name);
    WriteAll(open->second, content.data(), content.size(), path);
    if (::fdatasync(open->second) != 0)
        ThrowWriteError("write", path);
}

void DirectoryStore::ContinueAppending(const std::string& name) {
    if (appended_.find(name) == appended_.end())
        appended_[name] = directory_.OpenForAppend(name);
}

DirectoryStore::~DirectoryStore() {
    for (const auto& file : appended_)
        ::close(file.second);
}

} // namespace h265split
