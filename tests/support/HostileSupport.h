// Shared helpers for the hostile-input tests: reading the streams and the
// fuzz corpus, cutting streams into NAL units, and calls that may end in the
// end-of-data signal.
#ifndef H265HEADERS_TESTS_HOSTILE_SUPPORT_H
#define H265HEADERS_TESTS_HOSTILE_SUPPORT_H

#include <string>
#include <vector>

#include "AnnexB.h"
#include "BitWriter.h"
#include "InputFiles.h"

namespace hostile {

using inputfiles::ReadFile;

// As inputfiles::ListFiles; none when the directory does not exist.
inline std::vector<std::string> ListFiles(const std::string& dir, const std::vector<std::string>& suffixes) {
    std::vector<std::string> out;
    inputfiles::ListFiles(dir, suffixes, out);
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
    std::vector<Bytes> units;
    for (const NalChunk& c : SplitAnnexB(stream))
        units.push_back(Bytes(stream.begin() + static_cast<long>(c.begin),
                              stream.begin() + static_cast<long>(c.begin + c.size)));
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
