#include "SegmentContents.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <vector>

#include "BoxHeader.h"
#include "EarlierFiles.h"
#include "OutputFiles.h"
#include "ProducerReferenceTime.h"

namespace h265split {

namespace {

// A box (ISO/IEC 14496-12 4.2) inside `size` bytes at `p`: its type, and
// where its body starts and ends; false when it is not whole.
struct Box {
    std::string type;
    std::uint64_t body = 0;
    std::uint64_t end = 0;
};

bool BoxAt(const unsigned char* p, std::uint64_t size, std::uint64_t at, Box& box) {
    BoxHeader header;
    if (at > size || !ReadBoxHeader(p + at, size - at, size - at, header))
        return false;
    box.type = header.type;
    box.body = at + header.headerSize;
    box.end = at + header.size;
    return true;
}

// The body of the first child box of that type in [begin, end).
bool Child(const unsigned char* p, std::uint64_t begin, std::uint64_t end, const char* type, Box& found) {
    Box box;
    for (std::uint64_t at = begin; BoxAt(p, end, at, box); at = box.end)
        if (box.type == type) {
            found = box;
            return true;
        }
    return false;
}

// The timescale of the first track's mdhd (8.4.2) in a moov body.
std::uint32_t TimescaleOf(const unsigned char* p, std::uint64_t begin, std::uint64_t end) {
    Box trak, mdia, mdhd;
    if (!Child(p, begin, end, "trak", trak) || !Child(p, trak.body, trak.end, "mdia", mdia) ||
        !Child(p, mdia.body, mdia.end, "mdhd", mdhd))
        return 0;
    const std::uint64_t at = mdhd.body + (p[mdhd.body] == 1 ? 20 : 12); // version, flags, times
    return at + 4 <= mdhd.end ? static_cast<std::uint32_t>(BigEndian(p + at, 4)) : 0;
}

// Times read back are kept below 2^52 ticks, far from overflow whatever a
// damaged box says.
const std::int64_t kTimeMask = (std::int64_t(1) << 52) - 1;

// The samples of a moof body and the presentation times they cover: each
// traf's base decode time (tfdt, 8.8.12) and trun (8.8.8) sample durations,
// else its tfhd's default_sample_duration (8.8.7), and composition offsets.
// A fragment cut from its successors may show a picture after the last
// decode time: what it covers is where the next picture may be shown.
void CountFragment(const unsigned char* p, std::uint64_t size, Presentation& shown) {
    Box traf;
    for (std::uint64_t at = 0; BoxAt(p, size, at, traf); at = traf.end) {
        if (traf.type != "traf")
            continue;
        std::uint64_t defaultDuration = 0;
        std::int64_t decodeTime = 0;
        Box box;
        for (std::uint64_t in = traf.body; BoxAt(p, traf.end, in, box); in = box.end) {
            if (box.end - box.body < 8)
                continue;
            const bool version1 = p[box.body] == 1;
            const std::uint32_t flags = static_cast<std::uint32_t>(BigEndian(p + box.body + 1, 3));
            if (box.type == "tfdt") {
                if (box.end - box.body >= (version1 ? 12u : 8u))
                    // Bounded far from overflow whatever a damaged box says.
                    decodeTime = static_cast<std::int64_t>(BigEndian(p + box.body + 4, version1 ? 8 : 4) & kTimeMask);
                continue;
            }
            if (box.type == "tfhd") {
                std::uint64_t field = box.body + 8 + ((flags & 0x1) ? 8 : 0) + ((flags & 0x2) ? 4 : 0);
                if ((flags & 0x8) && field + 4 <= box.end)
                    defaultDuration = BigEndian(p + field, 4);
                continue;
            }
            if (box.type != "trun")
                continue;
            const std::uint64_t count = BigEndian(p + box.body + 4, 4);
            std::uint64_t field = box.body + 8 + ((flags & 0x1) ? 4 : 0) + ((flags & 0x4) ? 4 : 0);
            const std::uint64_t each = 4 * (((flags >> 8) & 1) + ((flags >> 9) & 1) + ((flags >> 10) & 1) +
                                            ((flags >> 11) & 1));
            if (each == 0 || field > box.end) {
                // No per-sample fields: the samples follow each other.
                const std::uint64_t samples = field > box.end ? 0 : count;
                if (samples > 0) {
                    const std::int64_t end =
                        decodeTime + static_cast<std::int64_t>(samples * defaultDuration & kTimeMask);
                    shown.first = shown.any ? std::min(shown.first, decodeTime) : decodeTime;
                    shown.end = shown.any ? std::max(shown.end, end) : end;
                    shown.any = true;
                    shown.samples += samples;
                }
                continue;
            }
            for (std::uint64_t i = 0; i < count && field + each <= box.end; ++i) {
                std::int64_t duration = static_cast<std::int64_t>(defaultDuration);
                std::int64_t offset = 0;
                if (flags & 0x100) {
                    if (field + 4 > box.end)
                        break;
                    duration = static_cast<std::int64_t>(BigEndian(p + field, 4));
                    field += 4;
                }
                field += ((flags & 0x200) ? 4 : 0) + ((flags & 0x400) ? 4 : 0);
                if (flags & 0x800) {
                    if (field + 4 > box.end)
                        break;
                    const std::uint32_t value = static_cast<std::uint32_t>(BigEndian(p + field, 4));
                    offset = version1 ? static_cast<std::int32_t>(value) : static_cast<std::int64_t>(value);
                    field += 4;
                }
                const std::int64_t shown1 = decodeTime + offset;
                shown.first = shown.any ? std::min(shown.first, shown1) : shown1;
                shown.end = shown.any ? std::max(shown.end, shown1 + duration) : shown1 + duration;
                shown.any = true;
                ++shown.samples;
                decodeTime += duration;
            }
        }
    }
}

// A moov or moof larger than this is not read.
const std::uint64_t kLargestReadBox = 1u << 26;

} // namespace

Fragments WalkFragments(const std::string& path) {
    Fragments walk;
    Descriptor file(::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
    struct stat status;
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0)
        ThrowWriteError("open", path);
    walk.size = static_cast<std::uint64_t>(status.st_size);
    Presentation fragment;
    Fragments reference; // the last prft before the first fragment
    bool inFragment = false;
    unsigned char header[16];
    Box box;
    for (std::uint64_t at = 0; at < walk.size; at = box.end) {
        const std::size_t got = ReadAt(file.fd, header, sizeof header, at, path);
        // The header read, checked against the end of the file.
        BoxHeader head;
        if (!ReadBoxHeader(header, got, walk.size - at, head))
            break;
        const std::uint64_t length = head.size;
        const std::uint64_t body = head.headerSize;
        box.type = head.type;
        box.end = at + length;
        const bool read =
            (box.type == "moov" || box.type == "moof" || box.type == "prft") && length - body <= kLargestReadBox;
        std::vector<unsigned char> content(read ? static_cast<std::size_t>(length - body) : 0);
        if (read && ReadAt(file.fd, content.data(), content.size(), at + body, path) != content.size())
            break;
        if (box.type == "moov") {
            walk.movie = true;
            walk.timescale = TimescaleOf(content.data(), 0, content.size());
        } else if (box.type == "moof") {
            fragment = walk.shown;
            CountFragment(content.data(), content.size(), fragment);
            Box mfhd;
            if (walk.fragments == 0 && Child(content.data(), 0, content.size(), "mfhd", mfhd) &&
                mfhd.end - mfhd.body >= 8)
                walk.firstSequenceNumber = BigEndian(content.data() + mfhd.body + 4, 4);
            inFragment = true;
            continue;
        } else if (box.type == "prft") {
            // Each fragment's comes before its moof; the first one's counts
            // once that fragment is whole.
            if (walk.fragments == 0)
                reference.haveReference = mp4::ReadProducerReferenceTime(
                    content.data(), content.size(), reference.referenceUtcMillis, reference.referenceTime);
        } else if (box.type == "mdat" && inFragment) {
            if (walk.fragments == 0 && reference.haveReference) {
                walk.haveReference = true;
                walk.referenceUtcMillis = reference.referenceUtcMillis;
                walk.referenceTime = reference.referenceTime;
            }
            ++walk.fragments;
            walk.shown = fragment;
            walk.wholeBytes = box.end;
        }
        inFragment = false;
    }
    return walk;
}

bool FirstPictureUtc(const Fragments& walk, std::uint32_t timescale, std::int64_t& utcMillis) {
    if (!walk.haveReference || timescale == 0 || !walk.shown.any)
        return false;
    // Both times are below 2^52 ticks (kTimeMask): the difference times 1000
    // stays far from overflow only for a bounded difference; a damaged box
    // may say anything, and is then not believed.
    const std::int64_t ticks = walk.shown.first - static_cast<std::int64_t>(walk.referenceTime & kTimeMask);
    const std::int64_t limit = std::int64_t(1) << 40;
    if (ticks <= -limit || ticks >= limit)
        return false;
    const std::int64_t scaled = ticks * 1000;
    const std::int64_t half = static_cast<std::int64_t>(timescale / 2);
    // To the nearest millisecond, halves away from zero.
    utcMillis = walk.referenceUtcMillis + (scaled >= 0 ? (scaled + half) : (scaled - half)) / timescale;
    return true;
}

std::uint32_t InitTimescale(const std::string& path) {
    return Exists(path) ? WalkFragments(path).timescale : 0;
}

RawPictures WalkRaw(const std::string& data) {
    RawPictures walk;
    bool vclSeen = false;
    std::uint64_t picturesBefore = 0;
    for (std::size_t i = data.find(std::string("\0\0\1", 3)); i != std::string::npos;
         i = data.find(std::string("\0\0\1", 3), i + 3)) {
        if (i + 4 >= data.size())
            break;
        const int type = (static_cast<unsigned char>(data[i + 3]) >> 1) & 0x3F;
        const bool vcl = type < 32;
        const bool firstSlice = vcl && i + 5 < data.size() && (static_cast<unsigned char>(data[i + 5]) & 0x80) != 0;
        const bool startsUnit = (type >= 32 && type <= 35) || type == 39 || (type >= 41 && type <= 44) ||
                                (type >= 48 && type <= 55) || firstSlice;
        if (startsUnit && vclSeen) {
            vclSeen = false;
            walk.lastUnitStart = i > 0 && data[i - 1] == 0 ? i - 1 : i;
            walk.pictures = picturesBefore;
        }
        if (firstSlice)
            ++picturesBefore;
        vclSeen = vclSeen || vcl;
    }
    walk.allPictures = picturesBefore;
    return walk;
}

} // namespace h265split
