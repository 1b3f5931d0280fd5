#include "EarlierFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "OutputFiles.h"

namespace h265split {

Descriptor::~Descriptor() {
    if (fd >= 0)
        ::close(fd);
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

bool NumberOf(const std::string& name, const std::string& prefix, const std::string& suffix, unsigned int& number) {
    if (name.size() <= prefix.size() + suffix.size() || name.compare(0, prefix.size(), prefix) != 0 ||
        !EndsWith(name, suffix))
        return false;
    const std::string digits = name.substr(prefix.size(), name.size() - prefix.size() - suffix.size());
    if (digits.size() > 9 || digits.find_first_not_of("0123456789") != std::string::npos)
        return false;
    number = static_cast<unsigned int>(std::strtoul(digits.c_str(), nullptr, 10));
    return true;
}

bool SegmentNumber(const std::string& name, unsigned int& number) {
    return NumberOf(name, "seg-", ".265", number) || NumberOf(name, "seg-", ".m4s", number) ||
           NumberOf(name, "rec-", ".mp4", number);
}

std::vector<std::string> Names(const std::string& directory) {
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        ThrowWriteError("read the directory", directory);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        names.push_back(entry->d_name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        errno = error;
        ThrowWriteError("read the directory", directory);
    }
    std::sort(names.begin(), names.end());
    return names;
}

bool Exists(const std::string& path) {
    struct stat status;
    return ::lstat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode);
}

bool ReadWhole(const std::string& path, std::string& content) {
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.fd < 0 && errno == ENOENT)
        return false;
    if (file.fd < 0)
        ThrowWriteError("open", path);
    content.clear();
    char buffer[1 << 16];
    for (;;) {
        const ssize_t n = ::read(file.fd, buffer, sizeof buffer);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ThrowWriteError("read", path);
        if (n == 0)
            return true;
        content.append(buffer, static_cast<std::size_t>(n));
    }
}

std::size_t ReadAt(int fd, unsigned char* data, std::size_t size, std::uint64_t offset, const std::string& path) {
    std::size_t got = 0;
    while (got < size) {
        const ssize_t n = ::pread(fd, data + got, size - got, static_cast<off_t>(offset + got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            ThrowWriteError("read", path);
        if (n == 0)
            break;
        got += static_cast<std::size_t>(n);
    }
    return got;
}

void CutBack(const std::string& path, std::uint64_t size) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC));
    if (file.fd < 0 || ::ftruncate(file.fd, static_cast<off_t>(size)) != 0)
        ThrowWriteError("cut back", path);
    if (::fsync(file.fd) != 0)
        ThrowWriteError("write", path);
}

void AppendFlushed(const std::string& path, const std::string& text) {
    Descriptor file(::open(path.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC));
    if (file.fd < 0)
        ThrowWriteError("open to append to", path);
    WriteAll(file.fd, text.data(), text.size(), path);
    if (::fdatasync(file.fd) != 0)
        ThrowWriteError("write", path);
}

void Remove(const std::string& directory, const std::string& name) {
    if (::unlink((directory + "/" + name).c_str()) != 0)
        ThrowWriteError("remove", directory + "/" + name);
}

} // namespace h265split
