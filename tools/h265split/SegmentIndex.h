// OUTDIR/index.csv (and with --json OUTDIR/index.json), or the open
// chapter's index (Archive): one entry per segment, written as the segment
// closes so that a reader can follow a live recording. Neither file exists
// before the first segment closes.
#ifndef H265SPLIT_SEGMENT_INDEX_H
#define H265SPLIT_SEGMENT_INDEX_H

#include <cstdint>
#include <string>

namespace h265split {

// What a camera's stream lost up to a segment's end, counted from the
// start of the recording: RTP packets lost, reordered and duplicated, access
// units dropped (damaged, or waiting for a key picture), sessions opened again.
struct StreamLosses {
    bool known = false; // the input is a camera
    std::uint64_t lostPackets = 0;
    std::uint64_t reorderedPackets = 0;
    std::uint64_t duplicatePackets = 0;
    std::uint64_t droppedAccessUnits = 0;
    std::uint64_t reconnects = 0;
};

struct SegmentRecord {
    std::string file;
    std::uint64_t firstByteOffset = 0; // in the input, of the segment's first input byte
    std::uint64_t bytes = 0;           // of the segment file, inserted parameter sets included
    std::uint64_t pictures = 0;        // written ones; dropped RASL pictures are not counted
    std::uint64_t iPictures = 0;
    std::uint64_t pPictures = 0;
    std::uint64_t bPictures = 0;
    int codedWidth = 0;
    int codedHeight = 0;
    unsigned long long displayWidth = 0;
    unsigned long long displayHeight = 0;
    int keyNalType = 0;
    bool parameterSetsInserted = false;
    std::uint64_t raslDropped = 0;
    // Presentation time of the segment's first picture in the input's output
    // order, and the time to the next segment's (to the end of the last
    // picture for the last segment), in seconds.
    double startTime = 0;
    double duration = 0;
    // The UTC time of its first picture, when the recording has a wall clock.
    bool haveUtc = false;
    std::int64_t utcMillis = 0;
    // Pictures written that the input marked damaged (a camera's access
    // units with a loss inside): a decoder may show them with errors.
    std::uint64_t damagedPictures = 0;
    // Read back from a segment file a crashed run left without its entry:
    // its file, bytes, pictures and times are known, the input's offsets,
    // picture types, sizes and key picture are not (empty, or null in JSON).
    bool recovered = false;
    // A camera's recording: pictures are missing right before the segment,
    // and what the stream lost so far (index.json only).
    bool discontinuity = false;
    StreamLosses losses;
};

// The head line of index.csv, and the entry of the segment in index.csv and
// in index.json.
extern const char kCsvHeader[];
std::string CsvLine(const SegmentRecord& record);
std::string JsonObject(const SegmentRecord& record);

class Archive;
class FileStore;

class SegmentIndex {
public:
    // Without a store, no index is kept (a run in memory).
    SegmentIndex(FileStore* store, const Archive* archive) : store_(store), archive_(archive) {}

    // Appends the segment's entry to the files the archive names now.
    // Throws WriteError.
    void Add(const SegmentRecord& record);

    // A resumed run: the files that an earlier run left, repaired to end
    // with a whole entry (ResumedRun), are added to rather than made.
    void Continue();
private:
    FileStore* store_;
    const Archive* archive_;
    std::string csv_; // the files appended to
    std::string json_;
};

} // namespace h265split

#endif
