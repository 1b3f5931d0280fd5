#include "ParameterSets.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "h265headers.h"

namespace h265tools {

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

std::uint64_t ParameterSets::Keep(unsigned int vpsId, KeptVps vps) {
    if (vpsId >= vps_.size())
        return 0;
    vps.version = ++lastVersion_;
    vps_[vpsId] = std::move(vps);
    return lastVersion_;
}

const KeptVps* ParameterSets::Vps(unsigned int vpsId) const {
    return vpsId < vps_.size() && vps_[vpsId].version != 0 ? &vps_[vpsId] : nullptr;
}

const KeptSps* ParameterSets::Sps(unsigned int spsId) const {
    return spsId < sps_.size() && sps_[spsId].version != 0 ? &sps_[spsId] : nullptr;
}

const KeptPps* ParameterSets::Pps(unsigned int ppsId) const {
    return ppsId < pps_.size() && pps_[ppsId].version != 0 ? &pps_[ppsId] : nullptr;
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

namespace {

unsigned int LibraryLength(const std::vector<unsigned char>& unit) {
    return unit.size() > static_cast<std::size_t>(INT_MAX) ? INT_MAX : static_cast<unsigned int>(unit.size());
}

} // namespace

void ParserActivation::Activate(IH265Parser& parser, const ParameterSets::Pair& pair) {
    // Both were parsed completely when they came; the same bytes give the
    // same records again.
    if (spsVersion_ != pair.sps->version) {
        spsVersion_ = 0;
        parser.ParseSPS(pair.sps->unit.data(), LibraryLength(pair.sps->unit));
        spsVersion_ = pair.sps->version;
    }
    if (ppsVersion_ != pair.pps->version) {
        ppsVersion_ = 0;
        parser.ParsePPS(pair.pps->unit.data(), LibraryLength(pair.pps->unit));
        ppsVersion_ = pair.pps->version;
    }
}

} // namespace h265tools
