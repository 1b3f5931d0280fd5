#include "EarlierRun.h"

#include <dirent.h>
#include <fnmatch.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <vector>

#include "OutputFiles.h"
#include "TornRecording.h"

namespace h265split {

namespace {

// The names this tool writes, each also as NAME.tmp while it is written.
const char* const kOurNames[] = {"seg-[0-9]*.265", "seg-[0-9]*.m4s", "init.mp4", "init-[0-9]*.mp4", "rec-[0-9]*.mp4",
                                 "index.csv", "index.json", "index.m3u8", "master.m3u8", "live.m3u8"};
const char kTornRecording[] = "rec-[0-9]*.mp4.tmp";
const std::string kTemporary = ".tmp";
// The refusal names this many files and counts the others.
const std::size_t kNamesShown = 4;

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

std::vector<std::string> OurFiles(const std::string& directory) {
    DIR* dir = ::opendir(directory.c_str());
    if (!dir)
        ThrowWriteError("read the directory", directory);
    std::vector<std::string> names;
    errno = 0;
    while (const dirent* entry = ::readdir(dir)) {
        if (IsOurs(entry->d_name))
            names.push_back(entry->d_name);
        errno = 0;
    }
    const int error = errno;
    ::closedir(dir);
    if (error != 0) {
        errno = error;
        ThrowWriteError("read the directory", directory);
    }
    std::sort(names.begin(), names.end());
    return names;
}

std::string SizeOf(const std::string& path) {
    struct stat status;
    if (::lstat(path.c_str(), &status) != 0 || !S_ISREG(status.st_mode))
        return "no regular file";
    return std::to_string(status.st_size) + " bytes";
}

std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (std::size_t i = 0; i < names.size() && i < kNamesShown; ++i)
        text += (i == 0 ? "" : ", ") + names[i];
    if (names.size() > kNamesShown)
        text += " and " + std::to_string(names.size() - kNamesShown) + " more";
    return text;
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
                         "); use another OUTDIR");
}

} // namespace h265split
