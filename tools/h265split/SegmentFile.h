// One segment being written: under a temporary name until it is complete,
// so that a crash or a full disk never leaves a truncated segment under its
// final name.
#ifndef H265SPLIT_SEGMENT_FILE_H
#define H265SPLIT_SEGMENT_FILE_H

#include <cstddef>
#include <cstdint>
#include <string>

namespace h265split {

class SegmentFile {
public:
    // "seg-00042.265" for 42.
    static std::string Name(unsigned int number);

    // Creates OUTDIR/NAME.tmp. Throws WriteError.
    SegmentFile(const std::string& directory, unsigned int number);
    // A segment that was not committed is removed.
    ~SegmentFile();
    SegmentFile(const SegmentFile&) = delete;
    SegmentFile& operator=(const SegmentFile&) = delete;

    void Write(const unsigned char* data, std::size_t size);
    // Flushes the data to the device and gives the file its final name.
    void Commit();

    const std::string& name() const { return name_; }
    std::uint64_t bytes() const { return bytes_; }

private:
    std::string name_;
    std::string path_;
    std::string temporaryPath_;
    int fd_ = -1;
    std::uint64_t bytes_ = 0;
    bool committed_ = false;
};

} // namespace h265split

#endif
