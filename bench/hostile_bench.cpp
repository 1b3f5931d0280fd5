// Time against size for the pathological inputs of tests/hostile/HostileLinearTest.cpp,
// at 1, 4 and 16 MiB: the times must grow in proportion to the size (Google
// Benchmark fits the complexity: expect O(N) with a small RMS).
//
//   zeros_*      N zero bytes (no start code anywhere)
//   sei_*        an N-byte prefix SEI, then VPS, SPS, PPS and an IDR slice
//   zero_sps     an SPS NAL unit with N zero bytes of payload (ends in the
//                end-of-data signal)
//   tiny_units_* N/6 access unit delimiters, then VPS, SPS, PPS and a slice
//
//   hostile_bench [Google Benchmark flags]
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <random>
#include <vector>

#include "h265headers.h"

namespace {

typedef std::vector<unsigned char> Bytes;

// Parameter sets of a 96x64 x265 stream (tests/hostile/data), and an IDR slice.
const unsigned char kVps[] = {0x00, 0x00, 0x01, 0x40, 0x01, 0x0C, 0x02, 0xFF, 0xFF, 0x01, 0x60,
                              0x00, 0x00, 0x03, 0x00, 0x90, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03,
                              0x00, 0x1E, 0x00, 0x00, 0x95, 0x90, 0xAC, 0x80, 0x48};
const unsigned char kSps[] = {0x00, 0x00, 0x01, 0x42, 0x01, 0x02, 0x01, 0x60, 0x00, 0x00, 0x03, 0x00,
                              0x90, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x1E, 0x00, 0x00, 0xA0,
                              0x30, 0x81, 0x05, 0x96, 0x56, 0x42, 0xB2, 0x5C, 0x99, 0x5E, 0x02, 0xD0,
                              0x10, 0x00, 0x00, 0x03, 0x00, 0x10, 0x00, 0x00, 0x03, 0x01, 0x90, 0x80};
const unsigned char kPps[] = {0x00, 0x00, 0x01, 0x44, 0x01, 0xC1, 0x73, 0xD1, 0x09};
const unsigned char kIdr[] = {0x00, 0x00, 0x01, 0x26, 0x01, 0xAF, 0x1D, 0x80, 0xC2};

void Append(Bytes& out, const unsigned char* data, size_t size) { out.insert(out.end(), data, data + size); }

void AppendPictureStart(Bytes& out) {
    Append(out, kVps, sizeof kVps);
    Append(out, kSps, sizeof kSps);
    Append(out, kPps, sizeof kPps);
    Append(out, kIdr, sizeof kIdr);
}

Bytes Zeros(size_t n) { return Bytes(n, 0); }

// Random payload without any 00 00 pair, so no emulation prevention is needed.
Bytes SeiFirst(size_t n) {
    Bytes out = {0x00, 0x00, 0x01, 0x4E, 0x01};
    std::mt19937 random(1);
    for (size_t i = 0; i < n; ++i)
        out.push_back(static_cast<unsigned char>(random() % 255 + 1));
    AppendPictureStart(out);
    return out;
}

Bytes ZeroSps(size_t n) {
    Bytes out = {0x00, 0x00, 0x01, 0x42, 0x01};
    out.resize(out.size() + n, 0);
    return out;
}

Bytes TinyUnits(size_t n) {
    Bytes out;
    const unsigned char aud[] = {0x00, 0x00, 0x01, 0x46, 0x01, 0x50};
    for (size_t i = 0; i < n / sizeof aud; ++i)
        Append(out, aud, sizeof aud);
    AppendPictureStart(out);
    return out;
}

int Len(const Bytes& b) { return static_cast<int>(b.size()); }
unsigned int ULen(const Bytes& b) { return static_cast<unsigned int>(b.size()); }

template <typename Make, typename Query> void Run(benchmark::State& state, Make make, Query query) {
    const Bytes input = make(static_cast<size_t>(state.range(0)));
    IVideoHeaderParser* header = CreateH265HeaderParser();
    IH265Parser* parser = CreateH265Parser();
    // Records for ParseSliceType, from the parameter sets alone.
    Bytes ps;
    AppendPictureStart(ps);
    parser->ParseSPS(ps.data(), ULen(ps));
    parser->ParsePPS(ps.data(), ULen(ps));
    for (auto _ : state)
        benchmark::DoNotOptimize(query(*header, *parser, input));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(input.size()));
    state.SetComplexityN(state.range(0));
    ReleaseH265Parser(&parser);
    ReleaseVideoHeaderParser(&header);
}

int HasParameterSets(IVideoHeaderParser& h, IH265Parser&, const Bytes& in) {
    return h.HasParameterSets(in.data(), Len(in));
}
int GetNaluType(IVideoHeaderParser& h, IH265Parser&, const Bytes& in) { return h.GetNaluType(in.data(), Len(in)); }
int GetResolution(IVideoHeaderParser& h, IH265Parser&, const Bytes& in) {
    int width = 0, height = 0;
    h.GetResolution(in.data(), Len(in), &width, &height);
    return width * height;
}
int ParseSliceType(IVideoHeaderParser&, IH265Parser& p, const Bytes& in) {
    int type = -1;
    if (!p.ParseSliceType(in.data(), ULen(in), &type, nullptr))
        std::abort(); // every input here has a slice to classify
    return type;
}
int ParseSpsToTheEnd(IVideoHeaderParser&, IH265Parser& p, const Bytes& in) {
    try {
        p.ParseSPS(in.data(), ULen(in));
    } catch (int signal) {
        return signal;
    }
    std::abort(); // zero bits cannot make a complete SPS
}

#define HOSTILE_BENCH(name, make, query)                                                                       \
    void name(benchmark::State& state) { Run(state, make, query); }                                           \
    BENCHMARK(name)->RangeMultiplier(4)->Range(1 << 20, 16 << 20)->Unit(benchmark::kMillisecond)->Complexity(benchmark::oN)

HOSTILE_BENCH(zeros_has_parameter_sets, Zeros, HasParameterSets);
HOSTILE_BENCH(zeros_get_nalu_type, Zeros, GetNaluType);
HOSTILE_BENCH(zeros_get_resolution, Zeros, GetResolution);
HOSTILE_BENCH(sei_has_parameter_sets, SeiFirst, HasParameterSets);
HOSTILE_BENCH(sei_get_resolution, SeiFirst, GetResolution);
HOSTILE_BENCH(sei_parse_slice_type, SeiFirst, ParseSliceType);
HOSTILE_BENCH(zero_sps, ZeroSps, ParseSpsToTheEnd);
HOSTILE_BENCH(tiny_units_has_parameter_sets, TinyUnits, HasParameterSets);
HOSTILE_BENCH(tiny_units_get_resolution, TinyUnits, GetResolution);
HOSTILE_BENCH(tiny_units_parse_slice_type, TinyUnits, ParseSliceType);

} // namespace

BENCHMARK_MAIN();
