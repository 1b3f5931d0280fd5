#include "StreamInput.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace h265tools {

StreamInput::StreamInput(const std::string& name) {
    if (IsStandardInput(name)) {
        fd_ = STDIN_FILENO;
        description_ = "standard input";
    } else {
        description_ = "'" + name + "'";
        fd_ = ::open(name.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd_ < 0)
            throw InputError("cannot open " + description_ + ": " + std::strerror(errno));
        owned_ = true;
    }
    struct stat status;
    // A throwing constructor runs no destructor: the file is closed here.
    if (::fstat(fd_, &status) != 0) {
        const int error = errno;
        Close();
        throw InputError("cannot examine " + description_ + ": " + std::strerror(error));
    }
    if (S_ISDIR(status.st_mode)) {
        Close();
        throw InputError(description_ + " is a directory, not a file");
    }
    if (S_ISREG(status.st_mode))
        size_ = static_cast<std::uint64_t>(status.st_size);
}

StreamInput::~StreamInput() {
    Close();
}

void StreamInput::Close() {
    if (owned_)
        ::close(fd_);
    owned_ = false;
}

} // namespace h265tools
