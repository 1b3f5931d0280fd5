// The STREAM.expected files of tests/data: "key value..." lines and "nal"
// lines, as scripts/trace_to_expected.py writes them from ffmpeg's
// trace_headers output (format in tests/data/README.md).
#ifndef H265HEADERS_TESTS_EXPECTED_FILE_H
#define H265HEADERS_TESTS_EXPECTED_FILE_H

#include <cstddef>
#include <map>
#include <string>
#include <vector>

struct ExpectedNal {
    int index = -1;
    int nalUnitType = -1;
    int code = -1;
    int key = -1;
    bool isSlice = false;
    bool dependent = false; // slice=none: ParseSliceType gives nothing
    int sliceCode = -1;
    int first = -1;
};

struct Expected {
    std::map<std::string, std::vector<unsigned long long>> values;
    std::vector<ExpectedNal> nals;
    std::vector<std::string> errors; // lines that could not be read

    bool Has(const std::string& key) const { return values.count(key) != 0; }
    unsigned long long Value(const std::string& key, size_t i = 0) const {
        auto it = values.find(key);
        return it == values.end() || it->second.size() <= i ? ~0ull : it->second[i];
    }
};

// Reads an .expected file; lines that cannot be read land in `errors`.
Expected LoadExpected(const std::string& path);

#endif
