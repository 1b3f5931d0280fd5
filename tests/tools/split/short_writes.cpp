// Preloaded into h265split by the short_writes fault case: a write() of more
// than 4 KiB writes the first 4 KiB only and reports that, as write() may on
// a pipe, after a signal or near a quota; the caller must go on with the
// rest. The first shortened write creates the file that SHORT_WRITES_MARK
// names, so the case knows that the preload took effect.
#include <cstdlib>
#include <fcntl.h>
#include <sys/syscall.h>
#include <unistd.h>

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    const size_t kCap = 4096;
    if (size > kCap) {
        size = kCap;
        static bool marked = false;
        const char* mark = std::getenv("SHORT_WRITES_MARK");
        if (!marked && mark) {
            marked = true;
            ::close(::open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
        }
    }
    return static_cast<ssize_t>(::syscall(SYS_write, fd, data, size));
}
