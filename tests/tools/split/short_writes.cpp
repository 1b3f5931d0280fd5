// Preloaded into h265split by the short_writes fault case: a write() or
// writev() of more than 4 KiB writes the first 4 KiB only and reports that,
// as they may on a pipe, after a signal or near a quota; the caller must go
// on with the rest, also from inside a piece of a writev(). The first
// shortened write creates the file that SHORT_WRITES_MARK names, so the case
// knows that the preload took effect.
#include <cstdlib>
#include <fcntl.h>
#include <sys/syscall.h>
#include <sys/uio.h>
#include <unistd.h>

namespace {

const size_t kCap = 4096;

void Mark() {
    static bool marked = false;
    const char* mark = std::getenv("SHORT_WRITES_MARK");
    if (!marked && mark) {
        marked = true;
        ::close(::open(mark, O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
    }
}

} // namespace

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    if (size > kCap) {
        size = kCap;
        Mark();
    }
    return static_cast<ssize_t>(::syscall(SYS_write, fd, data, size));
}

extern "C" ssize_t writev(int fd, const struct iovec* pieces, int count) {
    // The pieces up to the 4 KiB, the last one cut there.
    struct iovec capped[64];
    int n = 0;
    size_t total = 0;
    for (int i = 0; i < count && n < 64 && total < kCap; ++i) {
        capped[n] = pieces[i];
        if (total + capped[n].iov_len > kCap) {
            capped[n].iov_len = kCap - total;
            Mark();
        }
        total += capped[n].iov_len;
        ++n;
    }
    if (n < count)
        Mark();
    return static_cast<ssize_t>(::syscall(SYS_writev, fd, capped, n));
}
