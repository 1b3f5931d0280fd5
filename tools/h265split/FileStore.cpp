#include "FileStore.h"

#include <cstdio>
#include <unistd.h>

#include "OutputFiles.h"

namespace h265split {

namespace {

class DirectoryFile : public FileStore::File {
public:
    DirectoryFile(const std::string& directory, const std::string& name, bool keepPartial)
        : directory_(directory), path_(directory + "/" + name), temporaryPath_(path_ + ".tmp"),
          keepPartial_(keepPartial) {
        fd_ = CreateTemporaryFile(temporaryPath_);
    }

    ~DirectoryFile() override {
        if (fd_ < 0)
            return;
        ::close(fd_);
        // A partial recording whose final name is taken stays under its
        // temporary name, where the next run finds it.
        if (!keepPartial_)
            ::unlink(temporaryPath_.c_str());
        else
            RenameNoReplace(temporaryPath_, path_);
    }

    void Write(const unsigned char* data, std::size_t size) override { WriteAll(fd_, data, size, temporaryPath_); }

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
        CommitName(temporaryPath_, path_);
        SyncDirectory(directory_);
    }

private:
    std::string directory_;
    std::string path_;
    std::string temporaryPath_;
    bool keepPartial_;
    int fd_ = -1;
};

} // namespace

std::unique_ptr<FileStore::File> DirectoryStore::Create(const std::string& name, bool keepPartial) {
    return std::unique_ptr<File>(new DirectoryFile(directory_, name, keepPartial));
}

void DirectoryStore::Replace(const std::string& name, const std::string& content) {
    ReplaceFile(directory_, name, content);
}

} // namespace h265split
