#include "EarlierRun.h"

#include <fnmatch.h>
#include <sys/stat.h>

#include <vector>

#include "EarlierFiles.h"
#include "OutputFiles.h"
#include "TornRecording.h"

namespace h265split {

namespace {

// The names this tool writes, each also as NAME.tmp while it is written.
const char* const kOurNames[] = {"seg-[0-9]*.265", "seg-[0-9]*.m4s", "init.mp4", "init-[0-9]*.mp4", "rec-[0-9]*.mp4",
                                 "index.csv", "index.json", "index.m3u8", "master.m3u8", "live.m3u8",
                                 "index-[0-9]*.csv", "index-[0-9]*.json", "index-[0-9]*.m3u8", "archive.csv"};
const char kTornRecording[] = "rec-[0-9]*.mp4.tmp";
const std::string kTemporary = ".tmp";

bool IsTemporary(const std::string& name) {
    return name.size() > kTemporary.size() &&
           name.compare(name.size() - kTemporary.size(), kTemporary.size(), kTemporary) == 0;
}

bool IsOurs(const std::string& name) {
    const std::string written = IsTemporary(name) ? name.substr(0, name.size() - kTemporary.size()) : name;
    for (const char* pattern : kOurNames)
        if (::fnmatch(pattern, written.c_str(), 0) == 0)
            return true;
    return false;
}

// Ours among the directory's names, sorted.
std::vector<std::string> OurFiles(const std::string& directory) {
    std::vector<std::string> names;
    for (const std::string& name : Names(directory))
        if (IsOurs(name))
            names.push_back(name);
    return names;
}

std::string SizeOf(const std::string& path) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return "no regular file";
    return std::to_string(status.st_size) + " bytes";
}

} // namespace

void RefuseEarlierRun(const std::string& directory, Messages& messages) {
    for (const std::string& name : OurFiles(directory)) {
        if (::fnmatch(kTornRecording, name.c_str(), 0) == 0)
            KeepTornRecording(directory, name, messages);
        else if (IsTemporary(name))
            messages.Say(name + " (" + SizeOf(directory + "/" + name) +
                         "), left by an earlier run under its temporary name, is kept as it is");
    }
    const std::vector<std::string> left = OurFiles(directory);
    if (!left.empty())
        throw WriteError("'" + directory + "' already holds the files of a run (" + Listed(left) +
                         "); use another OUTDIR, or --resume to go on with its recording");
}

} // namespace h265split
