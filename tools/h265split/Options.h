// The command line of h265split.
#ifndef H265SPLIT_OPTIONS_H
#define H265SPLIT_OPTIONS_H

#include <string>
#include <vector>

#include "Segmenter.h"
#include "SegmentSink.h"

namespace h265split {

struct Options {
    std::string input;     // a file, or "-" for standard input
    std::string directory; // OUTDIR
    SegmentRules rules;
    bool json = false;
    OutputFormat format = OutputFormat::kRaw;
};

enum class Command { kSplit, kHelp, kUsageError };

Command ParseArguments(const std::vector<std::string>& args, Options& options, std::string& error);

const char* UsageText();
const char* HelpText();

} // namespace h265split

#endif
