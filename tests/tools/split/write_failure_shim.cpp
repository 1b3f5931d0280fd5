// Preloaded into h265split by faults.py: write() or writev() to a file whose name
// contains $H265_FAIL_WRITE_NAME fails with $H265_FAIL_WRITE_ERRNO (ENOSPC or
// EFBIG) once the file holds $H265_FAIL_WRITE_AFTER bytes (0 when unset),
// after a short write up to that size, as a full disk does. fsync() and
// fdatasync() of a file whose name contains $H265_FAIL_FSYNC_NAME fail with
// EIO, as on a device that lost the data.
//
// A crash: with $H265_CRASH_AT = k the process kills itself (SIGKILL, no
// flush, no destructor) at the k-th call, counted from 1 over every call that
// changes a file or a name: write, writev, pwrite, rename, renameat,
// renameat2, linkat, unlinkat, ftruncate, fsync and fdatasync, not those to
// standard output or error. $H265_CRASH_LOG names a file that gets a line
// per such call, its kind, so that a test knows how many there are.
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <sys/uio.h>
#include <limits.h>
#include <unistd.h>

namespace {

bool FailsHere(int fd, const char* variable = "H265_FAIL_WRITE_NAME") {
    const char* name = getenv(variable);
    char link[64], target[4096];
    ssize_t n;
    if (!name || fd <= 2)
        return 0;
    snprintf(link, sizeof link, "/proc/self/fd/%d", fd);
    n = readlink(link, target, sizeof target - 1);
    if (n < 0)
        return 0;
    target[n] = '\0';
    return strstr(target, name) != nullptr;
}

// Bytes that may still be written to fd, or -1 when the write fails; for
// files that do not fail, SSIZE_MAX.
ssize_t Room(int fd) {
    if (!FailsHere(fd))
        return SSIZE_MAX;
    const char* after = getenv("H265_FAIL_WRITE_AFTER");
    const char* code = getenv("H265_FAIL_WRITE_ERRNO");
    const off_t limit = after ? static_cast<off_t>(strtoll(after, nullptr, 10)) : 0;
    const off_t at = lseek(fd, 0, SEEK_CUR);
    if (at >= 0 && at < limit)
        return static_cast<ssize_t>(limit - at);
    errno = code && strcmp(code, "EFBIG") == 0 ? EFBIG : ENOSPC;
    return -1;
}

// Counts the call; the k-th kills the process before it is made.
void Crash(const char* kind, int fd = -1) {
    if (fd >= 0 && fd <= 2)
        return;
    static long calls = 0;
    ++calls;
    if (const char* log = getenv("H265_CRASH_LOG")) {
        using Write = ssize_t (*)(int, const void*, size_t);
        static Write real_write = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
        const int out = open(log, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0666);
        if (out >= 0) {
            char line[64];
            const int n = snprintf(line, sizeof line, "%s\n", kind);
            real_write(out, line, static_cast<size_t>(n));
            close(out);
        }
    }
    const char* at = getenv("H265_CRASH_AT");
    if (at && strtol(at, nullptr, 10) == calls)
        kill(getpid(), SIGKILL);
}

template <typename Function>
Function Real(const char* name) {
    return reinterpret_cast<Function>(dlsym(RTLD_NEXT, name));
}

} // namespace

extern "C" ssize_t pwrite(int fd, const void* data, size_t size, off_t offset) {
    using Pwrite = ssize_t (*)(int, const void*, size_t, off_t);
    static Pwrite real = Real<Pwrite>("pwrite");
    Crash("pwrite", fd);
    return real(fd, data, size, offset);
}

extern "C" int rename(const char* from, const char* to) {
    using Rename = int (*)(const char*, const char*);
    static Rename real = Real<Rename>("rename");
    Crash("rename");
    return real(from, to);
}

extern "C" int renameat(int fromDir, const char* from, int toDir, const char* to) {
    using Renameat = int (*)(int, const char*, int, const char*);
    static Renameat real = Real<Renameat>("renameat");
    Crash("renameat");
    return real(fromDir, from, toDir, to);
}

extern "C" int renameat2(int fromDir, const char* from, int toDir, const char* to, unsigned int flags) {
    using Renameat2 = int (*)(int, const char*, int, const char*, unsigned int);
    static Renameat2 real = Real<Renameat2>("renameat2");
    Crash("renameat2");
    return real(fromDir, from, toDir, to, flags);
}

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    using Linkat = int (*)(int, const char*, int, const char*, int);
    static Linkat real = Real<Linkat>("linkat");
    Crash("linkat");
    return real(fromDir, from, toDir, to, flags);
}

extern "C" int unlinkat(int dir, const char* name, int flags) {
    using Unlinkat = int (*)(int, const char*, int);
    static Unlinkat real = Real<Unlinkat>("unlinkat");
    Crash("unlinkat");
    return real(dir, name, flags);
}

extern "C" int ftruncate(int fd, off_t size) {
    using Ftruncate = int (*)(int, off_t);
    static Ftruncate real = Real<Ftruncate>("ftruncate");
    Crash("ftruncate", fd);
    return real(fd, size);
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    using Write = ssize_t (*)(int, const void*, size_t);
    static Write real_write = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    Crash("write", fd);
    const ssize_t room = Room(fd);
    if (room < 0)
        return -1;
    return real_write(fd, data, static_cast<size_t>(room) < size ? static_cast<size_t>(room) : size);
}

extern "C" ssize_t writev(int fd, const struct iovec* pieces, int count) {
    using Writev = ssize_t (*)(int, const struct iovec*, int);
    static Writev real_writev = reinterpret_cast<Writev>(dlsym(RTLD_NEXT, "writev"));
    Crash("writev", fd);
    const ssize_t room = Room(fd);
    if (room < 0)
        return -1;
    if (room == SSIZE_MAX)
        return real_writev(fd, pieces, count);
    // A short write up to the limit: the first piece, or as much of it as fits.
    if (count == 0)
        return 0;
    using Write = ssize_t (*)(int, const void*, size_t);
    static Write real_write = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    const size_t size = pieces[0].iov_len;
    return real_write(fd, pieces[0].iov_base, static_cast<size_t>(room) < size ? static_cast<size_t>(room) : size);
}

extern "C" int fsync(int fd) {
    using Sync = int (*)(int);
    static Sync real_fsync = reinterpret_cast<Sync>(dlsym(RTLD_NEXT, "fsync"));
    Crash("fsync");
    if (FailsHere(fd, "H265_FAIL_FSYNC_NAME")) {
        errno = EIO;
        return -1;
    }
    return real_fsync(fd);
}

extern "C" int fdatasync(int fd) {
    using Sync = int (*)(int);
    static Sync real_fdatasync = reinterpret_cast<Sync>(dlsym(RTLD_NEXT, "fdatasync"));
    Crash("fdatasync");
    if (FailsHere(fd, "H265_FAIL_FSYNC_NAME")) {
        errno = EIO;
        return -1;
    }
    return real_fdatasync(fd);
}
