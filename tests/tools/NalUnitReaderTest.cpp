// The NAL unit reader against a byte-by-byte reading of the same rules, on
// random streams dense in zero bytes, start codes and 00 00 03, so that start
// codes and zero pairs fall on every position of the search's 16-byte steps
// and of small read windows, and on sparse ones, whose long runs the search
// skips in blocks.
#include <algorithm>
#include <cstdio>
#include <random>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "NalUnitReader.h"

namespace {

using Unit = std::tuple<std::size_t, std::size_t, int>; // offset, size, start code length

bool StartCodeAt(const std::vector<unsigned char>& b, std::size_t p) {
    return p + 3 <= b.size() && b[p] == 0 && b[p + 1] == 0 && b[p + 2] == 1;
}

// A unit ends at the next 00 00 01 after its header, or at a zero right before
// that, which makes it the next unit's four-byte start code.
std::vector<Unit> ReadByteByByte(const std::vector<unsigned char>& b) {
    std::vector<Unit> units;
    std::size_t p = 0;
    while (p < b.size() && !StartCodeAt(b, p))
        ++p;
    if (p == b.size())
        return units;
    std::size_t start = p > 0 && b[p - 1] == 0 ? p - 1 : p;
    for (;;) {
        const int length = b[start + 2] == 1 ? 3 : 4;
        const std::size_t header = start + static_cast<std::size_t>(length);
        p = header;
        while (p < b.size() && !StartCodeAt(b, p))
            ++p;
        const std::size_t next = p == b.size() ? p : (p > header && b[p - 1] == 0 ? p - 1 : p);
        units.emplace_back(start, next - start, length);
        if (next == b.size())
            return units;
        start = next;
    }
}

// A random stream: runs of bytes 1..255 with, at a rate of one in `rarity`
// positions, a start code, a 00 00 03, a run of zeros or a lone zero byte cut
// to 1..4 bytes. Dense streams put start codes and zero pairs on every
// position of the search's 16-byte steps; sparse ones give its block skip
// long runs to pass over and stops at every offset of its blocks.
std::vector<unsigned char> RandomStream(std::mt19937& random, std::size_t size, unsigned rarity) {
    const unsigned char pieces[][4] = {{0, 0, 1, 0x40}, {0, 0, 0, 1}, {0, 0, 3, 0}, {0, 0, 0, 0}, {0, 7, 0, 9}};
    std::vector<unsigned char> bytes;
    while (bytes.size() < size) {
        if (random() % rarity == 0) {
            const unsigned char* piece = pieces[random() % 5];
            bytes.insert(bytes.end(), piece, piece + 1 + random() % 4);
        } else {
            bytes.push_back(static_cast<unsigned char>(1 + random() % 255));
        }
    }
    return bytes;
}

struct Reading {
    std::vector<Unit> units;
    std::vector<h265tools::NalUnitView> views; // with their windows, held to the end
};

// Every unit, and a copy of each `keep`-th view (0: none).
Reading Read(const std::vector<unsigned char>& bytes, std::size_t window, std::size_t keep = 0) {
    Reading reading;
    std::FILE* file = std::tmpfile();
    if (!file) {
        ADD_FAILURE() << "no temporary file";
        return reading;
    }
    std::fwrite(bytes.data(), 1, bytes.size(), file);
    std::fflush(file);
    std::rewind(file);
    h265tools::NalUnitReader reader(fileno(file), window);
    h265tools::NalUnitView unit;
    while (reader.Next(unit)) {
        if (keep > 0 && reading.units.size() % keep == 0)
            reading.views.push_back(unit);
        reading.units.emplace_back(static_cast<std::size_t>(unit.offset), unit.size, unit.startCodeLength);
    }
    std::fclose(file);
    return reading;
}

TEST(NalUnitReader, FindsTheUnitsAByteByByteReadingFinds) {
    struct Kind {
        const char* name;
        int streams;
        std::size_t largest;
        unsigned rarity;
    };
    const Kind kinds[] = {{"dense", 200, 3000, 8}, {"sparse", 40, 40000, 2000}, {"very sparse", 10, 200000, 50000}};
    std::mt19937 random(11);
    for (const Kind& kind : kinds) {
        for (int stream = 0; stream < kind.streams; ++stream) {
            const std::vector<unsigned char> bytes = RandomStream(random, random() % kind.largest, kind.rarity);
            for (std::size_t window : {std::size_t(16), std::size_t(61), std::size_t(4099),
                                       h265tools::NalUnitReader::kDefaultWindow}) {
                const Reading reading = Read(bytes, window);
                EXPECT_EQ(reading.units, ReadByteByByte(bytes))
                    << kind.name << " stream " << stream << ", window " << window;
            }
        }
    }
}

// Units whose windows a caller holds keep their bytes while the reader goes
// on through other windows; windows let go are used again.
TEST(NalUnitReader, HeldUnitsKeepTheirBytes) {
    std::mt19937 random(5);
    for (unsigned rarity : {8u, 300u}) {
        const std::vector<unsigned char> bytes = RandomStream(random, 100000, rarity);
        for (std::size_t window : {std::size_t(61), std::size_t(4099)}) {
            for (std::size_t keep : {1, 3, 50}) {
                const Reading reading = Read(bytes, window, keep);
                ASSERT_EQ(reading.units, ReadByteByByte(bytes));
                for (const h265tools::NalUnitView& view : reading.views) {
                    ASSERT_NE(view.window, nullptr);
                    ASSERT_TRUE(std::equal(view.data, view.data + view.size, bytes.begin() + view.offset))
                        << "unit at " << view.offset << ", window " << window << ", every " << keep << " kept";
                }
            }
        }
    }
}

} // namespace
