#include "StreamTiming.h"

#include "NalUnitTypes.h"

#include <algorithm>

#include "SlicePicParameterSetId.h"
#include "SlicePocHeader.h"
#include "SliceReferencePictures.h"
#include "SyntaxError.h"

namespace h265tools {

DecodedPicture PictureTiming::Decoded(std::uint64_t id) const {
    DecodedPicture picture;
    picture.id = id;
    picture.poc = poc;
    picture.output = output;
    picture.startsSequence = startsSequence;
    picture.noOutputOfPriorPics = noOutputOfPriorPics;
    picture.maxNumReorder = MaxNumReorder();
    return picture;
}

unsigned int PictureTiming::MaxNumReorder() const {
    // ReadSps allows sps_max_sub_layers_minus1 up to 6, the last entry.
    return sps ? sps->sps_max_num_reorder_pics[sps->sps_max_sub_layers_minus1 <= 6 ? sps->sps_max_sub_layers_minus1 : 6]
               : 0;
}

StreamTiming::Seen StreamTiming::Observe(const unsigned char* nal, std::size_t size, std::uint64_t offset,
                                         PictureTiming& timing, std::string& note) {
    if (size < 2)
        return Seen::kOther;
    const int type = (nal[0] >> 1) & 0x3F;
    try {
        switch (type) {
        case kVpsNut: {
            std::shared_ptr<VpsSyntax> vps(new VpsSyntax());
            ReadVps(nal, size, *vps);
            sets_.KeepSyntax(std::shared_ptr<const VpsSyntax>(std::move(vps)));
            break;
        }
        case kSpsNut: {
            std::shared_ptr<SpsSyntax> sps(new SpsSyntax());
            ReadSps(nal, size, *sps);
            sets_.KeepSyntax(std::shared_ptr<const SpsSyntax>(std::move(sps)));
            break;
        }
        case kPpsNut: {
            std::shared_ptr<PpsHead> pps(new PpsHead());
            ReadPpsHead(nal, size, *pps);
            sets_.KeepSyntax(std::shared_ptr<const PpsHead>(std::move(pps)));
            break;
        }
        case kEosNut:
        case kEobNut:
            poc_.EndOfSequence();
            break;
        case kPrefixSeiNut: {
            HdrSei sei;
            ReadHdrSei(nal, size, sei);
            if (sei.has_mastering_display && !hdr_.has_mastering_display) {
                hdr_.has_mastering_display = true;
                for (int c = 0; c < 3; ++c) {
                    hdr_.display_primaries_x[c] = sei.display_primaries_x[c];
                    hdr_.display_primaries_y[c] = sei.display_primaries_y[c];
                }
                hdr_.white_point_x = sei.white_point_x;
                hdr_.white_point_y = sei.white_point_y;
                hdr_.max_display_mastering_luminance = sei.max_display_mastering_luminance;
                hdr_.min_display_mastering_luminance = sei.min_display_mastering_luminance;
            }
            if (sei.has_content_light_level && !hdr_.has_content_light_level) {
                hdr_.has_content_light_level = true;
                hdr_.max_content_light_level = sei.max_content_light_level;
                hdr_.max_pic_average_light_level = sei.max_pic_average_light_level;
            }
            if (sei.has_mastering_display || sei.has_content_light_level)
                return Seen::kHdrSei;
            break;
        }
        default:
            if (IsSliceSegment(type))
                return ObserveSlice(nal, size, offset, timing, note);
            break;
        }
    } catch (const SyntaxError& e) {
        const char* what = type == kVpsNut ? "VPS" : type == kSpsNut ? "SPS" : type == kPpsNut ? "PPS" : "SEI";
        note = std::string(what) + " at byte offset " + std::to_string(offset) + ": " + e.what();
        sets_.ForgetSyntax(type, nal, size, e.what());
    }
    return Seen::kOther;
}

StreamTiming::Seen StreamTiming::ObserveSlice(const unsigned char* nal, std::size_t size, std::uint64_t offset,
                                              PictureTiming& timing, std::string& note) {
    if (size < 3 || (nal[2] & 0x80) == 0)
        return Seen::kOther; // a later slice segment of the picture
    const int type = (nal[0] >> 1) & 0x3F;
    unsigned int ppsId = 0;
    if (ReadSlicePicParameterSetId(nal, size, ppsId) != PpsIdReading::kRead || !sets_.PpsHeadOf(ppsId))
        return Seen::kUnknownPicture;
    // Plain pointers: the records stay kept while this picture is read, and
    // a shared_ptr copy per picture costs atomic counts.
    const PpsHead* pps = sets_.PpsHeadOf(ppsId).get();
    const std::shared_ptr<const SpsSyntax>& keptSps = sets_.SpsSyntaxOf(pps->pps_seq_parameter_set_id);
    if (pps->pps_seq_parameter_set_id > 15 || !keptSps)
        return Seen::kUnknownPicture;
    const SpsSyntax* sps = keptSps.get();
    RbspBits bits(nal, size);
    SlicePocHeader header;
    try {
        ReadSlicePocHeader(bits, *pps, *sps, header);
    } catch (const SyntaxError& e) {
        timing.sliceHeaderCut = e.truncated;
        note = "slice segment at byte offset " + std::to_string(offset) + ": " + e.what();
        return Seen::kUnknownPicture;
    }
    // The same reading goes on through the reference picture sets, so that a
    // stream cut inside them shows. The picture order count is known by now:
    // a value out of range there is left to the decoder.
    try {
        SliceReferencePictures refs;
        ReadSliceReferencePictures(bits, *sps, header, refs);
    } catch (const SyntaxError& e) {
        timing.sliceHeaderCut = e.truncated;
    }
    if (activeSps_ != keptSps)
        activeSps_ = keptSps;
    const std::shared_ptr<const VpsSyntax>& keptVps = sets_.VpsSyntaxOf(sps->sps_video_parameter_set_id);
    if (activeVps_ != keptVps)
        activeVps_ = keptVps;
    const unsigned int temporalId = (nal[1] & 7u) == 0 ? 0 : (nal[1] & 7u) - 1;
    timing.poc = poc_.Next(type, static_cast<int>(temporalId), header.slice_pic_order_cnt_lsb,
                           sps->log2_max_pic_order_cnt_lsb_minus4, startSequence_);
    startSequence_ = false;
    timing.irap = IsIrap(type);
    timing.startsSequence = poc_.StartedSequence();
    // RASL pictures of an IRAP picture with NoRaslOutputFlag 1 refer to
    // pictures the decoder never had; they are neither decoded nor output
    // (8.1.3).
    const bool skippedRasl = (type == kRaslN || type == kRaslR) && poc_.NoRaslOutputFlag();
    timing.output = header.pic_output_flag != 0 && !skippedRasl;
    // C.5.2.2: a CRA picture that starts a sequence discards the pictures
    // still waiting for output; an IDR or BLA picture does so when its
    // no_output_of_prior_pics_flag says so.
    timing.noOutputOfPriorPics =
        timing.startsSequence && (type == kCraNut || header.no_output_of_prior_pics_flag != 0);
    timing.temporalId = temporalId;
    timing.sps = sps;
    timing.vps = activeVps_.get();
    return Seen::kPicture;
}

} // namespace h265tools
