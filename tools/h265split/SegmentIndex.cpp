#include "SegmentIndex.h"

#include <sys/types.h>
#include <unistd.h>
#include <fcntl.h>

#include <cerrno>

#include "FrameRate.h"
#include "OutputFiles.h"
#include "UtcTime.h"

namespace h265split {

const char kCsvHeader[] = "file,first_byte_offset,bytes,pictures,i_pictures,p_pictures,b_pictures,coded_width,"
                          "coded_height,display_width,display_height,key_nal_type,parameter_sets_inserted,"
                          "rasl_dropped,start_time,duration,utc\n";

std::string CsvLine(const SegmentRecord& r) {
    using std::to_string;
    if (r.recovered)
        return r.file + ",," + to_string(r.bytes) + "," + to_string(r.pictures) + ",,,,,,,,,,," +
               h265tools::SecondsText(r.startTime, 6) + "," + h265tools::SecondsText(r.duration, 6) + ",\n";
    return r.file + "," + to_string(r.firstByteOffset) + "," + to_string(r.bytes) + "," + to_string(r.pictures) + "," +
           to_string(r.iPictures) + "," + to_string(r.pPictures) + "," + to_string(r.bPictures) + "," +
           to_string(r.codedWidth) + "," + to_string(r.codedHeight) + "," + to_string(r.displayWidth) + "," +
           to_string(r.displayHeight) + "," + to_string(r.keyNalType) + "," +
           (r.parameterSetsInserted ? "yes" : "no") + "," + to_string(r.raslDropped) + "," +
           h265tools::SecondsText(r.startTime, 6) + "," + h265tools::SecondsText(r.duration, 6) + "," +
           (r.haveUtc ? h265tools::UtcText(r.utcMillis) : std::string()) + "\n";
}

// The file name is ours ("seg-NNNNN.265") and needs no escaping.
std::string JsonObject(const SegmentRecord& r) {
    using std::to_string;
    if (r.recovered)
        return "  {\"file\": \"" + r.file + "\", \"first_byte_offset\": null, \"bytes\": " + to_string(r.bytes) +
               ", \"pictures\": " + to_string(r.pictures) +
               ", \"i_pictures\": null, \"p_pictures\": null, \"b_pictures\": null, \"coded_width\": null, "
               "\"coded_height\": null, \"display_width\": null, \"display_height\": null, \"key_nal_type\": null, "
               "\"parameter_sets_inserted\": null, \"rasl_dropped\": null, \"start_time\": " +
               h265tools::SecondsText(r.startTime, 6) + ", \"duration\": " + h265tools::SecondsText(r.duration, 6) +
               ", \"utc\": null}";
    return "  {\"file\": \"" + r.file + "\", \"first_byte_offset\": " + to_string(r.firstByteOffset) +
           ", \"bytes\": " + to_string(r.bytes) + ", \"pictures\": " + to_string(r.pictures) +
           ", \"i_pictures\": " + to_string(r.iPictures) + ", \"p_pictures\": " + to_string(r.pPictures) +
           ", \"b_pictures\": " + to_string(r.bPictures) + ", \"coded_width\": " + to_string(r.codedWidth) +
           ", \"coded_height\": " + to_string(r.codedHeight) + ", \"display_width\": " + to_string(r.displayWidth) +
           ", \"display_height\": " + to_string(r.displayHeight) + ", \"key_nal_type\": " +
           to_string(r.keyNalType) + ", \"parameter_sets_inserted\": " +
           (r.parameterSetsInserted ? "true" : "false") + ", \"rasl_dropped\": " + to_string(r.raslDropped) +
           ", \"start_time\": " + h265tools::SecondsText(r.startTime, 6) +
           ", \"duration\": " + h265tools::SecondsText(r.duration, 6) +
           ", \"utc\": " + (r.haveUtc ? "\"" + h265tools::UtcText(r.utcMillis) + "\"" : std::string("null")) + "}";
}

SegmentIndex::SegmentIndex(const std::string& directory, bool json)
    : csvPath_(directory + "/index.csv"), jsonPath_(json ? directory + "/index.json" : std::string()),
      enabled_(!directory.empty()) {}

SegmentIndex::~SegmentIndex() {
    if (csv_ >= 0)
        ::close(csv_);
    if (json_ >= 0)
        ::close(json_);
}

void SegmentIndex::Add(const SegmentRecord& record) {
    if (!enabled_)
        return;
    if (csv_ < 0) {
        csv_ = CreateFile(csvPath_);
        WriteAll(csv_, kCsvHeader, sizeof kCsvHeader - 1, csvPath_);
    }
    const std::string line = CsvLine(record);
    WriteAll(csv_, line.data(), line.size(), csvPath_);
    if (jsonPath_.empty())
        return;
    // The document stays a complete JSON array after every entry: a new one
    // overwrites the closing "\n]\n" of the last and closes the array again.
    std::string text;
    if (json_ < 0) {
        json_ = CreateFile(jsonPath_);
        text = "[\n";
    } else {
        if (::lseek(json_, -3, SEEK_END) < 0)
            ThrowWriteError("write", jsonPath_);
        text = ",\n";
    }
    text += JsonObject(record) + "\n]\n";
    WriteAll(json_, text.data(), text.size(), jsonPath_);
}

} // namespace h265split

namespace h265split {

void SegmentIndex::Continue() {
    if (!enabled_)
        return;
    // Opened only when there: a missing file is made by the first entry.
    csv_ = ::open(csvPath_.c_str(), O_WRONLY | O_APPEND | O_NOFOLLOW | O_CLOEXEC);
    if (csv_ < 0 && errno != ENOENT)
        ThrowWriteError("open to append to", csvPath_);
    if (jsonPath_.empty())
        return;
    // Written at its end with lseek(), as Add does: no O_APPEND.
    json_ = ::open(jsonPath_.c_str(), O_WRONLY | O_NOFOLLOW | O_CLOEXEC);
    if (json_ < 0 && errno != ENOENT)
        ThrowWriteError("open to append to", jsonPath_);
}

} // namespace h265split
