// The parameter sets a decoder holds: the last SPS of each
// sps_seq_parameter_set_id and the last PPS of each pps_pic_parameter_set_id,
// until a picture activates them (H.265 7.4.2.4.2). A slice segment is read
// with the PPS it names and the SPS that PPS names, not with the most recent
// ones, which may belong to another picture size.
// Each id holds two readings of its last parameter set: the library's (its
// NAL unit bytes, for the library's parser, and what its listing says) and
// the tools' own syntax reader's (the whole SPS with its VUI, the VPS timing,
// the PPS head a slice header needs). Either may be missing where the other
// could be read.
// ParserActivation makes the library's parser hold the records of a pair.
#ifndef H265TOOLS_PARAMETER_SETS_H
#define H265TOOLS_PARAMETER_SETS_H

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "PpsSyntax.h"
#include "SpsDescription.h"
#include "SpsSyntax.h"
#include "VpsSyntax.h"

class IH265Parser;

namespace h265tools {

// Each kept SPS and PPS carries its NAL unit bytes, so that the library can
// parse it again when a slice segment refers to it, and a version number that
// differs from that of every other one kept.
struct KeptSps {
    std::uint64_t version = 0;       // 0 while nothing is kept under the id
    std::vector<unsigned char> unit; // start code included
    std::uint64_t offset = 0;        // of the start code
    unsigned int id = 0;
    SpsDescription description;
    int codedWidth = 0; // GetResolution
    int codedHeight = 0;
};

// A VPS is kept for the tools that write streams: its bytes go with the SPS
// that names it.
struct KeptVps {
    std::uint64_t version = 0;
    std::vector<unsigned char> unit;
};

struct KeptPps {
    std::uint64_t version = 0;
    std::vector<unsigned char> unit;
    unsigned int spsId = 0; // pps_seq_parameter_set_id
    bool dependentSliceSegmentsEnabled = false;
};

class ParameterSets {
public:
    // Keeps the parameter set under its id, in place of the one there, and
    // returns the version it gets; 0, keeping nothing, for an id the standard
    // does not allow (above 15 for an SPS, 63 for a PPS).
    std::uint64_t Keep(KeptSps sps);
    std::uint64_t Keep(unsigned int ppsId, KeptPps pps);
    std::uint64_t Keep(unsigned int vpsId, KeptVps vps);

    // The one kept under the id came again, byte for byte, at `offset`: it
    // gets a new version, as a new one would. Returns that version, 0 when
    // none is kept under the id.
    std::uint64_t Repeated(int nalUnitType, unsigned int id, std::uint64_t offset);

    // After an SPS (PPS) that could not be read: it may have replaced any id.
    void ForgetSps();
    void ForgetPps();

    // No SPS or no PPS is kept.
    bool Empty() const;

    // The PPS of the id and the SPS it names; both null when either is not kept.
    struct Pair {
        const KeptSps* sps = nullptr;
        const KeptPps* pps = nullptr;
    };
    Pair ForPps(unsigned int ppsId) const;

    // The one kept under the id; null when there is none.
    const KeptVps* Vps(unsigned int vpsId) const;
    const KeptSps* Sps(unsigned int spsId) const;
    const KeptPps* Pps(unsigned int ppsId) const;
    static const unsigned int kPpsIds = 64;

    // The syntax reader's records, each kept under the id it reads.
    void KeepSyntax(std::shared_ptr<const VpsSyntax> vps);
    void KeepSyntax(std::shared_ptr<const SpsSyntax> sps);
    void KeepSyntax(std::shared_ptr<const PpsHead> pps);
    // After a VPS, SPS or PPS NAL unit (`nal`, start code excluded) that the
    // syntax reader could not read, for `why`: the id the library kept those
    // bytes under loses its syntax record (an SPS keeps `why`); when the
    // library kept them under none, any id may have been replaced, and all lose it.
    void ForgetSyntax(int nalUnitType, const unsigned char* nal, std::size_t size, const std::string& why);
    // Null when none is kept under the id.
    const std::shared_ptr<const VpsSyntax>& VpsSyntaxOf(unsigned int vpsId) const { return vpsSyntax_[vpsId & 15u]; }
    const std::shared_ptr<const SpsSyntax>& SpsSyntaxOf(unsigned int spsId) const { return spsSyntax_[spsId & 15u]; }
    const std::shared_ptr<const PpsHead>& PpsHeadOf(unsigned int ppsId) const { return ppsHead_[ppsId & 63u]; }
    // Why the SPS kept by the library under the id has no syntax record.
    const std::string& SpsSyntaxError(unsigned int spsId) const { return spsSyntaxError_[spsId & 15u]; }

private:
    std::array<KeptSps, 16> sps_;
    std::array<KeptPps, kPpsIds> pps_;
    std::array<KeptVps, 16> vps_;
    std::uint64_t lastVersion_ = 0;
    std::array<std::shared_ptr<const VpsSyntax>, 16> vpsSyntax_;
    std::array<std::shared_ptr<const SpsSyntax>, 16> spsSyntax_;
    std::array<std::shared_ptr<const PpsHead>, kPpsIds> ppsHead_;
    std::array<std::string, 16> spsSyntaxError_;
};

// Which kept SPS and PPS the parser's records were parsed from. ParseSPS and
// ParsePPS keep one record of each kind, so a slice segment that names other
// ones than the last parsed needs them parsed again.
class ParserActivation {
public:
    // After the caller's own ParseSPS/ParsePPS: the version the parameter set
    // was kept under, 0 when it was not kept (the record is then of no use).
    void ParsedSps(std::uint64_t version) { spsVersion_ = version; }
    void ParsedPps(std::uint64_t version) { ppsVersion_ = version; }
    // A kept set took a new version without being parsed again.
    void Renumbered(std::uint64_t from, std::uint64_t to) {
        if (from == 0)
            return;
        if (spsVersion_ == from)
            spsVersion_ = to;
        if (ppsVersion_ == from)
            ppsVersion_ = to;
    }

    // Makes `parser` hold the SPS and PPS of the pair (both non-null), parsing
    // again only those it does not hold yet.
    void Activate(IH265Parser& parser, const ParameterSets::Pair& pair);

private:
    std::uint64_t spsVersion_ = 0;
    std::uint64_t ppsVersion_ = 0;
};

} // namespace h265tools

#endif
