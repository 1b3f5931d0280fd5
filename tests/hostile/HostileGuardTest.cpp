// No read outside the caller's buffer: every entry point gets inputs placed
// at the very end of a page followed by a PROT_NONE guard page, and at the
// very start of a page preceded by one. A read of a single byte too many, or
// of one before the start, ends the test with SIGSEGV.
#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <functional>
#include <random>
#include <set>

#include "HostileSupport.h"
#include "TestSupport.h"

namespace {

// Read-write pages for up to `capacity` bytes between two PROT_NONE pages.
class GuardedRegion {
public:
    explicit GuardedRegion(size_t capacity) : m_page(static_cast<size_t>(sysconf(_SC_PAGESIZE))) {
        m_dataPages = capacity / m_page + 1;
        m_size = (m_dataPages + 2) * m_page;
        void* base = mmap(nullptr, m_size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        if (base == MAP_FAILED)
            throw std::runtime_error("mmap failed");
        m_base = static_cast<unsigned char*>(base);
        if (mprotect(m_base, m_page, PROT_NONE) != 0 ||
            mprotect(m_base + (m_dataPages + 1) * m_page, m_page, PROT_NONE) != 0)
            throw std::runtime_error("mprotect failed");
    }
    ~GuardedRegion() { munmap(m_base, m_size); }
    GuardedRegion(const GuardedRegion&) = delete;
    GuardedRegion& operator=(const GuardedRegion&) = delete;

    // The bytes copied so that their last one is the last readable byte.
    const unsigned char* AtEnd(const unsigned char* data, size_t size) {
        unsigned char* at = m_base + (m_dataPages + 1) * m_page - size;
        if (size)
            std::memcpy(at, data, size);
        return at;
    }
    // The bytes copied so that their first one is the first readable byte.
    const unsigned char* AtStart(const unsigned char* data, size_t size) {
        unsigned char* at = m_base + m_page;
        if (size)
            std::memcpy(at, data, size);
        return at;
    }
    size_t Capacity() const { return m_dataPages * m_page; }

private:
    size_t m_page;
    size_t m_dataPages;
    size_t m_size;
    unsigned char* m_base;
};

unsigned int Len(const Bytes& b) { return static_cast<unsigned int>(b.size()); }

// Parsers whose SPS and PPS records the slice header is read with.
struct RecordSet {
    H265ParserPtr parser;
    const char* name;
};

H265ParserPtr ParserWithRecords(const Bytes& sps, const Bytes& pps) {
    H265ParserPtr parser = MakeH265Parser();
    EXPECT_TRUE(parser->ParseSPS(sps.data(), Len(sps)));
    EXPECT_TRUE(parser->ParsePPS(pps.data(), Len(pps)));
    return parser;
}

// Records that make the slice header long: dependent slice segments,
// 7 reserved flags, and a picture of many small CTBs (a wide
// slice_segment_address).
H265ParserPtr LongSliceHeaderRecords() {
    SpsFields f;
    f.pic_width_in_luma_samples = 8192;
    f.pic_height_in_luma_samples = 4320;
    f.log2_min_luma_coding_block_size_minus3 = 0;
    f.log2_diff_max_min_luma_coding_block_size = 0;
    BitWriter pps;
    pps.UE(0).UE(0).U(1, 1).U(1, 1).U(7, 3).U(0, 1).U(0, 1).TrailingBits();
    return ParserWithRecords(Nal(33, SpsRbsp(f)), Nal(34, pps.Data()));
}

// Every entry point on one placed input. ParseSliceType runs with each set of
// records and with records parsed from the input itself.
void CallEverything(const unsigned char* data, size_t size, const std::vector<IH265Parser*>& withRecords) {
    const int len = static_cast<int>(size);
    const unsigned int ulen = static_cast<unsigned int>(size);
    HeaderParserPtr header = MakeHeaderParser();
    header->GetNaluType(data, len);
    header->IsKeyFrame(data, len);
    header->HasParameterSets(data, len);
    int width = 0, height = 0;
    hostile::Completes([&] { header->GetResolution(data, len, &width, &height); });

    H265ParserPtr parser = MakeH265Parser();
    int type = 0;
    bool first = false;
    parser->ParseNaluType(data, ulen, &type);
    hostile::Completes([&] { parser->ParseSPS(data, ulen); });
    hostile::Completes([&] { parser->ParsePPS(data, ulen); });
    std::vector<char> listing(static_cast<size_t>(parser->GetSPS()->Dump(nullptr)));
    parser->GetSPS()->Dump(listing.data());
    listing.resize(static_cast<size_t>(parser->GetPPS()->Dump(nullptr)));
    parser->GetPPS()->Dump(listing.data());
    hostile::Completes([&] { parser->ParseSliceType(data, ulen, &type, &first); });
    for (IH265Parser* p : withRecords)
        hostile::Completes([&] { p->ParseSliceType(data, ulen, &type, &first); });
}

class GuardPages : public ::testing::Test {
protected:
    void SetUp() override {
        longHeader = LongSliceHeaderRecords();
        records.push_back(longHeader.get());
    }

    // Places `input` both ways and calls every entry point; also for each
    // prefix of `input` when `everyCut` is set.
    void Run(GuardedRegion& region, const Bytes& input, bool everyCut) {
        const unsigned char* bytes = input.empty() ? nullptr : input.data();
        for (size_t size = everyCut ? 0 : input.size(); size <= input.size(); ++size) {
            CallEverything(region.AtEnd(bytes, size), size, records);
            CallEverything(region.AtStart(bytes, size), size, records);
            ++placed;
        }
    }

    H265ParserPtr longHeader;
    std::vector<IH265Parser*> records;
    size_t placed = 0;
};

// Byte patterns of a given length: fills, start codes and NAL unit headers
// running into the end, and pseudo-random bytes.
std::vector<Bytes> Patterns(size_t len) {
    std::vector<Bytes> out;
    for (unsigned char fill : {0x00, 0x01, 0x03, 0xFF})
        out.push_back(Bytes(len, fill));
    const Bytes tails[] = {Hex("00 00 01"),          Hex("00 00 00 01"),       Hex("00 00 01 42"),
                           Hex("00 00 01 42 01"),    Hex("00 00 00 01 42 01"), Hex("00 00 01 44 01"),
                           Hex("00 00 01 44 01 C1"), Hex("00 00 01 26 01 AF"), Hex("00 00 01 02 01 00"),
                           Hex("00 00 01 02 01 D0"), Hex("00 00 01 40 01 0C"), Hex("00 00 01 42 01 01 01"),
                           Hex("00 00 00 01 26 01")};
    for (const Bytes& tail : tails) {
        Bytes b(len, 0);
        for (size_t i = 0; i < len && i < tail.size(); ++i)
            b[len - 1 - i] = tail[tail.size() - 1 - i];
        out.push_back(b);
        Bytes front(len, 0xFF);
        for (size_t i = 0; i < len && i < tail.size(); ++i)
            front[i] = tail[i];
        out.push_back(front);
    }
    std::mt19937 random(static_cast<unsigned int>(len));
    for (int k = 0; k < 24; ++k) {
        Bytes b(len);
        for (unsigned char& c : b)
            c = static_cast<unsigned char>(random() % 4 == 0 ? random() % 3 : random());
        out.push_back(b);
    }
    return out;
}

} // namespace

TEST_F(GuardPages, ShortInputsOfAssortedBytes) {
    GuardedRegion region(64);
    for (size_t len = 0; len <= 16; ++len)
        for (const Bytes& input : Patterns(len))
            Run(region, input, false);
    EXPECT_GT(placed, 17u * 40u);
}

// Each distinct NAL unit of the streams (every non-VCL unit, the first VCL
// unit of each nal_unit_type) cut at every byte, up to 512 bytes and then
// whole; and each stream's first parameter sets with its first slice,
// cut at every byte, read with records from the same stream.
TEST_F(GuardPages, RealNalUnitsCutAtEveryByte) {
    const std::vector<std::string> files = hostile::StreamFiles();
    ASSERT_FALSE(files.empty());
    size_t units = 0;
    for (const std::string& file : files) {
        Bytes stream;
        ASSERT_TRUE(hostile::ReadFile(file, stream)) << file;
        const std::vector<Bytes> nals = hostile::NalUnits(stream);
        ASSERT_FALSE(nals.empty()) << file;

        Bytes sps, pps, accessUnit;
        std::set<int> vclTypes;
        std::set<Bytes> seen;
        H265ParserPtr streamRecords;
        for (const Bytes& nal : nals) {
            const int type = hostile::NalType(nal);
            if (type == 33 && sps.empty())
                sps = nal;
            if (type == 34 && pps.empty())
                pps = nal;
            if (type < 32 && !vclTypes.insert(type).second)
                continue;
            if (!seen.insert(nal).second)
                continue;
            if (accessUnit.empty() && type < 32 && !sps.empty() && !pps.empty()) {
                for (const Bytes& part : nals) {
                    if (hostile::NalType(part) < 32) {
                        accessUnit.insert(accessUnit.end(), part.begin(),
                                          part.begin() + static_cast<long>(std::min<size_t>(part.size(), 64)));
                        break;
                    }
                    accessUnit.insert(accessUnit.end(), part.begin(), part.end());
                }
                streamRecords = ParserWithRecords(sps, pps);
                records.push_back(streamRecords.get());
            }
            const Bytes cut(nal.begin(), nal.begin() + static_cast<long>(std::min<size_t>(nal.size(), 512)));
            GuardedRegion region(nal.size());
            Run(region, cut, true);
            Run(region, nal, false);
            ++units;
        }
        ASSERT_FALSE(accessUnit.empty()) << file;
        GuardedRegion region(accessUnit.size());
        Run(region, accessUnit, true);
        if (streamRecords)
            records.pop_back();
    }
    EXPECT_GE(units, files.size() * 4);
}
