// Allocation failure injection. This executable replaces the global
// allocation functions: they count live blocks and, when armed, make the k-th
// allocation throw std::bad_alloc. Every operation that allocates is run once
// for each k it reaches, and after each injected failure the tests check that
// the exception reached the caller, that nothing leaked, that the parser is
// in the documented state, and that the next call without injection works.
#include <cstdlib>
#include <functional>
#include <map>
#include <new>
#include <sstream>
#include <string>

#include "HostileSupport.h"
#include "SequenceParameterSet.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

long g_live = 0;       // blocks allocated and not yet freed
long g_allocations = 0; // allocations since the counter was armed
long g_failAt = 0;     // 1-based allocation to fail; 0: none
bool g_armed = false;

void* Allocate(std::size_t size) {
    if (g_armed && ++g_allocations == g_failAt)
        throw std::bad_alloc();
    void* block = std::malloc(size ? size : 1);
    if (!block)
        throw std::bad_alloc();
    ++g_live;
    return block;
}

void Free(void* block) {
    if (block) {
        --g_live;
        std::free(block);
    }
}

} // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return Allocate(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void operator delete(void* block) noexcept { Free(block); }
void operator delete[](void* block) noexcept { Free(block); }
void operator delete(void* block, std::size_t) noexcept { Free(block); }
void operator delete[](void* block, std::size_t) noexcept { Free(block); }
void operator delete(void* block, const std::nothrow_t&) noexcept { Free(block); }
void operator delete[](void* block, const std::nothrow_t&) noexcept { Free(block); }

namespace {

// Counts the allocations `call` makes, failing none.
long AllocationsOf(const std::function<void()>& call) {
    g_allocations = 0;
    g_failAt = 0;
    g_armed = true;
    call();
    g_armed = false;
    return g_allocations;
}

// Runs `call` with its k-th allocation failing; true when std::bad_alloc
// reached the caller.
bool FailsWithBadAlloc(const std::function<void()>& call, long k) {
    g_allocations = 0;
    g_failAt = k;
    g_armed = true;
    bool threw = false;
    try {
        call();
    } catch (const std::bad_alloc&) {
        threw = true;
    }
    g_armed = false;
    g_failAt = 0;
    return threw;
}

unsigned int Len(const Bytes& b) { return static_cast<unsigned int>(b.size()); }

// An SPS with three sub-layers (every profile_tier_level array and three
// entries of sub-layer ordering info) and a conformance window.
Bytes SubLayerSps() {
    SpsFields f;
    f.sps_max_sub_layers_minus1 = 3;
    f.sub_layer_profile_present_flag = {1, 0, 1};
    f.sub_layer_level_present_flag = {1, 1, 0};
    f.sub_layer_profile_idc = {1, 0, 2};
    f.sub_layer_reserved_zero_44bits = {0, 0, 0};
    f.sub_layer_level_idc = {60, 90, 0};
    f.pic_width_in_luma_samples = 352;
    f.pic_height_in_luma_samples = 288;
    f.conformance_window_flag = 1;
    f.conf_win_offsets[3] = 4;
    f.ordering = {1, 0, 0, 2, 1, 0, 3, 1, 0, 4, 2, 0};
    return Nal(33, SpsRbsp(f));
}

// num_extra_slice_header_bits 3, so the slice header has reserved flags.
Bytes ExtraBitsPps() {
    BitWriter w;
    w.UE(0).UE(0).U(1, 1).U(0, 1).U(3, 3).U(1, 1).U(0, 1).TrailingBits();
    return Nal(34, w.Data());
}

// A P slice (TRAIL_R) that starts its picture, with three reserved flags.
Bytes PSlice() {
    BitWriter w;
    w.U(1, 1).UE(0).U(5, 3).UE(1).U(0xAB, 8).TrailingBits();
    return Nal(1, w.Data());
}

std::map<std::string, unsigned long> Fields(const std::string& listing) {
    std::map<std::string, unsigned long> fields;
    std::istringstream in(listing);
    std::string name, equals;
    unsigned long value;
    while (in >> name >> equals >> value)
        fields[name] = value;
    return fields;
}

std::string Listing(H265Parser::ISPS* sps) {
    std::string text(static_cast<size_t>(sps->Dump(nullptr)), '\0');
    sps->Dump(&text[0]);
    text.resize(text.size() - 1);
    return text;
}

std::string Listing(H265Parser::IPPS* pps) {
    std::string text(static_cast<size_t>(pps->Dump(nullptr)), '\0');
    pps->Dump(&text[0]);
    text.resize(text.size() - 1);
    return text;
}

// Fixture: the live-block count when the test starts must be restored when
// everything it made has been released.
class AllocationFailure : public ::testing::Test {
protected:
    void SetUp() override {
        sps = SubLayerSps();
        pps = ExtraBitsPps();
        slice = PSlice();
        stream = Concat({Nal(32, Hex("0C 01 FF FF 01 60")), sps, pps, slice});
        // Reference results, made before the count is taken.
        H265ParserPtr parser = MakeH265Parser();
        EXPECT_TRUE(parser->ParseSPS(sps.data(), Len(sps)));
        EXPECT_TRUE(parser->ParsePPS(pps.data(), Len(pps)));
        spsListing = Listing(parser->GetSPS());
        ppsListing = Listing(parser->GetPPS());
        parser.reset();
        baseline = g_live;
    }
    void TearDown() override { EXPECT_EQ(baseline, g_live) << "blocks leaked"; }

    Bytes sps, pps, slice, stream;
    std::string spsListing, ppsListing;
    long baseline = 0;
};

// Every k an operation reaches, failed once each: bad_alloc reaches the
// caller every time, and one allocation more than it makes does not fail.
void ForEachFailure(const std::function<void()>& prepare, const std::function<void()>& call,
                    const std::function<void(long)>& afterFailure, long minimumAllocations) {
    prepare();
    const long total = AllocationsOf(call);
    EXPECT_GE(total, minimumAllocations);
    // (No SCOPED_TRACE: its allocations would count as leaks.)
    for (long k = 1; k <= total; ++k) {
        prepare();
        EXPECT_TRUE(FailsWithBadAlloc(call, k)) << "allocation " << k << " of " << total;
        const bool failedBefore = ::testing::Test::HasFailure();
        afterFailure(k);
        if (!failedBefore && ::testing::Test::HasFailure())
            ADD_FAILURE() << "(the failures above came after failing allocation " << k << " of " << total << ")";
    }
    prepare();
    EXPECT_FALSE(FailsWithBadAlloc(call, total + 1));
}

} // namespace

TEST_F(AllocationFailure, ParseSpsWithSubLayers) {
    H265ParserPtr parser = MakeH265Parser();
    const std::map<std::string, unsigned long> expected = Fields(spsListing);
    ForEachFailure(
        [&] { ASSERT_TRUE(parser->ParseSPS(stream.data(), Len(stream))); },
        [&] { parser->ParseSPS(stream.data(), Len(stream)); },
        [&](long k) {
            H265Parser::ISPS* record = parser->GetSPS();
            if (k == 1) {
                // The record itself could not be made: none is attached.
                EXPECT_EQ(nullptr, record);
            } else {
                // A partly built record stays attached; it holds nothing but
                // values of the complete parse (zero where it did not reach).
                ASSERT_NE(nullptr, record);
                for (const auto& field : Fields(Listing(record))) {
                    EXPECT_TRUE(field.second == 0 || field.second == expected.at(field.first)) << field.first;
                }
                const SEQ_PARAMETER_SET& s = static_cast<CSPSInfo*>(record)->sps;
                if (s.ptl) {
                    EXPECT_EQ(3u, s.ptl->maxNumSubLayersMinus1);
                    EXPECT_NE(nullptr, s.ptl->sub_layer_level_idc);
                }
            }
            // Usable at once: the next parse builds the complete record.
            ASSERT_TRUE(parser->ParseSPS(stream.data(), Len(stream)));
            EXPECT_EQ(spsListing, Listing(parser->GetSPS()));
        },
        // The record, the payload copy, profile_tier_level with 12 arrays and
        // 3 flag rows, and 3 ordering arrays.
        20);
}

TEST_F(AllocationFailure, ParsePps) {
    H265ParserPtr parser = MakeH265Parser();
    ForEachFailure([&] { ASSERT_TRUE(parser->ParsePPS(stream.data(), Len(stream))); },
                   [&] { parser->ParsePPS(stream.data(), Len(stream)); },
                   [&](long k) {
                       if (k == 1) {
                           EXPECT_EQ(nullptr, parser->GetPPS());
                       }
                       ASSERT_TRUE(parser->ParsePPS(stream.data(), Len(stream)));
                       EXPECT_EQ(ppsListing, Listing(parser->GetPPS()));
                   },
                   1);
}

TEST_F(AllocationFailure, ParseSliceTypeWithReservedFlags) {
    H265ParserPtr parser = MakeH265Parser();
    ASSERT_TRUE(parser->ParseSPS(sps.data(), Len(sps)));
    ASSERT_TRUE(parser->ParsePPS(pps.data(), Len(pps)));
    int type = -1;
    bool first = false;
    ForEachFailure([&] { type = -1, first = false; },
                   [&] { parser->ParseSliceType(stream.data(), Len(stream), &type, &first); },
                   [&](long) {
                       // Nothing written; the records are those parsed before.
                       EXPECT_EQ(-1, type);
                       EXPECT_FALSE(first);
                       EXPECT_EQ(spsListing, Listing(parser->GetSPS()));
                       EXPECT_EQ(ppsListing, Listing(parser->GetPPS()));
                       ASSERT_TRUE(parser->ParseSliceType(stream.data(), Len(stream), &type, &first));
                       EXPECT_EQ(NALU_TYPE_P_FRAME, type);
                       EXPECT_TRUE(first);
                   },
                   1);
}

struct DumpCase {
    const char* name;
    bool sps;        // ISPS::Dump, else IPPS::Dump
    bool withBuffer; // Dump(buffer), else Dump(nullptr)
};

inline void PrintTo(const DumpCase& c, std::ostream* out) { *out << c.name; }

class AllocationFailureInDump : public AllocationFailure, public ::testing::WithParamInterface<DumpCase> {};

TEST_P(AllocationFailureInDump, ReachesTheCallerAndLeavesTheRecord) {
    const DumpCase c = GetParam();
    H265ParserPtr parser = MakeH265Parser();
    ASSERT_TRUE(parser->ParseSPS(stream.data(), Len(stream)));
    ASSERT_TRUE(parser->ParsePPS(stream.data(), Len(stream)));
    const std::string& listing = c.sps ? spsListing : ppsListing;
    std::string buffer(listing.size() + 1, 'x');
    int result = 0;
    ForEachFailure([&] { result = 0; },
                   [&] {
                       char* out = c.withBuffer ? &buffer[0] : nullptr;
                       result = c.sps ? parser->GetSPS()->Dump(out) : parser->GetPPS()->Dump(out);
                   },
                   [&](long) {
                       // No size was returned for a listing that could not be made.
                       EXPECT_EQ(0, result);
                       EXPECT_EQ(listing, c.sps ? Listing(parser->GetSPS()) : Listing(parser->GetPPS()));
                   },
                   1);
    EXPECT_EQ(static_cast<int>(listing.size() + 1), result);
    if (c.withBuffer) {
        EXPECT_EQ(listing, std::string(buffer.c_str()));
    }
}

INSTANTIATE_TEST_SUITE_P(Listings, AllocationFailureInDump,
                         ::testing::Values(DumpCase{"SpsSize", true, false}, DumpCase{"SpsText", true, true},
                                           DumpCase{"PpsSize", false, false}, DumpCase{"PpsText", false, true}),
                         [](const ::testing::TestParamInfo<DumpCase>& info) { return info.param.name; });

TEST_F(AllocationFailure, GetResolution) {
    HeaderParserPtr parser = MakeHeaderParser();
    const int len = static_cast<int>(stream.size());
    int width = 0, height = 0;
    ForEachFailure([&] { width = height = 0; },
                   [&] { parser->GetResolution(stream.data(), len, &width, &height); },
                   [&](long) {
                       EXPECT_EQ(0, width);
                       EXPECT_EQ(0, height);
                       EXPECT_EQ(NALU_TYPE_VPS, parser->GetNaluType(stream.data(), len));
                       EXPECT_TRUE(parser->HasParameterSets(stream.data(), len));
                       ASSERT_TRUE(parser->GetResolution(stream.data(), len, &width, &height));
                       EXPECT_EQ(352, width);
                       EXPECT_EQ(288, height);
                   },
                   20);
}

TEST_F(AllocationFailure, CreateH265HeaderParser) {
    IVideoHeaderParser* parser = nullptr;
    ForEachFailure([&] { ReleaseVideoHeaderParser(&parser); }, [&] { parser = CreateH265HeaderParser(); },
                   [&](long) {
                       EXPECT_EQ(nullptr, parser);
                       EXPECT_EQ(baseline, g_live);
                   },
                   1); // the header parser holds its H.265 parser by value: one block
    ASSERT_NE(nullptr, parser);
    EXPECT_EQ(NALU_TYPE_VPS, parser->GetNaluType(stream.data(), static_cast<int>(stream.size())));
    ReleaseVideoHeaderParser(&parser);
}

TEST_F(AllocationFailure, CreateH265Parser) {
    IH265Parser* parser = nullptr;
    ForEachFailure([&] { ReleaseH265Parser(&parser); }, [&] { parser = CreateH265Parser(); },
                   [&](long) {
                       EXPECT_EQ(nullptr, parser);
                       EXPECT_EQ(baseline, g_live);
                   },
                   1);
    ASSERT_NE(nullptr, parser);
    EXPECT_TRUE(parser->ParseSPS(stream.data(), Len(stream)));
    ReleaseH265Parser(&parser);
}
