// Preloaded into h265split by faults.py: write() or writev() to a file whose name
// contains $H265_FAIL_WRITE_NAME fails with $H265_FAIL_WRITE_ERRNO (ENOSPC or
// EFBIG) once the file holds $H265_FAIL_WRITE_AFTER bytes (0 when unset),
// after a short write up to that size, as a full disk does. fsync() and
// fdatasync() of a file whose name contains $H265_FAIL_FSYNC_NAME fail with
// EIO, as on a device that lost the data. With $H265_DEVICE_DIR and
// $H265_DEVICE_BYTES, that directory is a device of that size: a write to a
// file in it fails with ENOSPC (after a short write) when the directory's
// files hold that many bytes. With $H265_WATCH_DIR and $H265_WATCH_LOG, the
// bytes of that directory are counted as its files are written, truncated,
// renamed over and removed; after each rename into it, "BYTES COMPLETED"
// goes to the log when BYTES less COMPLETED, the size of the last file given
// its final name with renameat2 (a segment), is more than ever before: what
// the directory holds besides the segment just completed.
//
// A crash: with $H265_CRASH_AT = k the process kills itself (SIGKILL, no
// flush, no destructor) at the k-th call, counted from 1 over every call that
// changes a file or a name: write, writev, pwrite, rename, renameat,
// renameat2, linkat, unlinkat, ftruncate, fsync and fdatasync, not those to
// standard output or error. $H265_CRASH_LOG names a file that gets a line
// per such call, its kind, so that a test knows how many there are.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
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

// The bytes of the regular files in `directory`, and the largest one's.
long long DirectoryBytes(const char* directory, long long* largest) {
    long long total = 0;
    *largest = 0;
    DIR* dir = opendir(directory);
    if (!dir)
        return 0;
    while (const dirent* entry = readdir(dir)) {
        struct stat status;
        if (fstatat(dirfd(dir), entry->d_name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode)) {
            total += status.st_size;
            if (status.st_size > *largest)
                *largest = status.st_size;
        }
    }
    closedir(dir);
    return total;
}

// Bytes the device directory still has room for when fd is a file in it;
// SSIZE_MAX otherwise.
ssize_t DeviceRoom(int fd) {
    const char* directory = getenv("H265_DEVICE_DIR");
    const char* size = getenv("H265_DEVICE_BYTES");
    if (!directory || !size || !FailsHere(fd, "H265_DEVICE_DIR"))
        return SSIZE_MAX;
    long long largest;
    const long long room = strtoll(size, nullptr, 10) - DirectoryBytes(directory, &largest);
    return room > 0 ? static_cast<ssize_t>(room) : 0;
}

// The watched directory's bytes, counted from a first look on.
long long watched = -1;

bool Watching(int fd) {
    if (!getenv("H265_WATCH_DIR") || !getenv("H265_WATCH_LOG") || !FailsHere(fd, "H265_WATCH_DIR"))
        return false;
    if (watched < 0) {
        long long largest;
        watched = DirectoryBytes(getenv("H265_WATCH_DIR"), &largest);
    }
    return true;
}

long long SizeAt(int directory, const char* name) {
    struct stat status;
    return fstatat(directory, name, &status, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(status.st_mode) ? status.st_size : 0;
}

long long SizeOf(int fd) {
    struct stat status;
    return fstat(fd, &status) == 0 ? status.st_size : 0;
}

void Wrote(int fd, ssize_t bytes) {
    if (bytes > 0 && Watching(fd))
        watched += bytes;
}

long long completed = 0;

void LogPeak() {
    static long long peak = -1;
    if (watched - completed <= peak)
        return;
    peak = watched - completed;
    if (FILE* file = fopen(getenv("H265_WATCH_LOG"), "a")) {
        fprintf(file, "%lld %lld\n", watched, completed);
        fclose(file);
    }
}

// Bytes that may still be written to fd, or -1 when the write fails; for
// files that do not fail, SSIZE_MAX.
ssize_t Room(int fd) {
    const ssize_t device = DeviceRoom(fd);
    if (device == 0) {
        errno = ENOSPC;
        return -1;
    }
    if (!FailsHere(fd))
        return device;
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

extern "C" int linkat(int fromDir, const char* from, int toDir, const char* to, int flags) {
    using Linkat = int (*)(int, const char*, int, const char*, int);
    static Linkat real = Real<Linkat>("linkat");
    Crash("linkat");
    return real(fromDir, from, toDir, to, flags);
}

extern "C" ssize_t write(int fd, const void* data, size_t size) {
    using Write = ssize_t (*)(int, const void*, size_t);
    static Write real_write = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    Crash("write", fd);
    const ssize_t room = Room(fd);
    if (room < 0)
        return -1;
    const ssize_t n = real_write(fd, data, static_cast<size_t>(room) < size ? static_cast<size_t>(room) : size);
    Wrote(fd, n);
    return n;
}

extern "C" ssize_t writev(int fd, const struct iovec* pieces, int count) {
    using Writev = ssize_t (*)(int, const struct iovec*, int);
    static Writev real_writev = reinterpret_cast<Writev>(dlsym(RTLD_NEXT, "writev"));
    Crash("writev", fd);
    const ssize_t room = Room(fd);
    if (room < 0)
        return -1;
    if (room == SSIZE_MAX) {
        const ssize_t n = real_writev(fd, pieces, count);
        Wrote(fd, n);
        return n;
    }
    // A short write up to the limit: the first piece, or as much of it as fits.
    if (count == 0)
        return 0;
    using Write = ssize_t (*)(int, const void*, size_t);
    static Write real_write = reinterpret_cast<Write>(dlsym(RTLD_NEXT, "write"));
    const size_t size = pieces[0].iov_len;
    const ssize_t n =
        real_write(fd, pieces[0].iov_base, static_cast<size_t>(room) < size ? static_cast<size_t>(room) : size);
    Wrote(fd, n);
    return n;
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

extern "C" int renameat(int from_dir, const char* from, int to_dir, const char* to) {
    using Rename = int (*)(int, const char*, int, const char*);
    static Rename real_renameat = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "renameat"));
    Crash("renameat");
    const bool watching = Watching(to_dir);
    const long long replaced = watching ? SizeAt(to_dir, to) : 0;
    const int result = real_renameat(from_dir, from, to_dir, to);
    if (result == 0 && watching) {
        watched -= replaced;
        LogPeak();
    }
    return result;
}

extern "C" int renameat2(int from_dir, const char* from, int to_dir, const char* to, unsigned int flags) {
    using Rename = int (*)(int, const char*, int, const char*, unsigned int);
    static Rename real_renameat2 = reinterpret_cast<Rename>(dlsym(RTLD_NEXT, "renameat2"));
    Crash("renameat2");
    const int result = real_renameat2(from_dir, from, to_dir, to, flags); // RENAME_NOREPLACE: nothing replaced
    if (result == 0 && Watching(to_dir)) {
        completed = SizeAt(to_dir, to);
        LogPeak();
    }
    return result;
}

extern "C" int unlinkat(int directory, const char* name, int flags) {
    using Unlink = int (*)(int, const char*, int);
    static Unlink real_unlinkat = reinterpret_cast<Unlink>(dlsym(RTLD_NEXT, "unlinkat"));
    Crash("unlinkat");
    const bool watching = Watching(directory);
    const long long size = watching ? SizeAt(directory, name) : 0;
    const int result = real_unlinkat(directory, name, flags);
    if (result == 0 && watching)
        watched -= size;
    return result;
}

extern "C" int ftruncate(int fd, off_t length) {
    using Truncate = int (*)(int, off_t);
    static Truncate real_ftruncate = reinterpret_cast<Truncate>(dlsym(RTLD_NEXT, "ftruncate"));
    Crash("ftruncate", fd);
    const bool watching = Watching(fd);
    const long long before = watching ? SizeOf(fd) : 0;
    const int result = real_ftruncate(fd, length);
    if (result == 0 && watching)
        watched += SizeOf(fd) - before;
    return result;
}
