// h265info: lists the NAL units of an H.265/HEVC Annex B byte stream and
// describes the stream, through the public interface of h265headers.
#include <iostream>
#include <memory>
#include <new>
#include <string>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

#include "JsonReport.h"
#include "Options.h"
#include "ReportTee.h"
#include "SegmentIndex.h"
#include "StreamInput.h"
#include "StreamInspection.h"
#include "SvgReport.h"
#include "TextReport.h"

namespace {

const int kExitBadInput = 1;
const int kExitUsage = 2;

int Fail(const std::string& message) {
    std::cout.flush();
    std::cerr << "h265info: " << message << '\n';
    return kExitBadInput;
}

// Standard input carries data rather than a terminal or nothing: a pipe or a
// redirected file.
bool StandardInputIsData() {
    struct stat status;
    return ::fstat(STDIN_FILENO, &status) == 0 && (S_ISFIFO(status.st_mode) || S_ISREG(status.st_mode));
}

} // namespace

int main(int argc, char** argv) {
    using namespace h265info;
    std::ios::sync_with_stdio(false);

    Options options;
    std::string error;
    switch (ParseArguments(std::vector<std::string>(argv + 1, argv + argc), StandardInputIsData(), options, error)) {
    case Command::kHelp:
        std::cout << HelpText();
        std::cout.flush();
        return std::cout ? 0 : kExitBadInput;
    case Command::kUsageError:
        std::cerr << "h265info: " << error << '\n' << UsageText() << "Try 'h265info --help' for more information.\n";
        return kExitUsage;
    case Command::kInspect:
        break;
    }

    try {
        TextReport text(std::cout);
        JsonReport json(std::cout);
        Report* report = options.json ? static_cast<Report*>(&json) : static_cast<Report*>(&text);
        std::unique_ptr<SvgReport> svg;
        std::unique_ptr<ReportTee> both;
        if (!options.svgPath.empty()) {
            std::vector<std::uint64_t> segments;
            if (!options.indexPath.empty())
                segments = ReadSegmentOffsets(options.indexPath);
            svg.reset(new SvgReport(options.svgPath, options.haveRate ? &options.rate : nullptr, std::move(segments)));
            both.reset(new ReportTee(*report, *svg));
            report = both.get();
        }
        const bool clean = InspectStream(options.file, options.haveRate ? &options.rate : nullptr, *report, std::cout);
        std::cout.flush();
        if (!std::cout)
            return Fail("cannot write the report to standard output");
        return clean ? 0 : kExitBadInput;
    } catch (const h265tools::InputError& e) {
        return Fail(e.what());
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    } catch (int signal) {
        // The library's end-of-data signal from a call that is not expected
        // to read past its buffer.
        return Fail("the library ran out of data unexpectedly (signal " + std::to_string(signal) + ")");
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
