#include "JsonReport.h"

#include "Json.h"
#include "ColourNames.h"
#include "NalUnitNames.h"
#include "SampleAspectRatio.h"
#include "TextAppend.h"

namespace h265info {

namespace {

const char* Bool(bool value) {
    return value ? "true" : "false";
}

std::string IntOrNull(long long value, bool present) {
    return present ? std::to_string(value) : "null";
}

const char* SliceStateName(SliceState state) {
    switch (state) {
    case SliceState::kNotASlice:
        return "none";
    case SliceState::kTyped:
        return "typed";
    case SliceState::kDependent:
        return "dependent";
    case SliceState::kUntyped:
        return "untyped";
    case SliceState::kNoParameterSets:
        return "no_parameter_sets";
    case SliceState::kTruncated:
        return "truncated";
    }
    return "none";
}

void WriteListings(std::ostream& out, const std::vector<ParameterSetListing>& listings) {
    out << '[';
    for (std::size_t i = 0; i < listings.size(); ++i) {
        const ParameterSetListing& l = listings[i];
        out << (i ? ",\n    " : "\n    ") << "{\"index\": " << l.index << ", \"offset\": " << l.offset
            << ", \"occurrences\": " << l.occurrences << ",\n     \"listing\": " << JsonString(l.text)
            << ",\n     \"fields\": {";
        for (std::size_t k = 0; k < l.fields.size(); ++k) {
            const std::string& value = l.fields[k].second;
            out << (k ? ", " : "") << JsonString(l.fields[k].first) << ": "
                << (IsDecimal(value) ? value : JsonString(value));
        }
        out << "}}";
    }
    out << (listings.empty() ? "]" : "\n  ]");
}

// Written only when there are any, so that the document of a stream with one
// picture size keeps its shape.
void WriteSizeChanges(std::ostream& out, const std::vector<SizeChange>& changes) {
    out << "    \"size_changes\": [";
    for (std::size_t i = 0; i < changes.size(); ++i) {
        const SizeChange& c = changes[i];
        const DisplaySize display = ComputeDisplaySize(c.sps);
        out << (i ? ",\n      " : "\n      ") << "{\"index\": " << c.index << ", \"offset\": " << c.offset
            << ", \"sps_id\": " << c.spsId << ", \"coded_width\": " << c.codedWidth
            << ", \"coded_height\": " << c.codedHeight
            << ", \"display_width\": " << IntOrNull(static_cast<long long>(display.width), display.valid)
            << ", \"display_height\": " << IntOrNull(static_cast<long long>(display.height), display.valid) << '}';
    }
    out << "\n    ],\n";
}

void WriteTiming(std::ostream& out, const TimingSummary& t) {
    out << "    \"frame_rate\": {\"numerator\": " << t.rate.numerator << ", \"denominator\": " << t.rate.denominator
        << ", \"source\": " << JsonString(FrameRateSourceName(t.rate.source))
        << ", \"text\": " << JsonString(FrameRateText(t.rate)) << "},\n";
    out << "    \"duration\": " << SecondsText(t.duration, 6) << ",\n";
    out << "    \"output_pictures\": " << t.outputPictures << ",\n";
    if (t.haveSps) {
        // Named as ffprobe names them.
        const VuiParameters& vui = t.vui;
        unsigned int w = 0;
        unsigned int h = 0;
        const bool sar = SampleAspectRatio(vui, w, h);
        out << "    \"video\": {\"sample_aspect_ratio\": "
            << (sar ? JsonString(std::to_string(w) + ":" + std::to_string(h)) : "null")
            << ", \"color_range\": " << JsonString(ColourRangeName(vui.video_full_range_flag))
            << ", \"color_primaries\": " << JsonString(ColourPrimariesName(vui.colour_primaries))
            << ", \"color_transfer\": " << JsonString(TransferCharacteristicsName(vui.transfer_characteristics))
            << ", \"color_space\": " << JsonString(MatrixCoefficientsName(vui.matrix_coeffs))
            << ", \"chroma_location\": "
            << (vui.chroma_loc_info_present_flag ? JsonString(ChromaLocationName(vui.chroma_sample_loc_type_top_field))
                : t.chromaFormatIdc == 1          ? JsonString(ChromaLocationName(0))
                                                 : "null")
            << ", \"field_seq_flag\": " << Bool(vui.field_seq_flag)
            << ", \"hdr\": " << (HdrSystemName(vui.transfer_characteristics).empty()
                                      ? "null"
                                      : JsonString(HdrSystemName(vui.transfer_characteristics)))
            << ",\n              \"has_b_frames\": " << t.maxNumReorderPics
            << ", \"temporal_layers\": " << t.temporalLayers << ", \"gop\": {\"m\": " << t.gopM
            << ", \"n\": " << t.gopN << ", \"open\": " << Bool(t.openGop) << "}";
        const HdrSei& m = t.hdr;
        if (m.has_mastering_display) {
            out << ",\n              \"mastering_display\": {\"display_primaries_x\": [" << m.display_primaries_x[0] << ", "
                << m.display_primaries_x[1] << ", " << m.display_primaries_x[2] << "], \"display_primaries_y\": ["
                << m.display_primaries_y[0] << ", " << m.display_primaries_y[1] << ", " << m.display_primaries_y[2]
                << "], \"white_point_x\": " << m.white_point_x << ", \"white_point_y\": " << m.white_point_y
                << ", \"max_display_mastering_luminance\": " << m.max_display_mastering_luminance
                << ", \"min_display_mastering_luminance\": " << m.min_display_mastering_luminance << '}';
        }
        if (m.has_content_light_level)
            out << ",\n              \"content_light_level\": {\"max_content_light_level\": "
                << m.max_content_light_level << ", \"max_pic_average_light_level\": " << m.max_pic_average_light_level
                << '}';
        out << "},\n";
    }
    out << "    \"timing_notes\": " << t.notes << ",\n";
}

} // namespace

void JsonReport::Begin(const std::string& path) {
    out_ << "{\n  \"file\": " << JsonString(path) << ",\n  \"nal_units\": [";
}

void JsonReport::Unit(const UnitRecord& u) {
    // Built in one reused buffer: this runs for every NAL unit of a stream.
    std::string& o = row_;
    o.assign(firstUnit_ ? "\n    " : ",\n    ");
    firstUnit_ = false;
    const bool typed = u.nalUnitType >= 0;
    const auto number = [&o](long long value, bool present) {
        if (present)
            AppendSigned(o, value);
        else
            o += "null";
    };
    o += "{\"index\": ";
    AppendUnsigned(o, u.index);
    o += ", \"offset\": ";
    AppendUnsigned(o, u.offset);
    o += ", \"size\": ";
    AppendUnsigned(o, u.size);
    o += ", \"start_code_length\": ";
    number(u.startCodeLength, true);
    o += ", \"nal_unit_type\": ";
    number(u.nalUnitType, typed);
    o += ", \"name\": ";
    o += typed ? JsonString(NalUnitTypeName(u.nalUnitType)) : "null";
    o += ", \"nuh_layer_id\": ";
    number(u.layerId, u.hasHeader);
    o += ", \"temporal_id\": ";
    number(u.temporalId, u.hasHeader);
    o += ", \"nalu_type\": ";
    number(u.naluCode, u.codeKnown);
    o += ", \"nalu_type_name\": ";
    o += u.codeKnown ? JsonString(NaluTypeCodeName(u.naluCode)) : "null";
    o += ", \"is_key_frame\": ";
    number(u.keyFrame, true);
    if (u.slice != SliceState::kNotASlice) {
        o += ", \"slice\": {\"state\": \"";
        o += SliceStateName(u.slice);
        o += '"';
        if (u.slice == SliceState::kTyped) {
            o += ", \"picture_type\": \"";
            o += PictureTypeLetter(u.pictureType);
            o += "\", \"first_slice_segment_in_pic\": ";
            o += Bool(u.firstSliceInPic);
            o += ", \"key_picture\": ";
            o += Bool(u.keyPicture);
        }
        o += '}';
    } else {
        o += ", \"slice\": null";
    }
    if (u.hasPoc) {
        o += ", \"poc\": ";
        AppendSigned(o, u.poc);
        o += ", \"output_index\": ";
        number(static_cast<long long>(u.outputIndex), u.output);
        o += ", \"pts\": ";
        o += u.output ? SecondsText(u.presentationTime, 6) : "null";
    }
    if (!u.error.empty()) {
        o += ", \"error\": ";
        o += JsonString(u.error);
    }
    if (!u.note.empty()) {
        o += ", \"note\": ";
        o += JsonString(u.note);
    }
    o += '}';
    out_.write(o.data(), static_cast<std::streamsize>(o.size()));
}

void JsonReport::End(const Summary& s) {
    out_ << (firstUnit_ ? "],\n" : "\n  ],\n");
    out_ << "  \"summary\": {\n";
    out_ << "    \"file_size\": " << s.fileSize << ",\n";
    out_ << "    \"leading_bytes\": " << s.leadingBytes << ",\n";
    out_ << "    \"nal_unit_count\": " << s.unitCount << ",\n";
    out_ << "    \"first_nalu_type\": " << s.firstNaluType << ",\n";
    if (s.haveSps) {
        const SpsDescription& sps = s.sps;
        const DisplaySize display = ComputeDisplaySize(sps);
        out_ << "    \"sps_offset\": " << s.spsOffset << ",\n";
        out_ << "    \"coded_width\": " << s.codedWidth << ",\n";
        out_ << "    \"coded_height\": " << s.codedHeight << ",\n";
        out_ << "    \"display_width\": " << IntOrNull(static_cast<long long>(display.width), display.valid) << ",\n";
        out_ << "    \"display_height\": " << IntOrNull(static_cast<long long>(display.height), display.valid) << ",\n";
        out_ << "    \"conformance_window\": {\"present\": " << Bool(sps.conformance_window_flag != 0)
             << ", \"left_offset\": " << sps.conf_win_left_offset << ", \"right_offset\": " << sps.conf_win_right_offset
             << ", \"top_offset\": " << sps.conf_win_top_offset << ", \"bottom_offset\": " << sps.conf_win_bottom_offset
             << ", \"sub_width_c\": " << display.subWidthC << ", \"sub_height_c\": " << display.subHeightC << "},\n";
        out_ << "    \"chroma_format_idc\": " << sps.chroma_format_idc << ",\n";
        out_ << "    \"chroma_format\": " << JsonString(ChromaFormatName(sps.chroma_format_idc)) << ",\n";
        out_ << "    \"separate_colour_plane_flag\": " << sps.separate_colour_plane_flag << ",\n";
        out_ << "    \"bit_depth_luma\": " << BitDepth(sps.bit_depth_luma_minus8) << ",\n";
        out_ << "    \"bit_depth_chroma\": " << BitDepth(sps.bit_depth_chroma_minus8) << ",\n";
        if (sps.has_profile_tier_level) {
            out_ << "    \"general_profile_idc\": " << sps.general_profile_idc << ",\n";
            out_ << "    \"profile\": " << JsonString(ProfileName(sps.general_profile_idc)) << ",\n";
            out_ << "    \"general_tier_flag\": " << sps.general_tier_flag << ",\n";
            out_ << "    \"tier\": " << JsonString(TierName(sps.general_tier_flag)) << ",\n";
            out_ << "    \"general_level_idc\": " << sps.general_level_idc << ",\n";
            out_ << "    \"level\": " << JsonString(LevelNumber(sps.general_level_idc)) << ",\n";
            out_ << "    \"profile_tier_level\": " << JsonString(ProfileTierLevelText(sps)) << ",\n";
        }
        if (!s.sizeChanges.empty())
            WriteSizeChanges(out_, s.sizeChanges);
    } else {
        out_ << "    \"sps_offset\": null,\n    \"coded_width\": null,\n    \"coded_height\": null,\n";
    }
    const std::uint64_t total = s.pictures[0] + s.pictures[1] + s.pictures[2];
    out_ << "    \"pictures\": {\"I\": " << s.pictures[0] << ", \"P\": " << s.pictures[1]
         << ", \"B\": " << s.pictures[2] << ", \"total\": " << total << "},\n";
    out_ << "    \"dependent_slice_segments\": " << s.dependentSliceSegments << ",\n";
    out_ << "    \"untyped_slice_segments\": " << s.untypedSliceSegments << ",\n";
    out_ << "    \"key_pictures\": [";
    for (std::size_t i = 0; i < s.keyPictures.size(); ++i)
        out_ << (i ? ", " : "") << "{\"index\": " << s.keyPictures[i].index
             << ", \"offset\": " << s.keyPictures[i].offset
             << ", \"name\": " << JsonString(NalUnitTypeName(s.keyPictures[i].nalUnitType)) << '}';
    out_ << "],\n";
    out_ << "    \"parameter_sets_before_first_picture\": " << Bool(s.parameterSetsFirst) << ",\n";
    WriteTiming(out_, s.timing);
    out_ << "    \"error_count\": " << s.errorCount << ",\n";
    out_ << "    \"errors\": [";
    for (std::size_t i = 0; i < s.errors.size(); ++i)
        out_ << (i ? ", " : "") << JsonString(s.errors[i]);
    out_ << "]\n  },\n";
    out_ << "  \"sps\": ";
    WriteListings(out_, s.spsListings);
    out_ << ",\n  \"pps\": ";
    WriteListings(out_, s.ppsListings);
    out_ << "\n}\n";
}

} // namespace h265info
