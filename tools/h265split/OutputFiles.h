// Writing the files of OUTDIR: every failure, ENOSPC and EIO included, is a
// WriteError that names the file and the reason.
#ifndef H265SPLIT_OUTPUT_FILES_H
#define H265SPLIT_OUTPUT_FILES_H

#include <cstddef>
#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <sys/uio.h>

namespace h265split {

class WriteError : public std::runtime_error {
public:
    explicit WriteError(const std::string& what) : std::runtime_error(what) {}
};

// A write error already reported on standard error, with what became of the
// recording after it.
class ReportedWriteError : public WriteError {
public:
    explicit ReportedWriteError(const std::string& what) : WriteError(what) {}
};

// "cannot ACTION 'PATH': strerror(errno)" as a WriteError.
[[noreturn]] void ThrowWriteError(const char* action, const std::string& path);

// Creates the file for writing; it must not exist yet, nor be a symbolic
// link (O_EXCL): another user's link cannot redirect the write. Throws WriteError.
int CreateFile(const std::string& path);

// Gives the file FROM the name TO unless TO exists: renameat2 with
// RENAME_NOREPLACE, else link() then unlink(), so that a file that appears
// under TO between a check and the rename is never replaced. False with
// errno set (EEXIST when TO exists) and FROM as it was.
bool RenameNoReplace(const std::string& from, const std::string& to);

// Flushes the directory's entries (new names, renames) to the device.
void SyncDirectory(const std::string& directory);

// Called when a write finds the device full (ENOSPC): true when it freed
// space (a recording that loops over its oldest data), and the write is
// tried again; false leaves the failure as it is.
using RoomMaker = std::function<bool()>;

// OUTDIR, open while its files are written: they are made, renamed and
// flushed relative to it, in the directory that the run locked whatever
// becomes of its path, and without a path lookup or an open of the
// directory each time. Messages name the files by their paths.
class OutputDirectory {
public:
    // Throws WriteError.
    explicit OutputDirectory(const std::string& path);
    ~OutputDirectory();
    OutputDirectory(const OutputDirectory&) = delete;
    OutputDirectory& operator=(const OutputDirectory&) = delete;

    // PATH/NAME.
    std::string PathOf(const std::string& name) const { return path_ + "/" + name; }

    // As CreateFile, for a temporary name. A file already there, such as one
    // an earlier run left when it stopped, is never removed: creating fails.
    int CreateTemporaryFile(const std::string& name) const;
    // As RenameNoReplace.
    bool RenameNoReplace(const std::string& from, const std::string& to) const;
    // Renames a complete file from its temporary name to its final name,
    // which must be free. Throws WriteError.
    void CommitName(const std::string& temporary, const std::string& name) const;
    // False with errno set when the file could not be removed.
    bool Remove(const std::string& name) const;
    // As SyncDirectory.
    void Sync() const;
    // What writes in the directory call when the device is full; none by default.
    void SetRoomMaker(RoomMaker room) { room_ = std::move(room); }
    const RoomMaker* room() const { return room_ ? &room_ : nullptr; }
    // Whether there is a file (or any entry) NAME.
    bool Exists(const std::string& name) const;
    // The size of NAME, 0 when there is none.
    std::uint64_t SizeOf(const std::string& name) const;
    // Replaces the file's content in one step: written to NAME.tmp, flushed,
    // renamed over NAME, the directory flushed. A reader sees the old or the
    // new content, never a part. Throws WriteError.
    void Replace(const std::string& name, const std::string& content) const;
    // Opens NAME, which Replace made, to append to it (O_APPEND, never
    // following a link). Throws WriteError.
    int OpenForAppend(const std::string& name) const;

private:
    std::string path_;
    int fd_;
    RoomMaker room_;
};

// Writes all bytes, resuming after short writes and EINTR, and after ENOSPC
// when `room` frees space; throws WriteError.
void WriteAll(int fd, const void* data, std::size_t size, const std::string& path, const RoomMaker* room = nullptr);

// The same for the bytes of `count` pieces one after another, written with
// writev: as many pieces a call as it takes.
void WriteAllGathered(int fd, const struct iovec* pieces, std::size_t count, const std::string& path,
                      const RoomMaker* room = nullptr);

// fsync (or fdatasync when `dataOnly`), tried again after ENOSPC when `room`
// frees space; throws WriteError.
void SyncFile(int fd, bool dataOnly, const std::string& path, const RoomMaker* room = nullptr);

// Closes the descriptor; a failure (a delayed write error) throws WriteError.
void CloseFile(int fd, const std::string& path);

} // namespace h265split

#endif
