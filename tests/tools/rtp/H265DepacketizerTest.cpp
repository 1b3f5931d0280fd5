// H.265 RTP payloads joined into access units: each row sends hand-made
// packets (payload headers and NAL units written byte by byte) in the order
// a network delivered them, and expects the access units written out by
// hand, and what was counted lost, reordered and dropped.
#include "H265Depacketizer.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// NAL units: the header (forbidden_zero_bit, nal_unit_type, nuh_layer_id,
// nuh_temporal_id_plus1), then a few bytes of payload.
const Bytes kVps = {0x40, 0x01, 0xA0};
const Bytes kSps = {0x42, 0x01, 0xA1};
const Bytes kPps = {0x44, 0x01, 0xA2};
const Bytes kAud = {0x46, 0x01, 0x50};
const Bytes kIdr = {0x26, 0x01, 0xAF, 0x11, 0x22, 0x33, 0x44, 0x55};  // IDR_W_RADL
const Bytes kCra = {0x2A, 0x01, 0xAF, 0x66};
const Bytes kTrail = {0x02, 0x01, 0xA8, 0x77};  // TRAIL_R
const Bytes kTrail2 = {0x02, 0x01, 0xA8, 0x78};
const Bytes kLayer1 = {0x02, 0x09, 0xA8};  // TRAIL_R, nuh_layer_id 1
const Bytes kBla = {0x20, 0x01, 0xAF, 0x99};  // BLA_W_LP
// Three slice segments of one TRAIL_R picture.
const Bytes kSliceA = {0x02, 0x01, 0xA8, 0x0A};
const Bytes kSliceB = {0x02, 0x01, 0x28, 0x0B};
const Bytes kSliceC = {0x02, 0x01, 0x28, 0x0C};

Bytes Cat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& part : parts)
        out.insert(out.end(), part.begin(), part.end());
    return out;
}
Bytes Be16(unsigned value) { return {static_cast<std::uint8_t>(value >> 8), static_cast<std::uint8_t>(value)}; }

// Aggregation packet: PayloadHdr type 48, then each unit after its size.
Bytes Ap(std::initializer_list<Bytes> units) {
    Bytes out = {0x60, 0x01};
    for (const Bytes& unit : units)
        out = Cat({out, Be16(static_cast<unsigned>(unit.size())), unit});
    return out;
}
// With DONs: DONL before the first unit, DOND (0: the next DON) before the others.
Bytes ApDon(unsigned don, std::initializer_list<Bytes> units) {
    Bytes out = {0x60, 0x01};
    bool first = true;
    for (const Bytes& unit : units) {
        out = Cat({out, first ? Be16(don) : Bytes{0}, Be16(static_cast<unsigned>(unit.size())), unit});
        first = false;
    }
    return out;
}
// With DONs: the first unit at `don`, the second `dond` + 1 after it.
Bytes ApDond(unsigned don, const Bytes& first, unsigned dond, const Bytes& second) {
    return Cat({{0x60, 0x01}, Be16(don), Be16(static_cast<unsigned>(first.size())), first,
                {static_cast<std::uint8_t>(dond)}, Be16(static_cast<unsigned>(second.size())), second});
}
// Fragmentation unit: PayloadHdr type 49 with the unit's F, LayerId and TID;
// FU header S, E, FuType; the unit's bytes [from, to) after its header.
Bytes Fu(const Bytes& unit, std::size_t from, std::size_t to, bool start, bool end, int don = -1) {
    const Bytes head = {static_cast<std::uint8_t>((unit[0] & 0x81) | (49 << 1)), unit[1],
                        static_cast<std::uint8_t>((start ? 0x80 : 0) | (end ? 0x40 : 0) | ((unit[0] >> 1) & 0x3F))};
    const Bytes piece(unit.begin() + 2 + static_cast<long>(from), unit.begin() + 2 + static_cast<long>(to));
    return Cat({head, don >= 0 ? Be16(static_cast<unsigned>(don)) : Bytes(), piece});
}
Bytes SingleDon(unsigned don, const Bytes& unit) {
    return Cat({Bytes(unit.begin(), unit.begin() + 2), Be16(don), Bytes(unit.begin() + 2, unit.end())});
}
// PACI: PayloadHdr type 50 of the given layer, then A/cType/PHSsize/F0-2/Y
// and a contained unit it is not read for.
Bytes Paci(int layer) {
    return Cat({{static_cast<std::uint8_t>((50 << 1) | (layer >> 5)), static_cast<std::uint8_t>((layer << 3) | 1),
                 0x02, 0x00},
                kTrail});
}

struct Packet {
    unsigned seq;
    std::uint32_t ts;
    bool marker;
    Bytes payload;
};

Bytes ToRtp(const Packet& p) {
    Bytes out = {0x80, static_cast<std::uint8_t>((p.marker ? 0x80 : 0) | 96),
                 static_cast<std::uint8_t>(p.seq >> 8), static_cast<std::uint8_t>(p.seq),
                 static_cast<std::uint8_t>(p.ts >> 24), static_cast<std::uint8_t>(p.ts >> 16),
                 static_cast<std::uint8_t>(p.ts >> 8), static_cast<std::uint8_t>(p.ts), 0x11, 0x22, 0x33, 0x44};
    return Cat({out, p.payload});
}

struct Au {
    std::int64_t ts;
    std::vector<Bytes> units;
};

// The packets of an IDR access unit with its parameter sets, and that unit.
std::vector<Packet> Key(unsigned seq, std::uint32_t ts) {
    return {{seq, ts, false, Ap({kVps, kSps, kPps})}, {(seq + 1) & 0xFFFF, ts, true, kIdr}};
}
Au KeyAu(std::int64_t ts) { return {ts, {kVps, kSps, kPps, kIdr}}; }

std::vector<Packet> Then(std::vector<Packet> a, const std::vector<Packet>& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

struct Counts {
    std::uint64_t lost, reordered, duplicated, late, dropped, paci, layer, malformed, oversize;
    bool operator==(const Counts& o) const {
        return lost == o.lost && reordered == o.reordered && duplicated == o.duplicated && late == o.late &&
               dropped == o.dropped && paci == o.paci && layer == o.layer && malformed == o.malformed &&
               oversize == o.oversize;
    }
};
std::ostream& operator<<(std::ostream& os, const Counts& c) {
    return os << "lost " << c.lost << ", reordered " << c.reordered << ", duplicated " << c.duplicated << ", late "
              << c.late << ", dropped " << c.dropped << ", paci " << c.paci << ", layer " << c.layer
              << ", malformed " << c.malformed << ", oversize " << c.oversize;
}

struct Case {
    const char* name;
    rtp::DepacketizerOptions options;
    std::vector<Packet> packets;  // in the order they arrive
    std::vector<Au> expected;
    Counts counts;
};

rtp::DepacketizerOptions Options(unsigned maxDonDiff = 0, std::size_t maxAu = 8u << 20,
                                 std::size_t maxNal = 4u << 20, std::size_t reorderPackets = 64) {
    rtp::DepacketizerOptions options;
    options.maxDonDiff = maxDonDiff;
    options.maxAccessUnitBytes = maxAu;
    options.maxNalUnitBytes = maxNal;
    options.reorderPackets = reorderPackets;
    return options;
}

const Counts kClean = {0, 0, 0, 0, 0, 0, 0, 0, 0};
const Au kCraAu(std::int64_t ts) { return {ts, {kAud, kCra}}; }
const Packet CraPacket(unsigned seq, std::uint32_t ts) { return {seq, ts, true, Ap({kAud, kCra})}; }

std::vector<Case> Cases() {
    return {
        {"single NAL unit packets",
         Options(),
         {{1, 1000, false, kVps}, {2, 1000, false, kSps}, {3, 1000, false, kPps}, {4, 1000, true, kIdr},
          {5, 4000, true, kTrail}},
         {KeyAu(1000), {4000, {kTrail}}},
         kClean},
        {"an access unit ends where the timestamp changes without a marker",
         Options(),
         {{1, 1000, false, Ap({kVps, kSps, kPps})}, {2, 1000, false, kIdr}, {3, 4000, false, kTrail}},
         {KeyAu(1000), {4000, {kTrail}}},
         kClean},
        {"fragmentation units",
         Options(),
         {{1, 1000, false, Ap({kVps, kSps, kPps})}, {2, 1000, false, Fu(kIdr, 0, 2, true, false)},
          {3, 1000, false, Fu(kIdr, 2, 4, false, false)}, {4, 1000, true, Fu(kIdr, 4, 6, false, true)}},
         {KeyAu(1000)},
         kClean},
        {"a fragment without its first piece drops up to the next IRAP",
         Options(),
         Then(Key(1, 1000), {{3, 4000, false, Fu(kTrail, 0, 1, false, false)},
                             {4, 4000, true, Fu(kTrail, 1, 2, false, true)}, {5, 7000, true, kTrail2},
                             CraPacket(6, 10000)}),
         {KeyAu(1000), kCraAu(10000)},
         {0, 0, 0, 0, 2, 0, 0, 0, 0}},
        {"a lost first piece drops up to the next IRAP",
         Options(),
         Then(Then(Key(1, 1000), {{4, 4000, false, Fu(kTrail, 0, 1, false, false)},
                                  {5, 4000, true, Fu(kTrail, 1, 2, false, true)}, {6, 7000, true, kTrail2}}),
              Key(7, 10000)),
         {KeyAu(1000), KeyAu(10000)},
         {1, 0, 0, 0, 2, 0, 0, 0, 0}},
        {"a lost middle piece drops up to the next IRAP",
         Options(),
         Then(Then(Key(1, 1000), {{3, 4000, false, Fu(kTrail, 0, 1, true, false)},
                                  {5, 4000, true, Fu(kTrail, 1, 2, false, true)}, {6, 7000, true, kTrail2}}),
              Key(7, 10000)),
         {KeyAu(1000), KeyAu(10000)},
         {1, 0, 0, 0, 2, 0, 0, 0, 0}},
        {"reordered packets",
         Options(),
         {{1, 1000, false, Ap({kVps, kSps, kPps})}, {3, 4000, true, kTrail}, {2, 1000, true, kIdr},
          {4, 7000, true, kTrail2}},
         {KeyAu(1000), {4000, {kTrail}}, {7000, {kTrail2}}},
         {0, 1, 0, 0, 0, 0, 0, 0, 0}},
        {"duplicated packets",
         Options(),
         {{1, 1000, false, Ap({kVps, kSps, kPps})}, {2, 1000, true, kIdr}, {2, 1000, true, kIdr},
          {3, 4000, true, kTrail}, {1, 1000, false, Ap({kVps, kSps, kPps})}},
         {KeyAu(1000), {4000, {kTrail}}},
         {0, 0, 2, 0, 0, 0, 0, 0, 0}},
        {"a lost access unit drops up to the next IRAP",
         Options(),
         Then(Key(1, 1000), {{4, 7000, true, kTrail}, {5, 10000, true, kTrail2}, CraPacket(6, 13000)}),
         {KeyAu(1000), kCraAu(13000)},
         {1, 0, 0, 0, 2, 0, 0, 0, 0}},
        {"an IRAP access unit after a loss, without a delimiter or VPS first, is dropped",
         Options(),
         Then(Then(Key(1, 1000), {{4, 4000, true, kIdr}, {5, 7000, true, kTrail}}), Key(6, 10000)),
         {KeyAu(1000), KeyAu(10000)},
         {1, 0, 0, 0, 2, 0, 0, 0, 0}},
        {"whole access units after a lost one still wait for an IRAP",
         Options(),
         Then(Key(1, 1000), {{4, 7000, true, Ap({kAud, kTrail})}, {5, 10000, true, Ap({kAud, kTrail2})},
                             CraPacket(6, 13000)}),
         {KeyAu(1000), kCraAu(13000)},
         {1, 0, 0, 0, 2, 0, 0, 0, 0}},
        {"a BLA picture after a loss is where output resumes",
         Options(),
         Then(Key(1, 1000), {{4, 7000, true, Ap({kAud, kBla})}, {5, 10000, true, kTrail}}),
         {KeyAu(1000), {7000, {kAud, kBla}}, {10000, {kTrail}}},
         {1, 0, 0, 0, 0, 0, 0, 0, 0}},
        {"a fragmented unit cut short by a new first piece drops its access unit",
         Options(),
         Then(Then(Key(1, 1000), {{3, 4000, false, Fu(kTrail, 0, 1, true, false)},
                                  {4, 4000, false, Fu(kTrail2, 0, 1, true, false)},
                                  {5, 4000, true, Fu(kTrail2, 1, 2, false, true)}, {6, 7000, true, kTrail}}),
              {CraPacket(7, 10000)}),
         {KeyAu(1000), kCraAu(10000)},
         {0, 0, 0, 0, 2, 0, 0, 0, 0}},
        {"output begins at the first IRAP",
         Options(),
         Then({{1, 1000, true, kTrail}}, Key(2, 4000)),
         {KeyAu(4000)},
         {0, 0, 0, 0, 1, 0, 0, 0, 0}},
        {"sequence numbers wrap",
         Options(),
         Then(Key(65535, 1000), {{1, 4000, true, kTrail}}),
         {KeyAu(1000), {4000, {kTrail}}},
         kClean},
        {"timestamps go on past 32 bits",
         Options(),
         Then(Key(1, 0xFFFFF000u), {{3, 0x00000A00u, true, kTrail}, {4, 0xFFFFFA00u, true, kTrail2}}),
         {KeyAu(0xFFFFF000LL), {0x100000A00LL, {kTrail}}, {0xFFFFFA00LL, {kTrail2}}},
         kClean},
        {"units of layers above 0 are skipped",
         Options(),
         {{1, 1000, false, Ap({kVps, kSps, kPps})}, {2, 1000, false, kLayer1}, {3, 1000, true, kIdr},
          {4, 4000, true, Ap({kTrail, kLayer1})}},
         {KeyAu(1000), {4000, {kTrail}}},
         {0, 0, 0, 0, 0, 0, 2, 0, 0}},
        {"PACI of an enhancement layer is skipped",
         Options(),
         Then(Key(1, 1000), {{3, 4000, false, Paci(1)}, {4, 4000, true, kTrail}}),
         {KeyAu(1000), {4000, {kTrail}}},
         {0, 0, 0, 0, 0, 1, 0, 0, 0}},
        {"PACI of the base layer loses its access unit",
         Options(),
         Then(Then(Key(1, 1000), {{3, 4000, false, kTrail}, {4, 4000, true, Paci(0)}, {5, 7000, true, kTrail2}}),
              Key(6, 10000)),
         {KeyAu(1000), KeyAu(10000)},
         {0, 0, 0, 0, 2, 1, 0, 0, 0}},
        {"a truncated aggregation packet loses its access unit",
         Options(),
         Then(Then(Key(1, 1000), {{3, 4000, false, kTrail}, {4, 4000, true, Cat({Ap({kTrail2}), {0, 9, 0x02}})}}),
              Key(5, 7000)),
         {KeyAu(1000), KeyAu(7000)},
         {0, 0, 0, 0, 1, 0, 0, 1, 0}},
        {"a fragment with both S and E is malformed",
         Options(),
         Then(Then(Key(1, 1000), {{3, 4000, false, kTrail}, {4, 4000, true, Fu(kTrail2, 0, 2, true, true)}}),
              Key(5, 7000)),
         {KeyAu(1000), KeyAu(7000)},
         {0, 0, 0, 0, 1, 0, 0, 1, 0}},
        {"an access unit over the size limit is dropped",
         Options(0, 32),  // the key access unit is 33 bytes
         Then(Key(1, 1000), {CraPacket(3, 4000)}),
         {kCraAu(4000)},
         {0, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"a fragmented unit over the NAL unit size limit is dropped",
         Options(0, 8u << 20, 7),  // the IDR unit is 8 bytes
         {{1, 1000, false, Ap({kVps, kSps, kPps})}, {2, 1000, false, Fu(kIdr, 0, 3, true, false)},
          {3, 1000, true, Fu(kIdr, 3, 6, false, true)}, CraPacket(4, 4000)},
         {kCraAu(4000)},
         {0, 0, 0, 0, 1, 0, 0, 0, 1}},
        {"decoding order numbers put units back in order",
         Options(2),
         {{1, 1000, false, ApDon(0, {kVps, kSps, kPps})}, {2, 7000, true, SingleDon(5, kTrail2)},
          {3, 1000, true, SingleDon(3, kIdr)}, {4, 4000, true, SingleDon(4, kTrail)}},
         {KeyAu(1000), {4000, {kTrail}}, {7000, {kTrail2}}},
         kClean},
        {"decoding order numbers of fragmented units",
         Options(1),
         {{1, 1000, false, Fu(kIdr, 0, 3, true, false, 0)}, {2, 1000, true, Fu(kIdr, 3, 6, false, true)},
          {3, 7000, true, SingleDon(2, kTrail2)}, {4, 4000, true, SingleDon(1, kTrail)}},
         {{1000, {kIdr}}, {4000, {kTrail}}, {7000, {kTrail2}}},
         kClean},
        {"with decoding order numbers, an unfinished fragmented unit drops its own access unit only",
         Options(2),
         {{1, 1000, false, ApDon(0, {kVps, kSps, kPps})}, {2, 1000, true, SingleDon(3, kIdr)},
          {3, 4000, false, Fu(kTrail, 0, 1, true, false, 4)}, {4, 7000, true, SingleDon(5, kTrail2)},
          {5, 10000, false, ApDon(6, {kVps, kSps, kPps})}, {6, 10000, true, SingleDon(9, kIdr)}},
         {KeyAu(1000), KeyAu(10000)},
         {0, 0, 0, 0, 2, 0, 0, 0, 0}},
        {"a DOND counts from the unit before it plus one (RFC 7798 4.4.2)",
         Options(2),
         {{1, 1000, false, ApDon(0, {kVps, kSps, kPps})}, {2, 1000, false, SingleDon(3, kIdr)},
          {3, 4000, false, ApDond(4, kSliceA, 1, kSliceC)}, {4, 4000, true, SingleDon(5, kSliceB)},
          {5, 7000, true, SingleDon(7, kTrail2)}},
         {KeyAu(1000), {4000, {kSliceA, kSliceB, kSliceC}}, {7000, {kTrail2}}},
         kClean},
        {"a hole is given up after the time window",
         Options(),
         Then(Key(1, 1000), {CraPacket(4, 10000), {5, 100000, true, kTrail}, {3, 7000, true, kTrail2}}),
         {KeyAu(1000), kCraAu(10000), {100000, {kTrail}}},
         {1, 0, 0, 1, 0, 0, 0, 0, 0}},
        {"a hole is given up when the reorder buffer is full",
         Options(0, 8u << 20, 4u << 20, 2),
         Then(Key(1, 1000), {CraPacket(4, 10000), {5, 13000, true, kTrail}}),
         {KeyAu(1000), kCraAu(10000), {13000, {kTrail}}},
         {1, 0, 0, 0, 0, 0, 0, 0, 0}},
    };
}

Bytes AnnexB(const std::vector<Bytes>& units) {
    Bytes out;
    for (const Bytes& unit : units)
        out = Cat({out, {0, 0, 0, 1}, unit});
    return out;
}

struct Collected : rtp::AccessUnitSink {
    std::vector<std::pair<std::int64_t, Bytes>> units;
    void OnAccessUnit(const rtp::AccessUnit& unit) override {
        units.emplace_back(unit.timestamp, Bytes(unit.data, unit.data + unit.size));
    }
};

TEST(H265Depacketizer, JoinsAccessUnitsAndDropsWhatIsIncomplete) {
    for (const Case& c : Cases()) {
        Collected sink;
        rtp::H265Depacketizer depacketizer(sink, c.options);
        for (const Packet& packet : c.packets) {
            const Bytes bytes = ToRtp(packet);
            ASSERT_EQ(depacketizer.Push(bytes.data(), bytes.size()), rtp::PacketError::kNone) << c.name;
        }
        depacketizer.Flush();
        std::vector<std::pair<std::int64_t, Bytes>> expected;
        for (const Au& au : c.expected)
            expected.emplace_back(au.ts, AnnexB(au.units));
        EXPECT_EQ(sink.units, expected) << c.name;
        const rtp::DepacketizerCounters& d = depacketizer.counters();
        const rtp::ReorderCounters& r = depacketizer.reorderCounters();
        const Counts counts = {r.lost, r.reordered, r.duplicated, r.late, d.accessUnitsDropped, d.paciSkipped,
                               d.layerUnitsSkipped, d.malformedPayloads, d.oversizeAccessUnits + d.oversizeNalUnits};
        EXPECT_EQ(counts, c.counts) << c.name;
        EXPECT_EQ(d.accessUnitsOut, c.expected.size()) << c.name;
    }
}

// With keepDamaged a loss costs what was lost: the access units after it go
// out, the first of them and any that lost a piece marked damaged.
TEST(H265Depacketizer, KeepsDamagedAccessUnits) {
    struct Kept {
        const char* name;
        std::vector<Packet> packets;
        std::vector<Au> expected;
        std::uint64_t damaged, dropped;
    };
    const Kept kKept[] = {
        {"a fragment without its first piece is dropped, the rest of its access unit kept",
         Then(Key(1, 1000), {{3, 4000, false, kAud}, {4, 4000, false, Fu(kTrail, 1, 2, false, true)},
                             {5, 4000, true, kTrail2}, {6, 7000, true, kTrail}}),
         {KeyAu(1000), {4000, {kAud, kTrail2}}, {7000, {kTrail}}},
         1, 0},
        {"whole access units after a lost one go out, the first marked",
         Then(Key(1, 1000), {{4, 7000, true, Ap({kAud, kTrail})}, {5, 10000, true, Ap({kAud, kTrail2})}}),
         {KeyAu(1000), {7000, {kAud, kTrail}}, {10000, {kAud, kTrail2}}},
         1, 0},
        {"an access unit of which nothing came is dropped",
         Then(Key(1, 1000), {{3, 4000, true, Fu(kTrail, 1, 2, false, true)}, {4, 7000, true, kTrail}}),
         {KeyAu(1000), {7000, {kTrail}}},
         0, 1},
        {"output still begins at the first IRAP",
         Then({{1, 1000, true, kTrail}, {3, 2000, true, kTrail2}}, Key(4, 4000)),
         {KeyAu(4000)},
         0, 2},
    };
    for (const Kept& c : kKept) {
        Collected sink;
        rtp::DepacketizerOptions options = Options();
        options.keepDamaged = true;
        rtp::H265Depacketizer depacketizer(sink, options);
        for (const Packet& packet : c.packets) {
            const Bytes bytes = ToRtp(packet);
            depacketizer.Push(bytes.data(), bytes.size());
        }
        depacketizer.Flush();
        std::vector<std::pair<std::int64_t, Bytes>> expected;
        for (const Au& au : c.expected)
            expected.emplace_back(au.ts, AnnexB(au.units));
        EXPECT_EQ(sink.units, expected) << c.name;
        EXPECT_EQ(depacketizer.counters().accessUnitsDamaged, c.damaged) << c.name;
        EXPECT_EQ(depacketizer.counters().accessUnitsDropped, c.dropped) << c.name;
    }
}

TEST(H265Depacketizer, RejectsOtherSourcesAndPayloadTypes) {
    Collected sink;
    rtp::DepacketizerOptions options;
    options.payloadType = 96;
    rtp::H265Depacketizer depacketizer(sink, options);
    Bytes packet = ToRtp({1, 1000, true, kIdr});
    EXPECT_EQ(depacketizer.Push(packet.data(), packet.size()), rtp::PacketError::kNone);
    packet = ToRtp({2, 4000, true, kTrail});
    packet[11] ^= 1;  // another SSRC
    EXPECT_EQ(depacketizer.Push(packet.data(), packet.size()), rtp::PacketError::kOtherSsrc);
    packet[11] ^= 1;
    packet[1] = 97;
    EXPECT_EQ(depacketizer.Push(packet.data(), packet.size()), rtp::PacketError::kOtherPayloadType);
    EXPECT_EQ(depacketizer.counters().packetsRejected, 2u);
}

// An encoder's stream through another project's RTP payloader (see
// tests/data/README.md): the access units that come out are those of the
// stream, NAL unit for NAL unit, except the parameter sets the payloader
// repeats before each IRAP picture.
std::vector<Bytes> ReadNalUnits(const Bytes& stream) {
    std::vector<Bytes> units;
    std::size_t begin = 0;
    bool in = false;
    for (std::size_t i = 0; i <= stream.size(); ++i) {
        const bool startCode = i + 2 < stream.size() && stream[i] == 0 && stream[i + 1] == 0 && stream[i + 2] == 1;
        if (!startCode && i < stream.size())
            continue;
        if (in) {
            std::size_t end = i;
            while (end > begin && stream[end - 1] == 0)
                --end;
            units.emplace_back(stream.begin() + static_cast<long>(begin), stream.begin() + static_cast<long>(end));
        }
        begin = i + 3;
        in = true;
        i += 2;
    }
    return units;
}

Bytes ReadFile(const std::string& name) {
    std::ifstream file(std::string(H265_TEST_DATA_DIR) + "/" + name, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

bool IsParameterSet(const Bytes& unit) { return ((unit[0] >> 1) & 0x3F) >= 32 && ((unit[0] >> 1) & 0x3F) <= 34; }

TEST(H265Depacketizer, GivesBackTheAccessUnitsOfAnEncodersStream) {
    const Bytes stream = ReadFile("x265_192x128_open_gop_cra.hevc");
    const Bytes rtpFile = ReadFile("x265_192x128_open_gop_cra.rtp");
    ASSERT_FALSE(stream.empty());
    ASSERT_FALSE(rtpFile.empty());
    // The stream's access units: a new one at each VCL NAL unit with
    // first_slice_segment_in_pic_flag and at non-VCL units after a VCL one.
    std::vector<std::vector<Bytes>> expected;
    bool afterVcl = true;
    for (const Bytes& unit : ReadNalUnits(stream)) {
        const bool vcl = ((unit[0] >> 1) & 0x3F) < 32;
        if (afterVcl && (!vcl || (unit[2] & 0x80)))
            expected.emplace_back();
        afterVcl = vcl;
        if (!IsParameterSet(unit))
            expected.back().push_back(unit);
    }

    Collected sink;
    rtp::H265Depacketizer depacketizer(sink, rtp::DepacketizerOptions());
    for (std::size_t at = 0; at + 2 <= rtpFile.size();) {
        const std::size_t size = (rtpFile[at] << 8) | rtpFile[at + 1];
        ASSERT_LE(at + 2 + size, rtpFile.size());
        ASSERT_EQ(depacketizer.Push(rtpFile.data() + at + 2, size), rtp::PacketError::kNone);
        at += 2 + size;
    }
    depacketizer.Flush();
    ASSERT_EQ(sink.units.size(), 12u);
    ASSERT_EQ(expected.size(), 12u);
    for (std::size_t i = 0; i < sink.units.size(); ++i) {
        EXPECT_EQ(sink.units[i].first, sink.units[0].first) << i;  // one timestamp throughout
        std::vector<Bytes> got;
        for (const Bytes& unit : ReadNalUnits(sink.units[i].second))
            if (!IsParameterSet(unit))
                got.push_back(unit);
        EXPECT_EQ(got, expected[i]) << "access unit " << i;
    }
    EXPECT_EQ(depacketizer.reorderCounters().lost, 0u);
    EXPECT_EQ(depacketizer.counters().accessUnitsDropped, 0u);
}

}  // namespace
