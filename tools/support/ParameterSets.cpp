#include "ParameterSets.h"

#include <algorithm>
#include <climits>
#include <utility>

#include "NalUnitTypes.h"
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

std::uint64_t ParameterSets::Repeated(int nalUnitType, unsigned int id, std::uint64_t offset) {
    std::uint64_t* version = nullptr;
    if (nalUnitType == kVpsNut && id < vps_.size())
        version = &vps_[id].version;
    else if (nalUnitType == kSpsNut && id < sps_.size())
        version = &sps_[id].version;
    else if (nalUnitType == kPpsNut && id < pps_.size())
        version = &pps_[id].version;
    if (!version || *version == 0)
        return 0;
    if (nalUnitType == kSpsNut)
        sps_[id].offset = offset;
    *version = ++lastVersion_;
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

void ParameterSets::KeepSyntax(std::shared_ptr<const VpsSyntax> vps) {
    const unsigned int id = vps->vps_video_parameter_set_id & 15u;
    vpsSyntax_[id] = std::move(vps);
}

void ParameterSets::KeepSyntax(std::shared_ptr<const SpsSyntax> sps) {
    const unsigned int id = sps->sps_seq_parameter_set_id & 15u;
    spsSyntax_[id] = std::move(sps);
    spsSyntaxError_[id].clear();
}

void ParameterSets::KeepSyntax(std::shared_ptr<const PpsHead> pps) {
    const unsigned int id = pps->pps_pic_parameter_set_id & 63u;
    ppsHead_[id] = std::move(pps);
}

namespace {

// The index of the kept set whose NAL unit, past its start code, is `nal`;
// -1 when none is.
template <typename Kept, std::size_t N>
int IndexOfUnit(const std::array<Kept, N>& kept, const unsigned char* nal, std::size_t size) {
    for (std::size_t i = 0; i < N; ++i) {
        const std::vector<unsigned char>& unit = kept[i].unit;
        if (kept[i].version != 0 && unit.size() >= size && std::equal(nal, nal + size, unit.end() - static_cast<std::ptrdiff_t>(size)))
            return static_cast<int>(i);
    }
    return -1;
}

template <typename Record, std::size_t N> void Forget(std::array<Record, N>& records, int index) {
    if (index >= 0)
        records[static_cast<std::size_t>(index)] = Record();
    else
        records.fill(Record());
}

} // namespace

void ParameterSets::ForgetSyntax(int nalUnitType, const unsigned char* nal, std::size_t size, const std::string& why) {
    if (nalUnitType == kVpsNut) {
        Forget(vpsSyntax_, IndexOfUnit(vps_, nal, size));
    } else if (nalUnitType == kSpsNut) {
        const int index = IndexOfUnit(sps_, nal, size);
        Forget(spsSyntax_, index);
        Forget(spsSyntaxError_, index);
        if (index >= 0)
            spsSyntaxError_[static_cast<std::size_t>(index)] = why;
    } else if (nalUnitType == kPpsNut) {
        Forget(ppsHead_, IndexOfUnit(pps_, nal, size));
    }
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
