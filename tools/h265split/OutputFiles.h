// Writing the files of OUTDIR: every failure, ENOSPC and EIO included, is a
// WriteError that names the file and the reason.
#ifndef H265SPLIT_OUTPUT_FILES_H
#define H265SPLIT_OUTPUT_FILES_H

#include <cstddef>
#include <stdexcept>
#include <string>

namespace h265split {

class WriteError : public std::runtime_error {
public:
    explicit WriteError(const std::string& what) : std::runtime_error(what) {}
};

// "cannot ACTION 'PATH': strerror(errno)" as a WriteError.
[[noreturn]] void ThrowWriteError(const char* action, const std::string& path);

// Creates (or truncates) the file for writing; throws WriteError.
int CreateFile(const std::string& path);

// Writes all bytes, resuming after short writes and EINTR; throws WriteError.
void WriteAll(int fd, const void* data, std::size_t size, const std::string& path);

// Closes the descriptor; a failure (a delayed write error) throws WriteError.
void CloseFile(int fd, const std::string& path);

} // namespace h265split

#endif
