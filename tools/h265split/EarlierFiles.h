// The file operations a run uses on what an earlier run left in OUTDIR
// (EarlierRun, TornRecording, ResumedRun): listing it, reading a file whole
// or in part, cutting one back to what was whole, appending flushed entries,
// and the numbers in the names this tool gives its files. Every failure is
// a WriteError that names the file.
#ifndef H265SPLIT_EARLIER_FILES_H
#define H265SPLIT_EARLIER_FILES_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace h265split {

// Closes the descriptor on every path out.
struct Descriptor {
    explicit Descriptor(int descriptor) : fd(descriptor) {}
    ~Descriptor();
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int fd;
};

bool EndsWith(const std::string& text, const std::string& end);

// NAME is PREFIX, digits, SUFFIX: the digits' number.
bool NumberOf(const std::string& name, const std::string& prefix, const std::string& suffix, unsigned int& number);

// The number of a segment file: seg-NNNNN.265, seg-NNNNN.m4s, rec-NNNNN.mp4.
bool SegmentNumber(const std::string& name, unsigned int& number);

// The names in the directory, "." and ".." included, sorted.
std::vector<std::string> Names(const std::string& directory);

// Whether PATH is a regular file (a link is not followed).
bool Exists(const std::string& path);

// The whole file into `content`; false when there is no such file.
bool ReadWhole(const std::string& path, std::string& content);

// Up to `size` bytes at `offset`, resuming after short reads and EINTR:
// fewer only at the end of the file.
std::size_t ReadAt(int fd, unsigned char* data, std::size_t size, std::uint64_t offset, const std::string& path);

// Cuts the file to `size` bytes and flushes it: O(1) whatever its length.
void CutBack(const std::string& path, std::uint64_t size);

// Appends the text and flushes its data.
void AppendFlushed(const std::string& path, const std::string& text);

// Removes DIRECTORY/NAME.
void Remove(const std::string& directory, const std::string& name);

} // namespace h265split

#endif
