// The input a tool names on its command line: a file, or standard input for
// "-", held open for one sequential walk.
#ifndef H265TOOLS_STREAM_INPUT_H
#define H265TOOLS_STREAM_INPUT_H

#include <cstdint>
#include <stdexcept>
#include <string>

namespace h265tools {

// The input as a whole cannot be used: it cannot be opened or examined, is a
// directory, or (as the tool finds out) is empty or holds no start code.
class InputError : public std::runtime_error {
public:
    explicit InputError(const std::string& what) : std::runtime_error(what) {}
};

class StreamInput {
public:
    // The name that stands for standard input, as for other Unix tools; a
    // file of that name is reached as "./-".
    static bool IsStandardInput(const std::string& name) { return name == "-"; }

    // Opens the file, or takes standard input for "-". Throws InputError.
    explicit StreamInput(const std::string& name);
    ~StreamInput();
    StreamInput(const StreamInput&) = delete;
    StreamInput& operator=(const StreamInput&) = delete;

    int fd() const { return fd_; }
    // The size of a regular file; 0 when it is not known beforehand (a pipe).
    std::uint64_t size() const { return size_; }
    // How messages name it: "'path'", or "standard input".
    const std::string& description() const { return description_; }

private:
    void Close();

    int fd_ = -1;
    bool owned_ = false;
    std::uint64_t size_ = 0;
    std::string description_;
};

} // namespace h265tools

#endif
