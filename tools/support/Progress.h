// A progress line on standard error for long runs over large files.
#ifndef H265INFO_PROGRESS_H
#define H265INFO_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <string>

namespace h265info {

class Progress {
public:
    static const std::uint64_t kThreshold = 64ull << 20;

    // Shown for files over kThreshold bytes when standard error is a
    // terminal. When standard output is that terminal too, the rows being
    // printed already show how far the walk is, and a line rewritten in
    // place would only garble them.
    Progress(std::uint64_t total, const std::string& path);
    ~Progress() { Clear(); }

    void Update(std::uint64_t done);
    // Removes the line, e.g. before a message is written to standard error.
    void Clear();

private:
    bool enabled_;
    bool shown_ = false;
    std::uint64_t total_;
    std::string path_;
    std::chrono::steady_clock::time_point last_;
};

} // namespace h265info

#endif
