// The inspector reads the general profile, tier and level of an SPS from its
// bytes, beside the library's own reading. Checked on every corpus stream
// against the values ffmpeg's trace_headers gives (tests/data/*.expected);
// every x265 SPS has emulation prevention bytes among those bits.
#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "GeneralProfileTierLevel.h"
#include "NalUnitReader.h"

namespace {

const std::string kDataDir = H265_TEST_DATA_DIR;

// "key value" lines of an .expected file, for the keys that start with "ptl.".
std::map<std::string, unsigned int> ExpectedPtl(const std::string& path) {
    std::map<std::string, unsigned int> values;
    std::ifstream file(path);
    std::string line;
    while (std::getline(file, line)) {
        std::istringstream words(line);
        std::string key;
        unsigned int value;
        if (words >> key >> value && key.compare(0, 4, "ptl.") == 0)
            values[key] = value;
    }
    return values;
}

// The first SPS NAL unit of the stream, from its NAL unit header on.
std::vector<unsigned char> FirstSps(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    std::vector<unsigned char> sps;
    if (fd < 0)
        return sps;
    h265tools::NalUnitReader reader(fd);
    h265tools::NalUnitView unit;
    while (reader.Next(unit)) {
        const unsigned char* nal = unit.data + unit.startCodeLength;
        if (unit.size > static_cast<std::size_t>(unit.startCodeLength) && ((nal[0] >> 1) & 0x3F) == 33) {
            sps.assign(nal, unit.data + unit.size);
            break;
        }
    }
    ::close(fd);
    return sps;
}

std::vector<std::string> CorpusStreams() {
    std::vector<std::string> names;
    if (DIR* dir = ::opendir(kDataDir.c_str())) {
        while (dirent* entry = ::readdir(dir)) {
            const std::string name = entry->d_name;
            const std::string suffix = ".expected";
            if (name.size() > suffix.size() && name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0)
                names.push_back(name.substr(0, name.size() - suffix.size()));
        }
        ::closedir(dir);
    }
    return names;
}

TEST(GeneralProfileTierLevel, MatchesTheOracleOnEveryCorpusStream) {
    const std::vector<std::string> streams = CorpusStreams();
    ASSERT_FALSE(streams.empty()) << "no .expected files in " << kDataDir;
    for (const std::string& name : streams) {
        SCOPED_TRACE(name);
        std::map<std::string, unsigned int> expected = ExpectedPtl(kDataDir + "/" + name + ".expected");
        const std::vector<unsigned char> sps = FirstSps(kDataDir + "/" + name);
        ASSERT_FALSE(sps.empty());
        h265tools::GeneralProfileTierLevel ptl;
        ASSERT_TRUE(h265tools::ReadGeneralProfileTierLevel(sps.data(), sps.size(), ptl));
        EXPECT_EQ(expected.at("ptl.general_profile_space"), ptl.general_profile_space);
        EXPECT_EQ(expected.at("ptl.general_tier_flag"), ptl.general_tier_flag);
        EXPECT_EQ(expected.at("ptl.general_profile_idc"), ptl.general_profile_idc);
        EXPECT_EQ(expected.at("ptl.general_level_idc"), ptl.general_level_idc);
        // Two header bytes and twelve more hold at most twelve RBSP bytes:
        // general_level_idc is not there yet.
        EXPECT_FALSE(h265tools::ReadGeneralProfileTierLevel(sps.data(), 14, ptl));
    }
}

} // namespace
