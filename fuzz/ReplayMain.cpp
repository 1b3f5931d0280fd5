// Runs a fuzz target's LLVMFuzzerTestOneInput over files, without libFuzzer:
//   <target>_replay FILE-OR-DIRECTORY...
// Every regular file named, and every regular file directly inside a named
// directory, is run once, in name order. Exits non-zero when nothing was run
// (an empty or missing corpus is an error, not a pass); a finding aborts.
#include <cstdio>
#include <string>
#include <vector>

#include "FuzzSupport.h"
#include "InputFiles.h"

int main(int argc, char** argv) {
    std::vector<std::string> files;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (!inputfiles::IsDirectory(arg)) {
            files.push_back(arg);
            continue;
        }
        std::vector<std::string> names;
        if (!inputfiles::ListFiles(arg, std::vector<std::string>(), names)) {
            std::fprintf(stderr, "replay: cannot open %s\n", arg.c_str());
            return 2;
        }
        files.insert(files.end(), names.begin(), names.end());
    }
    size_t run = 0;
    std::vector<uint8_t> bytes;
    for (size_t i = 0; i < files.size(); ++i) {
        if (!inputfiles::ReadFile(files[i], bytes)) {
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
