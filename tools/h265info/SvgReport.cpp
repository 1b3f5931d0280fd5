#include "SvgReport.h"

#include <cstdio>
#include <stdexcept>

#include "CountedNoun.h"
#include "SpsDescription.h"
#include "SvgChart.h"

namespace h265info {

namespace {

// The bitrate window holds one second of pictures; a stream that claims more
// than this many per second is charted at the assumed rate.
const double kMaxChartRate = 1000;

} // namespace

SvgReport::SvgReport(const std::string& path, const FrameRate* rateOption, std::vector<std::uint64_t> segmentOffsets)
    : outPath_(path), out_(path, std::ios::binary | std::ios::trunc), rate_(rateOption ? *rateOption : FrameRate()),
      rateFixed_(rateOption != nullptr), segmentOffsets_(std::move(segmentOffsets)), columns_(kChartColumns),
      bitrate_(rate_.PerSecond()),
      assembler_([this](const Picture& picture) { AddPicture(picture); }) {
    if (!out_)
        throw std::runtime_error("cannot open '" + path + "' for the chart");
}

SvgReport::~SvgReport() {
    if (!written_) {
        out_.close();
        std::remove(outPath_.c_str());
    }
}

void SvgReport::Begin(const std::string& path) {
    inputName_ = path;
}

void SvgReport::Unit(const UnitRecord& unit) {
    // The first picture's SPS (or VPS) tells the rate before any picture is
    // charted: a picture goes in when the next one starts.
    if (!rateFixed_ && unit.hasPoc) {
        rateFixed_ = true;
        if (unit.rate.source != FrameRate::Source::kAssumed && unit.rate.PerSecond() <= kMaxChartRate) {
            rate_ = unit.rate;
            bitrate_ = BitrateWindow(rate_.PerSecond());
        }
    }
    assembler_.Add(unit);
}

void SvgReport::AddPicture(const Picture& picture) {
    columns_.Add(picture, bitrate_.Add(picture.bytes));
    if (picture.type == kTypeUnknown)
        ++untypedPictures_;
    if (picture.key)
        gops_.KeyPicture(picture.index);
    // A segment starts with the parameter sets of its key picture, so its
    // boundary falls at the first picture at or after its first byte. The
    // one at the very start of the stream marks nothing.
    bool boundary = false;
    while (nextSegment_ < segmentOffsets_.size() && segmentOffsets_[nextSegment_] <= picture.offset) {
        boundary = true;
        ++nextSegment_;
    }
    if (boundary && picture.index > 0)
        columns_.SegmentStart(picture.index);
}

std::vector<std::string> SvgReport::TitleLines(const Summary& s) const {
    std::string sizes = "coded size unknown";
    std::string profile = "profile unknown";
    if (s.haveSps) {
        sizes = "coded " + std::to_string(s.codedWidth) + "x" + std::to_string(s.codedHeight);
        const DisplaySize display = ComputeDisplaySize(s.sps);
        sizes += display.valid ? ", display " + std::to_string(display.width) + "x" + std::to_string(display.height)
                               : ", display size invalid";
        if (!s.sizeChanges.empty())
            sizes += " (" + std::to_string(s.sizeChanges.size()) + " size changes)";
        if (s.sps.has_profile_tier_level)
            profile = ProfileTierLevelText(s.sps);
    }
    const std::uint64_t pictures = assembler_.Pictures();
    std::string counts = h265tools::CountedNoun(pictures, "picture", "pictures") + " (I " +
                         std::to_string(s.pictures[0]) + ", P " + std::to_string(s.pictures[1]) + ", B " +
                         std::to_string(s.pictures[2]);
    if (untypedPictures_)
        counts += ", unknown type " + std::to_string(untypedPictures_);
    counts += "), " + std::to_string(s.keyPictures.size()) + " key";
    std::string gops = "GOP length: fewer than two key pictures";
    if (!gops_.Empty())
        gops = "GOP length min/median/max: " + std::to_string(gops_.Min()) + "/" + std::to_string(gops_.Median()) +
               "/" + std::to_string(gops_.Max()) + " pictures";
    const std::uint64_t perColumn = columns_.PicturesPerColumn();
    const std::string scale =
        perColumn == 1 ? "one bar per picture"
                       : "each column " + std::to_string(perColumn) +
                             " pictures: pale bar the largest, solid bar the mean, coloured by the most common type";
    return {"h265info: " + inputName_, sizes + " | " + profile + " | " + counts + " | " + gops,
            scale + " | frame rate " + FrameRateText(rate_)};
}

void SvgReport::End(const Summary& summary) {
    assembler_.Finish();
    ChartContent content;
    content.titleLines = TitleLines(summary);
    content.columns = &columns_;
    content.pictures = assembler_.Pictures();
    content.fps = rate_.PerSecond();
    content.trailingParameterSets = assembler_.TrailingParameterSets();
    content.trailingSei = assembler_.TrailingSei();
    content.trailingSegmentStart = nextSegment_ < segmentOffsets_.size() && content.pictures > 0;
    WriteSvgChart(out_, content);
    written_ = true;
    out_.close();
    if (!out_)
        throw std::runtime_error("cannot write the chart to '" + outPath_ + "'");
}

} // namespace h265info
