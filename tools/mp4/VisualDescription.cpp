#include "VisualDescription.h"

namespace mp4 {

namespace {

// ISO/IEC 14496-12 12.1.5 Colour information, colour_type nclx: the code
// points of ITU-T H.273, which the VUI uses (E.3.1).
void WriteColr(BoxWriter& box, const VisualDescription& d) {
    const std::size_t colr = box.Begin("colr");
    box.FourCc("nclx");                           // colour_type
    box.U16(d.colour_primaries);                  // colour_primaries u(16)
    box.U16(d.transfer_characteristics);          // transfer_characteristics u(16)
    box.U16(d.matrix_coeffs);                     // matrix_coefficients u(16)
    box.U8(d.video_full_range_flag ? 0x80u : 0u); // full_range_flag u(1), reserved u(7)
    box.End(colr);
}

// Content light level: the two fields of content_light_level_info( ) (D.2.35) as coded.
void WriteClli(BoxWriter& box, const h265tools::HdrSei& hdr) {
    const std::size_t clli = box.Begin("clli");
    box.U16(hdr.max_content_light_level);     // max_content_light_level u(16), cd/m2
    box.U16(hdr.max_pic_average_light_level); // max_pic_average_light_level u(16)
    box.End(clli);
}

// Mastering display colour volume (SMPTE ST 2086): the fields of
// mastering_display_colour_volume( ) (D.2.28) in their coded order and units,
// the primaries c = 0..2 as the SEI message lists them (green, blue, red).
void WriteMdcv(BoxWriter& box, const h265tools::HdrSei& hdr) {
    const std::size_t mdcv = box.Begin("mdcv");
    for (int c = 0; c < 3; ++c) {
        box.U16(hdr.display_primaries_x[c]); // display_primaries_x u(16), units of 0.00002
        box.U16(hdr.display_primaries_y[c]); // display_primaries_y u(16)
    }
    box.U16(hdr.white_point_x);                   // white_point_x u(16)
    box.U16(hdr.white_point_y);                   // white_point_y u(16)
    box.U32(hdr.max_display_mastering_luminance); // u(32), units of 0.0001 cd/m2
    box.U32(hdr.min_display_mastering_luminance); // u(32)
    box.End(mdcv);
}

// 12.1.4 Pixel aspect ratio.
void WritePasp(BoxWriter& box, const VisualDescription& d) {
    const std::size_t pasp = box.Begin("pasp");
    box.U32(d.hSpacing); // hSpacing
    box.U32(d.vSpacing); // vSpacing
    box.End(pasp);
}

} // namespace

// The order is the one ffmpeg's mp4 muxer writes, so that the two tools'
// sample entries of one stream are the same bytes.
void WriteVisualDescription(BoxWriter& box, const VisualDescription& d) {
    if (d.hasColr)
        WriteColr(box, d);
    if (d.hdr.has_content_light_level)
        WriteClli(box, d.hdr);
    if (d.hdr.has_mastering_display)
        WriteMdcv(box, d.hdr);
    if (d.hSpacing != 0 && d.vSpacing != 0)
        WritePasp(box, d);
}

} // namespace mp4
