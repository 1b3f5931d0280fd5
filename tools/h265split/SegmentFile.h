// One raw segment being written through the file layer (FileStore): under a
// temporary name until it is complete, so that a crash or a full disk never
// leaves a truncated segment under its final name.
#ifndef H265SPLIT_SEGMENT_FILE_H
#define H265SPLIT_SEGMENT_FILE_H

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "FileStore.h"
#include "SegmentSink.h"

namespace h265split {

class SegmentFile : public SegmentSink {
public:
    // "seg-00042.265" for 42.
    static std::string Name(unsigned int number);

    // Creates the segment's file in `store`. Throws WriteError. A segment
    // that is not committed is removed.
    SegmentFile(FileStore& store, unsigned int number);
    SegmentFile(const SegmentFile&) = delete;
    SegmentFile& operator=(const SegmentFile&) = delete;

    // Collects the NAL units and writes them in large blocks, each with one
    // system call: an access unit of a few KiB each would otherwise cost a
    // system call of its own. The access units' bytes are written from where
    // they lie, the inserted parameter sets from a copy.
    void Write(const unsigned char* data, std::size_t size) override;
    void WriteUnit(const AccessUnit& au, const UnitInAccessUnit& unit) override;
    // Writes what is collected, flushes the data to the device and gives the
    // file its final name.
    void Commit(const SegmentSpan& span) override;

    const std::string& name() const override { return name_; }
    std::uint64_t bytes() const override { return bytes_; }

private:
    static const std::size_t kBlock = 256u << 10;
    void Add(const unsigned char* data, std::size_t size);
    void Flush();

    std::string name_;
    std::unique_ptr<FileStore::File> file_;
    std::uint64_t bytes_ = 0;
    // What is collected: the pieces to write, what holds their bytes, and
    // how many bytes they have.
    std::vector<struct iovec> pieces_;
    std::vector<std::shared_ptr<const void>> owners_;
    std::vector<std::vector<unsigned char>> copies_;
    std::size_t collected_ = 0;
};

} // namespace h265split

#endif
