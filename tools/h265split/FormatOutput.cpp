#include "FormatOutput.h"

#include "Archive.h"
#include "HlsOutput.h"
#include "Mp4FileOutput.h"

namespace h265split {

namespace {

// An output and the store it writes to, which it outlives.
class StoredOutput : public SegmentOutput {
public:
    StoredOutput(std::unique_ptr<FileStore> store, const Options& options, const AccessUnitReader& pictures,
                 const WallClock& wallClock, Messages& messages)
        : store_(std::move(store)),
          archive_(*store_, options.retention, options.format == OutputFormat::kHls, options.json, messages) {
        // A recording with a budget loops over its oldest chapters when the
        // device fills up.
        if (archive_.chaptered())
            store_->SetRoomMaker([this] { return archive_.MakeRoom(); });
        if (options.resumePoint.resumed) {
            store_->HoldsAlready(options.resumePoint.existingBytes);
            archive_.Continue(options.resumePoint.chapters, options.resumePoint.endSeconds,
                              options.format == OutputFormat::kRaw   ? "seg-00000.265"
                              : options.format == OutputFormat::kHls ? "seg-00000.m4s"
                                                                     : "rec-00000.mp4");
        }
        switch (options.format) {
        case OutputFormat::kRaw:
            output_.reset(new RawSegmentOutput(*store_));
            break;
        case OutputFormat::kHls:
        {
            std::unique_ptr<HlsOutput> hls(new HlsOutput(*store_, archive_, options.rules, options.liveSegments,
                                                         pictures, wallClock, messages));
            if (options.resumePoint.resumed)
                hls->ContinueEarlierRun(options.resumePoint);
            output_.reset(hls.release());
            break;
        }
        case OutputFormat::kMp4:
            output_.reset(new Mp4FileOutput(*store_, pictures, wallClock, messages));
            break;
        }
    }
    std::unique_ptr<SegmentSink> Open(unsigned int number, const AccessUnit& key) override {
        return output_->Open(number, key);
    }
    bool CanStart(const AccessUnit& key, std::string& why) override { return output_->CanStart(key, why); }
    void Finish() override { output_->Finish(); }
    void Gap(std::uint64_t ticks) override { output_->Gap(ticks); }
    FileStore* store() override { return store_.get(); }
    Archive* archive() override { return &archive_; }

private:
    std::unique_ptr<FileStore> store_;
    Archive archive_;
    std::unique_ptr<SegmentOutput> output_;
};

} // namespace

std::unique_ptr<SegmentOutput> MakeFormatOutput(const Options& options, std::unique_ptr<FileStore> store,
                                                const AccessUnitReader& pictures, const WallClock& wallClock,
                                                Messages& messages) {
    return std::unique_ptr<SegmentOutput>(new StoredOutput(std::move(store), options, pictures, wallClock, messages));
}

} // namespace h265split
