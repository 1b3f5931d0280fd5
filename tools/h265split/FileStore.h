// Where the fragmented MP4 output keeps its files: a directory, where each
// file is written under a temporary name, flushed to the disk and renamed when
// complete; or memory (the fuzz target, which checks what was written).
#ifndef H265SPLIT_FILE_STORE_H
#define H265SPLIT_FILE_STORE_H

#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <sys/uio.h>

#include "OutputFiles.h"

namespace h265split {

class FileStore {
public:
    class File {
    public:
        virtual ~File() = default;
        virtual void Write(const unsigned char* data, std::size_t size) = 0;
        // Writes the pieces one after another, as one Write of their bytes
        // together would, without gathering them first.
        virtual void WriteGathered(const struct iovec* pieces, std::size_t count) {
            for (std::size_t i = 0; i < count; ++i)
                Write(static_cast<const unsigned char*>(pieces[i].iov_base), pieces[i].iov_len);
        }
        // Replaces bytes already written, from `offset` on.
        virtual void Overwrite(std::uint64_t offset, const unsigned char* data, std::size_t size) = 0;
        // What is written so far reaches the disk (a recording that must play
        // up to its last fragment after a power cut).
        virtual void Sync() = 0;
        // Flushed and under its final name. Throws WriteError.
        virtual void Commit() = 0;
        // Instead of Commit, after a failure: the first `bytes` (what plays)
        // flushed and under the final name, or the file removed when `bytes`
        // is 0; false when that failed, and the data stays under its
        // temporary name. Throws nothing.
        virtual bool Keep(std::uint64_t bytes) = 0;
    };

    virtual ~FileStore() = default;
    // A new file NAME, complete only once committed (or kept). A file that is
    // neither is removed, unless `keepPartial`: a recording's data is never
    // removed, and stays under its temporary name.
    virtual std::unique_ptr<File> Create(const std::string& name, bool keepPartial) = 0;
    // Replaces NAME's content in one step (a playlist, an init segment).
    virtual void Replace(const std::string& name, const std::string& content) = 0;
    // Adds `content` to the end of NAME, made by the first call in one step
    // as Replace makes it, and flushes it: a file that only grows (an EVENT
    // playlist) costs the same whatever its length. `replacingLast` bytes at
    // the end go first (the closing bracket of a JSON array). Throws
    // WriteError.
    virtual void Append(const std::string& name, const std::string& content, std::size_t replacingLast) = 0;
    void Append(const std::string& name, const std::string& content) { Append(name, content, 0); }
    // NAME, which an earlier run made, is appended to by the first Append
    // too (a resumed run); false when there is no NAME, which the first
    // Append then makes. Throws WriteError.
    virtual bool ContinueAppending(const std::string& name) {
        (void)name;
        return false;
    }
    // No more is appended to NAME (a closed playlist): what it holds open goes.
    virtual void EndAppend(const std::string& name) { (void)name; }
    // Removes the complete file NAME; false when it could not (errno set).
    virtual bool Remove(const std::string& name) = 0;
    // The bytes of the files made, appended to and removed through the
    // store so far, the one being written included.
    virtual std::uint64_t Usage() const = 0;
    // What a write that finds the device full calls (see RoomMaker).
    virtual void SetRoomMaker(RoomMaker room) { (void)room; }
    // Files of `bytes` were there before the store (an earlier run's).
    virtual void HoldsAlready(std::uint64_t bytes) { (void)bytes; }
};

// Files in a directory, created with O_EXCL under NAME.tmp and renamed; the
// directory is flushed after each rename, before a playlist names the file.
// The directory is opened here (throws WriteError) and its files are reached
// through it.
class DirectoryStore : public FileStore {
public:
    explicit DirectoryStore(const std::string& directory) : directory_(directory) {}
    std::unique_ptr<File> Create(const std::string& name, bool keepPartial) override;
    void Replace(const std::string& name, const std::string& content) override;
    using FileStore::Append;
    void Append(const std::string& name, const std::string& content, std::size_t replacingLast) override;
    bool ContinueAppending(const std::string& name) override;
    void EndAppend(const std::string& name) override;
    bool Remove(const std::string& name) override;
    std::uint64_t Usage() const override { return usage_; }
    void SetRoomMaker(RoomMaker room) override { directory_.SetRoomMaker(std::move(room)); }
    void HoldsAlready(std::uint64_t bytes) override { usage_ += bytes; }
    ~DirectoryStore() override;

private:
    OutputDirectory directory_;
    // The files appended to, kept open, with their sizes: a few playlists
    // and indexes.
    struct Appended {
        int fd;
        std::uint64_t size;
    };
    std::map<std::string, Appended> appended_;
    std::uint64_t usage_ = 0;
};

} // namespace h265split

#endif
