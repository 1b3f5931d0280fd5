// The tools' syntax reader (tools/support) over arbitrary bytes taken as one
// NAL unit (from its header on), after a first byte that steers the checks:
//   - RbspBits against a model: the RBSP unescaped by the plain rule of
//     7.3.1.1 into a buffer, read with reads of 1..32 bits (sizes from the
//     first byte) must give the same values and end at the same bit;
//   - ReadSps, ReadVps, ReadPpsHead, ReadHdrSei and, with the SPS when it was
//     read, ReadSlicePocHeader and ReadSliceReferencePictures throw nothing
//     but SyntaxError, and what they return is within the ranges they check;
//   - PictureOrderCount over pictures made from the bytes: PicOrderCntVal is
//     congruent to slice_pic_order_cnt_lsb modulo MaxPicOrderCntLsb;
//   - the bytes cut at every 00 00 01 into NAL units, through StreamTiming
//     and OutputOrder as the tools follow a stream: every picture gets
//     exactly one decision, the output ones consecutive indices, and no more
//     than the bound of pictures ever wait.
#include <vector>

#include "FuzzSupport.h"
#include "HdrSei.h"
#include "PictureOrderCount.h"
#include "PpsSyntax.h"
#include "RbspBits.h"
#include "SlicePocHeader.h"
#include "SliceReferencePictures.h"
#include "SpsSyntax.h"
#include "StreamTiming.h"
#include "VpsSyntax.h"

namespace {

using namespace h265tools;

// 7.3.1.1, as plainly as it reads: after the two header bytes, a 03 that
// follows two zero bytes (counted since the last such 03) is dropped.
std::vector<unsigned char> Unescape(const unsigned char* nal, size_t size) {
    std::vector<unsigned char> rbsp;
    int zeros = 0;
    for (size_t i = 2; i < size; i++) {
        if (zeros >= 2 && nal[i] == 3) {
            zeros = 0;
            continue;
        }
        zeros = nal[i] == 0 ? zeros + 1 : 0;
        rbsp.push_back(nal[i]);
    }
    return rbsp;
}

void CheckBitsAgainstModel(const unsigned char* nal, size_t size, uint8_t steer) {
    const std::vector<unsigned char> rbsp = Unescape(nal, size);
    const uint64_t total = size < 2 ? 0 : uint64_t(rbsp.size()) * 8;
    RbspBits bits(nal, size);
    uint64_t position = 0;
    for (unsigned k = 0;; k++) {
        const int n = 1 + static_cast<int>((steer + k * 7u) % 32u);
        if (position + static_cast<uint64_t>(n) > total) {
            bool threw = false;
            try {
                bits.u(n, "x");
            } catch (const SyntaxError&) {
                threw = true;
            }
            FUZZ_CHECK(threw);
            return;
        }
        uint64_t expected = 0;
        for (int b = 0; b < n; b++, position++)
            expected = (expected << 1) | ((rbsp[position / 8] >> (7 - position % 8)) & 1u);
        FUZZ_CHECK(bits.u(n, "x") == expected);
        FUZZ_CHECK(bits.Position() == position);
    }
}

template <typename Read> bool ReadsOrSyntaxError(Read read) {
    try {
        read();
        return true;
    } catch (const SyntaxError&) {
        return false;
    }
}

void CheckSps(const SpsSyntax& sps) {
    FUZZ_CHECK(sps.sps_seq_parameter_set_id <= 15 && sps.sps_max_sub_layers_minus1 <= 6);
    FUZZ_CHECK(sps.log2_max_pic_order_cnt_lsb_minus4 <= 12 && sps.num_short_term_ref_pic_sets <= 64);
    FUZZ_CHECK(sps.CtbLog2SizeY() <= 6 && sps.PicSizeInCtbsY() > 0);
    for (unsigned i = 0; i < sps.num_short_term_ref_pic_sets; i++) {
        const ShortTermRefPicSet& set = sps.st_ref_pic_set[i];
        FUZZ_CHECK(set.NumDeltaPocs == set.NumNegativePics + set.NumPositivePics);
        FUZZ_CHECK(set.NumDeltaPocs <= ShortTermRefPicSet::kMaxPictures);
        for (unsigned j = 0; j < set.NumNegativePics; j++)
            FUZZ_CHECK(set.DeltaPocS0[j] < 0);
        for (unsigned j = 0; j < set.NumPositivePics; j++)
            FUZZ_CHECK(set.DeltaPocS1[j] > 0);
    }
}

void CheckPictureOrderCount(const unsigned char* data, size_t size) {
    // One log2_max_pic_order_cnt_lsb_minus4 for all, as within a coded video sequence.
    if (size < 2)
        return;
    const unsigned log2Minus4 = data[1] % 13u;
    PictureOrderCount poc;
    for (size_t i = 0; i + 4 <= size; i += 4) {
        const int type = data[i] & 0x3F;
        if (type == 36) {
            poc.EndOfSequence();
            continue;
        }
        const uint32_t lsb = (uint32_t(data[i + 2]) << 8 | data[i + 3]) & ((1u << (log2Minus4 + 4)) - 1u);
        const int64_t value = poc.Next(type, data[i + 1] >> 6, lsb, log2Minus4, (data[i] & 0x40) != 0);
        FUZZ_CHECK((value - int64_t(lsb)) % (int64_t(1) << (log2Minus4 + 4)) == 0);
    }
}

void CheckStreamTiming(const unsigned char* data, size_t size) {
    ParameterSets sets;
    StreamTiming timing(sets);
    OutputOrder order;
    std::vector<unsigned char> decided; // per picture id: how many decisions
    uint64_t nextIndex = 0;
    const auto take = [&] {
        OutputPosition position;
        while (order.Take(position)) {
            FUZZ_CHECK(position.id < decided.size() && decided[position.id] == 0);
            decided[position.id] = 1;
            if (position.output)
                FUZZ_CHECK(position.index == nextIndex++);
        }
    };
    size_t start = 0;
    while (start < size) {
        size_t end = start + 3;
        while (end + 2 < size && !(data[end] == 0 && data[end + 1] == 0 && data[end + 2] == 1))
            ++end;
        if (end + 2 >= size)
            end = size;
        PictureTiming picture;
        std::string note;
        if (timing.Observe(data + start, end - start, start, picture, note) == StreamTiming::Seen::kPicture) {
            order.Add(picture.Decoded(decided.size()));
            decided.push_back(0);
            FUZZ_CHECK(order.Waiting() <= 17);
        }
        take();
        start = end + 3;
    }
    order.Flush();
    take();
    for (unsigned char d : decided)
        FUZZ_CHECK(d == 1);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1)
        return 0;
    const uint8_t steer = data[0];
    const ExactBuffer in(data + 1, size - 1);
    const unsigned char* nal = in.data();
    const size_t n = in.size();

    CheckBitsAgainstModel(nal, n, steer);

    SpsSyntax sps;
    const bool haveSps = ReadsOrSyntaxError([&] { ReadSps(nal, n, sps); });
    if (haveSps)
        CheckSps(sps);
    VpsSyntax vps;
    if (ReadsOrSyntaxError([&] { ReadVps(nal, n, vps); }))
        FUZZ_CHECK(vps.vps_max_sub_layers_minus1 <= 6);
    PpsHead pps;
    if (ReadsOrSyntaxError([&] { ReadPpsHead(nal, n, pps); }))
        FUZZ_CHECK(pps.pps_pic_parameter_set_id <= 63 && pps.pps_seq_parameter_set_id <= 15);
    HdrSei sei;
    ReadsOrSyntaxError([&] { ReadHdrSei(nal, n, sei); });

    // The same bytes as a slice segment, with the SPS they gave (or a small
    // one) and a PPS steered by the first byte.
    SpsSyntax sliceSps;
    if (haveSps) {
        sliceSps = sps;
    } else {
        sliceSps.pic_width_in_luma_samples = 1920;
        sliceSps.pic_height_in_luma_samples = 1080;
        sliceSps.separate_colour_plane_flag = (steer & 1) != 0;
    }
    PpsHead slicePps;
    slicePps.pps_seq_parameter_set_id = sliceSps.sps_seq_parameter_set_id;
    slicePps.dependent_slice_segments_enabled_flag = (steer & 2) != 0;
    slicePps.output_flag_present_flag = (steer & 4) != 0;
    slicePps.num_extra_slice_header_bits = (steer >> 3) & 7u;
    slicePps.pps_pic_parameter_set_id = 0;
    SlicePocHeader header;
    if (ReadsOrSyntaxError([&] { ReadSlicePocHeader(nal, n, slicePps, sliceSps, header); })) {
        FUZZ_CHECK(header.slice_type <= 2 && header.nal_unit_type <= 31);
        FUZZ_CHECK(uint64_t(header.slice_segment_address) < sliceSps.PicSizeInCtbsY());
        RbspBits bits(nal, n);
        SliceReferencePictures refs;
        if (ReadsOrSyntaxError([&] {
                ReadSlicePocHeader(bits, slicePps, sliceSps, header);
                ReadSliceReferencePictures(bits, sliceSps, header, refs);
            }))
            FUZZ_CHECK(refs.num_long_term_sps + refs.num_long_term_pics < SliceReferencePictures::kMaxLongTermPictures);
    }

    CheckPictureOrderCount(nal, n);
    CheckStreamTiming(nal, n);
    return 0;
}
