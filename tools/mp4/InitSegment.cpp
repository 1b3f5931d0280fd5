#include "InitSegment.h"

namespace mp4 {

namespace {

// The unity transformation matrix of mvhd and tkhd (14496-12 8.2.2.3).
void WriteUnityMatrix(BoxWriter& box) {
    const std::uint32_t matrix[9] = {0x00010000u, 0, 0, 0, 0x00010000u, 0, 0, 0, 0x40000000u};
    for (std::uint32_t value : matrix)
        box.U32(value);
}

// 8.2.2 Movie header: times are zero, as the samples' times are in the fragments.
void WriteMvhd(BoxWriter& box, const VideoTrackFormat& f) {
    const std::size_t mvhd = box.BeginFull("mvhd", 0, 0);
    box.U32(0);           // creation_time
    box.U32(0);           // modification_time
    box.U32(f.timescale); // timescale
    box.U32(0);           // duration: unknown, fragments follow
    box.U32(0x00010000u); // rate 1.0
    box.U16(0x0100u);     // volume 1.0
    box.Zeros(2 + 8);     // reserved
    WriteUnityMatrix(box);
    box.Zeros(6 * 4);        // pre_defined
    box.U32(kTrackId + 1u); // next_track_ID
    box.End(mvhd);
}

// 8.3.2 Track header: enabled and in the movie (flags 3).
void WriteTkhd(BoxWriter& box, const VideoTrackFormat& f) {
    const std::size_t tkhd = box.BeginFull("tkhd", 0, 3);
    box.U32(0);        // creation_time
    box.U32(0);        // modification_time
    box.U32(kTrackId); // track_ID
    box.U32(0);        // reserved
    box.U32(0);        // duration
    box.Zeros(8);      // reserved
    box.U16(0);        // layer
    box.U16(0);        // alternate_group
    box.U16(0);        // volume: 0 for video
    box.U16(0);        // reserved
    WriteUnityMatrix(box);
    box.U32((f.width & 0xFFFFu) << 16);  // width, 16.16 fixed point
    box.U32((f.height & 0xFFFFu) << 16); // height
    box.End(tkhd);
}

// 8.4.2 Media header, language "und" (ISO 639-2/T packed in three 5-bit letters).
void WriteMdhd(BoxWriter& box, const VideoTrackFormat& f) {
    const std::size_t mdhd = box.BeginFull("mdhd", 0, 0);
    box.U32(0);
    box.U32(0);
    box.U32(f.timescale);
    box.U32(0);
    box.U16((('u' - 0x60) << 10) | (('n' - 0x60) << 5) | ('d' - 0x60));
    box.U16(0); // pre_defined
    box.End(mdhd);
}

// 8.4.3 Handler reference: a video track.
void WriteHdlr(BoxWriter& box) {
    const std::size_t hdlr = box.BeginFull("hdlr", 0, 0);
    box.U32(0); // pre_defined
    box.FourCc("vide");
    box.Zeros(3 * 4); // reserved
    static const char kName[] = "VideoHandler";
    box.Bytes(reinterpret_cast<const unsigned char*>(kName), sizeof kName); // with its terminating zero
    box.End(hdlr);
}

// 8.4.5.2 Video media header: graphicsmode copy (flags 1, as the box requires).
void WriteVmhd(BoxWriter& box) {
    const std::size_t vmhd = box.BeginFull("vmhd", 0, 1);
    box.U16(0);       // graphicsmode
    box.Zeros(3 * 2); // opcolor
    box.End(vmhd);
}

// 8.7.1 Data information: the media data is in this file (url flags 1).
void WriteDinf(BoxWriter& box) {
    const std::size_t dinf = box.Begin("dinf");
    const std::size_t dref = box.BeginFull("dref", 0, 0);
    box.U32(1); // entry_count
    box.End(box.BeginFull("url ", 0, 1));
    box.End(dref);
    box.End(dinf);
}

// 14496-15 8.4.1 HEVC sample entry: a VisualSampleEntry (14496-12 12.1.3)
// named hvc1 (its parameter sets in hvcC alone) or hev1; the boxes that
// describe the pictures follow hvcC.
void WriteHvc1(BoxWriter& box, const VideoTrackFormat& f) {
    const std::size_t hvc1 = box.Begin(f.sampleEntry);
    box.Zeros(6);      // reserved
    box.U16(1);        // data_reference_index
    box.U16(0);        // pre_defined
    box.U16(0);        // reserved
    box.Zeros(3 * 4);  // pre_defined
    box.U16(f.width);  // width
    box.U16(f.height); // height
    box.U32(0x00480000u); // horizresolution 72 dpi
    box.U32(0x00480000u); // vertresolution
    box.U32(0);           // reserved
    box.U16(1);           // frame_count
    box.Zeros(32);        // compressorname: empty
    box.U16(0x0018u);     // depth
    box.U16(0xFFFFu);     // pre_defined -1
    WriteHvcC(box, f.config);
    WriteVisualDescription(box, f.visual);
    box.End(hvc1);
}

// 8.5 Sample table with no samples: they are in the fragments.
void WriteStbl(BoxWriter& box, const VideoTrackFormat& f) {
    const std::size_t stbl = box.Begin("stbl");
    const std::size_t stsd = box.BeginFull("stsd", 0, 0);
    box.U32(1); // entry_count
    WriteHvc1(box, f);
    box.End(stsd);
    const std::size_t stts = box.BeginFull("stts", 0, 0);
    box.U32(0);
    box.End(stts);
    const std::size_t stsc = box.BeginFull("stsc", 0, 0);
    box.U32(0);
    box.End(stsc);
    const std::size_t stsz = box.BeginFull("stsz", 0, 0);
    box.U32(0); // sample_size
    box.U32(0); // sample_count
    box.End(stsz);
    const std::size_t stco = box.BeginFull("stco", 0, 0);
    box.U32(0);
    box.End(stco);
    box.End(stbl);
}

// 8.8.3 Track extends: every sample lasts one picture unless trun says otherwise.
void WriteMvex(BoxWriter& box, const VideoTrackFormat& f) {
    const std::size_t mvex = box.Begin("mvex");
    const std::size_t trex = box.BeginFull("trex", 0, 0);
    box.U32(kTrackId);         // track_ID
    box.U32(1);                // default_sample_description_index
    box.U32(f.sampleDuration); // default_sample_duration
    box.U32(0);                // default_sample_size
    box.U32(0);                // default_sample_flags
    box.End(trex);
    box.End(mvex);
}

} // namespace

// 4.3 File type: ISO base media version 6 (signed trun composition offsets
// are of version 1 trun, in iso6's set) and CMAF's cmfc.
void WriteFtyp(BoxWriter& box) {
    const std::size_t ftyp = box.Begin("ftyp");
    box.FourCc("iso6"); // major_brand
    box.U32(0);         // minor_version
    box.FourCc("iso6"); // compatible_brands
    box.FourCc("cmfc");
    box.FourCc("hvc1");
    box.End(ftyp);
}

void WriteMoov(BoxWriter& box, const VideoTrackFormat& f) {
    const std::size_t moov = box.Begin("moov");
    WriteMvhd(box, f);
    const std::size_t trak = box.Begin("trak");
    WriteTkhd(box, f);
    const std::size_t mdia = box.Begin("mdia");
    WriteMdhd(box, f);
    WriteHdlr(box);
    const std::size_t minf = box.Begin("minf");
    WriteVmhd(box);
    WriteDinf(box);
    WriteStbl(box, f);
    box.End(minf);
    box.End(mdia);
    box.End(trak);
    WriteMvex(box, f);
    box.End(moov);
}

std::vector<unsigned char> MakeInitSegment(const VideoTrackFormat& format) {
    std::vector<unsigned char> bytes;
    BoxWriter box(bytes);
    WriteFtyp(box);
    WriteMoov(box, format);
    return bytes;
}

} // namespace mp4
