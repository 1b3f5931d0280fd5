#include "TornRecording.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <vector>

#include "BoxHeader.h"
#include "EarlierFiles.h"
#include "OutputFiles.h"

namespace h265split {

namespace {

// A moof of this tool holds one trun of 16 bytes a sample; one larger than
// this is not read for its sample count.
const std::uint64_t kLargestMoof = 1u << 24;

// The header of a box, and a 'uuid' box's usertype of 16 bytes after it.
bool ReadBox(const unsigned char* p, std::uint64_t available, std::uint64_t room, BoxHeader& box) {
    if (!ReadBoxHeader(p, available, room, box))
        return false;
    if (box.type == "uuid")
        box.headerSize += 16;
    return box.size >= box.headerSize && box.headerSize <= available;
}

// The pictures of a movie fragment: sample_count of each trun (8.8.8) of
// each traf, read from the moof's body.
std::uint64_t SamplesOf(const std::vector<unsigned char>& moof) {
    std::uint64_t samples = 0;
    BoxHeader traf, trun;
    for (std::size_t at = 0; ReadBox(moof.data() + at, moof.size() - at, moof.size() - at, traf); at += traf.size) {
        if (traf.type != "traf")
            continue;
        const unsigned char* body = moof.data() + at + traf.headerSize;
        const std::size_t length = traf.size - traf.headerSize;
        for (std::size_t in = 0; ReadBox(body + in, length - in, length - in, trun); in += trun.size)
            if (trun.type == "trun" && trun.size >= trun.headerSize + 8) // version, flags, sample_count
                samples += BigEndian(body + in + trun.headerSize + 4, 4);
    }
    return samples;
}

struct Playable {
    bool movie = false;      // ftyp and moov are whole
    std::uint64_t bytes = 0; // up to the end of the last whole box that plays
    std::uint64_t fragments = 0;
    std::uint64_t pictures = 0;
};

// Walks the top-level boxes: a moof counts once its mdat is whole, as a
// reader cannot play the samples of a fragment whose data is cut off.
Playable WalkRecording(int fd, std::uint64_t fileSize, const std::string& path) {
    Playable playable;
    std::uint64_t fragmentPictures = 0;
    bool inFragment = false;
    unsigned char header[32];
    BoxHeader box;
    for (std::uint64_t at = 0; at < fileSize; at += box.size) {
        const std::size_t got = ReadAt(fd, header, sizeof header, at, path);
        if (!ReadBox(header, got, fileSize - at, box))
            break;
        if (box.type == "moof") {
            std::vector<unsigned char> moof;
            if (box.size <= kLargestMoof) {
                moof.resize(static_cast<std::size_t>(box.size - box.headerSize));
                ReadAt(fd, moof.data(), moof.size(), at + box.headerSize, path);
            }
            fragmentPictures = SamplesOf(moof);
            inFragment = true;
            continue;
        }
        if (box.type == "moov")
            playable.movie = true;
        if (box.type == "mdat" && inFragment) {
            ++playable.fragments;
            playable.pictures += fragmentPictures;
        }
        inFragment = false;
        playable.bytes = at + box.size;
    }
    return playable;
}

// Gives the flushed recording the first free name of rec-NNNNN.mp4,
// rec-NNNNN-recovered.mp4, rec-NNNNN-recovered-2.mp4, ...
std::string Rename(const std::string& directory, const std::string& name) {
    const std::string stem = name.substr(0, name.size() - std::string(".mp4.tmp").size());
    for (unsigned int attempt = 0; attempt < 1000; ++attempt) {
        const std::string kept = stem + (attempt == 0 ? "" : "-recovered") +
                                  (attempt > 1 ? "-" + std::to_string(attempt) : std::string()) + ".mp4";
        if (RenameNoReplace(directory + "/" + name, directory + "/" + kept))
            return kept;
        if (errno != EEXIST)
            ThrowWriteError("rename", directory + "/" + name);
    }
    throw WriteError("cannot rename '" + directory + "/" + name + "': no free name for it");
}

} // namespace

void KeepTornRecording(const std::string& directory, const std::string& name, Messages& messages) {
    const std::string path = directory + "/" + name;
    Descriptor file(::open(path.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat status;
    if (file.fd < 0 && errno != ELOOP)
        ThrowWriteError("open", path);
    if (file.fd < 0 || ::fstat(file.fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        messages.Say(name + ", left by an earlier run, is no regular file and is kept as it is");
        return;
    }
    const std::uint64_t size = static_cast<std::uint64_t>(status.st_size);
    const Playable playable = WalkRecording(file.fd, size, path);
    if (!playable.movie) {
        messages.Say(name + " (" + std::to_string(size) +
                     " bytes), cut by an earlier run before its moov box was whole, holds nothing that plays and "
                     "is kept as it is");
        return;
    }
    // Only the bytes of a fragment cut short go, which no reader can play.
    if (playable.bytes < size && ::ftruncate(file.fd, static_cast<off_t>(playable.bytes)) != 0)
        ThrowWriteError("cut back", path);
    if (::fsync(file.fd) != 0)
        ThrowWriteError("write", path);
    const int fd = file.fd;
    file.fd = -1;
    CloseFile(fd, path);
    const std::string kept = Rename(directory, name);
    SyncDirectory(directory);
    std::string cut;
    if (playable.bytes < size)
        cut = "; the " + std::to_string(size - playable.bytes) + " bytes of a fragment cut short removed";
    messages.Say("kept " + name + ", cut by an earlier run, as " + kept + " (" + std::to_string(playable.pictures) +
                 " pictures in " + std::to_string(playable.fragments) + " fragments" + cut + ")");
}

} // namespace h265split
