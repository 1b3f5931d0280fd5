#include "MediaFragment.h"

#include <stdexcept>

#include "InitSegment.h"

namespace mp4 {

namespace {

// tf_flags of 8.8.7.1.
const std::uint32_t kDefaultBaseIsMoof = 0x020000u;
// tr_flags of 8.8.8.1.
const std::uint32_t kDataOffsetPresent = 0x000001u;
const std::uint32_t kSampleDurationPresent = 0x000100u;
const std::uint32_t kSampleSizePresent = 0x000200u;
const std::uint32_t kSampleFlagsPresent = 0x000400u;
const std::uint32_t kSampleCompositionTimeOffsetsPresent = 0x000800u;

void WriteMfhd(BoxWriter& box, std::uint32_t sequenceNumber) {
    const std::size_t mfhd = box.BeginFull("mfhd", 0, 0);
    box.U32(sequenceNumber); // sequence_number
    box.End(mfhd);
}

// 8.8.7 Track fragment header: data offsets count from the moof's first byte.
void WriteTfhd(BoxWriter& box) {
    const std::size_t tfhd = box.BeginFull("tfhd", 0, kDefaultBaseIsMoof);
    box.U32(kTrackId); // track_ID
    box.End(tfhd);
}

// 8.8.12 Track fragment decode time, version 1: 64-bit, a long recording
// passes 2^32 ticks (13 hours at 90 kHz).
void WriteTfdt(BoxWriter& box, std::uint64_t baseMediaDecodeTime) {
    const std::size_t tfdt = box.BeginFull("tfdt", 1, 0);
    box.U64(baseMediaDecodeTime);
    box.End(tfdt);
}

// 8.8.8 Track fragment run, version 1: sample_composition_time_offset is
// signed, so pictures are shown from time 0 without an edit list. Returns the
// position of data_offset, known only when moof is complete.
std::size_t WriteTrun(BoxWriter& box, const std::vector<FragmentSample>& samples) {
    const std::size_t trun =
        box.BeginFull("trun", 1,
                      kDataOffsetPresent | kSampleDurationPresent | kSampleSizePresent | kSampleFlagsPresent |
                          kSampleCompositionTimeOffsetsPresent);
    box.U32(static_cast<std::uint32_t>(samples.size())); // sample_count
    const std::size_t dataOffset = box.Position();
    box.S32(0); // data_offset, patched
    for (const FragmentSample& s : samples) {
        box.U32(s.duration);
        box.U32(s.size);
        box.U32(s.sync ? kSyncSampleFlags : kNonSyncSampleFlags);
        box.S32(s.compositionOffset);
    }
    box.End(trun);
    return dataOffset;
}

} // namespace

std::vector<unsigned char> MakeFragmentHeader(std::uint32_t sequenceNumber, std::uint64_t baseMediaDecodeTime,
                                              const std::vector<FragmentSample>& samples) {
    std::vector<unsigned char> bytes;
    bytes.reserve(120 + 16 * samples.size()); // the boxes below
    BoxWriter box(bytes);
    const std::size_t moof = box.Begin("moof");
    WriteMfhd(box, sequenceNumber);
    const std::size_t traf = box.Begin("traf");
    WriteTfhd(box);
    WriteTfdt(box, baseMediaDecodeTime);
    const std::size_t dataOffset = WriteTrun(box, samples);
    box.End(traf);
    box.End(moof);
    // The first sample follows the 8-byte mdat header.
    box.PatchU32(dataOffset, static_cast<std::uint32_t>(box.Position() - moof + 8));

    std::uint64_t payload = 0;
    for (const FragmentSample& s : samples)
        payload += s.size;
    if (payload > 0xFFFFFFFFu - 8u)
        throw std::length_error("fragment over 4 GiB");
    box.U32(static_cast<std::uint32_t>(payload + 8u)); // mdat size
    box.FourCc("mdat");
    return bytes;
}

} // namespace mp4
