// NAL units: the nal_unit_header() types (7.4.2.2), their NALU_TYPE codes,
// the walk over the NAL units of a block, and the removal of emulation
// prevention bytes (7.3.1.1 General NAL unit syntax).
#ifndef H265HEADERS_NAL_UNIT_H
#define H265HEADERS_NAL_UNIT_H

#include "StartCodeScanner.h"

namespace h265headers {

// nal_unit_type values that the parsers single out (Table 7-1).
enum NalUnitType {
    kNalBlaWLp = 16,
    kNalIdrWRadl = 19,
    kNalRsvIrapVcl23 = 23,
    kNalFirstNonVcl = 32,
    kNalVps = 32,
    kNalSps = 33,
    kNalPps = 34,
    kNalAud = 35,
    kNalPrefixSei = 39,
    kNalSuffixSei = 40
};

// nal_unit_type of the NAL unit whose start code was found at `start`.
inline int NalUnitTypeAt(const unsigned char* start) {
    return (start[StartCodeLength(start)] >> 1) & 0x3F;
}

// NALU_TYPE codes of the nal_unit_types 0..63. Hidden, so that position-
// independent code reads it relative to itself rather than through the GOT.
#if defined(__GNUC__)
__attribute__((visibility("hidden")))
#endif
extern const signed char kNaluTypeCodes[64];

// NALU_TYPE code of a nal_unit_type (0..63).
inline int NaluTypeCode(int nal_unit_type) { return kNaluTypeCodes[nal_unit_type & 0x3F]; }

// An IRAP picture (BLA, IDR, CRA and the reserved IRAP types): a point where
// decoding can start.
inline bool IsIrapNalUnitType(int nal_unit_type) {
    return nal_unit_type >= kNalBlaWLp && nal_unit_type <= kNalRsvIrapVcl23;
}

inline bool IsVclNalUnitType(int nal_unit_type) { return nal_unit_type < kNalFirstNonVcl; }

// Steps through the NAL units of a block in order. Each scan starts at the
// header byte of the unit just returned, so no start code is seen twice and a
// whole pass is linear in the length of the block.
class NalUnitWalker {
public:
    NalUnitWalker(const unsigned char* data, const unsigned char* end) : m_scan(data), m_data(data), m_end(end) {}

    // The start code of the next NAL unit, or null when none is left.
    const unsigned char* Next() {
        // Only the first scan of a block is likely to find a start code
        // right where it begins; FindStartCode answers that without a call.
        const int len = static_cast<int>(m_end - m_scan);
        const unsigned char* start =
            m_scan == m_data ? FindStartCode(m_scan, len, -1) : ScanForStartCode(m_scan, len, -1);
        if (start)
            m_scan = start + StartCodeLength(start);
        return start;
    }

    // The header byte of the unit Next() returned last; the next start code
    // lies beyond it.
    const unsigned char* Header() const { return m_scan; }
    int NalUnitType() const { return (m_scan[0] >> 1) & 0x3F; }

private:
    const unsigned char* m_scan;
    const unsigned char* m_data;
    const unsigned char* m_end;
};

// The start code of the first VCL NAL unit at or after `data`, passing over
// non-VCL units; null when there is none.
inline const unsigned char* FindFirstVclNalUnit(const unsigned char* data, const unsigned char* end) {
    NalUnitWalker walker(data, end);
    while (const unsigned char* start = walker.Next()) {
        if (IsVclNalUnitType(walker.NalUnitType()))
            return start;
    }
    return 0;
}

// The end of the NAL unit whose start code is at `start`: the next start code
// of any type, or `end` when none follows.
inline const unsigned char* NalUnitEnd(const unsigned char* start, const unsigned char* end) {
    // The scan starts at the header byte, as the walker's next step would.
    const unsigned char* header = start + StartCodeLength(start);
    const unsigned char* next = FindStartCode(header, static_cast<int>(end - header), -1);
    return next ? next : end;
}

// Copies the payload of a NAL unit of `size` bytes (after its two header
// bytes) into `out`, dropping every emulation_prevention_three_byte as the
// nal_unit() syntax does; returns the number of bytes written (at most size - 2).
unsigned int UnescapeNalPayload(const unsigned char* nal, unsigned int size, unsigned char* out);

} // namespace h265headers

#endif
