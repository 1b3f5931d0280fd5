// Distinct parser objects used on 8 threads at once over the fuzz corpus and
// the streams: every thread must get exactly the results of a single-threaded
// pass. Built with ThreadSanitizer in the tsan stage of scripts/test-all.sh,
// which reports any data race between the objects (shared state in the
// library, a static buffer, ...).
#include <atomic>
#include <sstream>
#include <string>
#include <thread>

#include "HostileSupport.h"
#include "TestSupport.h"

namespace {

const int kThreads = 8;

std::vector<Bytes> Inputs() {
    std::vector<Bytes> inputs;
    Bytes bytes;
    for (const std::string& file : hostile::CorpusFiles())
        if (hostile::ReadFile(file, bytes))
            inputs.push_back(bytes);
    for (const std::string& file : hostile::StreamFiles()) {
        if (!hostile::ReadFile(file, bytes))
            continue;
        // The start of the stream (parameter sets and first pictures) and
        // each parameter set and slice header on its own.
        inputs.push_back(Bytes(bytes.begin(), bytes.begin() + static_cast<long>(std::min<size_t>(bytes.size(), 4096))));
        for (const Bytes& nal : hostile::NalUnits(bytes))
            inputs.push_back(Bytes(nal.begin(), nal.begin() + static_cast<long>(std::min<size_t>(nal.size(), 256))));
    }
    return inputs;
}

template <typename Call> void Outcome(std::ostringstream& out, Call call) {
    try {
        out << call() << ' ';
    } catch (int signal) {
        out << "signal" << signal << ' ';
    }
}

// Everything the two parser objects report about one input, as text.
std::string Results(IVideoHeaderParser& header, IH265Parser& parser, const Bytes& in) {
    std::ostringstream out;
    const int len = static_cast<int>(in.size());
    const unsigned int ulen = static_cast<unsigned int>(in.size());
    out << header.GetNaluType(in.data(), len) << ' ' << header.IsKeyFrame(in.data(), len) << ' '
        << header.HasParameterSets(in.data(), len) << ' ';
    int width = -1, height = -1;
    Outcome(out, [&] { return header.GetResolution(in.data(), len, &width, &height); });
    out << width << 'x' << height << ' ';
    int type = -1;
    bool first = false;
    out << parser.ParseNaluType(in.data(), ulen, &type) << type << ' ';
    Outcome(out, [&] { return parser.ParseSPS(in.data(), ulen); });
    Outcome(out, [&] { return parser.ParsePPS(in.data(), ulen); });
    std::string listing(static_cast<size_t>(parser.GetSPS()->Dump(nullptr)), '\0');
    parser.GetSPS()->Dump(&listing[0]);
    out << listing;
    listing.assign(static_cast<size_t>(parser.GetPPS()->Dump(nullptr)), '\0');
    parser.GetPPS()->Dump(&listing[0]);
    out << listing;
    type = -1;
    Outcome(out, [&] { return parser.ParseSliceType(in.data(), ulen, &type, &first); });
    out << type << first;
    return out.str();
}

} // namespace

TEST(Threads, DistinctParsersGiveTheSingleThreadedResults) {
    const std::vector<Bytes> inputs = Inputs();
    ASSERT_GT(inputs.size(), 100u);
    std::vector<std::string> expected;
    {
        HeaderParserPtr header = MakeHeaderParser();
        H265ParserPtr parser = MakeH265Parser();
        for (const Bytes& in : inputs)
            expected.push_back(Results(*header, *parser, in));
    }

    std::atomic<int> ready(0);
    std::vector<long> mismatches(kThreads, 0);
    std::vector<long> done(kThreads, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&, t] {
            // Objects made and released on this thread; every thread starts
            // at a different input so that different work overlaps.
            HeaderParserPtr header = MakeHeaderParser();
            H265ParserPtr parser = MakeH265Parser();
            ++ready;
            while (ready.load() < kThreads)
                std::this_thread::yield();
            for (int round = 0; round < 2; ++round) {
                for (size_t i = 0; i < inputs.size(); ++i) {
                    const size_t k = (i + static_cast<size_t>(t) * inputs.size() / kThreads) % inputs.size();
                    if (Results(*header, *parser, inputs[k]) != expected[k])
                        ++mismatches[static_cast<size_t>(t)];
                    ++done[static_cast<size_t>(t)];
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < kThreads; ++t) {
        EXPECT_EQ(0, mismatches[static_cast<size_t>(t)]) << "thread " << t;
        EXPECT_EQ(static_cast<long>(2 * inputs.size()), done[static_cast<size_t>(t)]);
    }
}
