#include "Options.h"

#include "CommandLine.h"

namespace h265info {

namespace {

// A frame rate as given to --fps: a positive number ("25", "29.97") or
// fraction ("30000/1001") up to 1000 (the bitrate window holds one second of
// pictures).
bool ParseFps(const std::string& text, h265tools::FrameRate& rate) {
    return h265tools::ParseFrameRate(text, rate) && rate.PerSecond() <= 1000;
}

} // namespace

Command ParseArguments(const std::vector<std::string>& args, bool standardInputIsData, Options& options,
                       std::string& error) {
    h265tools::CommandLine line(args);
    bool haveFile = false;
    std::string arg;
    for (;;) {
        const h265tools::CommandLine::Item item = line.Next(arg);
        if (item == h265tools::CommandLine::Item::kEnd)
            break;
        if (item == h265tools::CommandLine::Item::kHelp)
            return Command::kHelp;
        if (item == h265tools::CommandLine::Item::kOperand) {
            if (haveFile) {
                error = "more than one FILE given";
                return Command::kUsageError;
            }
            options.file = arg;
            haveFile = true;
            continue;
        }
        if (arg == "--json") {
            options.json = true;
        } else if (arg == "--svg" || arg == "--index" || arg == "--fps") {
            std::string value;
            if (!line.Value(value, error))
                return Command::kUsageError;
            if (arg == "--svg") {
                options.svgPath = value;
            } else if (arg == "--index") {
                options.indexPath = value;
            } else {
                options.haveRate = true;
                if (!ParseFps(value, options.rate)) {
                    error = "--fps needs a number above 0 and up to 1000, not '" + value + "'";
                    return Command::kUsageError;
                }
            }
        } else {
            error = h265tools::UnknownOption(arg);
            return Command::kUsageError;
        }
    }
    if (options.svgPath.empty() && !options.indexPath.empty()) {
        error = "--index only goes with --svg";
        return Command::kUsageError;
    }
    if (!haveFile) {
        if (!standardInputIsData) {
            error = "no FILE given";
            return Command::kUsageError;
        }
        options.file = "-";
    }
    return Command::kInspect;
}

const char* UsageText() {
    return "Usage: h265info [--json] FILE\n"
           "       h265info [--json] --svg OUT.svg [--fps F] [--index INDEX.csv] FILE\n"
           "       COMMAND | h265info [--json] [--svg OUT.svg ...] [-]\n"
           "       h265info --help\n";
}

const char* HelpText() {
    return "Usage: h265info [--json] FILE\n"
           "       h265info [--json] --svg OUT.svg [--fps F] [--index INDEX.csv] FILE\n"
           "       COMMAND | h265info [--json] [--svg OUT.svg ...] [-]\n"
           "       h265info --help\n"
           "\n"
           "Lists the NAL units of an H.265/HEVC Annex B byte stream and describes\n"
           "the stream from its parameter sets and slice segment headers, using\n"
           "the h265headers library as any caller would.\n"
           "\n"
           "FILE '-' is standard input, and so is a missing FILE when standard input\n"
           "is a pipe or a redirected file (a file named '-' is './-'). The report is\n"
           "then the one the same bytes give in a file, with '-' as the file name\n"
           "and the number of bytes read as the file size.\n"
           "\n"
           "Options:\n"
           "  --json      write one JSON document instead of text\n"
           "  --svg OUT   also write a chart of the stream to OUT (an SVG file):\n"
           "              one bar per picture in decode order, its height the bytes\n"
           "              of all its slice segments, coloured by picture type, key\n"
           "              pictures outlined, parameter sets and SEI as ticks on the\n"
           "              axis, the bitrate over a sliding one-second window below;\n"
           "              past 2048 pictures each column of the chart shows the\n"
           "              maximum and mean of the pictures it covers\n"
           "  --fps F     pictures per second (a number or a fraction such as\n"
           "              30000/1001) over the stream's SPS VUI or VPS timing\n"
           "  --index CSV draw the segment boundaries of an h265split index.csv\n"
           "  -h, --help  show this help and exit\n"
           "  --          end of options (for a FILE whose name begins with '-')\n"
           "\n"
           "Text output:\n"
           "  One row per NAL unit, in stream order: its index, the byte offset of its\n"
           "  start code, its size (start code included), nal_unit_type with its name,\n"
           "  the library's NALU_TYPE code from ParseNaluType on that unit alone, and\n"
           "  for slice segments the picture type (I, P or B) from ParseSliceType with\n"
           "  the PPS the segment names and the SPS that PPS names (the last of each\n"
           "  id before the segment), followed by 'first' for the first slice\n"
           "  segment of a picture and 'key' where IsKeyFrame marks a key frame.\n"
           "  '- dependent' marks a dependent slice segment, whose type comes from the\n"
           "  segment before it; '?' marks a segment whose type could not be read\n"
           "  ('? no SPS/PPS': its PPS, or the SPS of that PPS, has not come yet).\n"
           "\n"
           "  Then a summary: coded size (GetResolution on the SPS of the first\n"
           "  picture, or on the first SPS when there is no picture), display size\n"
           "  after the conformance window, chroma format, bit depths, profile, tier\n"
           "  and level of that SPS; 'size changes' (only when there are any): each\n"
           "  picture whose SPS gives another coded or display size than the picture\n"
           "  before it; the number of I, P and B pictures, where the key pictures\n"
           "  are, and whether a VPS, an SPS and a PPS come before the first picture\n"
           "  (HasParameterSets); then, from the tools' own reading of the SPS VUI,\n"
           "  VPS timing, slice headers and HDR SEI messages: frame rate and its\n"
           "  source, duration, sample aspect ratio, colour range, primaries,\n"
           "  transfer and matrix (named as ffprobe names them), HDR, chroma\n"
           "  location, field coding, reorder depth, temporal layers and the GOP\n"
           "  structure (M, N, open or closed). Last, each distinct SPS and PPS\n"
           "  listing as the library's Dump gives it.\n"
           "\n"
           "  Under each picture's first slice segment: its picture order count,\n"
           "  its output index (the order a decoder outputs it in) and presentation\n"
           "  time, or 'not output'. A picture's row comes once its place in output\n"
           "  order is known, a few pictures later.\n"
           "\n"
           "JSON output:\n"
           "  An object with \"file\", \"nal_units\" (one object per NAL unit),\n"
           "  \"summary\", and \"sps\" and \"pps\" (each listing as text and as fields).\n"
           "  The summary holds \"size_changes\" only when there are any.\n"
           "\n"
           "The input is read once, front to back, in 1 MiB windows, so its size is\n"
           "not limited by memory and a live stream can be piped in. Past 64 MiB a\n"
           "progress line goes to standard error when that is a terminal and\n"
           "standard output is not.\n"
           "\n"
           "Exit status:\n"
           "  0  the whole stream was read\n"
           "  1  bad input: the input cannot be read, is empty or has no start code,\n"
           "     or a NAL unit ends early (each such unit is reported on standard\n"
           "     error and the rest of the stream is still listed)\n"
           "  2  usage error\n";
}

} // namespace h265info
