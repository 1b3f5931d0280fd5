// Shared helpers for the hostile-input tests: reading the streams and the
// fuzz corpus, cutting streams into NAL units, and calls that may end in the
// end-of-data signal.
#ifndef H265HEADERS_TESTS_HOSTILE_SUPPORT_H
#define H265HEADERS_TESTS_HOSTILE_SUPPORT_H

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "BitWriter.h"

namespace hostile {

inline bool ReadFile(const std::string& path, Bytes& out) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file)
        return false;
    out.clear();
    unsigned char chunk[65536];
    size_t got;
    while ((got = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        out.insert(out.end(), chunk, chunk + got);
    std::fclose(file);
    return true;
}

// Regular files in `dir` whose names end in one of `suffixes` (all files when
// the list is empty), sorted; none when the directory does not exist.
inline std::vector<std::string> ListFiles(const std::string& dir, const std::vector<std::string>& suffixes) {
    std::vector<std::string> out;
    DIR* d = opendir(dir.c_str());
    if (!d)
        return out;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        const std::string path = dir + "/" + name;
        struct stat st;
        if (name[0] == '.' || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        bool wanted = suffixes.empty();
        for (const std::string& s : suffixes)
            wanted = wanted || (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0);
        if (wanted)
            out.push_back(path);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return out;
}

// The committed hostile-test stream and, when present, the real-stream
// corpus of tests/data.
inline std::vector<std::string> StreamFiles() {
    std::vector<std::string> files = ListFiles(H265_HOSTILE_DATA_DIR, {".hevc", ".265"});
    const std::vector<std::string> more = ListFiles(H265_TEST_DATA_DIR, {".hevc", ".265"});
    files.insert(files.end(), more.begin(), more.end());
    return files;
}

// Every file of every fuzz corpus directory.
inline std::vector<std::string> CorpusFiles() {
    std::vector<std::string> files;
    const char* targets[] = {"header_parser", "nalu_type", "sps", "pps", "slice", "bit_reader", "scanner"};
    for (const char* t : targets) {
        const std::vector<std::string> some = ListFiles(std::string(H265_FUZZ_CORPUS_DIR) + "/" + t, {});
        files.insert(files.end(), some.begin(), some.end());
    }
    return files;
}

// The NAL units of an Annex B stream, each with its start code.
inline std::vector<Bytes> NalUnits(const Bytes& stream) {
    std::vector<size_t> starts;
    for (size_t i = 0; i + 3 <= stream.size(); ++i)
        if (stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1) {
            starts.push_back(i > 0 && stream[i - 1] == 0 ? i - 1 : i);
            i += 2;
        }
    std::vector<Bytes> units;
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t end = k + 1 < starts.size() ? starts[k + 1] : stream.size();
        units.push_back(Bytes(stream.begin() + static_cast<long>(starts[k]), stream.begin() + static_cast<long>(end)));
    }
    return units;
}

inline int NalType(const Bytes& unit) { return (unit[unit[2] == 1 ? 3 : 4] >> 1) & 0x3F; }

// Runs `call`; true when it completed, false when it ended in the end-of-data
// signal. Any other exception propagates and fails the test.
template <typename Call> bool Completes(Call call) {
    try {
        call();
        return true;
    } catch (int signal) {
        if (signal != 1)
            throw;
        return false;
    }
}

} // namespace hostile

#endif
