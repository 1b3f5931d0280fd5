#include "ProfileTierLevel.h"

#include <cstring>
#include <memory>

#include "BitInStream.h"
#include "OwnedArray.h"

namespace h265headers {

namespace {

struct ProfileTierLevelDeleter {
    void operator()(PROFILE_TIER_LEVEL* ptl) const { DestroyProfileTierLevel(ptl); }
};

// The 32 profile compatibility flags, flag[0] first. When all 32 bits are
// known to be there they come from one read; otherwise bit by bit, so that
// data ending among them leaves the flags before that point written, as
// each flag is stored the moment it is read.
// flags[0..31] from the bits of `bits`, flag[0] in the top bit, four at a
// time from a table of the 16 nibbles.
void SplitCompatibilityFlags(unsigned int* flags, unsigned int bits) {
    static const unsigned int kNibbleFlags[16][4] = {
        {0, 0, 0, 0}, {0, 0, 0, 1}, {0, 0, 1, 0}, {0, 0, 1, 1}, {0, 1, 0, 0}, {0, 1, 0, 1}, {0, 1, 1, 0}, {0, 1, 1, 1},
        {1, 0, 0, 0}, {1, 0, 0, 1}, {1, 0, 1, 0}, {1, 0, 1, 1}, {1, 1, 0, 0}, {1, 1, 0, 1}, {1, 1, 1, 0}, {1, 1, 1, 1}};
    for (int j = 0; j < 32; j += 4)
        std::memcpy(flags + j, kNibbleFlags[(bits >> (28 - j)) & 0xFu], sizeof kNibbleFlags[0]);
}

void ReadCompatibilityFlags(unsigned int* flags, CH264BitInStream& bs) {
    if (bs.HasBits(32)) {
        SplitCompatibilityFlags(flags, bs.GetBits(32));
        return;
    }
    for (int j = 0; j < 32; ++j)
        flags[j] = bs.GetBits(1);
}

void ReadGeneralFieldByField(PROFILE_TIER_LEVEL& ptl, CH264BitInStream& bs);
void ReadSubLayers(PROFILE_TIER_LEVEL& ptl, CH264BitInStream& bs);

} // namespace

PROFILE_TIER_LEVEL* CreateProfileTierLevel(unsigned int maxNumSubLayersMinus1) {
    std::unique_ptr<PROFILE_TIER_LEVEL, ProfileTierLevelDeleter> ptl(new PROFILE_TIER_LEVEL());
    ptl->maxNumSubLayersMinus1 = maxNumSubLayersMinus1;
    const unsigned int n = maxNumSubLayersMinus1;
    if (n > 0) {
        // Each array is attached as soon as it exists, so the deleter frees
        // exactly what was made if a later allocation fails. Entries start at
        // zero so that a sub-layer element the stream does not carry reads as 0.
        ptl->sub_layer_profile_present_flag = new unsigned int[n]();
        ptl->sub_layer_level_present_flag = new unsigned int[n]();
        ptl->sub_layer_profile_space = new unsigned int[n]();
        ptl->sub_layer_tier_flag = new unsigned int[n]();
        ptl->sub_layer_profile_idc = new unsigned int[n]();
        ptl->sub_layer_profile_compatibility_flag = new unsigned int*[n]();
        ptl->sub_layer_progressive_source_flag = new unsigned int[n]();
        ptl->sub_layer_interlaced_source_flag = new unsigned int[n]();
        ptl->sub_layer_non_packed_constraint_flag = new unsigned int[n]();
        ptl->sub_layer_frame_only_constraint_flag = new unsigned int[n]();
        ptl->sub_layer_reserved_zero_44bits = new unsigned long long[n]();
        ptl->sub_layer_level_idc = new unsigned int[n]();
        for (unsigned int i = 0; i < n; ++i)
            ptl->sub_layer_profile_compatibility_flag[i] = new unsigned int[32]();
    }
    return ptl.release();
}

void DestroyProfileTierLevel(PROFILE_TIER_LEVEL* ptl) {
    if (!ptl)
        return;
    ReleaseArray(ptl->sub_layer_profile_present_flag);
    ReleaseArray(ptl->sub_layer_level_present_flag);
    ReleaseArray(ptl->sub_layer_profile_space);
    ReleaseArray(ptl->sub_layer_tier_flag);
    ReleaseArray(ptl->sub_layer_profile_idc);
    ReleaseArray(ptl->sub_layer_progressive_source_flag);
    ReleaseArray(ptl->sub_layer_interlaced_source_flag);
    ReleaseArray(ptl->sub_layer_non_packed_constraint_flag);
    ReleaseArray(ptl->sub_layer_frame_only_constraint_flag);
    ReleaseArray(ptl->sub_layer_reserved_zero_44bits);
    ReleaseArray(ptl->sub_layer_level_idc);
    if (ptl->sub_layer_profile_compatibility_flag) {
        for (unsigned int i = 0; i < ptl->maxNumSubLayersMinus1; ++i)
            ReleaseArray(ptl->sub_layer_profile_compatibility_flag[i]);
        ReleaseArray(ptl->sub_layer_profile_compatibility_flag);
    }
    delete ptl;
}

} // namespace h265headers

using namespace h265headers;

// 7.3.3 Profile, tier and level syntax, with profilePresentFlag = 1.
void profile_tier_level(PROFILE_TIER_LEVEL& ptl, CH264BitInStream& bs) {
    if (bs.HasBits(96)) {
        // The 96 bits of the general part are all there, so no read among
        // them can end the data: take them as three words and split them.
        // This repeats ReadGeneralFieldByField's syntax; the test
        // ProfileTierLevel.InPlaceReadingFillsTheSameFieldsAsFieldByField
        // proves the two equal at every bit offset, whole and truncated.
        const unsigned int a = bs.GetBits(32); // bits 0..31
        const unsigned int b = bs.GetBits(32); // bits 32..63
        const unsigned int c = bs.GetBits(32); // bits 64..95
        ptl.general_profile_space = a >> 30;
        ptl.general_tier_flag = (a >> 29) & 1u;
        ptl.general_profile_idc = (a >> 24) & 0x1Fu;
        SplitCompatibilityFlags(ptl.general_profile_compatibility_flag, a << 8 | b >> 24); // bits 8..39
        ptl.general_progressive_source_flag = (b >> 23) & 1u;
        ptl.general_interlaced_source_flag = (b >> 22) & 1u;
        ptl.general_non_packed_constraint_flag = (b >> 21) & 1u;
        ptl.general_frame_only_constraint_flag = (b >> 20) & 1u;
        ptl.general_reserved_zero_44bits = (b & 0xFFu) << 24 | c >> 8; // bits 56..87, the low 32 of 44..87
        ptl.general_level_idc = c & 0xFFu;
    } else {
        ReadGeneralFieldByField(ptl, bs);
    }
    ReadSubLayers(ptl, bs);
}

namespace h265headers {
namespace {

// The general part of 7.3.3, one element at a time.
void ReadGeneralFieldByField(PROFILE_TIER_LEVEL& ptl, CH264BitInStream& bs) {
    ptl.general_profile_space = bs.GetBits(2);                      // u(2)
    ptl.general_tier_flag = bs.GetBits(1);                          // u(1)
    ptl.general_profile_idc = bs.GetBits(5);                        // u(5)
    ReadCompatibilityFlags(ptl.general_profile_compatibility_flag, bs); // u(1) x 32
    ptl.general_progressive_source_flag = bs.GetBits(1);            // u(1)
    ptl.general_interlaced_source_flag = bs.GetBits(1);             // u(1)
    ptl.general_non_packed_constraint_flag = bs.GetBits(1);         // u(1)
    ptl.general_frame_only_constraint_flag = bs.GetBits(1);         // u(1)
    ptl.general_reserved_zero_44bits = bs.GetBits(44);              // u(44), low 32 bits kept
    ptl.general_level_idc = bs.GetBits(8);                          // u(8)
}

// The sub-layer part of 7.3.3: the present flags, reserved_zero_2bits up to
// eight entries, then each sub-layer's profile and level elements.
void ReadSubLayers(PROFILE_TIER_LEVEL& ptl, CH264BitInStream& bs) {
    const unsigned int maxNumSubLayersMinus1 = ptl.maxNumSubLayersMinus1;
    if (maxNumSubLayersMinus1 == 0)
        return;
    for (unsigned int i = 0; i < maxNumSubLayersMinus1; ++i) {
        ptl.sub_layer_profile_present_flag[i] = bs.GetBits(1);
        ptl.sub_layer_level_present_flag[i] = bs.GetBits(1);
    }
    for (unsigned int i = maxNumSubLayersMinus1; i < 8; ++i)
        bs.GetBits(2); // reserved_zero_2bits
    for (unsigned int i = 0; i < maxNumSubLayersMinus1; ++i) {
        if (ptl.sub_layer_profile_present_flag[i]) {
            ptl.sub_layer_profile_space[i] = bs.GetBits(2);
            ptl.sub_layer_tier_flag[i] = bs.GetBits(1);
            ptl.sub_layer_profile_idc[i] = bs.GetBits(5);
            ReadCompatibilityFlags(ptl.sub_layer_profile_compatibility_flag[i], bs);
            ptl.sub_layer_progressive_source_flag[i] = bs.GetBits(1);
            ptl.sub_layer_interlaced_source_flag[i] = bs.GetBits(1);
            ptl.sub_layer_non_packed_constraint_flag[i] = bs.GetBits(1);
            ptl.sub_layer_frame_only_constraint_flag[i] = bs.GetBits(1);
            ptl.sub_layer_reserved_zero_44bits[i] = bs.GetBits(44);
        }
        if (ptl.sub_layer_level_present_flag[i])
            ptl.sub_layer_level_idc[i] = bs.GetBits(8);
    }
}

} // namespace
} // namespace h265headers
