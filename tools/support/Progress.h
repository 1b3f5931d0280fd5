// A progress line on standard error for long runs over large inputs.
#ifndef H265TOOLS_PROGRESS_H
#define H265TOOLS_PROGRESS_H

#include <chrono>
#include <cstdint>
#include <string>

namespace h265tools {

class Progress {
public:
    static const std::uint64_t kThreshold = 64ull << 20;

    // "PROGRAM: NAME: 70 of 200 MiB (35%)" for an input of known size over
    // kThreshold bytes, "PROGRAM: NAME: 70 MiB" for one of unknown size (a
    // pipe) once kThreshold bytes have been read. Shown only when standard
    // error is a terminal and standard output is not: when standard output is
    // that terminal too, the rows being printed already show how far the walk
    // is, and a line rewritten in place would only garble them.
    //
    // A tool that prints no rows on standard output (kNoRows) shows the line
    // whenever standard error is a terminal.
    enum class Rows { kOnStandardOutput, kNoRows };
    Progress(const std::string& program, const std::string& name, std::uint64_t total,
             Rows rows = Rows::kOnStandardOutput);
    ~Progress() { Clear(); }
    Progress(const Progress&) = delete;
    Progress& operator=(const Progress&) = delete;

    void Update(std::uint64_t done);
    // The same line followed by ", DETAIL, N MiB/s" (the rate since the start).
    void Update(std::uint64_t done, const std::string& detail);
    // Removes the line, e.g. before a message is written to standard error.
    void Clear();

private:
    bool enabled_;
    bool shown_ = false;
    std::string prefix_; // "PROGRAM: NAME: "
    std::uint64_t total_;
    std::chrono::steady_clock::time_point start_;
    std::chrono::steady_clock::time_point last_;
};

} // namespace h265tools

#endif
