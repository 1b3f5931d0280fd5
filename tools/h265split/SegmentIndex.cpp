#include "SegmentIndex.h"

#include "Archive.h"
#include "FileStore.h"
#include "FrameRate.h"
#include "UtcTime.h"

namespace h265split {

const char kCsvHeader[] = "file,first_byte_offset,bytes,pictures,i_pictures,p_pictures,b_pictures,coded_width,"
                          "coded_height,display_width,display_height,key_nal_type,parameter_sets_inserted,"
                          "rasl_dropped,start_time,duration,utc,damaged\n";

namespace {

// A recovered segment's UTC time is read from its first fragment's 'prft'
// box, as the other entries' comes from the wall clock.
std::string UtcCsv(const SegmentRecord& r) { return r.haveUtc ? h265tools::UtcText(r.utcMillis) : std::string(); }

std::string UtcJson(const SegmentRecord& r) {
    return r.haveUtc ? "\"" + h265tools::UtcText(r.utcMillis) + "\"" : std::string("null");
}

} // namespace

std::string CsvLine(const SegmentRecord& r) {
    using std::to_string;
    if (r.recovered)
        return r.file + ",," + to_string(r.bytes) + "," + to_string(r.pictures) + ",,,,,,,,,,," +
               h265tools::SecondsText(r.startTime, 6) + "," + h265tools::SecondsText(r.duration, 6) + "," +
               UtcCsv(r) + ",\n";
    return r.file + "," + to_string(r.firstByteOffset) + "," + to_string(r.bytes) + "," + to_string(r.pictures) + "," +
           to_string(r.iPictures) + "," + to_string(r.pPictures) + "," + to_string(r.bPictures) + "," +
           to_string(r.codedWidth) + "," + to_string(r.codedHeight) + "," + to_string(r.displayWidth) + "," +
           to_string(r.displayHeight) + "," + to_string(r.keyNalType) + "," +
           (r.parameterSetsInserted ? "yes" : "no") + "," + to_string(r.raslDropped) + "," +
           h265tools::SecondsText(r.startTime, 6) + "," + h265tools::SecondsText(r.duration, 6) + "," +
           UtcCsv(r) + "," + to_string(r.damagedPictures) + "\n";
}

std::string LossesJson(const SegmentRecord& r) {
    using std::to_string;
    const StreamLosses& l = r.losses;
    if (!l.known)
        return std::string();
    return std::string(", \"discontinuity\": ") + (r.discontinuity ? "true" : "false") +
           ", \"lost_packets\": " + to_string(l.lostPackets) + ", \"reordered_packets\": " +
           to_string(l.reorderedPackets) + ", \"duplicate_packets\": " + to_string(l.duplicatePackets) +
           ", \"dropped_access_units\": " + to_string(l.droppedAccessUnits) +
           ", \"reconnects\": " + to_string(l.reconnects);
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
               ", \"utc\": " + UtcJson(r) + ", \"damaged\": null}";
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
           ", \"utc\": " + UtcJson(r) + ", \"damaged\": " + to_string(r.damagedPictures) + LossesJson(r) + "}";
}


void SegmentIndex::Add(const SegmentRecord& record) {
    if (!store_ || !archive_)
        return;
    // A new chapter: its files start, and the last one's are complete.
    if (archive_->csvIndex() != csv_) {
        if (!csv_.empty())
            store_->EndAppend(csv_);
        csv_ = archive_->csvIndex();
        store_->Append(csv_, kCsvHeader + CsvLine(record));
    } else {
        store_->Append(csv_, CsvLine(record));
    }
    if (archive_->jsonIndex().empty())
        return;
    // The document stays a complete JSON array after every entry: a new one
    // replaces the closing "\n]\n" of the last and closes the array again.
    if (archive_->jsonIndex() != json_) {
        if (!json_.empty())
            store_->EndAppend(json_);
        json_ = archive_->jsonIndex();
        store_->Append(json_, "[\n" + JsonObject(record) + "\n]\n");
    } else {
        store_->Append(json_, ",\n" + JsonObject(record) + "\n]\n", 3);
    }
}

void SegmentIndex::Continue() {
    if (!store_ || !archive_)
        return;
    // The files an earlier run left, repaired to end with a whole entry, are
    // added to; one that is not there is made by the first entry.
    if (store_->ContinueAppending(archive_->csvIndex()))
        csv_ = archive_->csvIndex();
    if (!archive_->jsonIndex().empty() && store_->ContinueAppending(archive_->jsonIndex()))
        json_ = archive_->jsonIndex();
}

} // namespace h265split
