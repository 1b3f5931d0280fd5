// nal_unit_type values and classes of Table 7-1, in one place for the tools.
// The VCL types 10..15 and 22..31 are reserved: they have no slice segment
// syntax of their own, so nothing of a picture is read from them.
#ifndef H265TOOLS_NAL_UNIT_TYPES_H
#define H265TOOLS_NAL_UNIT_TYPES_H

namespace h265tools {

enum NalUnitType : int {
    kTrailN = 0,
    kRadlN = 6,
    kRadlR = 7,
    kRaslN = 8,
    kRaslR = 9,
    kBlaWLp = 16,
    kBlaNLp = 18,
    kIdrWRadl = 19,
    kIdrNLp = 20,
    kCraNut = 21,
    kRsvIrapVcl23 = 23,
    kLastVcl = 31,
    kVpsNut = 32,
    kSpsNut = 33,
    kPpsNut = 34,
    kAudNut = 35,
    kEosNut = 36,
    kEobNut = 37,
    kPrefixSeiNut = 39,
};

inline bool IsVcl(int type) { return type >= 0 && type <= kLastVcl; }
// The VCL types whose NAL units are slice segments: 0..9 and 16..21.
inline bool IsSliceSegment(int type) { return (type >= kTrailN && type <= kRaslR) || (type >= kBlaWLp && type <= kCraNut); }
// Intra random access point pictures: BLA, IDR, CRA and the reserved 22, 23.
inline bool IsIrap(int type) { return type >= kBlaWLp && type <= kRsvIrapVcl23; }
inline bool IsIdrOrBla(int type) { return type >= kBlaWLp && type <= kIdrNLp; }
inline bool IsIdr(int type) { return type == kIdrWRadl || type == kIdrNLp; }
// RADL_N, RADL_R, RASL_N, RASL_R: pictures that precede their IRAP picture in output order.
inline bool IsLeading(int type) { return type >= kRadlN && type <= kRaslR; }
inline bool IsRasl(int type) { return type == kRaslN || type == kRaslR; }
// TRAIL_N, TSA_N, STSA_N, RADL_N, RASL_N, RSV_VCL_N10/12/14.
inline bool IsSubLayerNonReference(int type) { return type >= 0 && type <= 14 && type % 2 == 0; }
inline bool IsParameterSet(int type) { return type >= kVpsNut && type <= kPpsNut; }

} // namespace h265tools

#endif
