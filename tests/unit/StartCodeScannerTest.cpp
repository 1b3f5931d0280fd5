// The start-code scanner against its literal byte rules. It is compared
// position by position, on every length from 0 to 64 at every alignment and
// on millions of random and structured buffers. Both the compiled-in path (vector or word) and the word-at-a-time
// path are checked, and buffers end right before an inaccessible page where
// the system has one, so that any read past data[len - 1] ends the test.
#include <cstdint>
#include <random>
#include <cstring>
#include <vector>

#if defined(__unix__)
#include <sys/mman.h>
#include <unistd.h>
#endif

#include "ReferenceRules.h"
#include "StartCodeScanner.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

// The rule as stated, as a pointer like the scanner's.
const unsigned char* LiteralFindStartCode(const unsigned char* data, int len, int wanted) {
    const long at = ReferenceFindStartCode(data, len, wanted);
    return at < 0 ? 0 : data + at;
}

typedef const unsigned char* (*Scanner)(const unsigned char*, int, int);

struct NamedScanner {
    const char* name;
    Scanner scan;
};

const NamedScanner kScanners[] = {
    {"FindStartCode", FindStartCode},
    {"ScanForStartCode", ScanForStartCode},
    {"ScanForStartCodeByWords", ScanForStartCodeByWords},
};

// xorshift64*: fast enough for millions of buffers, the same on every run.
struct Random {
    uint64_t state;
    explicit Random(uint64_t seed) : state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t Next() {
        state ^= state >> 12;
        state ^= state << 25;
        state ^= state >> 27;
        return state * 2685821657736338717ull;
    }
    unsigned Below(unsigned n) { return static_cast<unsigned>((Next() >> 33) % n); }
};

// Room for a buffer of up to kMaxLen bytes ending right before a page that
// cannot be read (where mmap and mprotect exist), at any of 64 alignments.
class GuardedArena {
public:
    static const size_t kMaxLen = 1 << 16;

    GuardedArena() : m_base(0), m_size(0) {
#if defined(__unix__)
        const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
        const size_t body = (kMaxLen + 128 + page - 1) / page * page;
        void* mem = mmap(0, body + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (mem != MAP_FAILED && mprotect(static_cast<char*>(mem) + body, page, PROT_NONE) == 0) {
            m_base = static_cast<unsigned char*>(mem);
            m_size = body;
            m_mapped = body + page;
            return;
        }
#endif
        m_fallback.resize(kMaxLen + 128);
        m_base = m_fallback.data();
        m_size = m_fallback.size();
    }
    ~GuardedArena() {
#if defined(__unix__)
        if (m_fallback.empty())
            munmap(m_base, m_mapped);
#endif
    }
    // `len` bytes that end right before the guard page.
    unsigned char* AtEnd(size_t len) { return m_base + m_size - len; }
    // `len` bytes whose start has `alignment` (0..63) modulo 64, followed by
    // `slack` readable bytes before the guard page.
    unsigned char* Aligned(size_t len, size_t alignment, size_t* slack) {
        unsigned char* end = m_base + m_size;
        unsigned char* start = end - len - 64;
        start += (alignment - reinterpret_cast<uintptr_t>(start) % 64 + 64) % 64;
        *slack = static_cast<size_t>(end - (start + len));
        return start;
    }

private:
    unsigned char* m_base;
    size_t m_size;
    size_t m_mapped = 0;
    std::vector<unsigned char> m_fallback;
};

// Every start code of the buffer, found by each scanner from every position
// the literal rule reports plus one, must agree with the literal rule.
::testing::AssertionResult AllAgree(const unsigned char* data, int len, int wanted) {
    for (const NamedScanner& s : kScanners) {
        int from = 0;
        for (;;) {
            const unsigned char* expected = LiteralFindStartCode(data + from, len - from, wanted);
            const unsigned char* actual = s.scan(data + from, len - from, wanted);
            if (expected != actual) {
                return ::testing::AssertionFailure()
                       << s.name << " from " << from << " of " << len << " bytes, wanted " << wanted << ": expected "
                       << (expected ? expected - data : -1) << ", got " << (actual ? actual - data : -1);
            }
            if (!expected)
                break;
            from = static_cast<int>(expected - data) + 1;
        }
    }
    return ::testing::AssertionSuccess();
}

// Byte values that make start codes, near misses and header matches frequent.
const unsigned char kDense[] = {0x00, 0x00, 0x00, 0x00, 0x01, 0x01, 0x03, 0x02, 0x40, 0x42, 0x44, 0x26, 0xFF};

int RandomWanted(Random& rng) {
    const unsigned r = rng.Below(8);
    if (r < 3)
        return -1;
    if (r < 6)
        return (kDense[rng.Below(sizeof kDense)] >> 1) & 0x3F;
    return static_cast<int>(rng.Below(64));
}

// Fills `len` bytes in one of several styles; returns the style used.
void Fill(Random& rng, unsigned char* b, int len, unsigned style) {
    switch (style) {
    case 0: // dense: mostly zeros, ones and header bytes
        for (int i = 0; i < len; ++i)
            b[i] = kDense[rng.Below(sizeof kDense)];
        break;
    case 1: // all zero but for a few ones
        std::memset(b, 0, static_cast<size_t>(len));
        for (int k = rng.Below(4); k > 0 && len > 0; --k)
            b[rng.Below(static_cast<unsigned>(len))] = 1;
        break;
    default: { // random bytes with start codes, pairs and zero runs dropped in
        for (int i = 0; i < len; ++i)
            b[i] = static_cast<unsigned char>(rng.Next() >> 56);
        static const unsigned char kPieces[][6] = {
            {0, 0, 1, 0x40, 0x01, 6}, {0, 0, 0, 1, 0x42, 5}, {0, 0, 3, 0x44, 0, 3},
            {0, 0, 2, 0, 0, 3},       {0, 0, 0, 0, 1, 5},    {0, 0, 0, 2, 1, 4},
        };
        for (int k = rng.Below(6); k > 0 && len > 0; --k) {
            const unsigned char* piece = kPieces[rng.Below(6)];
            const int at = static_cast<int>(rng.Below(static_cast<unsigned>(len)));
            for (int j = 0; j < piece[5] && at + j < len; ++j)
                b[at + j] = piece[j] == 0x40 || piece[j] == 0x42 || piece[j] == 0x44
                                ? static_cast<unsigned char>(rng.Below(64) << 1)
                                : piece[j];
        }
        break;
    }
    }
}

} // namespace

TEST(ScannerEquivalence, EveryLengthUpTo64AtEveryAlignment) {
    GuardedArena arena;
    Random rng(1);
    for (int len = 0; len <= 64; ++len) {
        for (size_t alignment = 0; alignment < 64; ++alignment) {
            size_t slack = 0;
            unsigned char* b = arena.Aligned(static_cast<size_t>(len), alignment, &slack);
            for (int trial = 0; trial < 40; ++trial) {
                Fill(rng, b, len, static_cast<unsigned>(trial) % 3);
                // Whatever lies beyond the buffer must not matter: fill it
                // with start codes of every type.
                for (size_t j = 0; j < slack; ++j)
                    b[len + static_cast<int>(j)] = j % 4 == 2 ? 1 : j % 4 == 3 ? static_cast<unsigned char>(j * 2) : 0;
                const int wanted = RandomWanted(rng);
                ASSERT_TRUE(AllAgree(b, len, wanted)) << "alignment " << alignment;
            }
            // The same bytes ending at the guard page.
            unsigned char* e = arena.AtEnd(static_cast<size_t>(len));
            std::memmove(e, b, static_cast<size_t>(len));
            ASSERT_TRUE(AllAgree(e, len, -1)) << "at the end of the readable memory, alignment " << alignment;
        }
    }
}

TEST(ScannerEquivalence, StartCodesAtEveryPositionOfShortBuffers) {
    // One start code of either form, or a near miss, at each position of an
    // otherwise non-zero buffer: the edges len - 5 and len - 4 included.
    GuardedArena arena;
    static const unsigned char kCodes[][5] = {
        {0, 0, 1, 0x40, 3}, {0, 0, 0, 1, 4}, {0, 0, 2, 0, 3}, {0, 0, 0, 0, 4}, {0, 0, 3, 0, 3}};
    for (int len = 0; len <= 64; ++len) {
        for (int at = 0; at < len; ++at) {
            for (const unsigned char* code : kCodes) {
                unsigned char* b = arena.AtEnd(static_cast<size_t>(len));
                std::memset(b, 0x55, static_cast<size_t>(len));
                for (int j = 0; j < code[4] && at + j < len; ++j)
                    b[at + j] = code[j];
                if (at + code[4] < len)
                    b[at + code[4]] = 0x42; // header of nal_unit_type 33
                for (int wanted : {-1, 33, 32})
                    ASSERT_TRUE(AllAgree(b, len, wanted));
            }
        }
    }
}

TEST(ScannerEquivalence, MillionsOfRandomAndStructuredBuffers) {
    GuardedArena arena;
    Random rng(2);
    const int kBuffers = 1000000;
    for (int n = 0; n < kBuffers; ++n) {
        const unsigned style = rng.Below(3);
        // Mostly short, sometimes long enough for many 64-byte blocks.
        const int len = rng.Below(16) == 0 ? static_cast<int>(rng.Below(4096)) : static_cast<int>(rng.Below(200));
        unsigned char* b = rng.Below(2) ? arena.AtEnd(static_cast<size_t>(len))
                                        : arena.AtEnd(static_cast<size_t>(len) + rng.Below(64));
        Fill(rng, b, len, style);
        ASSERT_TRUE(AllAgree(b, len, RandomWanted(rng))) << "buffer " << n << ", style " << style;
    }
}

TEST(ScannerEquivalence, SparseStartCodesInLongRandomBuffers) {
    // Random bytes as in a slice payload, with 00 00 near misses and start
    // codes placed around 16- and 64-byte block edges.
    GuardedArena arena;
    Random rng(3);
    for (int n = 0; n < 300; ++n) {
        const int len = 1024 + static_cast<int>(rng.Below(GuardedArena::kMaxLen - 1024));
        unsigned char* b = arena.AtEnd(static_cast<size_t>(len));
        for (int i = 0; i < len; ++i) {
            b[i] = static_cast<unsigned char>(rng.Next() >> 56);
            if (b[i] <= 1 && i >= 2 && b[i - 1] == 0 && b[i - 2] == 0)
                b[i] = 7;
        }
        for (int k = 0; k < 40; ++k) {
            const int at = static_cast<int>(rng.Below(static_cast<unsigned>(len / 64))) * 64 +
                           static_cast<int>(rng.Below(5)) - 2;
            if (at < 1 || at + 6 > len)
                continue;
            const bool four = rng.Below(2) != 0;
            b[at] = 0;
            b[at + 1] = 0;
            b[at + 2] = four ? 0 : 1;
            b[at + 3] = four ? 1 : static_cast<unsigned char>(rng.Below(64) << 1);
            b[at + 4] = static_cast<unsigned char>(rng.Below(64) << 1);
        }
        ASSERT_TRUE(AllAgree(b, len, -1)) << "buffer " << n;
        ASSERT_TRUE(AllAgree(b, len, RandomWanted(rng))) << "buffer " << n;
    }
}

TEST(FindStartCode, ReportsPositionsOfTheWantedType) {
    const Bytes data = Concat({Nal(32, Hex("0C 01")), Nal(33, Hex("01 02"), 3), Nal(34, Hex("C1 72"))});
    const unsigned char* vps = FindStartCode(data.data(), static_cast<int>(data.size()), 32);
    const unsigned char* sps = FindStartCode(data.data(), static_cast<int>(data.size()), 33);
    const unsigned char* pps = FindStartCode(data.data(), static_cast<int>(data.size()), 34);
    EXPECT_EQ(data.data(), vps);
    EXPECT_EQ(data.data() + 8, sps);  // 3-byte start code at its first zero
    EXPECT_EQ(data.data() + 15, pps); // 4-byte start code at its first zero
    EXPECT_EQ(nullptr, FindStartCode(data.data(), static_cast<int>(data.size()), 39));
}

TEST(FindStartCode, LastPositionTriedIsLengthMinusFive) {
    // A 3-byte start code beginning at len - 5 is found, one at len - 4 is not.
    EXPECT_NE(nullptr, FindStartCode(Hex("AA 00 00 01 40 01").data(), 6, -1));
    EXPECT_EQ(nullptr, FindStartCode(Hex("AA AA 00 00 01 40").data(), 6, -1));
    // More than three zeros: reported where the last three zeros begin.
    const Bytes zeros = Hex("00 00 00 00 00 01 40 01");
    EXPECT_EQ(zeros.data() + 2, FindStartCode(zeros.data(), 8, -1));
}

TEST(FindStartCode, AgreesWithTheLiteralByteRulesOnRandomBuffers) {
    std::mt19937 rng(12345);
    // Bytes drawn mostly from {00, 01, header bytes} so that start codes,
    // near-misses and long zero runs are frequent.
    const unsigned char alphabet[] = {0x00, 0x00, 0x00, 0x01, 0x40, 0x42, 0x44, 0x26, 0x03, 0xFF};
    for (int trial = 0; trial < 20000; ++trial) {
        const int len = static_cast<int>(rng() % 48);
        Bytes buffer(static_cast<size_t>(len) + 1);
        for (int i = 0; i < len; ++i)
            buffer[static_cast<size_t>(i)] = alphabet[rng() % sizeof alphabet];
        const int wanted = static_cast<int>(rng() % 6) == 0 ? -1 : static_cast<int>(rng() % 4) + 31;
        ASSERT_EQ(LiteralFindStartCode(buffer.data(), len, wanted), FindStartCode(buffer.data(), len, wanted))
            << "trial " << trial;
    }
}
