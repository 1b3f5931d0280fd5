// Reading test inputs: whole files and the regular files of a directory.
// Shared by the hostile-input tests and the fuzz targets' replay driver.
#ifndef H265HEADERS_TESTS_INPUT_FILES_H
#define H265HEADERS_TESTS_INPUT_FILES_H

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace inputfiles {

// The whole file, or false when it cannot be opened or read.
inline bool ReadFile(const std::string& path, std::vector<unsigned char>& out) {
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

inline bool IsDirectory(const std::string& path) {
    struct stat st;
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Regular files directly in `dir` (hidden ones left out) whose names end in
// one of `suffixes` (all when the list is empty), sorted; false when the
// directory cannot be opened.
inline bool ListFiles(const std::string& dir, const std::vector<std::string>& suffixes,
                      std::vector<std::string>& out) {
    out.clear();
    DIR* d = opendir(dir.c_str());
    if (!d)
        return false;
    while (dirent* e = readdir(d)) {
        const std::string name = e->d_name;
        const std::string path = dir + "/" + name;
        struct stat st;
        if (name[0] == '.' || stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
            continue;
        bool wanted = suffixes.empty();
        for (size_t i = 0; i < suffixes.size(); ++i) {
            const std::string& s = suffixes[i];
            wanted = wanted || (name.size() > s.size() && name.compare(name.size() - s.size(), s.size(), s) == 0);
        }
        if (wanted)
            out.push_back(path);
    }
    closedir(d);
    std::sort(out.begin(), out.end());
    return true;
}

} // namespace inputfiles

#endif
