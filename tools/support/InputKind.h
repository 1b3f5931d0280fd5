// What an input that a tool cannot read as H.265 looks like, told from its
// first bytes: an MP4 file or an H.264 byte stream given by mistake is named
// as such, rather than reported through the NAL units it seems to hold.
#ifndef H265TOOLS_INPUT_KIND_H
#define H265TOOLS_INPUT_KIND_H

#include <cstddef>
#include <string>
#include <vector>

namespace h265tools {

enum class InputKind {
    kH265,         // H.265 NAL unit headers after its start codes, or too few to tell
    kIsoBmff,      // an ISO base media file (MP4): a box at its start
    kH264,         // H.264 NAL unit headers after its start codes
    kUnrecognised, // most NAL unit headers after its start codes are no H.265 ones
};

// Decides on the first few NAL units, never on one.
InputKind GuessInputKind(const std::vector<unsigned char>& firstBytes);

// The message that says what the input is ("'x.mp4' is an MP4 file, not an
// Annex B byte stream (...)"), empty for kH265. `name` is the input as given
// on the command line ("-" for standard input), `description` as messages
// name it.
std::string InputKindMessage(InputKind kind, const std::string& name, const std::string& description);

} // namespace h265tools

#endif
