#include "OutputFiles.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace h265split {

void ThrowWriteError(const char* action, const std::string& path) {
    throw WriteError(std::string("cannot ") + action + " '" + path + "': " + std::strerror(errno));
}

int CreateFile(const std::string& path) {
    int fd;
    do
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        ThrowWriteError("create", path);
    return fd;
}

int CreateTemporaryFile(const std::string& path) {
    return CreateFile(path);
}

bool RenameNoReplace(const std::string& from, const std::string& to) {
#ifdef RENAME_NOREPLACE
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    // A kernel or file system without the flag says so; the link below does
    // the same in two steps.
    if (errno != EINVAL && errno != ENOSYS)
        return false;
#endif
    if (::link(from.c_str(), to.c_str()) != 0)
        return false;
    if (::unlink(from.c_str()) == 0)
        return true;
    // The file keeps the one name it had: TO was made just now, by the link.
    const int error = errno;
    ::unlink(to.c_str());
    errno = error;
    return false;
}

void CommitName(const std::string& temporary, const std::string& path) {
    if (RenameNoReplace(temporary, path))
        return;
    if (errno == EEXIST)
        throw WriteError("cannot rename '" + temporary + "' to its final name: '" + path +
                         "' exists and is not replaced");
    ThrowWriteError("rename to its final name", temporary);
}

void SyncDirectory(const std::string& directory) {
    int fd;
    do
        fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        ThrowWriteError("open the directory", directory);
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    // Some file systems cannot flush a directory (EINVAL); their renames are
    // as safe as they get.
    if (synced != 0 && error != EINVAL) {
        errno = error;
        ThrowWriteError("flush the directory", directory);
    }
}

void ReplaceFile(const std::string& directory, const std::string& name, const std::string& content) {
    const std::string path = directory + "/" + name;
    const std::string temporary = path + ".tmp";
    const int fd = CreateTemporaryFile(temporary);
    try {
        WriteAll(fd, content.data(), content.size(), temporary);
        if (::fsync(fd) != 0)
            ThrowWriteError("write", temporary);
    } catch (...) {
        ::close(fd);
        ::unlink(temporary.c_str());
        throw;
    }
    CloseFile(fd, temporary);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int error = errno;
        ::unlink(temporary.c_str());
        errno = error;
        ThrowWriteError("rename to its final name", temporary);
    }
    SyncDirectory(directory);
}

void WriteAll(int fd, const void* data, std::size_t size, const std::string& path) {
    const unsigned char* p = static_cast<const unsigned char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            ThrowWriteError("write", path);
        }
        p += n;
        size -= static_cast<std::size_t>(n);
    }
}

void WriteAllGathered(int fd, const struct iovec* pieces, std::size_t count, const std::string& path) {
#ifdef IOV_MAX
    const std::size_t kMostPieces = IOV_MAX;
#else
    const std::size_t kMostPieces = 16; // the least POSIX allows
#endif
    while (count > 0) {
        const ssize_t n = ::writev(fd, pieces, static_cast<int>(std::min(count, kMostPieces)));
        if (n < 0) {
            if (errno == EINTR)
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
                     path);
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
