// Runs a fuzz target's LLVMFuzzerTestOneInput over files, without libFuzzer:
//   <target>_replay FILE-OR-DIRECTORY...
// Every regular file named, and every regular file directly inside a named
// directory, is run once, in name order. Exits non-zero when nothing was run
// (an empty or missing corpus is an error, not a pass); a finding aborts.
#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"

namespace {

bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool ReadFile(const std::string& path, std::vector<uint8_t>& out) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    out.clear();
    unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        out.insert(out.end(), chunk, chunk + got);
    const bool ok = !std::ferror(file);
    std::fclose(file);
    return ok;
}

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!IsDirectory(arg)) {
            files.push_back(arg);
            continue;
        }
        DIR* dir = opendir(arg.c_str());
        if (!dir) {
            std::fprintf(stderr, "replay: cannot open %s\n", arg.c_str());
            return 2;
        }
        std::vector<std::string> names;
        while (dirent* entry = readdir(dir)) {
            const std::string path = arg + "/" + entry->d_name;
            struct stat st;
            if (entry->d_name[0] != '.' && stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode))
                names.push_back(path);
        }
        closedir(dir);
        std::sort(names.begin(), names.end());
        files.insert(files.end(), names.begin(), names.end());
    }
    size_t run = 0;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!ReadFile(files[i], bytes)) {
            std::fprintf(stderr, "replay: cannot read %s\n", files[i].c_str());
            return 2;
        }
        // An empty vector has no data pointer; libFuzzer passes a valid one.
        const uint8_t empty = 0;
        LLVMFuzzerTestOneInput(bytes.empty() ? &empty : bytes.data(), bytes.size());
        ++run;
    }
    std::printf("replay: %lu inputs run\n", static_cast<unsigned long>(run));
    if (run == 0) {
        std::fprintf(stderr, "replay: no input found\n");
        return 2;
    }
    return 0;
}
