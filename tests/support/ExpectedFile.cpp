#include "ExpectedFile.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

namespace {

bool ParseNumber(const std::string& text, unsigned long long* value) {
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    *value = std::strtoull(text.c_str(), nullptr, 10);
    return true;
}

// "name=value" with a number; "none" is accepted where allowNone says so.
bool ParseAttribute(const std::string& token, const char* name, int* value, bool allowNone, bool* none) {
    const std::string prefix = std::string(name) + "=";
    if (token.compare(0, prefix.size(), prefix) != 0)
        return false;
    const std::string text = token.substr(prefix.size());
    if (allowNone && text == "none") {
        *none = true;
        return true;
    }
    unsigned long long n;
    if (!ParseNumber(text, &n))
        return false;
    *value = static_cast<int>(n);
    return true;
}

bool ParseNalLine(std::istringstream& in, ExpectedNal* nal) {
    std::string index, type, code, key, slice, first, extra;
    in >> index >> type >> code >> key;
    unsigned long long n;
    bool none = false;
    if (!ParseNumber(index, &n))
        return false;
    nal->index = static_cast<int>(n);
    if (!ParseAttribute(type, "type", &nal->nalUnitType, false, &none) ||
        !ParseAttribute(code, "code", &nal->code, false, &none) || !ParseAttribute(key, "key", &nal->key, false, &none))
        return false;
    if (!(in >> slice))
        return true;
    nal->isSlice = true;
    if (!ParseAttribute(slice, "slice", &nal->sliceCode, true, &nal->dependent))
        return false;
    if (!(in >> first) || !ParseAttribute(first, "first", &nal->first, false, &none))
        return false;
    return !(in >> extra);
}

} // namespace

Expected LoadExpected(const std::string& path) {
    Expected expected;
    std::ifstream file(path.c_str());
    if (!file) {
        expected.errors.push_back("cannot open " + path);
        return expected;
    }
    std::string line;
    int lineNumber = 0;
    while (std::getline(file, line)) {
        ++lineNumber;
        if (line.empty() || line[0] == '#')
            continue;
        std::istringstream in(line);
        std::string key;
        in >> key;
        bool ok = true;
        if (key == "nal") {
            ExpectedNal nal;
            ok = ParseNalLine(in, &nal);
            if (ok)
                expected.nals.push_back(nal);
        } else {
            std::vector<unsigned long long> numbers;
            std::string token;
            while (in >> token) {
                unsigned long long n;
                if (!ParseNumber(token, &n)) {
                    ok = false;
                    break;
                }
                numbers.push_back(n);
            }
            ok = ok && !numbers.empty() && !expected.Has(key);
            if (ok)
                expected.values[key] = numbers;
        }
        if (!ok)
            expected.errors.push_back(path + ":" + std::to_string(lineNumber) + ": " + line);
    }
    return expected;
}
