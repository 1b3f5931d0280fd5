// The PROFILE_TIER_LEVEL record of profile_tier_level( 1, maxNumSubLayersMinus1 )
// (7.3.3 Profile, tier and level syntax). The reading function itself,
// profile_tier_level(), is exported and declared in the public header.
#ifndef H265HEADERS_PROFILE_TIER_LEVEL_H
#define H265HEADERS_PROFILE_TIER_LEVEL_H

#include "h265headers.h"

namespace h265headers {

// A zeroed PROFILE_TIER_LEVEL with maxNumSubLayersMinus1 set and, when it is
// greater than 0, every per-sub-layer array allocated. Nothing leaks when an
// allocation fails.
PROFILE_TIER_LEVEL* CreateProfileTierLevel(unsigned int maxNumSubLayersMinus1);

// Releases a PROFILE_TIER_LEVEL, however far its arrays were allocated.
void DestroyProfileTierLevel(PROFILE_TIER_LEVEL* ptl);

} // namespace h265headers

#endif
