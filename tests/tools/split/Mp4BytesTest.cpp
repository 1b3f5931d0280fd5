// The MP4 writer's bytes, byte for byte, on every target (big-endian and
// 32-bit ones included): an init segment whose hvcC holds VPS, SPS, PPS and
// SEI arrays with colr, mdcv and clli beside it, and a movie fragment of three
// samples, one with a negative composition offset. The expected bytes were
// written by this writer and accepted by independent readers when the test
// was written: ffprobe 5.1 reads the init segment followed by the fragment as
// one hvc1 track of 64x64 Main 10, bt2020 and smpte2084, with mastering
// display and content light level side data, and three packets of dts 0, 1, 2
// and pts 1, 3, 2 (time base 1/25: presented in the order 0, 2, 1, delayed by
// the largest negative offset); mp4box.js gives hvc1.2.4.L30.90 and three
// samples.
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "CodecString.h"
#include "Fragmenter.h"
#include "InitSegment.h"
#include "ProducerReferenceTime.h"

namespace {

using Bytes = std::vector<unsigned char>;

Bytes FromHex(const std::string& hex) {
    Bytes bytes;
    for (std::size_t i = 0; i + 1 < hex.size(); i += 2)
        bytes.push_back(static_cast<unsigned char>(std::stoul(hex.substr(i, 2), nullptr, 16)));
    return bytes;
}

std::string ToHex(const Bytes& bytes) {
    static const char kDigits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char b : bytes) {
        hex += kDigits[b >> 4];
        hex += kDigits[b & 15];
    }
    return hex;
}

// The parameter sets and HDR SEI of tests/data/x265_64x64_hdr10_main10.hevc.
mp4::VideoTrackFormat Hdr10Track() {
    mp4::VideoTrackFormat f;
    f.width = 64;
    f.height = 64;
    f.timescale = 25;
    f.sampleDuration = 1;
    mp4::HevcDecoderConfiguration& c = f.config;
    c.general_profile_idc = 2;
    c.general_profile_compatibility_flags = 0x20000000u;
    c.general_constraint_indicator_flags = 0x900000000000ull;
    c.general_level_idc = 30;
    c.bit_depth_luma_minus8 = 2;
    c.bit_depth_chroma_minus8 = 2;
    c.temporalIdNested = true;
    c.vps.push_back(FromHex("40010c01ffff02200000030090000003000003001e959409"));
    c.sps.push_back(FromHex("42010102200000030090000003000003001ea0208104d965654a4c2e6a1220120800001f4000030d4040"));
    c.pps.push_back(FromHex("4401c073c089"));
    c.prefixSei.push_back(FromHex("4e01891833c286c41d4c0bb884d03e803d13404200989680000003000180"));
    mp4::VisualDescription& v = f.visual;
    v.colour_primaries = 9;
    v.transfer_characteristics = 16;
    v.matrix_coeffs = 9;
    v.hasColr = true;
    v.hdr.has_mastering_display = true;
    const unsigned x[3] = {8500, 6550, 35400}, y[3] = {39850, 2300, 14600};
    for (int i = 0; i < 3; ++i) {
        v.hdr.display_primaries_x[i] = x[i];
        v.hdr.display_primaries_y[i] = y[i];
    }
    v.hdr.white_point_x = 15635;
    v.hdr.white_point_y = 16450;
    v.hdr.max_display_mastering_luminance = 10000000;
    v.hdr.min_display_mastering_luminance = 1;
    v.hdr.has_content_light_level = true;
    v.hdr.max_content_light_level = 1000;
    v.hdr.max_pic_average_light_level = 400;
    return f;
}

const char kInitSegment[] =
    "0000001c6674797069736f360000000069736f36636d6663687663310000031f6d6f6f760000006c6d76686400000000"
    "000000000000000000000019000000000001000001000000000000000000000000010000000000000000000000000000"
    "000100000000000000000000000000004000000000000000000000000000000000000000000000000000000000000002"
    "000002837472616b0000005c746b68640000000300000000000000000000000100000000000000000000000000000000"
    "000000000000000000010000000000000000000000000000000100000000000000000000000000004000000000400000"
    "004000000000021f6d646961000000206d646864000000000000000000000000000000190000000055c400000000002d"
    "68646c72000000000000000076696465000000000000000000000000566964656f48616e646c657200000001ca6d696e"
    "6600000014766d68640000000100000000000000000000002464696e660000001c647265660000000000000001000000"
    "0c75726c20000000010000018a7374626c0000013e7374736400000000000000010000012e6876633100000000000000"
    "010000000000000000000000000000000000400040004800000048000000000000000100000000000000000000000000"
    "000000000000000000000000000000000000000018ffff00000099687663430102200000009000000000001ef000fcfd"
    "fafa00000f04a00001001840010c01ffff02200000030090000003000003001e959409a10001002a4201010220000003"
    "0090000003000003001ea0208104d965654a4c2e6a1220120800001f4000030d4040a2000100064401c073c089a70001"
    "001e4e01891833c286c41d4c0bb884d03e803d1340420098968000000300018000000013636f6c726e636c7800090010"
    "0009000000000c636c6c6903e80190000000206d64637621349baa199608fc8a4839083d134042009896800000000100"
    "00001073747473000000000000000000000010737473630000000000000000000000147374737a000000000000000000"
    "000000000000107374636f0000000000000000000000286d766578000000207472657800000000000000010000000100"
    "0000010000000000000000";

struct Captured : mp4::FragmentConsumer {
    Bytes bytes;
    std::uint32_t samples = 0;
    void TakeFragment(const std::vector<mp4::ByteSpan>& pieces, std::uint32_t count) override {
        for (const mp4::ByteSpan& piece : pieces)
            bytes.insert(bytes.end(), piece.data, piece.data + piece.size);
        samples += count;
    }
};

const char kFragment[] =
    "000000886d6f6f66000000106d6668640000000000000001000000707472616600000010746668640002000000000001"
    "0000001474666474010000000000000000000000000000447472756e01000f0100000003000000900000000100000007"
    "020000000000000000000001000000070101000000000001000000010000000701010000ffffffff0000001d6d646174"
    "0000000326010a0000000302011200000003020112";

TEST(Mp4Bytes, InitSegment) {
    EXPECT_EQ(ToHex(mp4::MakeInitSegment(Hdr10Track())), kInitSegment);
}

// The second byte of the record: general_profile_space u(2),
// general_tier_flag u(1), general_profile_idc u(5) (ISO/IEC 14496-15
// 8.3.3.1.2), which the codec string also names ("hvc1.A2.4.H30.90").
TEST(Mp4Bytes, HvcCProfileByte) {
    mp4::HevcDecoderConfiguration c = Hdr10Track().config;
    c.general_profile_space = 1;
    c.general_tier_flag = 1;
    Bytes box;
    mp4::BoxWriter writer(box);
    mp4::WriteHvcC(writer, c);
    ASSERT_GT(box.size(), 9u);
    EXPECT_EQ(box[9], 0x62u); // after size, type and configurationVersion
    EXPECT_EQ(mp4::HevcCodecString("hvc1", c), "hvc1.A2.4.H30.90");
}

// An I picture, then a P picture decoded before the B picture shown ahead
// of it: presentation order 0, 2, 1. The NAL units of the first two samples
// stay where they are, in buffers that their samples keep once the caller
// has let them go; the third sample's is copied.
TEST(Mp4Bytes, FragmentOfThreeSamples) {
    mp4::FragmentLimits limits;
    limits.samples = 3;
    mp4::Fragmenter fragmenter(limits);
    Captured out;
    fragmenter.SetConsumer(&out);
    const std::int32_t offsets[3] = {0, 1, -1};
    for (int i = 0; i < 3; ++i) {
        mp4::SampleTimes times;
        times.decodeTime = static_cast<std::uint64_t>(i);
        times.duration = 1;
        times.compositionOffset = offsets[i];
        const std::shared_ptr<Bytes> unit =
            std::make_shared<Bytes>(FromHex(i == 0 ? "0000000126010a" : "000001020112"));
        const mp4::NalUnitSpan nal = mp4::NalUnitOf(unit->data(), unit->size());
        mp4::SampleData sample;
        if (i < 2)
            sample.Append(nal, unit);
        else
            sample.AppendCopy(nal);
        fragmenter.Add(sample, times, i == 0);
        EXPECT_EQ(sample.size(), 0u);
    }
    EXPECT_EQ(out.samples, 3u);
    EXPECT_EQ(ToHex(out.bytes), kFragment);
}

// The 'prft' box read back, as a resumed run reads the UTC time of a
// segment a crash left unlisted: each row's body is either the writer's
// (version 1, written from `utcMillis` and `mediaTime`) or given in hex (a
// version 0 box of another writer); it must give the row's time again.
struct PrftCase {
    const char* name;
    const char* bodyHex; // nullptr: the writer's
    std::int64_t utcMillis;
    std::uint64_t mediaTime;
};

const PrftCase kPrftCases[] = {
    {"a quarter second", nullptr, 1765202580250LL, 90000},
    {"the last millisecond of a second", nullptr, 1765202580999LL, 0},
    {"the first millisecond of a second", nullptr, 1765202581001LL, 0x123456789ALL},
    {"NTP era 1 (2040)", nullptr, 2208988800000LL + 5, 7},
    // 2025-12-08T14:03:00.250Z: NTP seconds 0xece15914, fraction 2^30.
    {"version 0 of another writer", "0000000000000001ece159144000000000015f90", 1765202580250LL, 90000},
};

TEST(Mp4Bytes, ProducerReferenceTimeReadBack) {
    for (const PrftCase& c : kPrftCases) {
        Bytes body;
        if (c.bodyHex) {
            body = FromHex(c.bodyHex);
        } else {
            Bytes box;
            mp4::AppendProducerReferenceTime(box, 1, c.utcMillis, c.mediaTime);
            ASSERT_EQ(box.size(), 32u) << c.name;
            body.assign(box.begin() + 8, box.end());
        }
        std::int64_t utc = 0;
        std::uint64_t mediaTime = 0;
        ASSERT_TRUE(mp4::ReadProducerReferenceTime(body.data(), body.size(), utc, mediaTime)) << c.name;
        EXPECT_EQ(utc, c.utcMillis) << c.name;
        EXPECT_EQ(mediaTime, c.mediaTime) << c.name;
        // Cut short, it says nothing.
        EXPECT_FALSE(mp4::ReadProducerReferenceTime(body.data(), body.size() - 1, utc, mediaTime)) << c.name;
    }
}

} // namespace
