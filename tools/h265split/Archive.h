// Where the recording's history is listed, and what of it is kept.
//
// Without a budget, one playlist (index.m3u8) and one index (index.csv,
// index.json) name every segment, and nothing is deleted. With a budget by
// bytes or by age the recording is kept in chapters: a chapter holds the
// segments of one hour (of UTC time, or of the recording's time without a
// wall clock), and no more than a sixteenth of the budget, and has its own
// playlist index-NNNNN.m3u8 (closed with #EXT-X-ENDLIST when the next chapter
// starts) and index index-NNNNN.csv (and .json), NNNNN being its first
// segment's number. archive.csv lists the chapters kept, one line each: what
// a player is given to play back a time of day. When the budget leaves no
// room, the oldest chapter goes whole: first its line in archive.csv, then
// its playlist and index, then its segments and the init segments no chapter
// left names. The work per segment so does not grow with the recording, and
// no playlist or index ever names a deleted file.
#ifndef H265SPLIT_ARCHIVE_H
#define H265SPLIT_ARCHIVE_H

#include <cstdint>
#include <deque>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#include "FileStore.h"
#include "Messages.h"
#include "ResumedRun.h"

namespace h265split {

struct RetentionRules {
    std::uint64_t bytes = 0; // --keep-bytes: the most OUTDIR holds; 0 for no limit
    double seconds = 0;      // --keep-age: the recording time kept; 0 for no limit
    bool active() const { return bytes > 0 || seconds > 0; }
};

// A budget that cannot hold one segment: a usage error found while recording.
class BudgetError : public std::runtime_error {
public:
    explicit BudgetError(const std::string& what) : std::runtime_error(what) {}
};

class Archive {
public:
    // `playlists`: the chapters have HLS playlists.
    Archive(FileStore& store, const RetentionRules& rules, bool playlists, bool json, Messages& messages);

    bool chaptered() const { return rules_.active(); }
    // A resumed run (--resume): the chapters an earlier run left, the last
    // of which goes on; `segmentName` names one of their segments.
    void Continue(const std::vector<ResumePoint::Chapter>& chapters, double endSeconds,
                  const std::string& segmentName);
    // Segment `number` starts `seconds` into the recording, at the UTC time
    // `utcMillis` when `haveUtc`: a new chapter starts with it when the open
    // one has had its hour or its share of the budget.
    void SegmentStarts(unsigned int number, double seconds, bool haveUtc, std::int64_t utcMillis);
    // The files of the open chapter (those of the whole recording without
    // chapters).
    const std::string& playlist() const { return playlist_; }
    const std::string& csvIndex() const { return csvIndex_; }
    const std::string& jsonIndex() const { return jsonIndex_; } // empty without --json
    // The open segment's init segment (HLS).
    void UsesInit(const std::string& name);
    // The oldest segment the live playlist names: it and those after it are
    // kept whatever the budget says.
    void KeepFrom(unsigned int number) { keepFrom_ = number; }
    // Segment `number`, file `name`, is committed and named by the playlist
    // and the index; it ends `endSeconds` into the recording. Chapters the
    // budget leaves no room for go. Throws BudgetError when the segment alone
    // is beyond the byte budget, WriteError.
    void Kept(unsigned int number, const std::string& name, std::uint64_t bytes, double endSeconds);
    // The device is full: the oldest chapter that may go goes. False when
    // none may.
    bool MakeRoom();
    // What the run deleted, for the last message; empty when nothing.
    std::string Summary() const;

private:
    struct Chapter {
        unsigned int first = 0; // segment numbers
        unsigned int last = 0;
        bool kept = false;      // its first segment is kept and listed
        std::uint64_t bytes = 0; // of its segments
        double startSeconds = 0;
        double endSeconds = 0;
        std::int64_t hour = 0;
        bool haveUtc = false;
        std::int64_t utcMillis = 0;
        std::set<std::string> inits;
    };

    void Open(unsigned int number, double seconds, bool haveUtc, std::int64_t utcMillis, std::int64_t hour);
    std::string Line(const Chapter& chapter) const;
    std::string ChapterName(const Chapter& chapter, const char* extension) const;
    // Deletes the oldest chapter when it may go; false when it may not.
    bool DeleteOldest();
    void WriteList();

    FileStore& store_;
    RetentionRules rules_;
    bool playlists_;
    bool json_;
    Messages& messages_;
    std::deque<Chapter> chapters_; // the last one is open
    std::string playlist_;
    std::string csvIndex_;
    std::string jsonIndex_;
    std::string segmentExample_; // a segment's name, for the names of the others
    unsigned int keepFrom_ = ~0u;
    std::uint64_t usageAtStart_ = 0; // the store's, when the open segment started
    std::uint64_t largestGrowth_ = 0; // of the store's usage by one segment
    bool inRoom_ = false;      // MakeRoom is deleting
    bool listWritten_ = false; // archive.csv is made and appended to
    bool listPending_ = false; // archive.csv is to be written again
    bool reportedOver_ = false;
    std::uint64_t deletedChapters_ = 0;
    std::uint64_t deletedSegments_ = 0;
    std::uint64_t deletedBytes_ = 0;
    unsigned int roomMade_ = 0;
};

} // namespace h265split

#endif
