// The H.265 media of a DESCRIBE answer's SDP: a real one from GStreamer's
// RTSP server, then variants of it, one difference each.
#include "Sdp.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

namespace {

// As GStreamer's RTSP server (rtph265pay, x265 stream) described it, with
// Content-Base rtsp://127.0.0.1:18554/test/.
const char kGStreamerSdp[] =
    "v=0\r\n"
    "o=- 2175495421858296281 1 IN IP4 127.0.0.1\r\n"
    "s=Session streamed with GStreamer\r\n"
    "i=rtsp-server\r\n"
    "t=0 0\r\n"
    "a=tool:GStreamer\r\n"
    "a=type:broadcast\r\n"
    "a=control:*\r\n"
    "a=range:npt=now-\r\n"
    "m=video 0 RTP/AVP 96\r\n"
    "c=IN IP4 0.0.0.0\r\n"
    "a=rtpmap:96 H265/90000\r\n"
    "a=framerate:25\r\n"
    "a=fmtp:96 sprop-vps=QAEMAf//AWAAAAMAkAAAAwAAAwA8lZQJ;sprop-sps=QgEBAWAAAAMAkAAAAwAAAwA8oBggIFllZUpMLgEAAAMD6AAAYagI;"
    "sprop-pps=RAHAc8GJ\r\n"
    "a=control:stream=0\r\n"
    "a=ts-refclk:local\r\n"
    "a=mediaclk:sender\r\n"
    "a=ssrc:3288722499 cname:user657833372@host-74647217\r\n";

const char kBase[] = "rtsp://127.0.0.1:18554/test/";

TEST(Sdp, GStreamerServer) {
    rtsp::H265Media media;
    std::string error;
    ASSERT_TRUE(rtsp::ParseSdp(kGStreamerSdp, sizeof kGStreamerSdp - 1, kBase, media, error)) << error;
    EXPECT_EQ(media.payloadType, 96);
    EXPECT_EQ(media.control, "rtsp://127.0.0.1:18554/test/stream=0");
    EXPECT_EQ(media.aggregateControl, "rtsp://127.0.0.1:18554/test/");
    ASSERT_EQ(media.vps.size(), 1u);
    ASSERT_EQ(media.sps.size(), 1u);
    ASSERT_EQ(media.pps.size(), 1u);
    EXPECT_TRUE(media.sei.empty());
    // NAL unit headers (7.3.1.2): VPS_NUT 32, SPS_NUT 33, PPS_NUT 34; sizes
    // as the base64 text gives them.
    EXPECT_EQ(media.vps[0].size(), 24u);
    EXPECT_EQ(media.vps[0][0] >> 1, 32);
    EXPECT_EQ(media.sps[0][0] >> 1, 33);
    EXPECT_EQ(media.sps[0].size(), 39u);
    EXPECT_EQ(media.pps[0], (std::vector<std::uint8_t>{0x44, 0x01, 0xC0, 0x73, 0xC1, 0x89}));
    EXPECT_EQ(media.maxDonDiff, 0u);
}

struct VariantCase {
    const char* name;
    const char* from;  // text of the GStreamer SDP replaced
    const char* to;
    bool ok;
    const char* expect;  // the control URL, or the error's beginning
    const char* sets;       // when read: how many VPS/SPS/PPS are kept
    const char* truncated;  // and those left out, joined by "; "
};

const VariantCase kVariants[] = {
    {"LF line ends", "\r\n", "\n", true, "rtsp://127.0.0.1:18554/test/stream=0", "1/1/1", ""},
    {"lower-case codec name (RFC 4566 6: case-insensitive)", "H265/90000", "h265/90000", true,
     "rtsp://127.0.0.1:18554/test/stream=0", "1/1/1", ""},
    {"absolute control", "a=control:stream=0", "a=control:rtsp://cam/t1", true, "rtsp://cam/t1", "1/1/1", ""},
    {"no media control: the base", "a=control:stream=0", "a=x:y", true, kBase, "1/1/1", ""},
    {"an audio media first with its own H265 rtpmap", "m=video 0 RTP/AVP 96",
     "m=audio 0 RTP/AVP 96\r\na=control:audio\r\nm=video 0 RTP/AVP 96", true, "rtsp://127.0.0.1:18554/test/stream=0", "1/1/1", ""},
    {"H.264 first, H.265 in the second video", "m=video 0 RTP/AVP 96",
     "m=video 0 RTP/AVP 97\r\na=rtpmap:97 H264/90000\r\na=control:v0\r\nm=video 0 RTP/AVP 96", true,
     "rtsp://127.0.0.1:18554/test/stream=0", "1/1/1", ""},
    {"DON parameters", "sprop-pps=RAHAc8GJ", "sprop-pps=RAHAc8GJ; sprop-max-don-diff=2;sprop-depack-buf-nalus=5", true,
     "rtsp://127.0.0.1:18554/test/stream=0", "1/1/1", ""},
    {"payload type not among the formats", "m=video 0 RTP/AVP 96", "m=video 0 RTP/AVP 97", false,
     "no video media of the SDP is H265/90000", "1/1/1", ""},
    {"H.264 only", "H265/90000", "H264/90000", false, "no video media of the SDP is H265/90000 (it offers H264/90000)", "1/1/1", ""},
    {"another clock rate", "H265/90000", "H265/48000", false, "no video media", "1/1/1", ""},
    {"no video", "m=video", "m=audio", false, "the SDP has no video media", "1/1/1", ""},
    {"sprop-sps not base64", "sprop-sps=QgEB", "sprop-sps=Qg!B", false, "sprop-sps is not a list", "1/1/1", ""},
    {"sprop-vps of one byte", "sprop-vps=QAEMAf//AWAAAAMAkAAAAwAAAwA8lZQJ", "sprop-vps=QA==", false,
     "sprop-vps is not a list", "1/1/1", ""},
    {"max-don-diff out of range", "sprop-pps=RAHAc8GJ", "sprop-pps=RAHAc8GJ;sprop-max-don-diff=32768", false,
     "sprop-max-don-diff is not a number", "1/1/1", ""},
    {"an SPS cut short, ending in zeros", "sprop-sps=QgEBAWAAAAMAkAAAAwAAAwA8oBggIFllZUpMLgEAAAMD6AAAYagI",
     "sprop-sps=QgEBAWAAAAMAkAAAAwAAAwA8oBggIFllZUpMLgEAAAMD6AAA", true, "rtsp://127.0.0.1:18554/test/stream=0", "1/0/1",
     "sprop-sps 1 (36 bytes)"},
    {"an SPS cut inside an emulation prevention sequence",
     "sprop-sps=QgEBAWAAAAMAkAAAAwAAAwA8oBggIFllZUpMLgEAAAMD6AAAYagI",
     "sprop-sps=QgEBAWAAAAMAkAAAAwAAAwA8oBggIFllZUpMLgEAAAM=", true, "rtsp://127.0.0.1:18554/test/stream=0", "1/0/1",
     "sprop-sps 1 (32 bytes)"},
    {"a VPS shorter than its profile_tier_level", "sprop-vps=QAEMAf//AWAAAAMAkAAAAwAAAwA8lZQJ", "sprop-vps=QAEMAf//AWAAAAMA",
     true, "rtsp://127.0.0.1:18554/test/stream=0", "0/1/1", "sprop-vps 1 (12 bytes)"},
    {"a whole PPS and one of its header alone", "sprop-pps=RAHAc8GJ", "sprop-pps=RAHAc8GJ,RAE=", true,
     "rtsp://127.0.0.1:18554/test/stream=0", "1/1/1", "sprop-pps 2 (2 bytes)"},
};

TEST(Sdp, Variants) {
    for (const VariantCase& c : kVariants) {
        SCOPED_TRACE(c.name);
        std::string sdp = kGStreamerSdp;
        for (std::size_t at = sdp.find(c.from); at != std::string::npos; at = sdp.find(c.from, at + std::strlen(c.to)))
            sdp.replace(at, std::strlen(c.from), c.to);
        rtsp::H265Media media;
        std::string error;
        // Exactly the SDP's bytes, no NUL after them.
        const std::vector<char> bytes(sdp.begin(), sdp.end());
        ASSERT_EQ(rtsp::ParseSdp(bytes.data(), bytes.size(), kBase, media, error), c.ok) << error;
        if (c.ok) {
            EXPECT_EQ(media.control, c.expect);
            EXPECT_EQ(std::to_string(media.vps.size()) + "/" + std::to_string(media.sps.size()) + "/" +
                          std::to_string(media.pps.size()),
                      c.sets);
            std::string truncated;
            for (const std::string& set : media.truncated)
                truncated += (truncated.empty() ? "" : "; ") + set;
            EXPECT_EQ(truncated, c.truncated);
        } else
            EXPECT_EQ(error.compare(0, std::strlen(c.expect), c.expect), 0) << error;
    }
    rtsp::H265Media media;
    std::string error;
    std::string sdp = kGStreamerSdp;
    sdp.replace(sdp.find("sprop-pps=RAHAc8GJ"), 18, "sprop-pps=RAHAc8GJ,RAHAc8GJ; sprop-max-don-diff=2;sprop-depack-buf-nalus=5");
    ASSERT_TRUE(rtsp::ParseSdp(sdp.data(), sdp.size(), kBase, media, error));
    EXPECT_EQ(media.pps.size(), 2u);
    EXPECT_EQ(media.maxDonDiff, 2u);
    EXPECT_EQ(media.depackBufNalus, 5u);
}

}  // namespace
