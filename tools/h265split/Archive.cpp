#include "Archive.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "FrameRate.h"
#include "OutputFiles.h"
#include "UtcTime.h"

namespace h265split {

namespace {

// A chapter holds at most this share of a budget, so that deleting whole
// chapters keeps all but this share of what the budget allows.
const double kChaptersInBudget = 16;
const std::int64_t kMillisInHour = 3600000;
// Beyond this many, making room on a full device is only counted.
const unsigned int kReportedRoom = 10;

const char kListName[] = "archive.csv";
const char kListHeader[] = "first_segment,start_time,utc,playlist,index\n";

// `example` with its number (the digits after its '-') replaced by `number`.
std::string Renumbered(const std::string& example, unsigned int number) {
    const std::size_t dash = example.find('-');
    std::size_t end = dash == std::string::npos ? 0 : dash + 1;
    while (end < example.size() && example[end] >= '0' && example[end] <= '9')
        ++end;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%05u", number);
    return example.substr(0, dash + 1) + digits + example.substr(end);
}

std::int64_t FloorDiv(std::int64_t a, std::int64_t b) {
    return a / b - ((a % b != 0 && a < 0) ? 1 : 0);
}

} // namespace

Archive::Archive(FileStore& store, const RetentionRules& rules, bool playlists, bool json, Messages& messages)
    : store_(store), rules_(rules), playlists_(playlists), json_(json), messages_(messages) {
    if (!chaptered()) {
        playlist_ = "index.m3u8";
        csvIndex_ = "index.csv";
        jsonIndex_ = json ? "index.json" : "";
    }
}

void Archive::Continue(const std::vector<ResumePoint::Chapter>& chapters, double endSeconds,
                       const std::string& segmentName) {
    if (!chaptered() || chapters.empty())
        return;
    for (std::size_t i = 0; i < chapters.size(); ++i) {
        const ResumePoint::Chapter& earlier = chapters[i];
        Chapter chapter;
        chapter.first = earlier.first;
        chapter.last = earlier.last;
        chapter.kept = true;
        chapter.bytes = earlier.bytes;
        chapter.startSeconds = earlier.startSeconds;
        chapter.endSeconds = i + 1 < chapters.size() ? chapters[i + 1].startSeconds : endSeconds;
        chapter.haveUtc = earlier.haveUtc;
        chapter.utcMillis = earlier.utcMillis;
        chapter.hour = earlier.haveUtc ? FloorDiv(earlier.utcMillis, kMillisInHour)
                                       : static_cast<std::int64_t>(std::floor(earlier.startSeconds / 3600));
        chapter.inits.insert(earlier.inits.begin(), earlier.inits.end());
        chapters_.push_back(chapter);
    }
    const Chapter& open = chapters_.back();
    playlist_ = ChapterName(open, ".m3u8");
    csvIndex_ = ChapterName(open, ".csv");
    jsonIndex_ = json_ ? ChapterName(open, ".json") : "";
    segmentExample_ = segmentName;
    // archive.csv is made again from the chapters with the next segment.
    listPending_ = true;
}

void Archive::SegmentStarts(unsigned int number, double seconds, bool haveUtc, std::int64_t utcMillis) {
    if (!chaptered())
        return;
    usageAtStart_ = store_.Usage();
    const std::int64_t hour =
        haveUtc ? FloorDiv(utcMillis, kMillisInHour) : static_cast<std::int64_t>(std::floor(seconds / 3600));
    if (!chapters_.empty()) {
        const Chapter& open = chapters_.back();
        const bool full = (rules_.bytes > 0 && open.bytes * kChaptersInBudget >= static_cast<double>(rules_.bytes)) ||
                          (rules_.seconds > 0 && (open.endSeconds - open.startSeconds) * kChaptersInBudget >= rules_.seconds);
        if (!open.kept || (hour == open.hour && !full))
            return;
    }
    Open(number, seconds, haveUtc, utcMillis, hour);
}

void Archive::Open(unsigned int number, double seconds, bool haveUtc, std::int64_t utcMillis, std::int64_t hour) {
    Chapter chapter;
    chapter.first = chapter.last = number;
    chapter.startSeconds = chapter.endSeconds = seconds;
    chapter.hour = hour;
    chapter.haveUtc = haveUtc;
    chapter.utcMillis = utcMillis;
    chapters_.push_back(chapter);
    playlist_ = ChapterName(chapter, ".m3u8");
    csvIndex_ = ChapterName(chapter, ".csv");
    jsonIndex_ = json_ ? ChapterName(chapter, ".json") : "";
}

std::string Archive::ChapterName(const Chapter& chapter, const char* extension) const {
    char name[32];
    std::snprintf(name, sizeof name, "index-%05u%s", chapter.first, extension);
    return name;
}

void Archive::UsesInit(const std::string& name) {
    if (chaptered() && !chapters_.empty())
        chapters_.back().inits.insert(name);
}

std::string Archive::Line(const Chapter& chapter) const {
    return Renumbered(segmentExample_, chapter.first) + "," + h265tools::SecondsText(chapter.startSeconds, 6) + "," +
           (chapter.haveUtc ? h265tools::UtcText(chapter.utcMillis) : std::string()) + "," +
           (playlists_ ? ChapterName(chapter, ".m3u8") : std::string()) + "," +
           ChapterName(chapter, ".csv") + "\n";
}

void Archive::Kept(unsigned int number, const std::string& name, std::uint64_t bytes, double endSeconds) {
    if (!chaptered() || chapters_.empty())
        return;
    if (rules_.bytes > 0 && bytes > rules_.bytes)
        throw BudgetError("--keep-bytes " + std::to_string(rules_.bytes) + " cannot hold " + name + " (" +
                          std::to_string(bytes) + " bytes): the budget must hold at least one segment");
    segmentExample_ = name;
    Chapter& open = chapters_.back();
    open.last = number;
    open.bytes += bytes;
    open.endSeconds = endSeconds;
    if (!open.kept) {
        open.kept = true;
        if (listWritten_ && !listPending_)
            store_.Append(kListName, Line(open));
        else
            listPending_ = true;
    }
    if (listPending_)
        WriteList();
    // Room for the next segment and what the playlists and indexes grow by
    // with it: as much as the most any segment took so far.
    const std::uint64_t usage = store_.Usage();
    largestGrowth_ = std::max(largestGrowth_, usage > usageAtStart_ ? usage - usageAtStart_ : 0);
    while (rules_.bytes > 0 && store_.Usage() + largestGrowth_ > rules_.bytes)
        if (!DeleteOldest())
            break;
    while (rules_.seconds > 0 && chapters_.size() > 1 && endSeconds - chapters_.front().endSeconds > rules_.seconds)
        if (!DeleteOldest())
            break;
}

bool Archive::DeleteOldest() {
    // The open chapter, and one whose segments the live playlist names, stay.
    if (chapters_.size() < 2 || chapters_.front().last >= keepFrom_) {
        if (!reportedOver_ && !inRoom_ && rules_.bytes > 0 && store_.Usage() > rules_.bytes) {
            reportedOver_ = true;
            messages_.Say("OUTDIR holds " + std::to_string(store_.Usage()) + " bytes, beyond the budget of " +
                          std::to_string(rules_.bytes) +
                          ": the open chapter and the segments the live playlist names are kept");
        }
        return false;
    }
    const Chapter gone = chapters_.front();
    chapters_.pop_front();
    // First no list, playlist or index names the chapter, then its files go.
    try {
        WriteList();
    } catch (const WriteError&) {
        if (!inRoom_)
            throw;
        listPending_ = true; // a full device: written again once there is room
    }
    store_.Remove(ChapterName(gone, ".m3u8"));
    store_.Remove(ChapterName(gone, ".csv"));
    if (json_)
        store_.Remove(ChapterName(gone, ".json"));
    const std::uint64_t before = store_.Usage();
    for (unsigned int number = gone.first;; ++number) {
        if (store_.Remove(Renumbered(segmentExample_, number)))
            ++deletedSegments_;
        if (number == gone.last)
            break;
    }
    for (const std::string& init : gone.inits) {
        bool named = false;
        for (const Chapter& chapter : chapters_)
            named = named || chapter.inits.count(init) > 0;
        if (!named)
            store_.Remove(init);
    }
    deletedBytes_ += before - store_.Usage();
    ++deletedChapters_;
    return true;
}

void Archive::WriteList() {
    std::string text = kListHeader;
    for (const Chapter& chapter : chapters_)
        if (chapter.kept)
            text += Line(chapter);
    // Made again in one step, and appended to from there.
    store_.EndAppend(kListName);
    store_.Append(kListName, text);
    listWritten_ = true;
    listPending_ = false;
}

bool Archive::MakeRoom() {
    if (!chaptered() || inRoom_)
        return false;
    inRoom_ = true;
    const unsigned int first = chapters_.empty() ? 0 : chapters_.front().first;
    const std::uint64_t before = deletedBytes_;
    bool freed = false;
    try {
        freed = DeleteOldest();
    } catch (...) {
        inRoom_ = false;
        throw;
    }
    inRoom_ = false;
    if (freed && ++roomMade_ <= kReportedRoom)
        messages_.Say("the device is full: deleted the oldest chapter, from " + Renumbered(segmentExample_, first) +
                      " (" + std::to_string(deletedBytes_ - before) + " bytes), and went on");
    return freed;
}

std::string Archive::Summary() const {
    if (deletedChapters_ == 0)
        return "";
    std::string text = "deleted the " + std::to_string(deletedSegments_) + " segments (" +
                       std::to_string(deletedBytes_) + " bytes) of the " + std::to_string(deletedChapters_) +
                       " oldest chapters to stay within the budget";
    if (roomMade_ > kReportedRoom)
        text += "; the device was full " + std::to_string(roomMade_) + " times";
    return text;
}

} // namespace h265split
