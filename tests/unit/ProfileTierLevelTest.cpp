#include <cstdint>
#include <vector>

#include "BitInStream.h"
#include "ProfileTierLevel.h"
#include "TestSupport.h"

using namespace h265headers;

namespace {

// A byte source that is not a CMemInputSource: the reader then reads field
// by field, through the source.
class PlainSource : public CInputSource {
public:
    PlainSource(const unsigned char* data, int len) : m_inner(data, len) {}
    unsigned int ReadByte() { return m_inner.ReadByte(); }
    void UnreadByte() { m_inner.UnreadByte(); }

private:
    CMemInputSource m_inner;
};

std::vector<unsigned long long> PtlFields(const PROFILE_TIER_LEVEL& p) {
    std::vector<unsigned long long> v = {p.general_profile_space, p.general_tier_flag, p.general_profile_idc,
                                         p.general_progressive_source_flag, p.general_interlaced_source_flag,
                                         p.general_non_packed_constraint_flag, p.general_frame_only_constraint_flag,
                                         p.general_reserved_zero_44bits, p.general_level_idc};
    v.insert(v.end(), p.general_profile_compatibility_flag, p.general_profile_compatibility_flag + 32);
    for (unsigned int i = 0; i < p.maxNumSubLayersMinus1; ++i) {
        v.insert(v.end(), {p.sub_layer_profile_present_flag[i], p.sub_layer_level_present_flag[i],
                           p.sub_layer_profile_space[i], p.sub_layer_tier_flag[i], p.sub_layer_profile_idc[i],
                           p.sub_layer_progressive_source_flag[i], p.sub_layer_interlaced_source_flag[i],
                           p.sub_layer_non_packed_constraint_flag[i], p.sub_layer_frame_only_constraint_flag[i],
                           p.sub_layer_reserved_zero_44bits[i], p.sub_layer_level_idc[i]});
        v.insert(v.end(), p.sub_layer_profile_compatibility_flag[i], p.sub_layer_profile_compatibility_flag[i] + 32);
    }
    return v;
}

} // namespace

TEST(ProfileTierLevel, InPlaceReadingFillsTheSameFieldsAsFieldByField) {
    // Whole and truncated syntax at every bit offset: the fields written
    // before the end of data, and whether it ends, must not depend on the
    // reader taking the 96 general bits at once.
    uint32_t state = 5;
    auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int trial = 0; trial < 20000; ++trial) {
        Bytes data(next() % 40);
        for (unsigned char& b : data)
            b = static_cast<unsigned char>(next());
        const unsigned int subLayers = next() % 3;
        const int skip = static_cast<int>(next() % 8);
        PROFILE_TIER_LEVEL* viaMemory = CreateProfileTierLevel(subLayers);
        PROFILE_TIER_LEVEL* viaSource = CreateProfileTierLevel(subLayers);
        CMemInputSource memory(data.data(), static_cast<int>(data.size()));
        CH264BitInStream inPlace(&memory);
        PlainSource plain(data.data(), static_cast<int>(data.size()));
        CH264BitInStream bySource(&plain);
        int thrownA = 0, thrownB = 0;
        try {
            inPlace.GetBits(skip);
            profile_tier_level(*viaMemory, inPlace);
        } catch (int signal) {
            thrownA = signal;
        }
        try {
            bySource.GetBits(skip);
            profile_tier_level(*viaSource, bySource);
        } catch (int signal) {
            thrownB = signal;
        }
        EXPECT_EQ(thrownB, thrownA) << "trial " << trial;
        EXPECT_EQ(PtlFields(*viaSource), PtlFields(*viaMemory)) << "trial " << trial;
        if (!thrownA) {
            // The same bits must follow: the next bit, or the end of data.
            auto nextBit = [](CH264BitInStream& bs) {
                try {
                    return static_cast<int>(bs.GetBits(1));
                } catch (int) {
                    return -1;
                }
            };
            EXPECT_EQ(nextBit(bySource), nextBit(inPlace)) << "trial " << trial << ": bits consumed differ";
        }
        DestroyProfileTierLevel(viaMemory);
        DestroyProfileTierLevel(viaSource);
        if (HasFailure())
            break;
    }
}
