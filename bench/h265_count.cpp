// One query run K times, for counting the instructions it executes under an
// emulator (scripts/count-instructions.sh). The difference between a run
// with K repetitions and one with none, divided by K and by the items of one
// repetition, is the count per query: start-up, reading the data and the
// first call (lazy binding) are the same in both runs and cancel out.
//
//   h265_count prepare DIR [STREAM [PACKETS]]
//                                     writes DIR/scan.bin, with a stream
//                                     DIR/stream.bin and DIR/units.txt, and
//                                     with its RTP packets DIR/packets.rtp
//   h265_count run DIR QUERY K        prints "items N" and "answer A"
//
// The data is made once by `prepare` (run without counting), so that the
// counted runs only read it. scan.bin is 1 MiB of the benchmark's random
// bytes without any start code; the stream is split into access units as
// bench/h265_bench does it.
//
// Queries (items per repetition):
//   scan/h265headers      GetNaluType over scan.bin (bytes)
//   scan/byte_loop        the literal rule over scan.bin (bytes)
//   scan/memchr           memchr for a byte scan.bin does not hold (bytes)
//   scan/ffmpeg           FFmpeg's HEVC parser over scan.bin (bytes), and
//   scan/gstreamer        GStreamer's search for a NAL unit in it (bytes):
//                         in builds against the peers (H265_BENCH_PEERS)
//   nalu_type/h265headers GetNaluType of every access unit (units)
//   parameter_sets/h265headers  HasParameterSets of the first (IDR) unit (1)
//   resolution/h265headers      GetResolution of the first unit (1)
//   slice_type/h265headers      ParseSliceType of every access unit, with the
//                               SPS and PPS of the first unit parsed (units)
//   depacketize/h265headers     the RTP packets through rtp::H265Depacketizer
//                               into access units (bytes of RTP packets): in
//                               builds with the tools (H265_COUNT_RTP)
//   depacketize/ffmpeg          the same packets through libavformat's SDP
//                               demuxer with custom I/O, av_read_frame giving
//                               access units (its RTP depacketizer, then its
//                               HEVC parser joining NAL units), and
//   depacketize/ffmpeg_noparse  the same with AVFMT_FLAG_NOPARSE: its RTP
//                               depacketizer alone, giving NAL units and
//                               pieces of them, not access units; in builds
//                               against the peers
//   depacketize/copy            each packet restamped and copied into a
//                               receive buffer, as the FFmpeg rows' read
//                               callback does beside FFmpeg's own work
//
// The packets (PACKETS: each after its 16-bit length, as GStreamer's
// rtpstreampay writes them) get a timestamp 3600 apart for each access unit
// (the marker bit ends one), and each repetition continues the sequence
// numbers and timestamps of the last, so that the receiver sees one long
// session without a loss.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <string>
#include <vector>

#include "BenchData.h"
#include "h265headers.h"

#if H265_BENCH_PEERS
#include "Peers.h"
extern "C" {
#include <libavformat/avformat.h>
}
#endif
#if H265_COUNT_RTP
#include "H265Depacketizer.h"
#endif

namespace {

using benchdata::Bytes;

const size_t kScanBytes = 1u << 20;

bool WriteFile(const std::string& path, const void* data, size_t size) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f)
        return false;
    const bool ok = std::fwrite(data, 1, size, f) == size;
    return std::fclose(f) == 0 && ok;
}

bool ReadFile(const std::string& path, Bytes* out) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f)
        return false;
    bool ok = std::fseek(f, 0, SEEK_END) == 0;
    const long size = ok ? std::ftell(f) : -1;
    ok = size >= 0 && std::fseek(f, 0, SEEK_SET) == 0;
    if (ok) {
        out->resize(static_cast<size_t>(size));
        ok = std::fread(out->data(), 1, out->size(), f) == out->size();
    }
    std::fclose(f);
    return ok;
}

int Prepare(const std::string& dir, const char* streamPath, const char* packetsPath) {
    const Bytes scan = benchdata::RandomBytes(kScanBytes, 1);
    if (benchdata::LiteralFindStartCode(scan.data(), 0, static_cast<long>(scan.size())) >= 0 ||
        !WriteFile(dir + "/scan.bin", scan.data(), scan.size()))
        return 2;
    if (!streamPath)
        return 0;
    Bytes stream;
    if (!ReadFile(streamPath, &stream) || !WriteFile(dir + "/stream.bin", stream.data(), stream.size()))
        return 2;
    std::string offsets;
    for (size_t start : benchdata::AccessUnitStarts(stream))
        offsets += std::to_string(start) + "\n";
    if (offsets.empty() || !WriteFile(dir + "/units.txt", offsets.data(), offsets.size()))
        return 2;
    Bytes packets;
    if (packetsPath &&
        (!ReadFile(packetsPath, &packets) || !WriteFile(dir + "/packets.rtp", packets.data(), packets.size())))
        return 2;
    return 0;
}

struct Unit {
    const unsigned char* data;
    int len;
};

// The access units of DIR/stream.bin, at the offsets of DIR/units.txt.
bool LoadUnits(const std::string& dir, Bytes* stream, std::vector<Unit>* units) {
    Bytes text;
    if (!ReadFile(dir + "/stream.bin", stream) || !ReadFile(dir + "/units.txt", &text))
        return false;
    text.push_back(0);
    std::vector<size_t> starts;
    for (const char* p = reinterpret_cast<const char*>(text.data()); *p;) {
        char* next;
        starts.push_back(std::strtoul(p, &next, 10));
        p = *next ? next + 1 : next;
    }
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t end = k + 1 < starts.size() ? starts[k + 1] : stream->size();
        units->push_back(Unit{stream->data() + starts[k], static_cast<int>(end - starts[k])});
    }
    return !units->empty();
}

// The RTP packets of DIR/packets.rtp, sent once per repetition.
struct Packets {
    Bytes data; // the file; each packet's header is restamped in place
    std::vector<size_t> at, size;
    std::vector<uint16_t> seq;
    std::vector<uint32_t> ts;
    long bytes = 0;    // of one pass, RTP headers included
    uint32_t span = 0; // the timestamps one pass takes
    long pass = 0;

    // Packet i with the sequence number and timestamp of this pass.
    const unsigned char* Stamp(size_t i) {
        unsigned char* p = &data[at[i]];
        const uint16_t q = static_cast<uint16_t>(seq[i] + pass * static_cast<long>(at.size()));
        const uint32_t t = ts[i] + static_cast<uint32_t>(pass) * span;
        p[2] = static_cast<unsigned char>(q >> 8);
        p[3] = static_cast<unsigned char>(q);
        p[4] = static_cast<unsigned char>(t >> 24);
        p[5] = static_cast<unsigned char>(t >> 16);
        p[6] = static_cast<unsigned char>(t >> 8);
        p[7] = static_cast<unsigned char>(t);
        return p;
    }
};

bool LoadPackets(const std::string& dir, Packets* p) {
    if (!ReadFile(dir + "/packets.rtp", &p->data))
        return false;
    uint32_t units = 0;
    for (size_t i = 0; i + 2 <= p->data.size();) {
        const size_t len = p->data[i] * 256u + p->data[i + 1];
        if (len < 12 || i + 2 + len > p->data.size())
            return false;
        const unsigned char* h = &p->data[i + 2];
        p->at.push_back(i + 2);
        p->size.push_back(len);
        p->seq.push_back(static_cast<uint16_t>(h[2] << 8 | h[3]));
        p->ts.push_back(units * 3600);
        p->bytes += static_cast<long>(len);
        units += h[1] >> 7;
        i += 2 + len;
    }
    p->span = units * 3600;
    return units > 0;
}

#if H265_COUNT_RTP
struct UnitBytes : rtp::AccessUnitSink {
    long bytes = 0;
    void OnAccessUnit(const rtp::AccessUnit& unit) override { bytes += static_cast<long>(unit.size); }
};
#endif

#if H265_BENCH_PEERS
// FFmpeg's RTP receiver through its public API: the SDP demuxer with
// sdp_flags=custom_io reads the SDP from the context's AVIOContext, then
// takes each read of it as one RTP packet (and writes its receiver reports
// to it). The SDP comes from a reader of its own; the packets from a reader
// that gives one per call and, at the end of a pass, EAGAIN, which
// av_read_frame hands back without flushing anything.
struct AvRtp {
    AVFormatContext* format = 0;
    AVIOContext* sdpIo = 0;
    AVIOContext* rtpIo = 0;
    AVPacket* packet = av_packet_alloc();
    Packets* packets = 0;
    size_t next = 0;
    std::string sdp = "v=0\r\no=- 0 0 IN IP4 127.0.0.1\r\ns=-\r\nc=IN IP4 127.0.0.1\r\nt=0 0\r\n"
                      "m=video 5004 RTP/AVP 96\r\na=rtpmap:96 H265/90000\r\n";
    size_t sdpRead = 0;

    static int ReadSdp(void* opaque, uint8_t* buf, int size) {
        AvRtp& r = *static_cast<AvRtp*>(opaque);
        const size_t n = std::min(r.sdp.size() - r.sdpRead, static_cast<size_t>(size));
        std::memcpy(buf, r.sdp.data() + r.sdpRead, n);
        r.sdpRead += n;
        return n ? static_cast<int>(n) : AVERROR_EOF;
    }
    static int ReadRtp(void* opaque, uint8_t* buf, int size) {
        AvRtp& r = *static_cast<AvRtp*>(opaque);
        if (r.next == r.packets->at.size())
            return AVERROR(EAGAIN);
        const size_t i = r.next++;
        const size_t n = std::min(r.packets->size[i], static_cast<size_t>(size));
        std::memcpy(buf, r.packets->Stamp(i), n);
        return static_cast<int>(n);
    }
    static int Discard(void*, uint8_t*, int size) { return size; }

    bool Open(Packets* p, bool parse) {
        packets = p;
        sdpIo = avio_alloc_context(static_cast<unsigned char*>(av_malloc(4096)), 4096, 0, this, ReadSdp, 0, 0);
        rtpIo = avio_alloc_context(static_cast<unsigned char*>(av_malloc(4096)), 4096, 1, this, ReadRtp, Discard, 0);
        format = avformat_alloc_context();
        format->pb = sdpIo;
        format->flags |= AVFMT_FLAG_CUSTOM_IO | (parse ? 0 : AVFMT_FLAG_NOPARSE | AVFMT_FLAG_NOFILLIN);
        AVDictionary* options = 0;
        av_dict_set(&options, "sdp_flags", "custom_io", 0);
        const int status = avformat_open_input(&format, "packets.sdp", av_find_input_format("sdp"), &options);
        av_dict_free(&options);
        if (status < 0)
            return false;
        format->pb = rtpIo;
        return true;
    }
    ~AvRtp() {
        avformat_close_input(&format);
        for (AVIOContext** io : {&sdpIo, &rtpIo}) {
            if (*io)
                av_freep(&(*io)->buffer);
            avio_context_free(io);
        }
        av_packet_free(&packet);
    }
    // One pass of the packets: the bytes of what av_read_frame gives.
    long Pass() {
        next = 0;
        long bytes = 0;
        int status;
        while ((status = av_read_frame(format, packet)) >= 0) {
            bytes += packet->size;
            av_packet_unref(packet);
        }
        return status == AVERROR(EAGAIN) ? bytes : -1;
    }
};
#endif

// What a query reads and works with.
struct Context {
    const unsigned char* bytes; // scan.bin
    int len;
    std::vector<Unit> units;
    IVideoHeaderParser* header;
    IH265Parser* parser;
    Packets packets;
    Bytes receive; // depacketize/copy's receive buffer
#if H265_COUNT_RTP
    rtp::H265Depacketizer* depacketizer;
    UnitBytes* unitBytes;
#endif
#if H265_BENCH_PEERS
    peers::Av* av;
    peers::Gst* gst;
    AvRtp* avRtp;
#endif
};

// One repetition of each query; the answers are summed, so that nothing is
// optimised away and every repetition can be checked against the first.
long ScanOurs(Context& c) { return c.header->GetNaluType(c.bytes, c.len); }
long ScanByteLoop(Context& c) { return benchdata::LiteralFindStartCode(c.bytes, 0, c.len); }
long ScanMemchr(Context& c) { return std::memchr(c.bytes, benchdata::kAbsentByte, static_cast<size_t>(c.len)) != 0; }
#if H265_BENCH_PEERS
long ScanFfmpeg(Context& c) { return c.av->Parse(benchdata::Span{c.bytes, static_cast<size_t>(c.len)}); }
long ScanGstreamer(Context& c) { return c.gst->FirstNal(benchdata::Span{c.bytes, static_cast<size_t>(c.len)}); }
#endif
long NaluTypes(Context& c) {
    long sum = 0;
    for (const Unit& u : c.units)
        sum += c.header->GetNaluType(u.data, u.len);
    return sum;
}
long ParameterSets(Context& c) { return c.header->HasParameterSets(c.units[0].data, c.units[0].len); }
long Resolution(Context& c) {
    int width = 0, height = 0;
    c.header->GetResolution(c.units[0].data, c.units[0].len, &width, &height);
    return width * 65536L + height;
}
long SliceTypes(Context& c) {
    long sum = 0;
    for (const Unit& u : c.units) {
        int type = -1;
        bool firstSlice = false;
        sum += c.parser->ParseSliceType(u.data, static_cast<unsigned int>(u.len), &type, &firstSlice) ? type : -100;
    }
    return sum;
}

// One pass of the packets each; the answer is the bytes of the access units
// (or NAL units) given, the same in every pass after the first.
long DepacketizeCopy(Context& c) {
    long sum = 0;
    for (size_t i = 0; i < c.packets.at.size(); ++i) {
        std::memcpy(c.receive.data(), c.packets.Stamp(i), c.packets.size[i]);
        sum += c.receive[c.packets.size[i] - 1];
    }
    ++c.packets.pass;
    return sum;
}
#if H265_COUNT_RTP
long DepacketizeOurs(Context& c) {
    const long before = c.unitBytes->bytes;
    for (size_t i = 0; i < c.packets.at.size(); ++i)
        c.depacketizer->Push(c.packets.Stamp(i), c.packets.size[i]);
    ++c.packets.pass;
    return c.unitBytes->bytes - before;
}
#endif
#if H265_BENCH_PEERS
long DepacketizeFfmpeg(Context& c) {
    const long bytes = c.avRtp->Pass();
    ++c.packets.pass;
    return bytes;
}
#endif

enum Items { kBytes, kUnits, kOne, kPacketBytes };

struct Query {
    const char* name;
    long (*once)(Context&);
    Items items;
};

const Query kQueries[] = {
    {"scan/h265headers", ScanOurs, kBytes},
    {"scan/byte_loop", ScanByteLoop, kBytes},
    {"scan/memchr", ScanMemchr, kBytes},
#if H265_BENCH_PEERS
    {"scan/ffmpeg", ScanFfmpeg, kBytes},
    {"scan/gstreamer", ScanGstreamer, kBytes},
#endif
    {"nalu_type/h265headers", NaluTypes, kUnits},
    {"parameter_sets/h265headers", ParameterSets, kOne},
    {"resolution/h265headers", Resolution, kOne},
    {"slice_type/h265headers", SliceTypes, kUnits},
    {"depacketize/copy", DepacketizeCopy, kPacketBytes},
#if H265_COUNT_RTP
    {"depacketize/h265headers", DepacketizeOurs, kPacketBytes},
#endif
#if H265_BENCH_PEERS
    {"depacketize/ffmpeg", DepacketizeFfmpeg, kPacketBytes},
    {"depacketize/ffmpeg_noparse", DepacketizeFfmpeg, kPacketBytes},
#endif
};

int Run(const std::string& dir, const std::string& name, long reps) {
    const Query* query = 0;
    for (const Query& q : kQueries) {
        if (name == q.name)
            query = &q;
    }
    if (!query) {
        std::fprintf(stderr, "h265_count: unknown query %s\n", name.c_str());
        return 2;
    }
    Bytes scan, stream;
    Context c;
    const bool loaded = query->items == kBytes        ? ReadFile(dir + "/scan.bin", &scan)
                        : query->items == kPacketBytes ? LoadPackets(dir, &c.packets)
                                                       : LoadUnits(dir, &stream, &c.units);
    if (!loaded) {
        std::fprintf(stderr, "h265_count: no data in %s (run prepare first)\n", dir.c_str());
        return 2;
    }
    c.bytes = scan.data();
    c.len = static_cast<int>(scan.size());
    c.header = CreateH265HeaderParser();
    c.parser = CreateH265Parser();
#if H265_BENCH_PEERS
    // The codec parsers need no plugins: no registry, so no helper process
    // (a binary of the target) is started to scan for them.
    g_setenv("GST_REGISTRY_DISABLE", "yes", TRUE);
    gst_init(0, 0);
    av_log_set_level(AV_LOG_QUIET);
    peers::Av av;
    peers::Gst gst;
    c.av = &av;
    c.gst = &gst;
    AvRtp avRtp;
    c.avRtp = &avRtp;
    if (query->once == DepacketizeFfmpeg && !avRtp.Open(&c.packets, name == "depacketize/ffmpeg")) {
        std::fprintf(stderr, "h265_count: FFmpeg does not open the SDP\n");
        return 2;
    }
#endif
    c.receive.resize(65536);
#if H265_COUNT_RTP
    UnitBytes unitBytes;
    rtp::H265Depacketizer depacketizer(unitBytes, rtp::DepacketizerOptions());
    c.unitBytes = &unitBytes;
    c.depacketizer = &depacketizer;
#endif
    if (query->once == SliceTypes) {
        c.parser->ParseSPS(c.units[0].data, static_cast<unsigned int>(c.units[0].len));
        c.parser->ParsePPS(c.units[0].data, static_cast<unsigned int>(c.units[0].len));
    }
    // Once in both runs, so that first-call work (lazy binding) cancels out;
    // a scan on a short prefix, which does all of that work too, and a first
    // pass of the packets, which also waits for the first IRAP picture.
    c.len = query->items == kBytes ? 4096 : c.len;
    query->once(c);
    c.len = static_cast<int>(scan.size());
    const long answer = reps > 0 ? query->once(c) : 0;
    int status = 0;
    for (long k = 1; k < reps; ++k) {
        if (query->once(c) != answer)
            status = 3;
    }
    const long items = query->items == kBytes         ? c.len
                       : query->items == kUnits       ? static_cast<long>(c.units.size())
                       : query->items == kPacketBytes ? c.packets.bytes
                                                      : 1;
    std::printf("items %ld\nanswer %ld\n", items, answer);
    ReleaseVideoHeaderParser(&c.header);
    ReleaseH265Parser(&c.parser);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "prepare") == 0)
        return Prepare(argv[2], argc >= 4 ? argv[3] : 0, argc >= 5 ? argv[4] : 0);
    if (argc == 5 && std::strcmp(argv[1], "run") == 0)
        return Run(argv[2], argv[3], std::atol(argv[4]));
    std::fprintf(stderr, "usage: h265_count prepare DIR [STREAM [PACKETS]] | h265_count run DIR QUERY K\n");
    return 2;
}
