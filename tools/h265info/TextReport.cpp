#include "TextReport.h"

#include <cstdio>

#include "ColourNames.h"
#include "CountedNoun.h"
#include "NalUnitNames.h"
#include "PictureTime.h"
#include "SampleAspectRatio.h"
#include "TextAppend.h"

namespace h265info {

namespace {

std::string Padded(const std::string& text, std::size_t width) {
    return text.size() >= width ? text : text + std::string(width - text.size(), ' ');
}

void Row(std::ostream& out, const char* label, const std::string& value) {
    out << "  " << Padded(std::string(label) + ":", 22) << value << '\n';
}

void WriteListings(std::ostream& out, const char* kind, const std::vector<ParameterSetListing>& listings) {
    for (const ParameterSetListing& listing : listings) {
        out << '\n' << kind << " at byte offset " << listing.offset << " (NAL unit #" << listing.index;
        if (listing.occurrences > 1)
            out << ", same content " << listing.occurrences << " times";
        out << ")\n" << listing.text;
    }
}

std::string SizeText(unsigned long long width, unsigned long long height) {
    return std::to_string(width) + "x" + std::to_string(height);
}

void WriteSizeChanges(std::ostream& out, const std::vector<SizeChange>& changes) {
    if (changes.empty())
        return;
    Row(out, "size changes", std::to_string(changes.size()));
    for (const SizeChange& change : changes) {
        const DisplaySize display = ComputeDisplaySize(change.sps);
        out << "    #" << change.index << " at byte offset " << change.offset << ": coded "
            << change.codedWidth << "x" << change.codedHeight // as GetResolution gives it, like "coded size"
            << ", display " << (display.valid ? SizeText(display.width, display.height) : "invalid") << " (SPS "
            << change.spsId << ")\n";
    }
}

std::string Ratio(unsigned int numerator, unsigned int denominator) {
    return std::to_string(numerator) + ":" + std::to_string(denominator);
}

std::string Decimal(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

void WriteTiming(std::ostream& out, const TimingSummary& t) {
    Row(out, "frame rate", FrameRateText(t.rate));
    Row(out, "duration",
        SecondsText(t.duration) + " s (" + h265tools::CountedNoun(t.outputPictures, "picture", "pictures") +
            " output)");
    if (!t.haveSps)
        return;
    const VuiParameters& vui = t.vui;
    unsigned int sarWidth = 0;
    unsigned int sarHeight = 0;
    Row(out, "sample aspect ratio",
        SampleAspectRatio(vui, sarWidth, sarHeight) ? Ratio(sarWidth, sarHeight) : "not given (1:1 assumed)");
    Row(out, "colour range",
        std::string(ColourRangeName(vui.video_full_range_flag)) +
            (vui.video_signal_type_present_flag ? "" : " (not given, limited range assumed)"));
    if (vui.colour_description_present_flag) {
        Row(out, "colour primaries", ColourPrimariesName(vui.colour_primaries));
        Row(out, "transfer", TransferCharacteristicsName(vui.transfer_characteristics));
        Row(out, "matrix", MatrixCoefficientsName(vui.matrix_coeffs));
    } else {
        Row(out, "colour description", "not given");
    }
    const std::string hdr = HdrSystemName(vui.transfer_characteristics);
    Row(out, "HDR", hdr.empty() ? "no" : hdr + " (" + TransferCharacteristicsName(vui.transfer_characteristics) + ")");
    if (t.hdr.has_mastering_display) {
        // display_primaries_* count in 0.00002, the luminances in 0.0001 cd/m2
        // (D.3.28); c = 0, 1, 2 are green, blue and red.
        const HdrSei& m = t.hdr;
        const auto xy = [](unsigned int x, unsigned int y) {
            return "(" + Decimal(x * 0.00002, 4) + "," + Decimal(y * 0.00002, 4) + ")";
        };
        Row(out, "mastering display",
            "R" + xy(m.display_primaries_x[2], m.display_primaries_y[2]) + " G" +
                xy(m.display_primaries_x[0], m.display_primaries_y[0]) + " B" +
                xy(m.display_primaries_x[1], m.display_primaries_y[1]) + " WP" + xy(m.white_point_x, m.white_point_y) +
                ", luminance " + Decimal(m.min_display_mastering_luminance * 0.0001, 4) + " to " +
                Decimal(m.max_display_mastering_luminance * 0.0001, 4) + " cd/m2");
    }
    if (t.hdr.has_content_light_level)
        Row(out, "content light level",
            "MaxCLL " + std::to_string(t.hdr.max_content_light_level) + ", MaxFALL " +
                std::to_string(t.hdr.max_pic_average_light_level) + " cd/m2");
    Row(out, "chroma location",
        vui.chroma_loc_info_present_flag
            ? std::string(ChromaLocationName(vui.chroma_sample_loc_type_top_field)) + " (type " +
                  std::to_string(vui.chroma_sample_loc_type_top_field) + ")"
        : t.chromaFormatIdc == 1 ? "left (not given, type 0 inferred)"
                                 : "not given");
    Row(out, "field coding",
        vui.field_seq_flag ? "yes, each picture is a field (field_seq_flag)" : "no, each picture is a frame");
    Row(out, "reorder depth", std::to_string(t.maxNumReorderPics) + " (sps_max_num_reorder_pics)");
    Row(out, "temporal layers", std::to_string(t.temporalLayers));
    std::string gop = "M=" + std::to_string(t.gopM);
    gop += t.gopN ? ", N=" + std::to_string(t.gopN) : ", N unknown (fewer than two key pictures)";
    Row(out, "GOP", gop + (t.openGop ? ", open" : ", closed"));
}

} // namespace

std::string SliceColumn(const UnitRecord& unit) {
    switch (unit.slice) {
    case SliceState::kNotASlice:
        return unit.error.empty() ? "" : "! error";
    case SliceState::kTyped:
        return std::string(PictureTypeLetter(unit.pictureType)) + (unit.firstSliceInPic ? " first" : "") +
               (unit.keyPicture ? " key" : "");
    case SliceState::kDependent:
        return "- dependent";
    case SliceState::kUntyped:
        return "? slice_type";
    case SliceState::kNoParameterSets:
        return "? no SPS/PPS";
    case SliceState::kTruncated:
        return "? truncated";
    }
    return "";
}

void TextReport::Begin(const std::string& path) {
    out_ << "File: " << path << "\n\n";
    out_ << "     #        offset        size  nal_unit_type         NALU_TYPE       slice\n";
}

void TextReport::Unit(const UnitRecord& unit) {
    // Built in one reused buffer: this runs for every NAL unit of a stream.
    std::string& line = line_;
    line.clear();
    AppendRightAligned(line, unit.index, 6);
    line += "  ";
    AppendRightAligned(line, unit.offset, 12);
    line += "  ";
    AppendRightAligned(line, unit.size, 10);
    line += "  ";
    std::size_t column = line.size();
    if (unit.nalUnitType >= 0) {
        AppendUnsigned(line, static_cast<std::uint64_t>(unit.nalUnitType));
        line += ' ';
        line += NalUnitTypeName(unit.nalUnitType);
    } else {
        line += '-';
    }
    PadTo(line, column + 22);
    column = line.size();
    if (unit.codeKnown) {
        AppendSigned(line, unit.naluCode);
        line += ' ';
        line += NaluTypeCodeShortName(unit.naluCode);
    } else {
        line += '-';
    }
    PadTo(line, column + 16);
    line += SliceColumn(unit);
    while (!line.empty() && line.back() == ' ')
        line.pop_back();
    line += '\n';
    if (unit.hasPoc) {
        line.append(22, ' ');
        AppendPictureTime(line, unit);
        line += '\n';
    }
    out_.write(line.data(), static_cast<std::streamsize>(line.size()));
}

void TextReport::End(const Summary& s) {
    out_ << "\nSummary\n";
    Row(out_, "file size",
        h265tools::CountedNoun(s.fileSize, "byte", "bytes") +
            (s.leadingBytes ? " (" + std::to_string(s.leadingBytes) + " before the first start code)" : ""));
    Row(out_, "NAL units", std::to_string(s.unitCount));
    Row(out_, "first NAL unit",
        s.firstNaluType < 0 ? "not classified"
                            : std::to_string(s.firstNaluType) + " " + NaluTypeCodeShortName(s.firstNaluType));
    if (s.haveSps) {
        const SpsDescription& sps = s.sps;
        Row(out_, "coded size", std::to_string(s.codedWidth) + "x" + std::to_string(s.codedHeight));
        const DisplaySize display = ComputeDisplaySize(sps);
        std::string window = "no conformance window";
        if (sps.conformance_window_flag)
            window = "conformance window left " + std::to_string(sps.conf_win_left_offset) + ", right " +
                     std::to_string(sps.conf_win_right_offset) + ", top " + std::to_string(sps.conf_win_top_offset) +
                     ", bottom " + std::to_string(sps.conf_win_bottom_offset) + " in units of " +
                     std::to_string(display.subWidthC) + "x" + std::to_string(display.subHeightC);
        if (display.valid)
            Row(out_, "display size",
                std::to_string(display.width) + "x" + std::to_string(display.height) + " (" + window + ")");
        else
            Row(out_, "display size", "invalid (" + window + ")");
        std::string chroma = ChromaFormatName(sps.chroma_format_idc);
        if (sps.chroma_format_idc == 3 && sps.separate_colour_plane_flag)
            chroma += " (separate colour planes)";
        Row(out_, "chroma format", chroma);
        Row(out_, "bit depth",
            "luma " + std::to_string(BitDepth(sps.bit_depth_luma_minus8)) + ", chroma " +
                std::to_string(BitDepth(sps.bit_depth_chroma_minus8)));
        Row(out_, "profile/tier/level", sps.has_profile_tier_level ? ProfileTierLevelText(sps) : "unknown");
        WriteSizeChanges(out_, s.sizeChanges);
    } else {
        Row(out_, "coded size", "unknown (no complete SPS)");
    }
    const std::uint64_t pictures = s.pictures[0] + s.pictures[1] + s.pictures[2];
    Row(out_, "pictures",
        std::to_string(pictures) + " (I " + std::to_string(s.pictures[0]) + ", P " + std::to_string(s.pictures[1]) +
            ", B " + std::to_string(s.pictures[2]) + ")");
    if (s.dependentSliceSegments)
        Row(out_, "dependent segments", std::to_string(s.dependentSliceSegments));
    if (s.untypedSliceSegments)
        Row(out_, "untyped segments", std::to_string(s.untypedSliceSegments));
    if (s.keyPictures.empty()) {
        Row(out_, "key pictures", "none");
    } else {
        Row(out_, "key pictures", std::to_string(s.keyPictures.size()));
        for (const KeyPicture& key : s.keyPictures)
            out_ << "    #" << key.index << " at byte offset " << key.offset << " (" << NalUnitTypeName(key.nalUnitType)
                 << ")\n";
    }
    Row(out_, "parameter sets",
        s.parameterSetsFirst ? "VPS, SPS and PPS come before the first picture"
                             : "VPS, SPS and PPS do not all come before the first picture");
    WriteTiming(out_, s.timing);
    if (s.timing.notes)
        Row(out_, "unread by the timing",
            h265tools::CountedNoun(s.timing.notes, "NAL unit", "NAL units") + " (see standard error)");
    if (s.errorCount)
        Row(out_, "errors", std::to_string(s.errorCount) + " (see standard error)");
    WriteListings(out_, "SPS", s.spsListings);
    WriteListings(out_, "PPS", s.ppsListings);
}

} // namespace h265info
