#include "OutputFiles.h"

#include <cerrno>
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
        fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        ThrowWriteError("create", path);
    return fd;
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

void CloseFile(int fd, const std::string& path) {
    // On Linux the descriptor is gone even when close fails: no retry.
    if (::close(fd) != 0 && errno != EINTR)
        ThrowWriteError("write", path);
}

} // namespace h265split
