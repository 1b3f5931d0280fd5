#include "SliceHeader.h"

#include <cmath>
#include <limits>
#include <memory>

#include "SafeArithmetic.h"

namespace h265headers {

namespace {

// The elements read on the way to slice_type; alive for one call.
struct SLICE_SEGMENT_HEADER {
    unsigned int first_slice_segment_in_pic_flag;
    unsigned int no_output_of_prior_pics_flag;
    unsigned int slice_pic_parameter_set_id;
    unsigned int dependent_slice_segment_flag;
    unsigned int slice_segment_address;
    std::unique_ptr<unsigned int[]> slice_reserved_flag; // num_extra_slice_header_bits entries
    unsigned int slice_type;

    SLICE_SEGMENT_HEADER()
        : first_slice_segment_in_pic_flag(0), no_output_of_prior_pics_flag(0), slice_pic_parameter_set_id(0),
          dependent_slice_segment_flag(0), slice_segment_address(0), slice_type(0) {}
};

enum SliceType { kSliceB = 0, kSliceP = 1, kSliceI = 2 };

// samples / d in IEEE arithmetic, with the division by a CtbSizeY of 0 (a
// CtbLog2SizeY of 32 or more) written out instead of left to the compiler:
// +infinity for a positive count, NaN for 0.
double DivideIeee(unsigned int samples, double d) {
    const double x = static_cast<double>(samples);
    if (d == 0.0)
        return x > 0.0 ? std::numeric_limits<double>::infinity() : std::numeric_limits<double>::quiet_NaN();
    return x / d;
}

} // namespace

int SliceSegmentAddressBits(const SEQ_PARAMETER_SET& sps) {
    const unsigned int CtbLog2SizeY =
        sps.log2_min_luma_coding_block_size_minus3 + 3u + sps.log2_diff_max_min_luma_coding_block_size;
    const unsigned int s = CtbLog2SizeY & 0xFFu;
    // 1 << 31 is the most negative int; from 32 on the size is 0.
    int CtbSizeY;
    if (s < 31)
        CtbSizeY = 1 << s;
    else if (s == 31)
        CtbSizeY = -2147483647 - 1;
    else
        CtbSizeY = 0;
    const double d = static_cast<double>(CtbSizeY);
    const int PicHeightInCtbsY = SaturatingDoubleToInt(std::ceil(DivideIeee(sps.pic_height_in_luma_samples, d)));
    const int PicWidthInCtbsY = SaturatingDoubleToInt(std::ceil(DivideIeee(sps.pic_width_in_luma_samples, d)));
    const int PicSizeInCtbsY = ToSignedInt32(static_cast<unsigned int>(PicWidthInCtbsY) *
                                             static_cast<unsigned int>(PicHeightInCtbsY));
    return CeilLog2OfCtbCount(PicSizeInCtbsY);
}

int CeilLog2OfCtbCount(int PicSizeInCtbsY) {
    // SaturatingDoubleToInt(ceil(log(double(n)) / log(2.0))) without the two
    // logarithms. Checked against that expression for all 2^32 values of n
    // with glibc 2.36 on x86-64 and on armhf (under qemu-arm): it is the
    // exact Ceil(Log2(n)) for every n >= 1 except n = 2^29, where
    // log(2^29) / log(2.0) rounds to just above 29.
    if (PicSizeInCtbsY == 0)
        return -2147483647 - 1; // log(0) is -infinity
    if (PicSizeInCtbsY < 0)
        return 0; // log of a negative number is NaN
    if (PicSizeInCtbsY == 536870912)
        return 30;
    const unsigned int n = static_cast<unsigned int>(PicSizeInCtbsY);
    if (n == 1)
        return 0;
#if defined(__GNUC__)
    return 32 - __builtin_clz(n - 1); // n - 1 < 2^31: at most 31
#else
    int bits = 0;
    while ((1u << bits) < n)
        ++bits;
    return bits;
#endif
}

bool ReadSlicePictureType(const unsigned char* header, const unsigned char* end, const SEQ_PARAMETER_SET& sps,
                          const PIC_PARAMETER_SET& pps, int* type, bool* firstSliceInPic) {
    const int nal_unit_type = (header[0] >> 1) & 0x3F;
    // Read in place up to the end of the caller's block, past the two-byte
    // NAL unit header.
    const unsigned char* payload = header + 2;
    if (payload >= end)
        return false;

    CMemInputSource source(payload, static_cast<int>(end - payload));
    CH264BitInStream bs(&source);
    // 7.3.6.1 General slice segment header syntax, up to slice_type.
    SLICE_SEGMENT_HEADER sh;
    sh.first_slice_segment_in_pic_flag = bs.GetBits(1); // u(1)
    if (IsIrapNalUnitType(nal_unit_type))
        sh.no_output_of_prior_pics_flag = bs.GetBits(1); // u(1)
    sh.slice_pic_parameter_set_id = bs.GetUE(); // ue(v)
    if (!sh.first_slice_segment_in_pic_flag) {
        if (pps.dependent_slice_segments_enabled_flag)
            sh.dependent_slice_segment_flag = bs.GetBits(1); // u(1)
        sh.slice_segment_address = bs.GetBits(SliceSegmentAddressBits(sps)); // u(v)
    }
    if (!sh.dependent_slice_segment_flag) {
        const unsigned int n = pps.num_extra_slice_header_bits;
        if (n) {
            sh.slice_reserved_flag.reset(new unsigned int[n]);
            for (unsigned int i = 0; i < n; ++i)
                sh.slice_reserved_flag[i] = bs.GetBits(1); // u(1)
        }
        sh.slice_type = bs.GetUE(); // ue(v)
    }

    int code;
    if (nal_unit_type == kNalIdrWRadl) {
        code = NALU_TYPE_I_FRAME;
    } else if (sh.dependent_slice_segment_flag) {
        // A dependent slice segment inherits slice_type from the segment
        // before it, which this buffer does not hold.
        return false;
    } else if (sh.slice_type == kSliceI) {
        code = NALU_TYPE_I_FRAME;
    } else if (sh.slice_type == kSliceP) {
        code = NALU_TYPE_P_FRAME;
    } else if (sh.slice_type == kSliceB) {
        code = NALU_TYPE_B_FRAME;
    } else {
        return false;
    }
    *type = code;
    if (firstSliceInPic)
        *firstSliceInPic = sh.first_slice_segment_in_pic_flag != 0;
    return true;
}

} // namespace h265headers
