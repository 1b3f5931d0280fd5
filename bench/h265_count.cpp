// One query run K times, for counting the instructions it executes under an
// emulator (scripts/count-instructions.sh). The difference between a run
// with K repetitions and one with none, divided by K and by the items of one
// repetition, is the count per query: start-up, reading the data and the
// first call (lazy binding) are the same in both runs and cancel out.
//
//   h265_count prepare DIR [STREAM]   writes DIR/scan.bin, and with a stream
//                                     DIR/stream.bin and DIR/units.txt
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
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "BenchData.h"
#include "h265headers.h"

#if H265_BENCH_PEERS
#include "Peers.h"
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

int Prepare(const std::string& dir, const char* streamPath) {
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
    return offsets.empty() || !WriteFile(dir + "/units.txt", offsets.data(), offsets.size()) ? 2 : 0;
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

// What a query reads and works with.
struct Context {
    const unsigned char* bytes; // scan.bin
    int len;
    std::vector<Unit> units;
    IVideoHeaderParser* header;
    IH265Parser* parser;
#if H265_BENCH_PEERS
    peers::Av* av;
    peers::Gst* gst;
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

enum Items { kBytes, kUnits, kOne };

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
    if (query->items == kBytes ? !ReadFile(dir + "/scan.bin", &scan) : !LoadUnits(dir, &stream, &c.units)) {
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
#endif
    if (query->once == SliceTypes) {
        c.parser->ParseSPS(c.units[0].data, static_cast<unsigned int>(c.units[0].len));
        c.parser->ParsePPS(c.units[0].data, static_cast<unsigned int>(c.units[0].len));
    }
    // Once in both runs, so that first-call work (lazy binding) cancels out;
    // a scan on a short prefix, which does all of that work too.
    c.len = query->items == kBytes ? 4096 : c.len;
    query->once(c);
    c.len = static_cast<int>(scan.size());
    const long answer = reps > 0 ? query->once(c) : 0;
    int status = 0;
    for (long k = 1; k < reps; ++k) {
        if (query->once(c) != answer)
            status = 3;
    }
    const long items = query->items == kBytes ? c.len : query->items == kUnits ? static_cast<long>(c.units.size()) : 1;
    std::printf("items %ld\nanswer %ld\n", items, answer);
    ReleaseVideoHeaderParser(&c.header);
    ReleaseH265Parser(&c.parser);
    return status;
}

} // namespace

int main(int argc, char** argv) {
    if (argc >= 3 && std::strcmp(argv[1], "prepare") == 0)
        return Prepare(argv[2], argc >= 4 ? argv[3] : 0);
    if (argc == 5 && std::strcmp(argv[1], "run") == 0)
        return Run(argv[2], argv[3], std::atol(argv[4]));
    std::fprintf(stderr, "usage: h265_count prepare DIR [STREAM] | h265_count run DIR QUERY K\n");
    return 2;
}
