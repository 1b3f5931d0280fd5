// The library's queries against GStreamer's codecparsers and FFmpeg's public
// parser, every library given the same buffers:
//
//   scan_no_start_code  8 MiB of random bytes whose only start code lies near the end
//   scan_every_1500     8 MiB of random bytes with a start code every ~1500 bytes
//   nalu_type           the first NAL unit of every access unit of a stream
//   resolution          the picture size from the first access unit
//   parameter_sets      VPS, SPS and PPS before the first picture of that unit
//   slice_type          the picture type of every access unit, SPS and PPS known
//
// Random bytes never hold kAbsentByte, so memchr for it reads the whole
// buffer: the ceiling of any scan. The literal byte loop is the scanner's rule
// written out. Before anything is timed, the answers of all libraries are
// compared; a disagreement ends the program with status 2.
//
//   h265_bench [--stream=FILE] [Google Benchmark flags]
//   valgrind --tool=callgrind h265_bench --callgrind=N [--stream=FILE]
//
// The second form runs each query N times (once for the 8 MiB scans) between
// callgrind client requests and dumps one profile per query, named
// "<query>/<library>/<calls>".
#include <benchmark/benchmark.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "BenchData.h"
#include "ReferenceRules.h"
#include "h265headers.h"

#if H265_BENCH_PEERS
#include "Peers.h"
#endif

#if H265_BENCH_CALLGRIND
#include <valgrind/callgrind.h>
#endif

namespace {

using benchdata::Bytes;
using benchdata::LiteralFindStartCode;
using benchdata::PutStartCode;
using benchdata::Random;
using benchdata::RandomBytes;
using benchdata::kAbsentByte;

const size_t kScanSize = 8u << 20;

using benchdata::Span;

std::vector<Span> SplitAccessUnits(const Bytes& s) {
    const std::vector<size_t> starts = benchdata::AccessUnitStarts(s);
    std::vector<Span> units;
    for (size_t k = 0; k < starts.size(); ++k) {
        const size_t end = k + 1 < starts.size() ? starts[k + 1] : s.size();
        units.push_back(Span{&s[starts[k]], end - starts[k]});
    }
    return units;
}

struct Buffers {
    Bytes noStartCode;   // one start code, kNearEnd bytes before the end
    Bytes every1500;     // start codes 1400..1600 bytes apart
    long every1500Count; // start codes in it, by the literal rule
    Bytes stream;
    std::vector<Span> units;
};

const size_t kNearEnd = 4096;

void MakeScanBuffers(Buffers& b) {
    b.noStartCode = RandomBytes(kScanSize, 1);
    PutStartCode(b.noStartCode, kScanSize - kNearEnd, 3);
    b.every1500 = RandomBytes(kScanSize, 2);
    Random rng(3);
    int length = 4;
    for (size_t pos = 1000; pos + 16 < kScanSize; pos += 1400 + rng.Next() % 201) {
        PutStartCode(b.every1500, pos, length);
        length = 7 - length;
    }
    b.every1500Count = 0;
    for (long i = LiteralFindStartCode(b.every1500.data(), 0, static_cast<long>(kScanSize)); i >= 0;
         i = LiteralFindStartCode(b.every1500.data(), i + 3, static_cast<long>(kScanSize)))
        ++b.every1500Count;
}

// ---------------------------------------------------------------------------
// The queries of each library. Every function returns a value derived from
// the answer, so that nothing can be optimised away and answers can be compared.

struct Ours {
    IVideoHeaderParser* header;
    IH265Parser* parser; // SPS and PPS of the first access unit parsed
    Ours() : header(CreateH265HeaderParser()), parser(CreateH265Parser()) {}
    ~Ours() {
        ReleaseVideoHeaderParser(&header);
        ReleaseH265Parser(&parser);
    }
    int FirstType(Span s) { return header->GetNaluType(s.data, s.len()); }
    int HasParameterSets(Span s) { return header->HasParameterSets(s.data, s.len()) ? 1 : 0; }
    int Resolution(Span s) {
        int width = 0, height = 0;
        header->GetResolution(s.data, s.len(), &width, &height);
        return width * 65536 + height;
    }
    int SliceType(Span s) {
        int type = -1;
        bool first = false;
        if (!parser->ParseSliceType(s.data, static_cast<unsigned int>(s.size), &type, &first))
            return -1;
        return type;
    }
};

#if H265_BENCH_PEERS
using peers::Av;
using peers::Gst;

int CodeOfNalUnitType(int t) {
    return t < 0 ? -1 : ReferenceNaluTypeCode(t);
}
#endif

// ---------------------------------------------------------------------------
// Registration: one entry per query and library, usable both as a Google
// Benchmark and as a callgrind count.

struct Entry {
    std::string name;
    std::function<void(benchmark::State&)> bench;
    std::function<void(size_t)> count; // runs the query that many times
    bool scan;
};

std::vector<Entry>& Entries() {
    static std::vector<Entry> entries;
    return entries;
}

// `query(i)` answers for item i of `items` (1 for a single buffer); each
// iteration is one query, cycling through the items. `bytes` per query are
// reported as throughput for the scans.
template <typename Query> void Add(const std::string& name, size_t items, size_t bytes, Query query) {
    Entry e;
    e.name = name;
    e.scan = bytes != 0;
    e.bench = [=](benchmark::State& state) {
        size_t i = 0;
        for (auto _ : state) {
            benchmark::DoNotOptimize(query(i));
            if (++i == items)
                i = 0;
        }
        if (bytes)
            state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(bytes));
    };
    e.count = [=](size_t calls) {
        size_t i = 0;
        for (size_t k = 0; k < calls; ++k) {
            benchmark::DoNotOptimize(query(i));
            if (++i == items)
                i = 0;
        }
    };
    Entries().push_back(e);
}

int failures = 0;

void Expect(bool ok, const std::string& what) {
    if (!ok) {
        std::fprintf(stderr, "h265_bench: answers differ: %s\n", what.c_str());
        ++failures;
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string streamPath;
    long callgrindCalls = 0;
    std::vector<char*> rest;
    for (int i = 0; i < argc; ++i) {
        if (std::strncmp(argv[i], "--stream=", 9) == 0)
            streamPath = argv[i] + 9;
        else if (std::strncmp(argv[i], "--callgrind=", 12) == 0)
            callgrindCalls = std::atol(argv[i] + 12);
        else
            rest.push_back(argv[i]);
    }

    static Buffers b;
    MakeScanBuffers(b);
    if (!streamPath.empty()) {
        std::ifstream in(streamPath.c_str(), std::ios::binary);
        b.stream.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        b.units = SplitAccessUnits(b.stream);
        if (b.units.empty()) {
            std::fprintf(stderr, "h265_bench: no access unit in %s\n", streamPath.c_str());
            return 2;
        }
    }
    const Span noStart{b.noStartCode.data(), b.noStartCode.size()};
    const Span every{b.every1500.data(), b.every1500.size()};
    const size_t unitCount = b.units.size();
    const std::vector<Span>& units = b.units;

    static Ours ours;
#if H265_BENCH_PEERS
    gst_init(0, 0);
    av_log_set_level(AV_LOG_QUIET);
    static Gst gst;
    static Av av;
#endif

    // --- agreement -------------------------------------------------------
    const long nearEnd = static_cast<long>(kScanSize - kNearEnd);
    Expect(LiteralFindStartCode(noStart.data, 0, noStart.len()) == nearEnd, "literal scan of scan_no_start_code");
    Expect(ours.FirstType(noStart) == NALU_TYPE_OTHER, "h265headers on scan_no_start_code");
    Expect(ours.HasParameterSets(every) == 0, "h265headers on scan_every_1500");
#if H265_BENCH_PEERS
    Expect(gst.FirstNal(noStart) == nearEnd + 3, "gstreamer on scan_no_start_code");
    Expect(gst.CountNalUnits(every) == b.every1500Count, "gstreamer on scan_every_1500");
#endif
    if (unitCount) {
        const Span first = units[0];
        ours.parser->ParseSPS(first.data, static_cast<unsigned int>(first.size));
        ours.parser->ParsePPS(first.data, static_cast<unsigned int>(first.size));
        Expect(ours.HasParameterSets(first) == 1, "h265headers: parameter sets in the first access unit");
#if H265_BENCH_PEERS
        gst.ParseParameterSets(first);
        Expect(gst.HasParameterSets(first) == 1, "gstreamer: parameter sets in the first access unit");
        Expect(ours.Resolution(first) == gst.Resolution(first), "resolution: h265headers / gstreamer");
        Expect(ours.Resolution(first) == av.Resolution(first), "resolution: h265headers / ffmpeg");
        for (size_t i = 0; i < unitCount; ++i) {
            const std::string at = " of access unit " + std::to_string(i);
            Expect(ours.FirstType(units[i]) == CodeOfNalUnitType(gst.FirstType(units[i])), "first NAL unit" + at);
            const int type = ours.SliceType(units[i]);
            Expect(type == gst.SliceType(units[i]), "picture type (gstreamer)" + at);
            Expect(type == av.SliceType(units[i]), "picture type (ffmpeg)" + at);
        }
#endif
        int width = 0, height = 0;
        ours.header->GetResolution(first.data, first.len(), &width, &height);
        std::printf("stream: %s, %zu access units, %d x %d, first unit %zu bytes\n", streamPath.c_str(), unitCount,
                    width, height, first.size);
    }
    std::printf("scan buffers: %zu bytes; scan_every_1500 holds %ld start codes\n", kScanSize, b.every1500Count);
    if (failures)
        return 2;

    // --- queries -----------------------------------------------------------
    const size_t scanBytes = kScanSize;
    Add("scan_no_start_code/h265headers", 1, scanBytes, [=](size_t) { return ours.FirstType(noStart); });
#if H265_BENCH_PEERS
    Add("scan_no_start_code/gstreamer", 1, scanBytes, [=](size_t) { return gst.FirstNal(noStart); });
    Add("scan_no_start_code/ffmpeg", 1, scanBytes, [=](size_t) { return av.Parse(noStart); });
#endif
    Add("scan_no_start_code/memchr", 1, scanBytes,
        [=](size_t) { return std::memchr(noStart.data, kAbsentByte, noStart.size) != 0; });
    Add("scan_no_start_code/byte_loop", 1, scanBytes,
        [=](size_t) { return LiteralFindStartCode(noStart.data, 0, noStart.len()); });

    Add("scan_every_1500/h265headers", 1, scanBytes, [=](size_t) { return ours.HasParameterSets(every); });
#if H265_BENCH_PEERS
    Add("scan_every_1500/gstreamer", 1, scanBytes, [=](size_t) { return gst.CountNalUnits(every); });
    Add("scan_every_1500/ffmpeg", 1, scanBytes, [=](size_t) { return av.Parse(every); });
#endif
    Add("scan_every_1500/memchr", 1, scanBytes,
        [=](size_t) { return std::memchr(every.data, kAbsentByte, every.size) != 0; });
    Add("scan_every_1500/byte_loop", 1, scanBytes, [=](size_t) {
        long count = 0;
        for (long i = LiteralFindStartCode(every.data, 0, every.len()); i >= 0;
             i = LiteralFindStartCode(every.data, i + 3, every.len()))
            ++count;
        return count;
    });

    if (unitCount) {
        const Span first = units[0];
        Add("nalu_type/h265headers", unitCount, 0, [=](size_t i) { return ours.FirstType(units[i]); });
        Add("resolution/h265headers", 1, 0, [=](size_t) { return ours.Resolution(first); });
        Add("parameter_sets/h265headers", 1, 0, [=](size_t) { return ours.HasParameterSets(first); });
        Add("slice_type/h265headers", unitCount, 0, [=](size_t i) { return ours.SliceType(units[i]); });
#if H265_BENCH_PEERS
        Add("nalu_type/gstreamer", unitCount, 0, [=](size_t i) { return gst.FirstType(units[i]); });
        Add("resolution/gstreamer", 1, 0, [=](size_t) { return gst.Resolution(first); });
        Add("parameter_sets/gstreamer", 1, 0, [=](size_t) { return gst.HasParameterSets(first); });
        Add("slice_type/gstreamer", unitCount, 0, [=](size_t i) { return gst.SliceType(units[i]); });
        Add("nalu_type/ffmpeg", unitCount, 0, [=](size_t i) { return av.Parse(units[i]); });
        Add("resolution/ffmpeg", 1, 0, [=](size_t) { return av.Resolution(first); });
        Add("parameter_sets/ffmpeg", 1, 0, [=](size_t) { return av.Parse(first); });
        Add("slice_type/ffmpeg", unitCount, 0, [=](size_t i) { return av.SliceType(units[i]); });
#endif
    }

    if (callgrindCalls > 0) {
#if H265_BENCH_CALLGRIND
        for (const Entry& e : Entries()) {
            const size_t calls = e.scan ? 1 : static_cast<size_t>(callgrindCalls);
            e.count(calls); // warm: first-call work such as lazy binding stays out
            const std::string dump = e.name + "/" + std::to_string(calls);
            CALLGRIND_ZERO_STATS;
            e.count(calls);
            CALLGRIND_DUMP_STATS_AT(dump.c_str());
        }
        return 0;
#else
        std::fprintf(stderr, "h265_bench: built without valgrind/callgrind.h\n");
        return 2;
#endif
    }

    for (const Entry& e : Entries())
        benchmark::RegisterBenchmark(e.name.c_str(), e.bench);
    int restCount = static_cast<int>(rest.size());
    benchmark::Initialize(&restCount, rest.data());
    if (benchmark::ReportUnrecognizedArguments(restCount, rest.data()))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
