// h265split's whole walk over arbitrary bytes (a first byte chooses the cut
// every 1..8 pictures and --keep-rasl), with its segments kept in memory: raw
// .265 segments, fragmented MP4 segments with their playlists, and one-file
// MP4 recordings. Checked against a plain model of the input, its NAL units
// cut at every 00 00 01:
//   - the NAL units other than VPS, SPS and PPS that the raw segments hold
//     are a subsequence of the input's (each lands at most once, in order),
//     and every VPS, SPS and PPS among them is a copy of one of the input's;
//   - the MP4 files are boxes end to end, each movie fragment a moof with
//     one trun whose data_offset points past the moof and the mdat header,
//     whose sample sizes add up to the mdat and whose samples are 4-byte
//     length-prefixed NAL units to the byte; the fragments' NAL units are a
//     subsequence of the raw segments'; sequence numbers and decode times run
//     on without a gap; the presentation times of all samples are exactly
//     0, 1, 2, ... frame durations where every sample lasts a frame (every
//     picture shown once, one frame apart), and distinct where none lasts 0;
//   - a segment starts with a sync sample, and index.m3u8 names every
//     segment and ends with #EXT-X-ENDLIST.
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "FileStore.h"
#include "FormatOutput.h"
#include "FuzzSupport.h"
#include "OutputFiles.h"
#include "Split.h"
#include "StreamInput.h"

namespace {

using namespace h265split;
using Bytes = std::vector<unsigned char>;

// --- The model: NAL units at every 00 00 01, without trailing zero bytes.
std::vector<Bytes> NalUnits(const unsigned char* data, size_t size) {
    std::vector<Bytes> units;
    size_t begin = 0;
    bool inUnit = false;
    for (size_t i = 0; i <= size; ++i) {
        const bool startCode = i + 2 < size && data[i] == 0 && data[i + 1] == 0 && data[i + 2] == 1;
        if (!startCode && i < size)
            continue;
        if (inUnit) {
            size_t end = i;
            while (end > begin && data[end - 1] == 0)
                --end;
            if (end >= begin + 2)
                units.emplace_back(data + begin, data + end);
        }
        if (i >= size)
            break;
        begin = i + 3;
        inUnit = true;
        i += 2;
    }
    return units;
}

bool IsParameterSetUnit(const Bytes& unit) {
    const int type = (unit[0] >> 1) & 0x3F;
    return type >= 32 && type <= 34;
}

// The units of `part` other than parameter sets are a subsequence of those of
// `whole`; its parameter sets are each one of `whole`'s.
void CheckSubsequence(const std::vector<Bytes>& part, const std::vector<Bytes>& whole) {
    size_t at = 0;
    for (const Bytes& unit : part) {
        if (IsParameterSetUnit(unit)) {
            FUZZ_CHECK(std::find(whole.begin(), whole.end(), unit) != whole.end());
            continue;
        }
        while (at < whole.size() && (IsParameterSetUnit(whole[at]) || whole[at] != unit))
            ++at;
        FUZZ_CHECK(at < whole.size());
        ++at;
    }
}

// --- Outputs kept in memory.
struct MemoryFiles {
    std::map<std::string, Bytes> files;
    std::vector<std::string> committed; // in the order they were
};

class MemoryFile : public FileStore::File {
public:
    MemoryFile(MemoryFiles& files, const std::string& name) : files_(files), name_(name) {}
    void Write(const unsigned char* data, std::size_t size) override { bytes_.insert(bytes_.end(), data, data + size); }
    void Overwrite(std::uint64_t offset, const unsigned char* data, std::size_t size) override {
        FUZZ_CHECK(offset <= bytes_.size() && size <= bytes_.size() - offset);
        std::copy(data, data + size, bytes_.begin() + static_cast<long>(offset));
    }
    void Sync() override {}
    void Commit() override {
        files_.files[name_] = bytes_;
        files_.committed.push_back(name_);
    }
    bool Keep(std::uint64_t bytes) override {
        if (bytes == 0)
            return true;
        bytes_.resize(static_cast<std::size_t>(std::min<std::uint64_t>(bytes, bytes_.size())));
        Commit();
        return true;
    }

private:
    MemoryFiles& files_;
    std::string name_;
    Bytes bytes_;
};

class MemoryStore : public FileStore {
public:
    explicit MemoryStore(MemoryFiles& files) : files_(files) {}
    std::unique_ptr<File> Create(const std::string& name, bool) override {
        return std::unique_ptr<File>(new MemoryFile(files_, name));
    }
    void Replace(const std::string& name, const std::string& content) override {
        files_.files[name] = Bytes(content.begin(), content.end());
    }
    using FileStore::Append;
    void Append(const std::string& name, const std::string& content, std::size_t replacingLast) override {
        Bytes& file = files_.files[name];
        file.resize(file.size() - std::min(replacingLast, file.size()));
        file.insert(file.end(), content.begin(), content.end());
    }
    bool Remove(const std::string& name) override { return files_.files.erase(name) > 0; }
    std::uint64_t Usage() const override {
        std::uint64_t bytes = 0;
        for (const auto& file : files_.files)
            bytes += file.second.size();
        return bytes;
    }

private:
    MemoryFiles& files_;
};

std::unique_ptr<SegmentOutput> MakeMemoryOutput(const Options& options, const AccessUnitReader& pictures,
                                                const WallClock& wallClock, Messages& messages, void* context) {
    MemoryFiles& files = *static_cast<MemoryFiles*>(context);
    return MakeFormatOutput(options, std::unique_ptr<FileStore>(new MemoryStore(files)), pictures, wallClock,
                            messages);
}

// --- Reading the MP4 files back.
std::uint32_t U32(const Bytes& b, size_t at) {
    FUZZ_CHECK(at + 4 <= b.size());
    return (std::uint32_t(b[at]) << 24) | (std::uint32_t(b[at + 1]) << 16) | (std::uint32_t(b[at + 2]) << 8) | b[at + 3];
}

bool Type(const Bytes& b, size_t at, const char* type) { return std::equal(type, type + 4, b.begin() + at + 4); }

struct Timeline {
    std::uint32_t nextSequence = 1;
    std::uint64_t decodeTime = 0;
    std::uint32_t duration = 0;
    // Every sample lasts exactly the track's frame (one frame rate, no
    // picture dropped or hidden); none lasts 0 (a picture decoded, not shown).
    bool frameDurations = true;
    bool zeroDurations = false;
    std::vector<std::int64_t> presentation;
    std::vector<Bytes> units;
};

// One fragmented MP4 byte stream: [ftyp moov] then moof mdat pairs.
void ReadFragments(const Bytes& file, bool withInit, Timeline& t) {
    size_t at = 0;
    if (withInit) {
        FUZZ_CHECK(Type(file, 0, "ftyp"));
        at = U32(file, 0);
        FUZZ_CHECK(Type(file, at, "moov"));
        at += U32(file, at);
    }
    bool firstInFile = true;
    while (at < file.size()) {
        const size_t moof = at, moofSize = U32(file, at);
        FUZZ_CHECK(Type(file, moof, "moof") && moofSize >= 8 && moof + moofSize <= file.size());
        const size_t mdat = moof + moofSize, mdatSize = U32(file, mdat);
        FUZZ_CHECK(Type(file, mdat, "mdat") && mdatSize >= 8 && mdat + mdatSize <= file.size());
        // mfhd, then traf with tfhd, tfdt (version 1) and trun (version 1).
        size_t p = moof + 8;
        FUZZ_CHECK(Type(file, p, "mfhd") && U32(file, p + 12) == t.nextSequence++);
        p += U32(file, p);
        FUZZ_CHECK(Type(file, p, "traf"));
        p += 8;
        FUZZ_CHECK(Type(file, p, "tfhd") && (U32(file, p + 8) & 0xFFFFFFu) == 0x020000u);
        p += U32(file, p);
        FUZZ_CHECK(Type(file, p, "tfdt") && file[p + 8] == 1);
        const std::uint64_t base = (std::uint64_t(U32(file, p + 12)) << 32) | U32(file, p + 16);
        FUZZ_CHECK(base == t.decodeTime);
        p += U32(file, p);
        FUZZ_CHECK(Type(file, p, "trun") && file[p + 8] == 1);
        const std::uint32_t count = U32(file, p + 12);
        FUZZ_CHECK(U32(file, p + 16) == moofSize + 8); // data_offset from the moof's first byte
        size_t sample = mdat + 8;
        for (std::uint32_t i = 0; i < count; ++i) {
            const size_t entry = p + 20 + 16 * size_t(i);
            const std::uint32_t duration = U32(file, entry), size = U32(file, entry + 4);
            const std::uint32_t flags = U32(file, entry + 8);
            const std::int32_t offset = static_cast<std::int32_t>(U32(file, entry + 12));
            // A sample lasts its picture's ticks and those of the pictures
            // skipped after it (dropped RASL pictures keep their time), at
            // the rate of each; 0 for a picture that is not shown.
            t.frameDurations = t.frameDurations && duration == t.duration;
            t.zeroDurations = t.zeroDurations || duration == 0;
            if (withInit || !firstInFile || i > 0)
                FUZZ_CHECK(flags == 0x02000000u || flags == 0x01010000u);
            else
                FUZZ_CHECK(flags == 0x02000000u); // a segment starts with a sync sample
            t.presentation.push_back(static_cast<std::int64_t>(t.decodeTime) + offset);
            t.decodeTime += duration;
            // The sample: 4-byte lengths and NAL units, to its last byte.
            const size_t end = sample + size;
            FUZZ_CHECK(end <= mdat + mdatSize);
            bool vcl = false;
            while (sample < end) {
                const std::uint32_t length = U32(file, sample);
                FUZZ_CHECK(length >= 2 && sample + 4 + length <= end);
                t.units.emplace_back(file.begin() + static_cast<long>(sample) + 4,
                                     file.begin() + static_cast<long>(sample + 4 + length));
                vcl = vcl || ((file[sample + 4] >> 1) & 0x3F) < 32;
                sample += 4 + length;
            }
            FUZZ_CHECK(vcl);
        }
        FUZZ_CHECK(sample == mdat + mdatSize);
        at = mdat + mdatSize;
        firstInFile = false;
    }
}

// Pictures are shown from 0 when `contiguous`, one frame apart where every
// sample lasts a frame; each at its own time (later where pictures were
// dropped) unless a picture that is not shown shares the time of the next.
void CheckPresentation(Timeline& t, bool contiguous) {
    std::sort(t.presentation.begin(), t.presentation.end());
    for (size_t i = 0; i < t.presentation.size(); ++i) {
        FUZZ_CHECK(t.presentation[i] >= 0);
        if (contiguous && t.frameDurations)
            FUZZ_CHECK(t.presentation[i] == static_cast<std::int64_t>(i) * t.duration);
        else if (contiguous && i == 0)
            FUZZ_CHECK(t.presentation[i] == 0);
        if (i > 0 && !t.zeroDurations)
            FUZZ_CHECK(t.presentation[i] > t.presentation[i - 1]);
    }
}

// The sample duration of the track: trex's default_sample_duration.
std::uint32_t TrexDuration(const Bytes& init) {
    const Bytes trex = {'t', 'r', 'e', 'x'};
    const auto at = std::search(init.begin(), init.end(), trex.begin(), trex.end());
    FUZZ_CHECK(at != init.end());
    return U32(init, static_cast<size_t>(at - init.begin()) + 16);
}

bool Run(int fd, Options options, MemoryFiles& files) {
    try {
        h265tools::StreamInput input("/proc/self/fd/" + std::to_string(fd));
        Split(input, options, MakeMemoryOutput, &files, nullptr);
        return true;
    } catch (const h265tools::InputError&) {
        return false; // no start code or no key picture
    } catch (const WriteError&) {
        return false; // a key picture whose SPS gives no sample entry
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    Options options;
    options.rules.pictures = 1u + (data[0] & 7u);
    options.rules.keepRasl = (data[0] & 8u) != 0;
    Take(&data, &size, 1);
    const int fd = memfd_create("fuzz_split", MFD_CLOEXEC);
    FUZZ_CHECK(fd >= 0);
    size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        FUZZ_CHECK(n > 0);
        written += static_cast<size_t>(n);
    }
    const std::vector<Bytes> input = NalUnits(data, size);

    MemoryFiles raw;
    if (!Run(fd, options, raw)) {
        ::close(fd);
        return 0;
    }
    Bytes all;
    for (const std::string& name : raw.committed)
        all.insert(all.end(), raw.files[name].begin(), raw.files[name].end());
    const std::vector<Bytes> rawUnits = NalUnits(all.data(), all.size());
    CheckSubsequence(rawUnits, input);

    for (OutputFormat format : {OutputFormat::kHls, OutputFormat::kMp4}) {
        options.format = format;
        if (format == OutputFormat::kMp4)
            options.rules.pictures = UINT64_MAX;
        MemoryFiles mp4;
        if (!Run(fd, options, mp4))
            continue;
        Timeline t;
        if (format == OutputFormat::kHls) {
            FUZZ_CHECK(mp4.files.count("init.mp4") == 1 && mp4.files.count("index.m3u8") == 1);
            t.duration = TrexDuration(mp4.files["init.mp4"]);
            const std::string playlist(mp4.files["index.m3u8"].begin(), mp4.files["index.m3u8"].end());
            for (const std::string& name : mp4.committed) {
                FUZZ_CHECK(playlist.find("\n" + name + "\n") != std::string::npos);
                ReadFragments(mp4.files[name], false, t);
            }
            FUZZ_CHECK(playlist.size() >= 15 && playlist.compare(playlist.size() - 15, 15, "#EXT-X-ENDLIST\n") == 0);
            CheckPresentation(t, false);
            // Not the raw segments': an MP4 segment cannot start at a key
            // picture whose parameter sets give no sample entry, and keeps
            // the RASL pictures that a raw segment starting there drops.
            CheckSubsequence(t.units, input);
        } else {
            // Each file has its own timeline from 0.
            std::vector<Bytes> units;
            for (const std::string& name : mp4.committed) {
                Timeline file;
                file.duration = TrexDuration(mp4.files[name]);
                ReadFragments(mp4.files[name], true, file);
                CheckPresentation(file, true);
                units.insert(units.end(), file.units.begin(), file.units.end());
            }
            CheckSubsequence(units, input);
        }
    }
    ::close(fd);
    return 0;
}
