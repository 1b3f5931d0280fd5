#include "OutputFiles.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace h265split {

void ThrowWriteError(const char* action, const std::string& path) {
    throw WriteError(std::string("cannot ") + action + " '" + path + "': " + std::strerror(errno));
}

namespace {

// After a failed call: whether to try it again (EINTR, or ENOSPC once
// `room` freed space).
bool TryAgain(const RoomMaker* room) {
    if (errno == EINTR)
        return true;
    if (errno != ENOSPC || !room)
        return false;
    const int error = errno;
    const bool freed = (*room)();
    errno = error;
    return freed;
}

int CreateFileAt(int directory, const std::string& name, const std::string& path, const RoomMaker* room = nullptr) {
    int fd;
    do
        fd = ::openat(directory, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    while (fd < 0 && TryAgain(room));
    if (fd < 0)
        ThrowWriteError("create", path);
    return fd;
}

bool RenameNoReplaceAt(int directory, const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(directory, from.c_str(), directory, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // A kernel or file system without the flag says so; the link below does
    // the same in two steps.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    if (::linkat(directory, from.c_str(), directory, to.c_str(), 0) != 0)
        return false;
    if (::unlinkat(directory, from.c_str(), 0) == 0)
        return true;
    // The file keeps the one name it had: TO was made just now, by the link.
    const int error = errno;
    ::unlinkat(directory, to.c_str(), 0);
    errno = error;
    return false;
}

void SyncDirectoryFd(int fd, const std::string& directory) {
    // Some file systems cannot flush a directory (EINVAL); their renames are
    // as safe as they get.
    if (::fsync(fd) != 0 && errno != EINVAL)
        ThrowWriteError("flush the directory", directory);
}

int OpenDirectory(const std::string& directory) {
    int fd;
    do
        fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        ThrowWriteError("open the directory", directory);
    return fd;
}

} // namespace

int CreateFile(const std::string& path) {
    return CreateFileAt(AT_FDCWD, path, path);
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
    return RenameNoReplaceAt(AT_FDCWD, from, to);
}

void SyncDirectory(const std::string& directory) {
    const int fd = OpenDirectory(directory);
    try {
        SyncDirectoryFd(fd, directory);
    } catch (...) {
        ::close(fd);
        throw;
    }
    ::close(fd);
}

OutputDirectory::OutputDirectory(const std::string& path) : path_(path), fd_(OpenDirectory(path)) {}

OutputDirectory::~OutputDirectory() {
    ::close(fd_);
}

int OutputDirectory::CreateTemporaryFile(const std::string& name) const {
    // A directory that cannot grow on a full device fails with ENOSPC too.
    return CreateFileAt(fd_, name, PathOf(name), room());
}

bool OutputDirectory::RenameNoReplace(const std::string& from, const std::string& to) const {
    return RenameNoReplaceAt(fd_, from, to);
}

void OutputDirectory::CommitName(const std::string& temporary, const std::string& name) const {
    if (RenameNoReplace(temporary, name))
        return;
    if (errno == EEXIST)
        throw WriteError("cannot rename '" + PathOf(temporary) + "' to its final name: '" + PathOf(name) +
                         "' exists and is not replaced");
    ThrowWriteError("rename to its final name", PathOf(temporary));
}

bool OutputDirectory::Exists(const std::string& name) const {
    struct stat status;
    return ::fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0;
}

std::uint64_t OutputDirectory::SizeOf(const std::string& name) const {
    struct stat status;
    if (::fstatat(fd_, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0 || status.st_size < 0)
        return 0;
    return static_cast<std::uint64_t>(status.st_size);
}

bool OutputDirectory::Remove(const std::string& name) const {
    return ::unlinkat(fd_, name.c_str(), 0) == 0;
}

void OutputDirectory::Sync() const {
    SyncDirectoryFd(fd_, path_);
}

void OutputDirectory::Replace(const std::string& name, const std::string& content) const {
    const std::string temporary = name + ".tmp";
    const std::string temporaryPath = PathOf(temporary);
    const int fd = CreateTemporaryFile(temporary);
    try {
        WriteAll(fd, content.data(), content.size(), temporaryPath, room());
        SyncFile(fd, false, temporaryPath, room());
    } catch (...) {
        ::close(fd);
        Remove(temporary);
        throw;
    }
    CloseFile(fd, temporaryPath);
    if (::renameat(fd_, temporary.c_str(), fd_, name.c_str()) != 0) {
        const int error = errno;
        Remove(temporary);
        errno = error;
        ThrowWriteError("rename to its final name", temporaryPath);
    }
    Sync();
}

int OutputDirectory::OpenForAppend(const std::string& name) const {
    const int fd = ::openat(fd_, name.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        ThrowWriteError("open to append to", PathOf(name));
    return fd;
}

void SyncFile(int fd, bool dataOnly, const std::string& path, const RoomMaker* room) {
    while ((dataOnly ? ::fdatasync(fd) : ::fsync(fd)) != 0)
        if (!TryAgain(room))
            ThrowWriteError("write", path);
}

void WriteAll(int fd, const void* data, std::size_t size, const std::string& path, const RoomMaker* room) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (TryAgain(room))
                continue;
            ThrowWriteError("write", path);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void WriteAllGathered(int fd, const struct iovec* pieces, std::size_t count, const std::string& path,
                      const RoomMaker* room) {
#ifdef IOV_MAX
    const std::size_t kMostPieces = IOV_MAX;
#else
    const std::size_t kMostPieces = 16; // the least POSIX allows
#endif
    while (count > 0) {
        const ssize_t n = ::writev(fd, pieces, static_cast<int>(std::min(count, kMostPieces)));
        if (n < 0) {
            if (TryAgain(room))
                continue;
            ThrowWriteError("write", path);
        }
        std::size_t written = static_cast<std::size_t>(n);
        while (count > 0 && written >= pieces->iov_len) {
            written -= pieces->iov_len;
            ++pieces;
            --count;
        }
        if (written > 0) {
            // A short write ended inside this piece: its rest, then the pieces after it.
            WriteAll(fd, static_cast<const unsigned char*>(pieces->iov_base) + written, pieces->iov_len - written,
                     path, room);
            ++pieces;
            --count;
        }
    }
}

void CloseFile(int fd, const std::string& path) {
    // On Linux the descriptor is gone even when close fails: no retry.
    if (::close(fd) != 0 && errno != EINTR)
        ThrowWriteError("write", path);
}

} // namespace h265split
