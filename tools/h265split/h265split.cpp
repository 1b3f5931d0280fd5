// h265split: cuts an H.265 Annex B byte stream into segments that each
// decode on their own, with an index, using the library's public interface.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <memory>
#include <cstring>
#include <iostream>
#include <new>
#include <string>
#include <system_error>
#include <vector>

#include "Archive.h"
#include "CountedNoun.h"
#include "EarlierRun.h"
#include "Messages.h"
#include "Options.h"
#include "OutputFiles.h"
#include "ResumedRun.h"
#include "Split.h"
#include "StreamInput.h"

namespace {

const int kExitFailure = 1;
const int kExitUsage = 2;

volatile std::sig_atomic_t stopRequested = 0;

extern "C" void RequestStop(int) {
    stopRequested = 1;
}

// SIGINT and SIGTERM end the walk at the next read, which they interrupt:
// no SA_RESTART. SIGXFSZ is ignored so that a file size limit comes back as
// the write error EFBIG rather than ending the process.
void InstallSignalHandlers() {
    struct sigaction action;
    std::memset(&action, 0, sizeof action);
    action.sa_handler = RequestStop;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGXFSZ, SIG_IGN);
}

int Fail(const std::string& message) {
    h265split::WriteMessage(message);
    return kExitFailure;
}

// Holds OUTDIR for this run until the process ends: a second run into the
// same directory would otherwise take the first one's growing recording for
// one a crash left and cut it back. File systems without flock() on a
// directory get no lock.
void LockDirectory(const std::string& directory) {
    const int fd = ::open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        h265split::ThrowWriteError("open the directory", directory);
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
        throw h265split::WriteError("'" + directory + "' is being written by another run; use another OUTDIR");
}

// Makes OUTDIR when it does not exist; true when it was made here. Refuses a
// directory that holds the files of an earlier run, whose segments would
// otherwise mix with this run's, after keeping a recording that run left
// under its temporary name; with --resume, repairs them and notes where that
// run ended instead.
bool PrepareDirectory(h265split::Options& options) {
    const std::string& directory = options.directory;
    bool made = true;
    if (::mkdir(directory.c_str(), 0777) != 0) {
        if (errno != EEXIST)
            h265split::ThrowWriteError("create the directory", directory);
        struct stat status;
        if (::stat(directory.c_str(), &status) != 0 || !S_ISDIR(status.st_mode))
            throw h265split::WriteError("'" + directory + "' is not a directory");
        made = false;
    }
    LockDirectory(directory);
    h265split::Messages messages;
    if (options.resume)
        options.resumePoint = h265split::ResumeEarlierRun(directory, options, messages);
    else
        h265split::RefuseEarlierRun(directory, messages);
    return made;
}

} // namespace

// A camera's password given on the command line is blanked out of it, so
// that ps and /proc/PID/cmdline no longer show it once the options are read.
static void HidePassword(int argc, char** argv) {
    for (int i = 1; i < argc; ++i) {
        char* at = std::strchr(argv[i], '@');
        char* scheme = std::strstr(argv[i], "://");
        if (!at || !scheme)
            continue;
        char* colon = std::strchr(scheme + 3, ':');
        if (colon && colon < at)
            std::memset(colon + 1, 'x', static_cast<std::size_t>(at - colon - 1));
    }
}

int main(int argc, char** argv) {
    using namespace h265split;
    Options options;
    std::string error;
    switch (ParseArguments(std::vector<std::string>(argv + 1, argv + argc), options, error)) {
    case Command::kHelp:
        std::cout << HelpText();
        std::cout.flush();
        return std::cout ? 0 : kExitFailure;
    case Command::kUsageError:
        WriteMessage(error);
        std::cerr << UsageText() << "Try 'h265split --help' for more information.\n";
        return kExitUsage;
    case Command::kSplit:
        break;
    }

    if (options.camera)
        HidePassword(argc, argv);
    InstallSignalHandlers();
    bool madeDirectory = false;
    try {
        std::unique_ptr<h265tools::StreamInput> input;
        if (!options.camera)
            input.reset(new h265tools::StreamInput(options.input));
        madeDirectory = PrepareDirectory(options);
        const SplitResult result = options.camera ? SplitCamera(options.cameraOptions, options, &stopRequested)
                                                  : Split(*input, options, &stopRequested);
        if (result.stopped)
            WriteMessage("stopped by a signal after " + h265tools::CountedNoun(result.segments, "segment", "segments"));
        return 0;
    } catch (const h265tools::InputError& e) {
        if (madeDirectory)
            ::rmdir(options.directory.c_str()); // only when nothing was written into it
        return Fail(e.what());
    } catch (const ReportedWriteError&) {
        return kExitFailure;
    } catch (const BudgetError&) {
        return kExitUsage; // reported, with what was kept

    } catch (const WriteError& e) {
        return Fail(e.what());
    } catch (const std::system_error& e) {
        return Fail("cannot read " + options.input + ": " + e.code().message());
    } catch (const std::bad_alloc&) {
        return Fail("out of memory");
    } catch (int signal) {
        return Fail("the library ran out of data unexpectedly (signal " + std::to_string(signal) + ")");
    } catch (const std::exception& e) {
        return Fail(e.what());
    }
}
