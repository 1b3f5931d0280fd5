#include "SvgChart.h"

#include <algorithm>
#include <cmath>

#include "CountedNoun.h"
#include "NalUnitNames.h"
#include "SvgText.h"

namespace h265info {

namespace {

// Geometry in CSS pixels. Up to 1024 columns share 1024 pixels; past that
// (only when pictures are aggregated, or up to 2048 single pictures) every
// column is one pixel wide.
const double kLeft = 72;
const double kRight = 24;
const double kMinPlotWidth = 1024;
const double kBarsTop = 96;
const double kBarsHeight = 300;
const double kBaseline = kBarsTop + kBarsHeight;
const double kStripTop = kBaseline + 1;
const double kStripHeight = 6;
const double kParameterSetTick = kStripTop + kStripHeight + 1;
const double kSeiTick = kParameterSetTick + 7;
const double kTickLength = 6;
const double kXLabels = kSeiTick + kTickLength + 14;
const double kRateTop = kXLabels + 22;
const double kRateHeight = 110;
const double kRateBase = kRateTop + kRateHeight;
const double kHeight = kRateBase + 30;
const double kCharWidth = 6.5; // of the 11 px sans-serif labels, roughly

const char* const kTypeClass[kPictureTypes] = {"I", "P", "B", "U"};
const char* const kTypeName[kPictureTypes] = {"I", "P", "B", "unknown type"};

const char kStyle[] =
    "<style>\n"
    "text{font-family:sans-serif;font-size:11px;fill:#333}\n"
    ".title{font-size:13px}\n"
    ".I{fill:#d62728}.P{fill:#1f77b4}.B{fill:#2ca02c}.U{fill:#7f7f7f}\n"
    ".max{fill-opacity:0.35}\n"
    ".bar,.max,.mean,.strip{shape-rendering:crispEdges}\n"
    ".key{fill:none;stroke:#ff7f0e;stroke-width:2;shape-rendering:crispEdges}\n"
    ".keymark{stroke:#ff7f0e;stroke-width:2}\n"
    ".ps{stroke:#9467bd}.sei{stroke:#8c564b}\n"
    ".grid{stroke:#e4e4e4}.axis{stroke:#333}\n"
    ".segment{stroke:#444;stroke-dasharray:4 3}\n"
    ".rate{fill:none;stroke:#444;stroke-width:1.2}.ratemax{fill:none;stroke:#aaa}\n"
    "</style>\n";

class Drawing {
public:
    Drawing(std::ostream& out, const ChartContent& content)
        : out_(out), content_(content), columns_(content.columns->Columns()),
          perColumn_(content.columns->PicturesPerColumn()) {
        const double count = static_cast<double>(std::max<std::size_t>(columns_.size(), 1));
        plotWidth_ = std::max(kMinPlotWidth, count);
        columnWidth_ = plotWidth_ / count;
        for (const ChartColumn& column : columns_) {
            maxBytes_ = std::max(maxBytes_, static_cast<double>(column.maxBytes));
            maxRate_ = std::max(maxRate_, perColumn_ == 1 ? column.bitrateSum : column.bitrateMax);
        }
        byteStep_ = TickStep(std::max(maxBytes_, 1.0), 5);
        byteAxis_ = std::ceil(std::max(maxBytes_, 1.0) / byteStep_) * byteStep_;
        rateStep_ = TickStep(std::max(maxRate_, 1.0), 3);
        rateAxis_ = std::ceil(std::max(maxRate_, 1.0) / rateStep_) * rateStep_;
    }

    void Write() {
        const double width = kLeft + plotWidth_ + kRight;
        out_ << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
             << "<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"" << Coordinate(width) << "\" height=\""
             << Coordinate(kHeight) << "\" viewBox=\"0 0 " << Coordinate(width) << ' ' << Coordinate(kHeight)
             << "\">\n"
             << kStyle << "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
        Titles();
        Legend();
        ByteAxis();
        Bars();
        TypeStrip();
        AxisTicks();
        PictureAxis();
        Bitrate();
        SegmentRules();
        out_ << "</svg>\n";
    }

private:
    double X(double column) const { return kLeft + column * columnWidth_; }
    double BarHeight(double bytes) const { return bytes * kBarsHeight / byteAxis_; }
    double RateY(double rate) const { return kRateBase - rate * kRateHeight / rateAxis_; }

    void Text(double x, double y, const std::string& text, const char* anchor = nullptr,
              const char* cls = nullptr) {
        out_ << "<text x=\"" << Coordinate(x) << "\" y=\"" << Coordinate(y) << '"';
        if (anchor)
            out_ << " text-anchor=\"" << anchor << '"';
        if (cls)
            out_ << " class=\"" << cls << '"';
        out_ << '>' << XmlEscaped(text) << "</text>\n";
    }

    void Line(const char* cls, double x1, double y1, double x2, double y2) {
        out_ << "<line class=\"" << cls << "\" x1=\"" << Coordinate(x1) << "\" y1=\"" << Coordinate(y1)
             << "\" x2=\"" << Coordinate(x2) << "\" y2=\"" << Coordinate(y2) << "\"/>\n";
    }

    void Rect(const std::string& cls, double x, double y, double w, double h, const std::string& title) {
        out_ << "<rect class=\"" << cls << "\" x=\"" << Coordinate(x) << "\" y=\"" << Coordinate(y)
             << "\" width=\"" << Coordinate(w) << "\" height=\"" << Coordinate(h) << '"';
        if (title.empty())
            out_ << "/>\n";
        else
            out_ << "><title>" << XmlEscaped(title) << "</title></rect>\n";
    }

    void Titles() {
        double y = 20;
        for (std::size_t i = 0; i < content_.titleLines.size(); ++i, y += 17)
            Text(kLeft, y, content_.titleLines[i], nullptr, i == 0 ? "title" : nullptr);
    }

    void Legend() {
        const double y = kBarsTop - 22;
        double x = kLeft;
        for (int t = 0; t < kPictureTypes; ++t) {
            Rect(kTypeClass[t], x, y - 9, 10, 10, "");
            Text(x + 14, y, kTypeName[t]);
            x += 14 + kCharWidth * static_cast<double>(std::string(kTypeName[t]).size()) + 16;
        }
        out_ << "<rect class=\"key\" x=\"" << Coordinate(x) << "\" y=\"" << Coordinate(y - 9)
             << "\" width=\"10\" height=\"10\"/>\n";
        Text(x + 14, y, "key picture (IRAP)");
        x += 150;
        Line("ps", x, y - 9, x, y + 1);
        Text(x + 6, y, "VPS/SPS/PPS");
        x += 90;
        Line("sei", x, y - 9, x, y + 1);
        Text(x + 6, y, "SEI");
        x += 40;
        Line("segment", x, y - 9, x, y + 1);
        Text(x + 6, y, "segment start");
        x += 100;
        Line("rate", x, y - 4, x + 14, y - 4);
        Text(x + 18, y, "bitrate, 1 s window at " + Coordinate(content_.fps) + " fps");
    }

    void ByteAxis() {
        for (double v = 0; v <= byteAxis_ + byteStep_ / 2; v += byteStep_) {
            const double y = kBaseline - BarHeight(v);
            Line("grid", kLeft, y, kLeft + plotWidth_, y);
            Text(kLeft - 6, y + 4, SiValue(v, "B"), "end");
        }
        for (double v = 0; v <= rateAxis_ + rateStep_ / 2; v += rateStep_) {
            Line("grid", kLeft, RateY(v), kLeft + plotWidth_, RateY(v));
            Text(kLeft - 6, RateY(v) + 4, SiValue(v, "bit/s"), "end");
        }
    }

    std::string PictureRange(const ChartColumn& column) const {
        return "#" + std::to_string(column.firstPicture) + "-" +
               std::to_string(column.firstPicture + column.pictures - 1);
    }

    void Bars() {
        double nextLabel = 0;
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            const ChartColumn& c = columns_[i];
            // A gap between bars wide enough to have one.
            const double gap = columnWidth_ >= 4 ? columnWidth_ * 0.1 : 0;
            const double x = X(static_cast<double>(i)) + gap;
            const double w = columnWidth_ - 2 * gap;
            const double h = BarHeight(static_cast<double>(c.maxBytes));
            if (perColumn_ == 1) {
                Rect(std::string("bar ") + kTypeClass[c.maxType], x, kBaseline - h, w, h,
                     "#" + std::to_string(c.firstPicture) + " " + kTypeName[c.maxType] + ", " +
                         h265tools::CountedNoun(c.bytes, "byte", "bytes"));
                if (c.keyPictures)
                    Rect("key", x - 1, kBaseline - h - 1, w + 2, h + 1, "");
            } else {
                const double mean = static_cast<double>(c.bytes) / static_cast<double>(c.pictures);
                Rect(std::string("max ") + kTypeClass[c.maxType], x, kBaseline - h, w, h,
                     PictureRange(c) + " (" + h265tools::CountedNoun(c.pictures, "picture", "pictures") + "): max " +
                         std::to_string(c.maxBytes) + " bytes, mean " + Coordinate(mean) + " bytes");
                Rect(std::string("mean ") + kTypeClass[c.MajorityType()], x, kBaseline - BarHeight(mean), w,
                     BarHeight(mean), "");
                if (c.keyPictures)
                    Line("keymark", x + w / 2, kBaseline - h - 5, x + w / 2, kBaseline - h - 1);
            }
            if (c.keyPictures) {
                // Centred over the bar, but not over the byte axis labels,
                // and only where it does not run into the label before.
                const std::string label = NalUnitTypeName(c.keyNalType);
                const double half = kCharWidth * static_cast<double>(label.size()) / 2;
                const double centre = std::max(x + w / 2, kLeft + half);
                if (centre - half >= nextLabel) {
                    Text(centre, kBaseline - h - 7, label, "middle");
                    nextLabel = centre + half + 8;
                }
            }
        }
    }

    void TypeStrip() {
        for (std::size_t i = 0; i < columns_.size(); ++i)
            Rect(std::string("strip ") + kTypeClass[columns_[i].MajorityType()], X(static_cast<double>(i)),
                 kStripTop, columnWidth_, kStripHeight, "");
    }

    void AxisTicks() {
        const double end = X(static_cast<double>(columns_.size()));
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            const double x = X(static_cast<double>(i) + 0.5);
            if (columns_[i].parameterSets)
                Line("ps", x, kParameterSetTick, x, kParameterSetTick + kTickLength);
            if (columns_[i].sei)
                Line("sei", x, kSeiTick, x, kSeiTick + kTickLength);
        }
        if (content_.trailingParameterSets)
            Line("ps", end, kParameterSetTick, end, kParameterSetTick + kTickLength);
        if (content_.trailingSei)
            Line("sei", end, kSeiTick, end, kSeiTick + kTickLength);
    }

    void PictureAxis() {
        Line("axis", kLeft, kBaseline, kLeft + plotWidth_, kBaseline);
        Line("axis", kLeft, kBarsTop, kLeft, kBaseline);
        Line("axis", kLeft, kRateBase, kLeft + plotWidth_, kRateBase);
        Line("axis", kLeft, kRateTop, kLeft, kRateBase);
        // Pictures in decode order, labelled with their decoding time in
        // seconds at the chart's rate; about one label per 100 pixels.
        const double pictures = static_cast<double>(std::max<std::uint64_t>(content_.pictures, 1));
        const double seconds = pictures / content_.fps;
        const double step = TickStep(seconds, static_cast<int>(plotWidth_ / 100));
        for (double t = 0; t <= seconds + step / 1000; t += step) {
            const double x = X(t * content_.fps / static_cast<double>(perColumn_));
            Line("axis", x, kSeiTick + kTickLength, x, kSeiTick + kTickLength + 3);
            Text(x, kXLabels, TimeLabel(t), "middle");
        }
        Text(kLeft + plotWidth_, kXLabels + 14, "time (decode order)", "end");
    }

    void Bitrate() {
        out_ << "<polyline class=\"rate\" points=\"";
        for (std::size_t i = 0; i < columns_.size(); ++i) {
            const ChartColumn& c = columns_[i];
            out_ << (i ? " " : "") << Coordinate(X(static_cast<double>(i) + 0.5)) << ','
                 << Coordinate(RateY(c.bitrateSum / static_cast<double>(c.pictures)));
        }
        out_ << "\"/>\n";
        if (perColumn_ == 1)
            return;
        out_ << "<polyline class=\"ratemax\" points=\"";
        for (std::size_t i = 0; i < columns_.size(); ++i)
            out_ << (i ? " " : "") << Coordinate(X(static_cast<double>(i) + 0.5)) << ','
                 << Coordinate(RateY(columns_[i].bitrateMax));
        out_ << "\"/>\n";
    }

    void SegmentRules() {
        for (std::size_t i = 0; i < columns_.size(); ++i)
            if (columns_[i].segmentStarts)
                Line("segment", X(static_cast<double>(i)), kBarsTop, X(static_cast<double>(i)), kRateBase);
        if (content_.trailingSegmentStart) {
            const double end = X(static_cast<double>(columns_.size()));
            Line("segment", end, kBarsTop, end, kRateBase);
        }
    }

    std::ostream& out_;
    const ChartContent& content_;
    const std::vector<ChartColumn>& columns_;
    std::uint64_t perColumn_;
    double plotWidth_ = kMinPlotWidth;
    double columnWidth_ = 1;
    double maxBytes_ = 0;
    double maxRate_ = 0;
    double byteStep_ = 1;
    double byteAxis_ = 1;
    double rateStep_ = 1;
    double rateAxis_ = 1;
};

} // namespace

void WriteSvgChart(std::ostream& out, const ChartContent& content) {
    Drawing(out, content).Write();
}

} // namespace h265info
