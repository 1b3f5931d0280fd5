// Command-line arguments of h265info.
#ifndef H265INFO_OPTIONS_H
#define H265INFO_OPTIONS_H

#include <string>
#include <vector>

#include "FrameRate.h"

namespace h265info {

struct Options {
    bool json = false;
    std::string file;
    std::string svgPath;   // --svg: where the chart goes; empty for none
    std::string indexPath; // --index: h265split's index.csv
    // --fps: pictures per second, over what the stream says
    bool haveRate = false;
    h265tools::FrameRate rate;
};

enum class Command { kInspect, kHelp, kUsageError };

// `h265info [--json] [--svg OUT.svg [--fps F] [--index INDEX.csv]] [FILE]`,
// `h265info --help`. FILE "-" is standard input,
// and so is a missing FILE when `standardInputIsData` (a pipe or a redirected
// file; not a terminal). "--" ends the options, so a file whose name begins
// with '-' can be named. On kUsageError, `error` says what was wrong.
Command ParseArguments(const std::vector<std::string>& args, bool standardInputIsData, Options& options,
                       std::string& error);

// The one-line synopsis, for usage errors.
const char* UsageText();
// The --help text.
const char* HelpText();

} // namespace h265info

#endif
