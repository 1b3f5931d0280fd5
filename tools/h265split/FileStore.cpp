#include "FileStore.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <unistd.h>

#include "OutputFiles.h"

namespace h265split {

namespace {

class DirectoryFile : public FileStore::File {
public:
    DirectoryFile(const OutputDirectory& directory, const std::string& name, bool keepPartial, std::uint64_t& usage)
        : directory_(directory), name_(name), temporaryName_(name + ".tmp"),
          temporaryPath_(directory.PathOf(temporaryName_)), keepPartial_(keepPartial), usage_(usage) {
        fd_ = directory_.CreateTemporaryFile(temporaryName_);
    }

    ~DirectoryFile() override {
        if (fd_ < 0)
            return;
        ::close(fd_);
        // A partial recording that was not kept stays under its temporary
        // name, where the next run finds it.
        if (!keepPartial_ && directory_.Remove(temporaryName_))
            usage_ -= written_;
    }

    void Write(const unsigned char* data, std::size_t size) override {
        WriteAll(fd_, data, size, temporaryPath_, directory_.room());
        Wrote(size);
    }

    void WriteGathered(const struct iovec* pieces, std::size_t count) override {
        WriteAllGathered(fd_, pieces, count, temporaryPath_, directory_.room());
        std::uint64_t size = 0;
        for (std::size_t i = 0; i < count; ++i)
            size += pieces[i].iov_len;
        Wrote(size);
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

    void Sync() override { SyncFile(fd_, true, temporaryPath_, directory_.room()); }

    void Commit() override {
        SyncFile(fd_, false, temporaryPath_, directory_.room());
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
            if (!directory_.Remove(temporaryName_))
                return false;
            usage_ -= written_;
            return true;
        }
        // The bytes after `bytes` (a fragment cut short) play nowhere.
        const bool kept = ::ftruncate(fd_, static_cast<off_t>(bytes)) == 0 && ::fsync(fd_) == 0;
        if (kept && bytes < written_) {
            usage_ -= written_ - bytes;
            written_ = bytes;
        }
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
    // The file only grows as it is written (Overwrite stays inside it).
    void Wrote(std::uint64_t size) {
        written_ += size;
        usage_ += size;
    }

    const OutputDirectory& directory_;
    std::string name_;
    std::string temporaryName_;
    std::string temporaryPath_;
    bool keepPartial_;
    std::uint64_t& usage_;
    std::uint64_t written_ = 0;
    int fd_ = -1;
};

} // namespace

std::unique_ptr<FileStore::File> DirectoryStore::Create(const std::string& name, bool keepPartial) {
    return std::unique_ptr<File>(new DirectoryFile(directory_, name, keepPartial, usage_));
}

void DirectoryStore::Replace(const std::string& name, const std::string& content) {
    const std::uint64_t before = directory_.SizeOf(name);
    directory_.Replace(name, content);
    usage_ = usage_ - std::min(before, usage_) + content.size();
}

void DirectoryStore::Append(const std::string& name, const std::string& content, std::size_t replacingLast) {
    auto open = appended_.find(name);
    if (open == appended_.end()) {
        Replace(name, content);
        appended_[name] = Appended{directory_.OpenForAppend(name), content.size()};
        return;
    }
    Appended& file = open->second;
    const std::string path = directory_.PathOf(name);
    const std::uint64_t cut = std::min<std::uint64_t>(replacingLast, file.size);
    if (cut > 0) {
        // O_APPEND writes go to the end whatever the offset: the end moves back first.
        if (::ftruncate(file.fd, static_cast<off_t>(file.size - cut)) != 0)
            ThrowWriteError("write", path);
        file.size -= cut;
        usage_ -= cut;
    }
    WriteAll(file.fd, content.data(), content.size(), path, directory_.room());
    file.size += content.size();
    usage_ += content.size();
    SyncFile(file.fd, true, path, directory_.room());
}

void DirectoryStore::EndAppend(const std::string& name) {
    auto open = appended_.find(name);
    if (open == appended_.end())
        return;
    ::close(open->second.fd);
    appended_.erase(open);
}

bool DirectoryStore::Remove(const std::string& name) {
    EndAppend(name);
    const std::uint64_t size = directory_.SizeOf(name);
    if (!directory_.Remove(name))
        return false;
    usage_ -= std::min(size, usage_);
    return true;
}

bool DirectoryStore::ContinueAppending(const std::string& name) {
    if (appended_.find(name) != appended_.end())
        return true;
    if (!directory_.Exists(name))
        return false;
    appended_[name] = Appended{directory_.OpenForAppend(name), directory_.SizeOf(name)};
    return true;
}

DirectoryStore::~DirectoryStore() {
    for (const auto& file : appended_)
        ::close(file.second.fd);
}

} // namespace h265split
