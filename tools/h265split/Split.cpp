#include "Split.h"

#include "AccessUnitAssembler.h"
#include "Archive.h"
#include "CountedNoun.h"
#include "FormatOutput.h"
#include "InputKind.h"
#include "Messages.h"
#include "NalUnitReader.h"
#include "OutputFiles.h"
#include "AccessUnitReader.h"
#include "CameraInput.h"
#include "UtcTime.h"
#include "WallClock.h"
#include "Progress.h"

namespace h265split {

using h265tools::NalUnitView;

namespace {

// Beyond this many, skipped stretches are only counted.
const unsigned int kReportedSkips = 10;

std::string Bytes(std::uint64_t n) {
    return std::to_string(n) + (n == 1 ? " byte" : " bytes");
}

// A NAL unit header (7.3.1.2) has forbidden_zero_bit 0 and
// nuh_temporal_id_plus1 above 0; bytes after a start code that break either
// rule, or end before the header does, are no NAL unit. Nor is a slice
// segment without payload: not even its first_slice_segment_in_pic_flag
// tells to which access unit it belongs.
bool ReadHeader(const NalUnitView& unit, UnitHeader& header) {
    const std::size_t h = static_cast<std::size_t>(unit.startCodeLength);
    if (unit.size < h + 2 || (unit.data[h] & 0x80) != 0 || (unit.data[h + 1] & 7) == 0)
        return false;
    header.nalUnitType = (unit.data[h] >> 1) & 0x3F;
    if (h265tools::IsSliceSegment(header.nalUnitType) && unit.size == h + 2)
        return false;
    header.firstSliceSegment = unit.size > h + 2 && (unit.data[h + 2] & 0x80) != 0;
    return true;
}

// Why the last access unit of the stream cannot be whole: a picture's
// slice segment header, or the access unit's first NAL units, are all the
// stream holds of it. Slice data cut short cannot be told from whole slice
// data without decoding it.
const char* Unfinished(const AccessUnit& au, bool endsCutOff) {
    if (endsCutOff)
        return "is followed by a cut-off NAL unit";
    if (au.sliceHeaderTruncated)
        return "ends inside a slice segment header";
    if (!au.HasPicture())
        return "ends before the access unit's picture";
    return nullptr;
}

std::unique_ptr<SegmentOutput> MakeOutput(const Options& options, const AccessUnitReader& pictures,
                                          const WallClock& wallClock, Messages& messages, void*) {
    return MakeFormatOutput(options, std::unique_ptr<FileStore>(new DirectoryStore(options.directory)), pictures,
                            wallClock, messages);
}

// A camera's recording has UTC times unless the user gives the start: this
// machine's clock tells them, or the camera's with --clock camera.
WallClock MakeWallClock(const Options& options, bool camera, Messages& messages) {
    const auto say = [&messages](const std::string& message) { messages.Say(message); };
    switch (options.startTimeKind) {
    case Options::StartTime::kGiven:
        return WallClock::Given(options.startTime);
    case Options::StartTime::kNow:
        return WallClock::Live(h265tools::UtcNow, h265tools::MonotonicMillis, say, options.clock);
    case Options::StartTime::kNone:
        break;
    }
    if (camera)
        return WallClock::Live(h265tools::UtcNow, h265tools::MonotonicMillis, say, options.clock);
    return WallClock();
}

class Walk {
public:
    Walk(h265tools::StreamInput& input, const Options& options, OutputMaker makeOutput, void* context,
         const volatile std::sig_atomic_t* stop)
        : Walk(false, input.description(), input.size(), options, makeOutput, context) {
        reader_.reset(new h265tools::NalUnitReader(input.fd()));
        reader_->StopWhen(stop);
    }
    // A camera: its access units come with their times (CameraInput), and
    // the recording counts in their 90 kHz ticks.
    Walk(const CameraOptions& camera, const Options& options, OutputMaker makeOutput, void* context,
         const volatile std::sig_atomic_t* stop)
        : Walk(true, camera.url.WithoutCredentials(), 0, options, makeOutput, context) {
        camera_.reset(new CameraInput(camera, messages_, stop));
    }

    SplitResult Run();

private:
    Walk(bool camera, const std::string& description, std::uint64_t size, const Options& options,
         OutputMaker makeOutput, void* context)
        : inputName_(options.input), description_(description),
          progress_("h265split", description, size, h265tools::Progress::Rows::kNoRows), messages_(&progress_),
          rateOption_(options.rules.rate),
          pictures_(messages_, options.rules.haveRate || camera ? &rateOption_ : nullptr),
          wallClock_(MakeWallClock(options, camera, messages_)),
          output_(makeOutput(options, pictures_, wallClock_, messages_, context)),
          segmenter_(options.directory, options.rules, pictures_, *output_, wallClock_, messages_),
          resumed_(options.resumePoint.resumed) {
        if (resumed_)
            segmenter_.ContinueAfter(options.resumePoint.nextNumber, options.resumePoint.endSeconds);
    }

    SplitResult WalkUnits();
    SplitResult WalkCamera();
    // Hands the access unit being assembled to the segmenter, with the
    // camera's times for it when the input is a camera.
    void TakeCurrent();
    void FinishCamera();
    // The last segment and the playlists closed, what the archive deleted said.
    void CloseRecording();
    // After a failure: the segment being written is dropped (a one-file
    // recording keeps its complete fragments) and the playlists are closed
    // over the segments already named, so that players see the recording end.
    void Abandon();
    void NoteSkip(const NalUnitView& unit);
    void ReportSkip();
    void Finish(bool stopped);
    // Throws the InputError that names an MP4 file or an H.264 stream;
    // returns the warning for other input that is no H.265, else "".
    std::string RefuseMp4OrH264() const;

    const std::string inputName_;
    const std::string description_;
    h265tools::Progress progress_;
    Messages messages_;
    // --fps; for a camera, the rate its first picture's duration gives, which
    // the cutting rules count in (the times are the camera's own).
    h265tools::FrameRate rateOption_;
    AccessUnitReader pictures_;
    WallClock wallClock_;
    std::unique_ptr<SegmentOutput> output_;
    Segmenter segmenter_;
    std::unique_ptr<h265tools::NalUnitReader> reader_; // for a file or a pipe
    std::unique_ptr<CameraInput> camera_;
    CameraAccessUnit cameraUnit_; // the camera's access unit being walked, and assembled
    AccessUnitAssembler assembler_;
    unsigned int skips_ = 0;
    std::uint64_t skippedBytes_ = 0;
    // A stretch that is no NAL unit is reported when the next unit shows it
    // is not the stream's cut-off end.
    bool pendingSkip_ = false;
    std::uint64_t pendingOffset_ = 0;
    std::uint64_t pendingSize_ = 0;
    bool resumed_; // going on with an earlier run's recording
};

void Walk::NoteSkip(const NalUnitView& unit) {
    if (pendingSkip_ && pendingOffset_ + pendingSize_ == unit.offset) {
        pendingSize_ += unit.size; // one stretch
        return;
    }
    ReportSkip();
    pendingSkip_ = true;
    pendingOffset_ = unit.offset;
    pendingSize_ = unit.size;
}

void Walk::ReportSkip() {
    if (!pendingSkip_)
        return;
    if (++skips_ <= kReportedSkips)
        messages_.Say("skipped " + Bytes(pendingSize_) + " at byte offset " + std::to_string(pendingOffset_) +
                      " that are no NAL unit");
    skippedBytes_ += pendingSize_;
    pendingSkip_ = false;
}

std::string Walk::RefuseMp4OrH264() const {
    const h265tools::InputKind kind = h265tools::GuessInputKind(reader_->FirstBytes());
    const std::string message = h265tools::InputKindMessage(kind, inputName_, description_);
    if (kind == h265tools::InputKind::kIsoBmff || kind == h265tools::InputKind::kH264)
        throw h265tools::InputError(message);
    return message;
}

SplitResult Walk::Run() {
    try {
        return camera_ ? WalkCamera() : WalkUnits();
    } catch (const WriteError& e) {
        // The failure first, then what was kept of the recording.
        messages_.Say(e.what());
        Abandon();
        throw ReportedWriteError(e.what());
    } catch (const BudgetError& e) {
        messages_.Say(e.what());
        Abandon();
        throw;
    } catch (...) {
        Abandon();
        throw;
    }
}

void Walk::Abandon() {
    progress_.Clear();
    segmenter_.Abandon();
    if (segmenter_.segments() == 0 && !resumed_)
        return;
    try {
        output_->Finish();
    } catch (const std::exception& e) {
        messages_.Say(std::string("the playlists could not be closed: ") + e.what());
    }
}

SplitResult Walk::WalkUnits() {
    NalUnitView unit;
    UnitHeader header;
    bool first = true;
    unsigned int units = 0;
    while (reader_->Next(unit)) {
        // Before anything is written or reported. A pipe may have given
        // too few bytes to tell yet: then the end of a walk that found no
        // key picture asks again.
        if (first) {
            const std::string warning = RefuseMp4OrH264();
            if (!warning.empty())
                messages_.Say(warning);
        }
        if (first && reader_->LeadingBytes() > 0)
            messages_.Say("skipped " + Bytes(reader_->LeadingBytes()) + " before the first start code");
        first = false;
        if (!ReadHeader(unit, header)) {
            NoteSkip(unit);
            continue;
        }
        ReportSkip();
        if (assembler_.StartsNew(header)) {
            segmenter_.Take(assembler_.Current());
            assembler_.Clear();
        }
        assembler_.Add(unit, header);
        if (header.nalUnitType >= h265tools::kVpsNut && header.nalUnitType <= h265tools::kPpsNut)
            segmenter_.Settle();
        pictures_.Observe(unit, header, assembler_.Current());
        if (++units % 1024 == 0) // the progress line's text is made only now and then
            progress_.Update(reader_->BytesRead(), h265tools::CountedNoun(segmenter_.segments(), "segment", "segments"));
    }
    if (first) {
        if (reader_->Stopped()) {
            CloseRecording(); // a resumed run's playlists end
            return SplitResult{0, true};
        }
        const std::uint64_t size = reader_->LeadingBytes();
        RefuseMp4OrH264();
        throw h265tools::InputError(size == 0 ? description_ + " is empty"
                                              : "no start code (00 00 01) in the " + Bytes(size) + " of " +
                                                    description_);
    }
    Finish(reader_->Stopped());
    return SplitResult{segmenter_.segments(), reader_->Stopped()};
}

// The access units of a camera are whole as they come; a NAL unit of one
// starts after each 4-byte start code.
SplitResult Walk::WalkCamera() {
    NalUnitView unit;
    UnitHeader header;
    std::uint64_t offset = 0;
    std::uint64_t malformed = 0;
    unsigned int accessUnits = 0;
    CameraAccessUnit next;
    bool closed = false;
    for (;;) {
        if (!camera_->Next(next)) {
            if (closed)
                break;
            camera_->Close(); // the access units the session still held come out
            closed = true;
            continue;
        }
        if (!assembler_.Empty())
            TakeCurrent();
        cameraUnit_ = std::move(next);
        if (accessUnits++ == 0) {
            // The rate the rules count pictures in: the first picture's, if
            // it is one a camera could have (1 to 120 per second).
            const std::uint32_t ticks = cameraUnit_.duration;
            rateOption_.numerator = 90000;
            rateOption_.denominator = ticks >= 750 && ticks <= 90000 ? ticks : 3600;
            rateOption_.source = h265tools::FrameRate::Source::kOption;
        }
        if (cameraUnit_.breakBefore)
            segmenter_.Break(cameraUnit_.gapBefore);
        const std::vector<unsigned char>& bytes = *cameraUnit_.bytes;
        const std::shared_ptr<const unsigned char> window(cameraUnit_.bytes, bytes.data());
        std::size_t begin = 0;
        while (begin + 4 < bytes.size()) {
            // Emulation prevention keeps 00 00 00 out of a NAL unit (7.4.2).
            std::size_t end = begin + 4;
            while (end + 4 <= bytes.size() &&
                   !(bytes[end] == 0 && bytes[end + 1] == 0 && bytes[end + 2] == 0 && bytes[end + 3] == 1))
                ++end;
            if (end + 4 > bytes.size())
                end = bytes.size();
            unit.offset = offset + begin;
            unit.data = bytes.data() + begin;
            unit.size = end - begin;
            unit.startCodeLength = 4;
            unit.window = window;
            begin = end;
            if (!ReadHeader(unit, header)) {
                ++malformed;
                continue;
            }
            if (assembler_.StartsNew(header))
                TakeCurrent(); // more than one picture in the camera's access unit
            assembler_.Add(unit, header);
            if (header.nalUnitType >= h265tools::kVpsNut && header.nalUnitType <= h265tools::kPpsNut)
                segmenter_.Settle();
            pictures_.Observe(unit, header, assembler_.Current());
        }
        offset += bytes.size();
        if (accessUnits % 64 == 0)
            progress_.Update(offset, h265tools::CountedNoun(segmenter_.segments(), "segment", "segments"));
    }
    if (!assembler_.Empty())
        TakeCurrent();
    if (malformed > 0)
        messages_.Say("skipped " + h265tools::CountedNoun(malformed, "NAL unit", "NAL units") +
                      " with a malformed header from the camera");
    FinishCamera();
    return SplitResult{segmenter_.segments(), true};
}

void Walk::TakeCurrent() {
    AccessUnit& au = assembler_.Current();
    if (camera_) {
        segmenter_.NoteLosses(camera_->Losses());
        if (au.HasPicture() && pictures_.clock().started())
            au.ticks = std::max<std::uint32_t>(1, std::min(cameraUnit_.duration, RecordingClock::kMaxFrameTicks));
        au.senderUtcMillis = cameraUnit_.utcMillis;
        au.arrival = cameraUnit_.arrival;
        au.damaged = cameraUnit_.damaged;
    }
    segmenter_.Take(au);
    assembler_.Clear();
}

void Walk::CloseRecording() {
    segmenter_.Finish();
    // A resumed run ends the earlier run's playlists even without a segment
    // of its own: the recording stops here.
    if (segmenter_.segments() > 0 || resumed_)
        output_->Finish();
    if (const Archive* archive = output_->archive())
        if (!archive->Summary().empty())
            messages_.Say(archive->Summary());
}

void Walk::FinishCamera() {
    progress_.Clear();
    CloseRecording();
    const std::string counted = camera_->Summary();
    if (!counted.empty())
        messages_.Say(description_ + ": " + counted);
}

void Walk::Finish(bool stopped) {
    progress_.Clear();
    // A stream that ends inside a NAL unit may have cut off the last access
    // unit's last unit.
    const bool endsCutOff = pendingSkip_ && !stopped;
    if (pendingSkip_) {
        messages_.Say("the stream ends with " + Bytes(pendingSize_) + " at byte offset " +
                      std::to_string(pendingOffset_) + " that are no whole NAL unit (truncated)");
        skippedBytes_ += pendingSize_;
    }
    if (skips_ > kReportedSkips)
        messages_.Say("skipped " + std::to_string(skips_) + " stretches that are no NAL unit, " +
                      Bytes(skippedBytes_) + " in all");
    if (!assembler_.Empty()) {
        AccessUnit& last = assembler_.Current();
        if (stopped) {
            // The walk stopped between reads: more of the access unit may
            // have been on its way.
            messages_.Say("stopped; the access unit at byte offset " + std::to_string(last.Offset()) +
                          " may be incomplete and was not written");
        } else if (const char* why = Unfinished(last, endsCutOff)) {
            messages_.Say("the last access unit, at byte offset " + std::to_string(last.Offset()) + ", " + why +
                          " (truncated); it was not written");
        } else {
            segmenter_.Take(last);
        }
    }
    CloseRecording();
    if (segmenter_.skippedBytes() > 0 && segmenter_.segments() > 0)
        messages_.Say("skipped " + h265tools::CountedNoun(segmenter_.skippedPictures(), "picture", "pictures") + " (" +
                      Bytes(segmenter_.skippedBytes()) + ") before the first key picture");
    if (segmenter_.segments() == 0 && !stopped && !segmenter_.passedKeyReason().empty())
        throw h265tools::InputError("no key picture in " + description_ +
                                    " could start a segment (the last one " + segmenter_.passedKeyReason() +
                                    "); no segment written");
    if (segmenter_.segments() == 0 && !stopped) {
        RefuseMp4OrH264();
        throw h265tools::InputError("no key picture (IDR, CRA or BLA) in " + description_ +
                                    "; no segment written");
    }
}

} // namespace

SplitResult Split(h265tools::StreamInput& input, const Options& options, const volatile std::sig_atomic_t* stop) {
    return Split(input, options, MakeOutput, nullptr, stop);
}

SplitResult SplitCamera(const CameraOptions& camera, const Options& options, const volatile std::sig_atomic_t* stop) {
    Walk walk(camera, options, MakeOutput, nullptr, stop);
    return walk.Run();
}

SplitResult Split(h265tools::StreamInput& input, const Options& options, OutputMaker makeOutput, void* context,
                  const volatile std::sig_atomic_t* stop) {
    Walk walk(input, options, makeOutput, context, stop);
    return walk.Run();
}

} // namespace h265split
