// The RBSP bit reader: emulation prevention, ue(v)/se(v) limits,
// more_rbsp_data() and truncation, each read from an exact-size heap copy so
// that a read past the unit shows under AddressSanitizer.
#include <algorithm>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "BitWriter.h"
#include "RbspBits.h"

namespace {

using h265tools::RbspBits;
using h265tools::SyntaxError;

// A NAL unit header (TRAIL_R, nuh_temporal_id_plus1 1) and `payload`, as is.
Bytes Unit(const Bytes& payload) {
    Bytes unit(2 + payload.size());
    unit[0] = 0x02;
    unit[1] = 0x01;
    std::copy(payload.begin(), payload.end(), unit.begin() + 2);
    return unit;
}

TEST(RbspBits, StepsOverEmulationPreventionBytes) {
    // 00 00 03 01: the 03 is not data; 00 00 03 03 keeps the second 03.
    const Bytes unit = Unit(Hex("00 00 03 01 00 00 03 03 80"));
    RbspBits bits(unit.data(), unit.size());
    EXPECT_EQ(bits.u(24), 1u);
    EXPECT_EQ(bits.u(24), 3u);
    EXPECT_FALSE(bits.MoreRbspData());
}

// The bits after the read position, one at a time, up to the end of the unit.
std::string RestOf(RbspBits& bits) {
    std::string rest;
    try {
        for (;;)
            rest += bits.flag() ? '1' : '0';
    } catch (const SyntaxError&) {
    }
    return rest;
}

// Skip(n) goes where reads of n bits go, from every bit of a byte, over
// emulation prevention bytes (also one right after a skip's last byte), and
// to the unit's end as they do.
TEST(RbspBits, SkipGoesWhereReadsGo) {
    const Bytes unit = Unit(Hex("00 00 03 01 00 00 03 03 80 ff 00 00 03 00 12 34 56 00 00 03 01 00 00 03"));
    for (int before = 0; before < 8; ++before) {
        for (std::uint64_t n = 0; n <= 8 * unit.size(); ++n) {
            SCOPED_TRACE("after " + std::to_string(before) + " bits, " + std::to_string(n) + " skipped");
            RbspBits skipped(unit.data(), unit.size());
            RbspBits read(unit.data(), unit.size());
            skipped.u(before);
            read.u(before);
            bool skipEnded = false, readEnded = false;
            try {
                skipped.Skip(n);
            } catch (const SyntaxError&) {
                skipEnded = true;
            }
            try {
                for (std::uint64_t left = n; left > 0; left -= std::min<std::uint64_t>(left, 32))
                    read.u(static_cast<int>(std::min<std::uint64_t>(left, 32)));
            } catch (const SyntaxError&) {
                readEnded = true;
            }
            ASSERT_EQ(skipEnded, readEnded);
            if (skipEnded)
                continue;
            EXPECT_EQ(skipped.Position(), read.Position());
            EXPECT_EQ(RestOf(skipped), RestOf(read));
        }
    }
}

TEST(RbspBits, ExpGolombCodesUpToTheirLimit) {
    struct Case {
        const char* name;
        Bytes rbsp;
        long long expected; // -1: a SyntaxError
    };
    const Case cases[] = {
        {"largest ue(v)", BitWriter().UE(0xFFFFFFFEu).TrailingBits().Data(), 0xFFFFFFFEll},
        {"32 leading zeros", BitWriter().ZeroBits(32).U(1, 1).ZeroBits(32).TrailingBits().Data(), -1},
        {"se(v) most negative", BitWriter().SE(-2147483647).TrailingBits().Data(), -2147483647ll},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Bytes unit = Unit(Escape(c.rbsp));
        RbspBits bits(unit.data(), unit.size());
        if (c.expected == -1)
            EXPECT_THROW(bits.ue("x"), SyntaxError);
        else if (c.expected < 0)
            EXPECT_EQ(bits.se("x"), c.expected);
        else
            EXPECT_EQ(bits.ue("x"), static_cast<unsigned long long>(c.expected));
    }
}

TEST(RbspBits, TruncationNamesTheElementAndStaysInTheUnit) {
    for (std::size_t size = 0; size <= 6; size++) {
        SCOPED_TRACE(size);
        const Bytes full = Unit(Hex("FF FF FF FF"));
        std::unique_ptr<unsigned char[]> exact(new unsigned char[size ? size : 1]);
        std::copy(full.begin(), full.begin() + static_cast<long>(size), exact.get());
        RbspBits bits(exact.get(), size);
        if (size == 6) {
            EXPECT_EQ(bits.u(32, "vui_time_scale"), 0xFFFFFFFFu);
            continue;
        }
        try {
            bits.u(32, "vui_time_scale");
            ADD_FAILURE() << "no error";
        } catch (const SyntaxError& e) {
            EXPECT_STREQ(e.what(), "ends before vui_time_scale (truncated)");
        }
    }
}

TEST(RbspBits, MoreRbspDataStopsAtTheStopBitBeforeTrailingZeros) {
    const Bytes unit = Unit(Hex("A0 00 00"));  // 1 0 1, then the stop bit's byte padding and zero bytes
    RbspBits bits(unit.data(), unit.size());
    EXPECT_TRUE(bits.MoreRbspData());
    bits.u(1);
    EXPECT_TRUE(bits.MoreRbspData());
    bits.u(1);
    EXPECT_FALSE(bits.MoreRbspData()); // the next 1 is rbsp_stop_one_bit
}

} // namespace
