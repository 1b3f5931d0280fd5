#include <climits>
#include <random>

#include "BitInStream.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

// A source that counts the calls the reader makes on it.
class CountingSource : public CInputSource {
public:
    explicit CountingSource(const Bytes& data) : m_inner(data.data(), static_cast<int>(data.size())) {}
    unsigned int ReadByte() {
        ++reads;
        return m_inner.ReadByte();
    }
    void UnreadByte() {
        ++unreads;
        m_inner.UnreadByte();
    }
    int reads = 0;
    int unreads = 0;

private:
    CMemInputSource m_inner;
};

struct Reader {
    explicit Reader(const Bytes& bytes) : data(bytes), source(data), bs(&source) {}
    Bytes data;
    CountingSource source;
    CH264BitInStream bs;
};

} // namespace

TEST(BitInStream, FixedWidthReadsAcrossByteBoundaries) {
    Reader r(Hex("A5 0F"));
    EXPECT_EQ(5u, r.bs.GetBits(3));
    EXPECT_EQ(20u, r.bs.GetBits(7));
    EXPECT_EQ(15u, r.bs.GetBits(6)); // the very last bit can be read
    EXPECT_END_OF_DATA(r.bs.GetBits(1));
}

TEST(BitInStream, ZeroAndNegativeWidthsReadNothing) {
    Reader r(Hex(""));
    for (int n : {0, -1, -31, INT_MIN})
        EXPECT_EQ(0u, r.bs.GetBits(n));
    EXPECT_EQ(0, r.source.reads);
}

TEST(BitInStream, WideReadsKeepTheLast32Bits) {
    Reader r(Hex("12 34 56 78 9A BC"));
    EXPECT_EQ(0x456789ABu, r.bs.GetBits(44));
    EXPECT_EQ(0xCu, r.bs.GetBits(4));
    EXPECT_END_OF_DATA(r.bs.GetBits(1));
}

TEST(BitInStream, FetchesAByteOnlyWhenAReadNeedsIt) {
    Reader r(Hex("FF 01"));
    EXPECT_EQ(255u, r.bs.GetBits(8));
    EXPECT_EQ(1, r.source.reads);
    EXPECT_EQ(0u, r.bs.GetBits(7));
    EXPECT_EQ(2, r.source.reads);
}

TEST(BitInStream, PeekLeavesReaderAndSourceWhereTheyWere) {
    Reader r(Hex("A5 0F"));
    EXPECT_EQ(660u, r.bs.PeekBits(10));
    EXPECT_EQ(r.source.reads, r.source.unreads);
    EXPECT_EQ(660u, r.bs.GetBits(10));
    const int readsBefore = r.source.reads;
    EXPECT_EQ(15u, r.bs.PeekBits(6)); // served from the current byte alone
    EXPECT_EQ(readsBefore, r.source.reads);
    EXPECT_END_OF_DATA(r.bs.PeekBits(7));
}

TEST(BitInStream, ByteAlignDropsTheRestOfTheByte) {
    Reader r(Hex("E0 81"));
    EXPECT_EQ(0, r.bs.ByteAlign());
    EXPECT_EQ(7u, r.bs.GetBits(3));
    EXPECT_EQ(5, r.bs.ByteAlign());
    EXPECT_EQ(0x81u, r.bs.GetByte());
}

TEST(BitInStream, BigEndianWords) {
    Reader r32(Hex("12 34 56 78"));
    EXPECT_EQ(0x12345678u, r32.bs.GetUInt32());
    Reader r64(Hex("01 02 03 04 05 06 07 08"));
    EXPECT_EQ(0x0102030405060708ull, r64.bs.GetUInt64());
    Reader unaligned(Hex("F1 23 45 67 80"));
    unaligned.bs.GetBits(4);
    EXPECT_EQ(0x12345678u, unaligned.bs.GetUInt32());
}

TEST(BitInStream, MarkerBit) {
    Reader r(Hex("80"));
    r.bs.market_bit();
    EXPECT_END_OF_DATA(r.bs.market_bit()); // a 0 bit cannot be read on from
}

struct ExpGolombCase {
    const char* bits;
    uint32_t ue;
    int32_t se;
};

inline void PrintTo(const ExpGolombCase& c, std::ostream* out) { *out << c.bits; }

class ExpGolomb : public ::testing::TestWithParam<ExpGolombCase> {};

Bytes BitsFromText(const char* text) {
    BitWriter w;
    for (const char* c = text; *c; ++c)
        w.U(*c == '1', 1);
    return w.Data();
}

TEST_P(ExpGolomb, DecodesCodeNumberAndSignedValue) {
    Reader ue(BitsFromText(GetParam().bits));
    EXPECT_EQ(GetParam().ue, ue.bs.GetUE());
    Reader se(BitsFromText(GetParam().bits));
    EXPECT_EQ(GetParam().se, se.bs.GetSE());
}

INSTANTIATE_TEST_SUITE_P(Codes, ExpGolomb,
                         ::testing::Values(ExpGolombCase{"1", 0, 0}, ExpGolombCase{"010", 1, 1},
                                           ExpGolombCase{"011", 2, -1}, ExpGolombCase{"00100", 3, 2},
                                           ExpGolombCase{"00101", 4, -2}, ExpGolombCase{"0001000", 7, 4},
                                           ExpGolombCase{"000000001000000000", 255, 128}));

TEST(ExpGolombLong, CodesUpTo31LeadingZerosAreExact) {
    for (uint32_t value : {0u, 1u, 254u, 65535u, 0x7FFFFFFFu, 0xFFFFFFFEu}) {
        BitWriter w;
        w.UE(value).U(1, 1);
        Reader r(w.Data());
        EXPECT_EQ(value, r.bs.GetUE());
        EXPECT_EQ(1u, r.bs.GetBits(1)) << "the code must be consumed exactly";
    }
}

TEST(ExpGolombLong, ThirtyTwoOrMoreLeadingZerosSaturateThePowerTerm) {
    // With z >= 32 zeros the result is info + 0xFFFFFFFE modulo 2^32, where
    // info is the last 32 of the z bits after the 1.
    struct Case {
        int zeros;
        uint64_t info;
        uint32_t expected;
    } cases[] = {
        {32, 0, 0xFFFFFFFEu},
        {32, 1, 0xFFFFFFFFu},
        {32, 2, 0u},
        {40, 0xFF00000005ull, 3u},
        {70, 0x7ull, 5u},
    };
    for (const Case& c : cases) {
        BitWriter w;
        w.ZeroBits(c.zeros).U(1, 1);
        if (c.zeros > 64)
            w.ZeroBits(c.zeros - 64);
        w.U(c.info, c.zeros > 64 ? 64 : c.zeros).U(1, 1);
        Reader r(w.Data());
        EXPECT_EQ(c.expected, r.bs.GetUE()) << c.zeros << " zeros";
        EXPECT_EQ(1u, r.bs.GetBits(1)) << "all info bits must be consumed";
    }
}

TEST(ExpGolombLong, SignedMappingAtTheEndsOfTheRange) {
    struct Case {
        uint32_t k;
        int32_t expected;
    } cases[] = {{0xFFFFFFFEu, -2147483647}, {0xFFFFFFFDu, 2147483647}};
    for (const Case& c : cases) {
        BitWriter w;
        w.UE(c.k);
        Reader r(w.Data());
        EXPECT_EQ(c.expected, r.bs.GetSE());
    }
    // 0xFFFFFFFF (32 zeros, info 1): (k + 1) >> 1 wraps to 0.
    BitWriter w;
    w.ZeroBits(32).U(1, 1).U(1, 32);
    Reader r(w.Data());
    EXPECT_EQ(0, r.bs.GetSE());
}

TEST(ExpGolombLong, OnlyZeroBitsEndInTheEndOfDataSignal) {
    for (size_t length : {1u, 4u, 100u}) {
        Reader r(Bytes(length, 0));
        EXPECT_END_OF_DATA(r.bs.GetUE());
    }
    Reader prefixOnly(BitsFromText("0001"));
    prefixOnly.bs.GetBits(4); // padding zeros; nothing follows
    EXPECT_END_OF_DATA(prefixOnly.bs.GetUE());
}

TEST(ExpGolombLong, InfoBitsBeyondTheDataEndInTheEndOfDataSignal) {
    Reader r(BitsFromText("00000001"));
    EXPECT_END_OF_DATA(r.bs.GetUE());
}

// A reader over a CMemInputSource reads its bytes in place; over any other
// source it calls the source per byte. Both must give the same values,
// consume the same bits and signal the end of data at the same operation.
TEST(BitInStream, InPlaceReadingAgreesWithReadingThroughTheSource) {
    std::mt19937 rng(77);
    for (int trial = 0; trial < 100000; ++trial) {
        Bytes data(rng() % 24);
        for (unsigned char& b : data) {
            const unsigned r = rng() % 8;
            b = r < 3 ? 0 : r == 3 ? static_cast<unsigned char>(1u << (rng() % 8)) : static_cast<unsigned char>(rng());
        }
        CMemInputSource memory(data.data(), static_cast<int>(data.size()));
        CH264BitInStream inPlace(&memory);
        Reader bySource(data);
        for (int step = 0; step < 40; ++step) {
            const unsigned op = rng() % 7;
            const int n = static_cast<int>(rng() % 50) - 3;
            unsigned long long a = 0, b = 0;
            int thrownA = 0, thrownB = 0;
            try {
                a = op == 0 ? inPlace.GetBits(n)
                    : op == 1 ? inPlace.GetUE()
                    : op == 2 ? static_cast<unsigned>(inPlace.GetSE())
                    : op == 3 ? inPlace.PeekBits(n % 33)
                    : op == 4 ? static_cast<unsigned>(inPlace.ByteAlign())
                    : op == 5 ? inPlace.GetUInt32()
                              : inPlace.GetBits(n % 9);
            } catch (int signal) {
                thrownA = signal;
            }
            try {
                b = op == 0 ? bySource.bs.GetBits(n)
                    : op == 1 ? bySource.bs.GetUE()
                    : op == 2 ? static_cast<unsigned>(bySource.bs.GetSE())
                    : op == 3 ? bySource.bs.PeekBits(n % 33)
                    : op == 4 ? static_cast<unsigned>(bySource.bs.ByteAlign())
                    : op == 5 ? bySource.bs.GetUInt32()
                              : bySource.bs.GetBits(n % 9);
            } catch (int signal) {
                thrownB = signal;
            }
            ASSERT_EQ(thrownB, thrownA) << "trial " << trial << ", step " << step << ", operation " << op;
            if (thrownA)
                break; // neither reader is used on after the signal
            ASSERT_EQ(b, a) << "trial " << trial << ", step " << step << ", operation " << op << ", n " << n;
        }
    }
}
