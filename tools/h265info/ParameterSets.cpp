#include "ParameterSets.h"

#include <algorithm>
#include <utility>

namespace h265info {

std::uint64_t ParameterSets::Keep(KeptSps sps) {
    if (sps.id >= sps_.size())
        return 0;
    sps.version = ++lastVersion_;
    sps_[sps.id] = std::move(sps);
    return lastVersion_;
}

std::uint64_t ParameterSets::Keep(unsigned int ppsId, KeptPps pps) {
    if (ppsId >= pps_.size())
        return 0;
    pps.version = ++lastVersion_;
    pps_[ppsId] = std::move(pps);
    return lastVersion_;
}

void ParameterSets::ForgetSps() {
    sps_.fill(KeptSps());
}

void ParameterSets::ForgetPps() {
    pps_.fill(KeptPps());
}

bool ParameterSets::Empty() const {
    const auto kept = [](const auto& set) { return set.version != 0; };
    return std::none_of(sps_.begin(), sps_.end(), kept) || std::none_of(pps_.begin(), pps_.end(), kept);
}

ParameterSets::Pair ParameterSets::ForPps(unsigned int ppsId) const {
    Pair pair;
    if (ppsId >= pps_.size() || pps_[ppsId].version == 0)
        return pair;
    const KeptPps& pps = pps_[ppsId];
    if (pps.spsId >= sps_.size() || sps_[pps.spsId].version == 0)
        return pair;
    pair.sps = &sps_[pps.spsId];
    pair.pps = &pps;
    return pair;
}

} // namespace h265info
