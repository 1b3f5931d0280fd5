#include "ResumedRun.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>

#include "EarlierFiles.h"
#include "FrameRate.h"
#include "Options.h"
#include "OutputFiles.h"
#include "SegmentContents.h"
#include "SegmentIndex.h"
#include "TornRecording.h"
#include "UtcTime.h"

namespace h265split {

namespace {

const std::string kTemporary = ".tmp";

// An index.csv line read back.
bool ParseCsvLine(const std::string& line, SegmentRecord& r) {
    std::vector<std::string> f;
    std::size_t from = 0;
    for (std::size_t comma; (comma = line.find(',', from)) != std::string::npos; from = comma + 1)
        f.push_back(line.substr(from, comma - from));
    f.push_back(line.substr(from));
    // The damaged column came last, after utc: an index of a run before it
    // has 17 columns, and its segments count no damaged picture.
    if (f.size() != 17 && f.size() != 18)
        return false;
    auto u = [](const std::string& text) { return std::strtoull(text.c_str(), nullptr, 10); };
    r.file = f[0];
    r.recovered = f[1].empty();
    r.firstByteOffset = u(f[1]);
    r.bytes = u(f[2]);
    r.pictures = u(f[3]);
    r.iPictures = u(f[4]);
    r.pPictures = u(f[5]);
    r.bPictures = u(f[6]);
    r.codedWidth = static_cast<int>(u(f[7]));
    r.codedHeight = static_cast<int>(u(f[8]));
    r.displayWidth = u(f[9]);
    r.displayHeight = u(f[10]);
    r.keyNalType = static_cast<int>(u(f[11]));
    r.parameterSetsInserted = f[12] == "yes";
    r.raslDropped = u(f[13]);
    r.startTime = std::strtod(f[14].c_str(), nullptr);
    r.duration = std::strtod(f[15].c_str(), nullptr);
    r.haveUtc = !f[16].empty() && h265tools::ParseUtc(f[16], r.utcMillis);
    r.damagedPictures = f.size() > 17 ? u(f[17]) : 0;
    return true;
}

const char* FormatName(OutputFormat format) {
    return format == OutputFormat::kRaw ? "raw" : format == OutputFormat::kHls ? "fmp4" : "mp4";
}

class Resumption {
public:
    Resumption(const std::string& directory, const Options& options, Messages& messages)
        : directory_(directory), options_(options), messages_(messages) {}

    ResumePoint Run();
    // After a failure: index.m3u8 gets back the #EXT-X-ENDLIST that
    // RepairPlaylist cut off.
    void EndPlaylist() noexcept;

private:
    std::string PathOf(const std::string& name) const { return directory_ + "/" + name; }
    void CheckFormat(const std::vector<std::string>& names);
    // With a budget the recording is kept in chapters: the last one's
    // playlist and index go on, and the others are reported to the archive.
    void FindChapters(const std::vector<std::string>& names);
    void RepairTemporaries(const std::vector<std::string>& names);
    void KeepSegment(const std::string& name, std::uint64_t bytes, std::uint64_t size, const std::string& what);
    void NumberAfter(const std::vector<std::string>& names);
    void FindSegments();
    void RepairCsv();
    void RepairJson();
    void RepairPlaylist();
    void ReadPlaylist();
    void ReadMaster();
    // The index entry of a complete segment file that no entry names.
    SegmentRecord Recovered(const std::string& name, double start);
    // Adds the entry to index.csv, to index.json, made when missing.
    void AppendCsv(const SegmentRecord& record);
    void AppendJson(const SegmentRecord& record);
    void CompleteIndex();
    void CompletePlaylist();
    // Counts a segment the media playlist names, and adds it to live.m3u8
    // unless that names it already.
    void NoteEntry(mp4::PlaylistSegment entry);
    void ReadLive();

    std::string directory_;
    const Options& options_;
    Messages& messages_;
    ResumePoint point_;
    // The playlist and index that go on: the whole recording's, or the last
    // chapter's, whose segments start at `firstOfChapter_`.
    std::string playlistName_ = "index.m3u8";
    std::string csvName_ = "index.csv";
    std::string jsonName_ = "index.json";
    unsigned int firstOfChapter_ = 0;
    // Complete segment files by number (seg-NNNNN.* or rec-NNNNN.mp4).
    std::map<unsigned int, std::string> segments_;
    std::vector<SegmentRecord> csv_;      // index.csv's entries
    std::vector<std::string> jsonFiles_;  // index.json's entries' files
    bool csvExists_ = false;
    bool jsonExists_ = false;
    bool playlistExists_ = false;
    std::string lastNamed_; // the last segment index.m3u8 names
    bool endCut_ = false;   // RepairPlaylist cut its end off
    std::map<unsigned int, SegmentRecord> recovered_;
    // The number of the last segment live.m3u8 names, when it names one.
    bool liveNamesAny_ = false;
    unsigned int liveNamesUpTo_ = 0;
    std::string liveInit_; // the init segment of the last one live.m3u8 names
};

void Resumption::CheckFormat(const std::vector<std::string>& names) {
    bool found[3] = {false, false, false};
    unsigned int number = 0;
    for (std::string name : names) {
        if (EndsWith(name, kTemporary))
            name.resize(name.size() - kTemporary.size());
        found[0] = found[0] || NumberOf(name, "seg-", ".265", number);
        found[1] = found[1] || NumberOf(name, "seg-", ".m4s", number) || NumberOf(name, "init-", ".mp4", number) ||
                   name == "init.mp4" || name == "index.m3u8";
        found[2] = found[2] || NumberOf(name, "rec-", ".mp4", number);
    }
    const OutputFormat formats[3] = {OutputFormat::kRaw, OutputFormat::kHls, OutputFormat::kMp4};
    for (int i = 0; i < 3; ++i)
        if (found[i] && formats[i] != options_.format)
            throw WriteError("'" + directory_ + "' holds a recording in --format " + FormatName(formats[i]) +
                             "; --resume goes on with it only in that format");
    // The head of index.m3u8 cannot change; a claim of independent
    // segments would be false for segments that keep RASL pictures.
    std::string text;
    if (options_.rules.keepRasl && ReadWhole(PathOf(playlistName_), text) &&
        text.find("#EXT-X-INDEPENDENT-SEGMENTS\n") != std::string::npos)
        throw WriteError(playlistName_ + " in '" + directory_ +
                         "' claims independent segments, which --keep-rasl would break; resume without it");
}

void Resumption::KeepSegment(const std::string& name, std::uint64_t bytes, std::uint64_t size,
                             const std::string& what) {
    const std::string kept = name.substr(0, name.size() - kTemporary.size());
    if (bytes == 0) {
        Remove(directory_, name);
        messages_.Say(name + " (" + std::to_string(size) + " bytes), cut by an earlier run, holds no whole " + what +
                      " and was removed");
        return;
    }
    if (bytes < size)
        CutBack(PathOf(name), bytes);
    else
        CutBack(PathOf(name), size); // flushed
    if (!RenameNoReplace(PathOf(name), PathOf(kept))) {
        if (errno != EEXIST)
            ThrowWriteError("rename", PathOf(name));
        messages_.Say(name + ", cut by an earlier run, is kept as it is: " + kept + " exists");
        return;
    }
    SyncDirectory(directory_);
    messages_.Say("kept " + name + ", cut by an earlier run, as " + kept +
                  (bytes < size ? " (the " + std::to_string(size - bytes) + " bytes after its last whole " + what +
                                      " removed)"
                                : std::string()));
}

void Resumption::RepairTemporaries(const std::vector<std::string>& names) {
    unsigned int number = 0;
    for (const std::string& name : names) {
        if (!EndsWith(name, kTemporary))
            continue;
        const std::string written = name.substr(0, name.size() - kTemporary.size());
        if (written == "index.m3u8" || written == "master.m3u8" || written == "live.m3u8" ||
            written == "init.mp4" || NumberOf(written, "init-", ".mp4", number) || written == "index.csv" ||
            written == "index.json" || written == "archive.csv" || NumberOf(written, "index-", ".csv", number) ||
            NumberOf(written, "index-", ".json", number) || NumberOf(written, "index-", ".m3u8", number)) {
            // A copy being written in one step (OutputDirectory::Replace; an
            // index made by a resumed run): the file it replaces, or none,
            // is what was named.
            Remove(directory_, name);
            messages_.Say("removed " + name + ", an incomplete copy an earlier run was writing");
        } else if (NumberOf(written, "rec-", ".mp4", number)) {
            // The moov is written before any fragment: without a whole one
            // the file holds no picture.
            if (WalkFragments(PathOf(name)).movie)
                KeepTornRecording(directory_, name, messages_);
            else
                KeepSegment(name, 0, WalkFragments(PathOf(name)).size, "moov box");
        } else if (NumberOf(written, "seg-", ".m4s", number)) {
            const Fragments walk = WalkFragments(PathOf(name));
            KeepSegment(name, walk.wholeBytes, walk.size, "movie fragment");
        } else if (NumberOf(written, "seg-", ".265", number)) {
            // Its last access unit may be cut short anywhere, in a way no
            // reader can tell without decoding it: the part before it stays.
            std::string data;
            ReadWhole(PathOf(name), data);
            KeepSegment(name, WalkRaw(data).lastUnitStart, data.size(), "access unit");
        }
    }
}

void Resumption::NumberAfter(const std::vector<std::string>& names) {
    // Temporaries count too: no new file takes the name of one a reader
    // may have seen being written, even when it was removed.
    unsigned int number = 0;
    for (std::string name : names) {
        if (EndsWith(name, kTemporary))
            name.resize(name.size() - kTemporary.size());
        if (SegmentNumber(name, number) || NumberOf(name, "init-", ".mp4", number))
            point_.nextNumber = std::max(point_.nextNumber, number + 1);
    }
}

void Resumption::FindSegments() {
    unsigned int number = 0;
    for (const std::string& name : Names(directory_)) {
        if (!SegmentNumber(name, number))
            continue;
        // Each chapter's segments and their bytes; those before the last
        // chapter are listed in their own.
        for (auto chapter = point_.chapters.rbegin(); chapter != point_.chapters.rend(); ++chapter)
            if (chapter->first <= number) {
                struct stat status;
                if (::stat(PathOf(name).c_str(), &status) == 0)
                    chapter->bytes += static_cast<std::uint64_t>(status.st_size);
                chapter->last = std::max(chapter->last, number);
                break;
            }
        if (number >= firstOfChapter_)
            segments_[number] = name;
    }
}

void Resumption::FindChapters(const std::vector<std::string>& names) {
    unsigned int number = 0;
    bool chapters = false, whole = false;
    for (const std::string& name : names) {
        chapters = chapters || NumberOf(name, "index-", ".csv", number) || NumberOf(name, "index-", ".m3u8", number);
        whole = whole || name == "index.csv" || name == "index.m3u8";
    }
    if (options_.retention.active() ? whole : chapters)
        throw WriteError("'" + directory_ + "' holds a recording " +
                         (chapters ? "in chapters (--keep-bytes or --keep-age)" : "without a budget") +
                         "; --resume goes on with it only " + (chapters ? "with a budget" : "without one"));
    if (!options_.retention.active())
        return;
    // A chapter is known by its index, whose first entry tells where it
    // starts; archive.csv, which lists them, is made again from them.
    std::set<unsigned int> firsts;
    for (const std::string& name : names)
        if (NumberOf(name, "index-", ".csv", number) || NumberOf(name, "index-", ".json", number) ||
            NumberOf(name, "index-", ".m3u8", number))
            firsts.insert(number);
    for (unsigned int first : firsts) {
        char base[32];
        std::snprintf(base, sizeof base, "index-%05u", first);
        std::string text;
        ReadWhole(PathOf(std::string(base) + ".csv"), text); // none: a chapter made up to its playlist
        const std::size_t line = text.find('\n');
        SegmentRecord r;
        const std::size_t end = line == std::string::npos ? line : text.find('\n', line + 1);
        if (line == std::string::npos || end == std::string::npos ||
            !ParseCsvLine(text.substr(line + 1, end - line - 1), r)) {
            // Made, but no entry was whole when the run stopped: its
            // segments, if any, are listed with the chapter before.
            for (const char* extension : {".csv", ".json", ".m3u8"}) {
                struct stat status;
                if (::lstat(PathOf(std::string(base) + extension).c_str(), &status) == 0)
                    Remove(directory_, std::string(base) + extension);
            }
            messages_.Say("removed the index and playlist of chapter " + std::string(base) +
                          ", which listed no whole entry when an earlier run stopped");
            continue;
        }
        ResumePoint::Chapter chapter;
        chapter.first = chapter.last = first;
        chapter.startSeconds = r.startTime;
        chapter.haveUtc = r.haveUtc;
        chapter.utcMillis = r.utcMillis;
        if (options_.format == OutputFormat::kHls) {
            std::string playlist;
            ReadWhole(PathOf(std::string(base) + ".m3u8"), playlist);
            for (std::size_t at = playlist.find("#EXT-X-MAP:URI=\""); at != std::string::npos;
                 at = playlist.find("#EXT-X-MAP:URI=\"", at + 1)) {
                const std::size_t from = at + 16, to = playlist.find('"', from);
                if (to != std::string::npos)
                    chapter.inits.push_back(playlist.substr(from, to - from));
            }
        }
        point_.chapters.push_back(chapter);
    }
    if (point_.chapters.empty()) {
        // The run stopped before its first chapter listed a segment: the
        // chapter starts at the first segment there, if any.
        unsigned int lowest = ~0u;
        for (const std::string& name : names)
            if (SegmentNumber(name, number))
                lowest = std::min(lowest, number);
        if (lowest == ~0u)
            return;
        ResumePoint::Chapter chapter;
        chapter.first = chapter.last = lowest;
        point_.chapters.push_back(chapter);
    }
    char base[32];
    std::snprintf(base, sizeof base, "index-%05u", point_.chapters.back().first);
    firstOfChapter_ = point_.chapters.back().first;
    playlistName_ = std::string(base) + ".m3u8";
    csvName_ = std::string(base) + ".csv";
    jsonName_ = std::string(base) + ".json";
}

void Resumption::RepairCsv() {
    std::string text;
    const std::string path = PathOf(csvName_);
    if (!ReadWhole(path, text))
        return;
    const std::size_t headerEnd = text.find('\n');
    if (text.compare(0, 22, "file,first_byte_offset") != 0 || headerEnd == std::string::npos) {
        // Made, but its head line is not whole: it holds no entry.
        Remove(directory_, csvName_);
        messages_.Say("removed " + csvName_ + " (" + std::to_string(text.size()) +
                      " bytes), cut by an earlier run before its first line was whole");
        return;
    }
    csvExists_ = true;
    const std::size_t whole = text.rfind('\n') + 1;
    if (whole < text.size()) {
        CutBack(path, whole);
        messages_.Say(csvName_ + ": the " + std::to_string(text.size() - whole) +
                      " bytes of an entry cut short by an earlier run removed");
        text.resize(whole);
    }
    for (std::size_t at = headerEnd + 1; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        SegmentRecord record;
        if (ParseCsvLine(text.substr(at, end - at), record))
            csv_.push_back(record);
        at = end + 1;
    }
}

void Resumption::RepairJson() {
    std::string text;
    const std::string path = PathOf(jsonName_);
    if (!ReadWhole(path, text))
        return;
    // The array holds objects without nesting: the last '}' ends the last
    // whole entry, after which "\n]\n" closes it.
    const std::size_t last = text.rfind('}');
    if (text.compare(0, 2, "[\n") != 0 || last == std::string::npos) {
        Remove(directory_, jsonName_);
        messages_.Say("removed " + jsonName_ + " (" + std::to_string(text.size()) +
                      " bytes), cut by an earlier run before its first entry was whole");
        return;
    }
    jsonExists_ = true;
    if (text.compare(last, std::string::npos, "}\n]\n") != 0) {
        CutBack(path, last + 1);
        AppendFlushed(path, "\n]\n");
        messages_.Say(jsonName_ + ": cut back to its last whole entry, as an earlier run left it cut short");
    }
    const std::string key = "{\"file\": \"";
    for (std::size_t at = text.find(key); at != std::string::npos && at < last; at = text.find(key, at + 1)) {
        const std::size_t begin = at + key.size();
        jsonFiles_.push_back(text.substr(begin, text.find('"', begin) - begin));
    }
}

// The end of a media playlist's last URI line: what follows it is
// #EXT-X-ENDLIST, or the tags of an entry cut short.
std::size_t WholeEntries(const std::string& text) {
    std::size_t whole = 0;
    for (std::size_t at = 0; at < text.size();) {
        const std::size_t end = text.find('\n', at);
        if (end == std::string::npos)
            break;
        if (end > at && text[at] != '#')
            whole = end + 1;
        at = end + 1;
    }
    return whole;
}

void Resumption::EndPlaylist() noexcept {
    if (!endCut_)
        return;
    // The resumed run failed before it could go on (a full device): the
    // recording stops here, and players must see its end. Whatever this run
    // appended of an entry is cut back first.
    try {
        std::string text;
        const std::string path = PathOf(playlistName_);
        if (!ReadWhole(path, text) || WholeEntries(text) == 0)
            return;
        CutBack(path, WholeEntries(text));
        AppendFlushed(path, mp4::MediaPlaylist::EndText());
        messages_.Say(playlistName_ + ": ended again with #EXT-X-ENDLIST");
    } catch (const std::exception& e) {
        messages_.Say(playlistName_ + " could not be ended: " + e.what());
    }
}

void Resumption::RepairPlaylist() {
    std::string text;
    const std::string path = PathOf(playlistName_);
    if (!ReadWhole(path, text))
        return;
    const std::size_t whole = WholeEntries(text);
    if (whole == 0) {
        Remove(directory_, playlistName_);
        messages_.Say("removed " + playlistName_ + ", which named no segment");
        return;
    }
    playlistExists_ = true;
    if (whole == text.size())
        return;
    CutBack(path, whole);
    endCut_ = true;
    if (text.compare(whole, std::string::npos, mp4::MediaPlaylist::EndText()) == 0)
        messages_.Say(playlistName_ + ": its #EXT-X-ENDLIST cut off, the recording goes on");
    else
        messages_.Say(playlistName_ + ": the " + std::to_string(text.size() - whole) +
                      " bytes of an entry cut short by an earlier run removed");
}

void Resumption::NoteEntry(mp4::PlaylistSegment entry) {
    ++point_.playlistSegments;
    point_.playlistSeconds += entry.seconds;
    point_.initName = entry.initUri;
    lastNamed_ = entry.uri;
    unsigned int number = 0;
    if (!point_.live || (liveNamesAny_ && SegmentNumber(entry.uri, number) && number <= liveNamesUpTo_))
        return;
    // A chapter's playlist names its init segment with its first segment
    // whether or not it changed there: a change is a new name.
    entry.newInit = entry.initUri != liveInit_;
    liveInit_ = entry.initUri;
    point_.live->Add(entry);
}

void Resumption::ReadLive() {
    std::string text;
    if (options_.liveSegments == 0 || !ReadWhole(PathOf("live.m3u8"), text))
        return;
    // What players have seen of the recording: its segments keep their media
    // sequence numbers, and the segments the media playlist names after its
    // last one (the run stopped before rewriting it) follow.
    const mp4::MediaPlaylistContents live = mp4::ReadMediaPlaylist(text);
    unsigned int last = 0;
    if (!live.valid || live.segments.empty() || !SegmentNumber(live.segments.back().uri, last))
        return;
    point_.live.reset(new mp4::LivePlaylist(std::max(1u, live.targetDuration), live.independent,
                                            options_.liveSegments));
    point_.live->ContinueFrom(live.mediaSequence, live.discontinuitySequence, live.segments);
    liveNamesAny_ = true;
    liveNamesUpTo_ = last;
    liveInit_ = live.segments.back().initUri;
}

void Resumption::ReadPlaylist() {
    std::string text;
    if (!playlistExists_ || !ReadWhole(PathOf(playlistName_), text))
        return;
    point_.havePlaylist = true;
    const mp4::MediaPlaylistContents playlist = mp4::ReadMediaPlaylist(text);
    point_.targetDuration = playlist.targetDuration ? playlist.targetDuration : 1;
    point_.independent = playlist.independent;
    if (options_.liveSegments > 0 && !point_.live)
        point_.live.reset(new mp4::LivePlaylist(point_.targetDuration, point_.independent, options_.liveSegments));
    std::vector<std::string> missing;
    std::map<std::string, bool> checked;
    auto check = [&](const std::string& name) {
        auto found = checked.find(name);
        if (found == checked.end())
            found = checked.insert(std::make_pair(name, Exists(PathOf(name)))).first;
        if (!found->second) {
            missing.push_back(name);
            found->second = true; // named once
        }
    };
    for (const mp4::PlaylistSegment& entry : playlist.segments) {
        if (!entry.initUri.empty())
            check(entry.initUri);
        check(entry.uri);
        NoteEntry(entry);
    }
    // The tool names a segment only once it is flushed and renamed: a
    // missing one was removed by someone else. The entry stays, as a
    // player that read the playlist already knows it.
    if (!missing.empty())
        messages_.Say(playlistName_ + " names " + Listed(missing) +
                      ", not in OUTDIR (removed by someone else?); its entries are kept");
}

void Resumption::ReadMaster() {
    std::string text;
    if (!ReadWhole(PathOf("master.m3u8"), text))
        return;
    auto value = [&text](const std::string& key) -> std::uint64_t {
        const std::size_t at = text.find(key);
        return at == std::string::npos ? 0 : std::strtoull(text.c_str() + at + key.size(), nullptr, 10);
    };
    point_.bandwidth = value(":BANDWIDTH=");
    point_.averageBandwidth = value(",AVERAGE-BANDWIDTH=");
    const std::size_t codecs = text.find("CODECS=\"");
    if (codecs != std::string::npos)
        point_.codecs = text.substr(codecs + 8, text.find('"', codecs + 8) - codecs - 8);
}

SegmentRecord Resumption::Recovered(const std::string& name, double start) {
    SegmentRecord record;
    record.file = name;
    record.recovered = true;
    record.startTime = start;
    unsigned int number = 0;
    if (EndsWith(name, ".265")) {
        std::string data;
        ReadWhole(PathOf(name), data);
        record.bytes = data.size();
        record.pictures = WalkRaw(data).allPictures;
        // A raw segment holds no times: its pictures last as long as those
        // of the entry before it, else the --fps or default rate.
        double perPicture = 1.0 / (options_.rules.haveRate ? options_.rules.rate.PerSecond() : 25.0);
        for (auto r = csv_.rbegin(); r != csv_.rend(); ++r)
            if (r->pictures > 0) {
                perPicture = r->duration / static_cast<double>(r->pictures);
                break;
            }
        record.duration = perPicture * static_cast<double>(record.pictures);
        return record;
    }
    const Fragments walk = WalkFragments(PathOf(name));
    record.bytes = walk.size;
    record.pictures = walk.shown.samples;
    std::uint32_t timescale = walk.timescale;
    if (timescale == 0 && NumberOf(name, "seg-", ".m4s", number)) {
        const std::string own = "init-" + name.substr(4, name.size() - 8) + ".mp4";
        timescale = InitTimescale(PathOf(own));
        if (timescale == 0)
            timescale = InitTimescale(PathOf(point_.initName.empty() ? "init.mp4" : point_.initName));
    }
    record.duration = timescale ? static_cast<double>(walk.ticks()) / timescale : 0;
    // Each fragment of a recording with a wall clock starts with a 'prft'
    // box: the first one gives the segment its UTC time.
    record.haveUtc = FirstPictureUtc(walk, timescale, record.utcMillis);
    return record;
}

void Resumption::AppendCsv(const SegmentRecord& record) {
    if (!csvExists_)
        OutputDirectory(directory_).Replace(csvName_, kCsvHeader);
    csvExists_ = true;
    AppendFlushed(PathOf(csvName_), CsvLine(record));
}

void Resumption::AppendJson(const SegmentRecord& record) {
    const std::string entry = JsonObject(record) + "\n]\n";
    if (!jsonExists_) {
        OutputDirectory(directory_).Replace(jsonName_, "[\n" + entry);
        jsonExists_ = true;
        return;
    }
    // The entry takes the place of the closing "\n]\n" (RepairJson ended
    // the array so); cut short here, the next run cuts it back again.
    struct stat status;
    if (::stat(PathOf(jsonName_).c_str(), &status) != 0 || status.st_size < 3)
        ThrowWriteError("read", PathOf(jsonName_));
    CutBack(PathOf(jsonName_), static_cast<std::uint64_t>(status.st_size) - 3);
    AppendFlushed(PathOf(jsonName_), ",\n" + entry);
}

void Resumption::CompleteIndex() {
    // Entries are written in the order of the segments: those after the
    // last one each file names are what a crash kept from it. index.json
    // takes the index.csv entries it lacks as they are.
    unsigned int csvAfter = 0, jsonAfter = 0, number = 0;
    bool csvAny = false, jsonAny = false;
    for (const SegmentRecord& r : csv_)
        if (SegmentNumber(r.file, number)) {
            csvAfter = number;
            csvAny = true;
        }
    for (const std::string& file : jsonFiles_)
        if (SegmentNumber(file, number)) {
            jsonAfter = number;
            jsonAny = true;
        }
    const bool json = options_.json;
    if (json && !jsonExists_)
        jsonAny = false;
    // index.csv entries that index.json lacks.
    if (json)
        for (const SegmentRecord& r : csv_)
            if (SegmentNumber(r.file, number) && (!jsonAny || number > jsonAfter))
                AppendJson(r);
    double end = csv_.empty() ? 0 : csv_.back().startTime + csv_.back().duration;
    for (const auto& segment : segments_) {
        if (csvAny && segment.first <= csvAfter)
            continue;
        const SegmentRecord r = Recovered(segment.second, end);
        end = r.startTime + r.duration;
        AppendCsv(r);
        if (json && (!jsonAny || segment.first > jsonAfter))
            AppendJson(r);
        csv_.push_back(r);
        recovered_[segment.first] = r;
        // A chapter that no index entry started yet starts with it.
        if (!csvAny && !point_.chapters.empty() && point_.chapters.back().first == segment.first) {
            ResumePoint::Chapter& chapter = point_.chapters.back();
            chapter.startSeconds = r.startTime;
            chapter.haveUtc = r.haveUtc;
            chapter.utcMillis = r.utcMillis;
        }
        messages_.Say(csvName_ + ": " + r.file + ", complete but not listed when an earlier run stopped, added");
    }
    // A damaged entry's time cannot throw the new run's times out of range.
    point_.endSeconds = end >= 0 && end < 1e9 ? end : 0;
}

void Resumption::CompletePlaylist() {
    unsigned int lastNumber = 0, number = 0;
    const bool named = !lastNamed_.empty() && NumberOf(lastNamed_, "seg-", ".m4s", lastNumber);
    std::string text;
    std::unique_ptr<mp4::MediaPlaylist> playlist;
    for (const auto& segment : segments_) {
        if (named && segment.first <= lastNumber)
            continue;
        if (!NumberOf(segment.second, "seg-", ".m4s", number))
            continue;
        auto record = recovered_.find(segment.first);
        const SegmentRecord r = record != recovered_.end() ? record->second : Recovered(segment.second, 0);
        mp4::PlaylistSegment entry;
        entry.uri = segment.second;
        entry.seconds = r.duration;
        entry.haveUtc = r.haveUtc;
        entry.utcMillis = r.utcMillis;
        // Its own init segment is written before it (HlsOutput::WriteInit).
        const std::string own = "init-" + segment.second.substr(4, segment.second.size() - 8) + ".mp4";
        if (Exists(PathOf(own)) || (point_.initName.empty() && Exists(PathOf("init.mp4")))) {
            entry.newInit = true;
            point_.initName = Exists(PathOf(own)) ? own : "init.mp4";
        }
        entry.initUri = point_.initName;
        // The first segment of a run (a resumed one too) after segments of
        // an earlier run: the input starts again there.
        entry.discontinuity = point_.playlistSegments > 0 && WalkFragments(PathOf(entry.uri)).firstSequenceNumber == 1;
        if (!playlist) {
            if (!point_.havePlaylist) {
                point_.targetDuration = std::max(1u, static_cast<unsigned int>(std::ceil(options_.rules.seconds)));
                point_.independent = !options_.rules.keepRasl;
                if (options_.liveSegments > 0 && !point_.live)
                    point_.live.reset(
                        new mp4::LivePlaylist(point_.targetDuration, point_.independent, options_.liveSegments));
            }
            playlist.reset(new mp4::MediaPlaylist(std::max(point_.targetDuration, mp4::RoundedSeconds(r.duration)),
                                                  point_.independent));
            playlist->ContinueAfter(point_.playlistSegments);
        }
        std::string lines;
        playlist->Add(entry, lines);
        text += lines;
        NoteEntry(entry);
        messages_.Say(playlistName_ + ": " + entry.uri + ", complete but not named when an earlier run stopped, added");
    }
    if (text.empty())
        return;
    if (point_.havePlaylist) {
        AppendFlushed(PathOf(playlistName_), text);
    } else {
        OutputDirectory(directory_).Replace(playlistName_, text);
        point_.havePlaylist = true;
        point_.targetDuration = playlist->targetDuration();
    }
}

ResumePoint Resumption::Run() {
    const std::vector<std::string> names = Names(directory_);
    CheckFormat(names);
    NumberAfter(names);
    RepairTemporaries(names);
    FindChapters(Names(directory_));
    FindSegments();
    RepairCsv();
    RepairJson();
    if (options_.format == OutputFormat::kHls) {
        RepairPlaylist();
        ReadLive();
        ReadPlaylist();
    }
    CompleteIndex();
    if (options_.format == OutputFormat::kHls) {
        CompletePlaylist();
        ReadMaster();
        std::string init;
        if (!point_.initName.empty() && ReadWhole(PathOf(point_.initName), init))
            point_.init.assign(init.begin(), init.end());
    }
    point_.resumed = csvExists_ || jsonExists_ || playlistExists_ || !segments_.empty() || point_.nextNumber > 0;
    // What OUTDIR holds, for a budget.
    for (const std::string& name : Names(directory_)) {
        struct stat status;
        if (::lstat(PathOf(name).c_str(), &status) == 0 && S_ISREG(status.st_mode))
            point_.existingBytes += static_cast<std::uint64_t>(status.st_size);
    }
    if (point_.resumed)
        messages_.Say("resuming the recording in '" + directory_ + "' at segment number " +
                      std::to_string(point_.nextNumber) + ", time " + h265tools::SecondsText(point_.endSeconds, 3) +
                      " s");
    return point_;
}

} // namespace

ResumePoint ResumeEarlierRun(const std::string& directory, const Options& options, Messages& messages) {
    Resumption resumption(directory, options, messages);
    try {
        return resumption.Run();
    } catch (const WriteError&) {
        resumption.EndPlaylist();
        throw;
    }
}

} // namespace h265split
