// One segment being written: under a temporary name until it is complete,
// so that a crash or a full disk never leaves a truncated segment under its
// final name.
#ifndef H265SPLIT_SEGMENT_FILE_H
#define H265SPLIT_SEGMENT_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "SegmentSink.h"

namespace h265split {

class SegmentFile : public SegmentSink {
public:
    // "seg-00042.265" for 42.
    static std::string Name(unsigned int number);

    // Creates OUTDIR/NAME.tmp. Throws WriteError.
    SegmentFile(const std::string& directory, unsigned int number);
    // A segment that was not committed is removed.
    ~SegmentFile() override;
    SegmentFile(const SegmentFile&) = delete;
    SegmentFile& operator=(const SegmentFile&) = delete;

    // Collects the bytes and writes them in large blocks: an access unit of a
    // few KiB each would otherwise cost a system call of its own.
    void Write(const unsigned char* data, std::size_t size) override;
    // Writes what is collected, flushes the data to the device and gives the
    // file its final name.
    void Commit(const SegmentSpan& span) override;

    const std::string& name() const override { return name_; }
    std::uint64_t bytes() const override { return bytes_; }

private:
    static const std::size_t kBlock = 256u << 10;
    void Flush();

    std::string name_;
    std::string directory_;
    std::string path_;
    std::string temporaryPath_;
    int fd_ = -1;
    std::uint64_t bytes_ = 0;
    bool committed_ = false;
    std::vector<unsigned char> block_;
};

} // namespace h265split

#endif
