// H.265 access units out of an RTP session (RFC 7798): packets in any order
// in, Annex B access units out, each NAL unit after a 4-byte start code and
// the access unit stamped with its 90 kHz RTP timestamp carried on to 64
// bits.
//
// Payloads (RFC 7798 4.4), after the 2-byte payload header (F, Type,
// LayerId, TID, laid out like a NAL unit header, 7.3.1.2):
//   - Type 0..47: a single NAL unit packet, the payload header being the
//     NAL unit header;
//   - 48: an aggregation packet, NAL units each after a 16-bit size;
//   - 49: a fragmentation unit, one piece of a NAL unit after a byte of S
//     (start), E (end) and the NAL unit's type; the pieces are joined in
//     sequence number order, and a unit whose first piece, or any piece, is
//     missing is dropped;
//   - 50: PACI, skipped and counted (its contents are not read).
// With sprop-max-don-diff above 0 the packets also carry decoding order
// numbers (DONL, and DOND in aggregation packets), and NAL units are put
// back in decoding order before access units are made (DecodingOrderBuffer).
// NAL units with nuh_layer_id above 0 are skipped and counted: only the base
// layer is kept.
//
// An access unit ends at the marker bit or where the RTP timestamp changes
// (in decoding order, when DONs are carried). Losses: an access unit with a
// missing piece is dropped, and so is every access unit after it up to the
// next one with an IRAP picture (nal_unit_type 16..21), whose references
// would be missing; an access unit opened right after a loss counts as
// whole only when it begins with an access unit delimiter or a VPS, since
// the lost packets may have been its first ones. Output starts at the first
// IRAP access unit in the same way.
#ifndef RTP_H265_DEPACKETIZER_H
#define RTP_H265_DEPACKETIZER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "DecodingOrderBuffer.h"
#include "RtpPacket.h"
#include "SequenceReorder.h"
#include "TimestampUnwrapper.h"

namespace rtp {

struct AccessUnit {
    std::int64_t timestamp = 0;  // 90 kHz, carried on past 32 bits
    const std::uint8_t* data = nullptr;
    std::size_t size = 0;
    bool irap = false;
    // With keepDamaged: a part of it was lost, or it may have lost its first
    // packets.
    bool damaged = false;
};

class AccessUnitSink {
public:
    virtual ~AccessUnitSink() {}
    // `unit.data` is valid for the call only.
    virtual void OnAccessUnit(const AccessUnit& unit) = 0;
};

struct DepacketizerOptions {
    // The session's sprop-max-don-diff: above 0, packets carry DONL/DOND.
    unsigned maxDonDiff = 0;
    // The session's payload type; any when below 0.
    int payloadType = -1;
    std::size_t reorderPackets = 64;
    std::uint32_t reorderTicks = 45000;  // 500 ms
    std::size_t maxAccessUnitBytes = 8u << 20;
    std::size_t maxNalUnitBytes = 4u << 20;  // a NAL unit joined from fragments
    std::size_t decodingOrderUnits = 1024;   // with DONs: NAL units held at most
    // After a loss, keep what came: an access unit that lost a NAL unit (or
    // may have lost its first ones) goes out without it, marked damaged, and
    // the access units after it go out too, for a decoder to conceal what
    // is missing. Output still starts at the session's first IRAP picture.
    bool keepDamaged = false;
};

struct DepacketizerCounters {
    std::uint64_t packetsReceived = 0;  // read as RTP, of the session's source and type
    std::uint64_t packetsRejected = 0;  // not RTP, or of another source or type
    std::uint64_t accessUnitsOut = 0;
    std::uint64_t accessUnitsDropped = 0;  // incomplete, or waiting for an IRAP picture
    std::uint64_t accessUnitsDamaged = 0;  // given out damaged (keepDamaged)
    std::uint64_t paciSkipped = 0;
    std::uint64_t layerUnitsSkipped = 0;  // nuh_layer_id above 0
    std::uint64_t malformedPayloads = 0;
    std::uint64_t fragmentedUnitsDropped = 0;
    std::uint64_t oversizeAccessUnits = 0;
    std::uint64_t oversizeNalUnits = 0;
};

class H265Depacketizer : private OrderedPacketSink, private OrderedUnitSink {
public:
    H265Depacketizer(AccessUnitSink& sink, const DepacketizerOptions& options);

    // One RTP packet, as it came (a UDP datagram, an interleaved frame).
    // Anything but kNone: the packet was not used, and is counted rejected.
    PacketError Push(const std::uint8_t* data, std::size_t size);
    // The end of the session: what is held goes out, the last access unit
    // included when it is whole.
    void Flush();

    const DepacketizerCounters& counters() const { return m_counters; }
    const ReorderCounters& reorderCounters() const { return m_reorder.counters(); }
    // Why the last access unit was dropped ("" when none was), for a message.
    const char* lastDropReason() const { return m_lastDropReason; }

private:
    void OnOrderedPacket(const RtpPacket& packet, bool afterLoss) override;
    void OnOrderedUnit(std::uint32_t rtpTimestamp, const std::uint8_t* data, std::size_t size) override;

    void Payload(const RtpPacket& packet);
    void SingleUnit(const RtpPacket& packet);
    void Aggregation(const RtpPacket& packet);
    void Fragment(const RtpPacket& packet);
    // A NAL unit of the packet at `timestamp`, through the decoding order
    // buffer when DONs are carried.
    void Unit(std::uint16_t don, std::uint32_t timestamp, const std::uint8_t* data, std::size_t size);
    void AddToAccessUnit(const std::uint8_t* data, std::size_t size);
    void OpenAccessUnit(std::uint32_t timestamp);
    void CloseAccessUnit();
    // Something of the current access unit is missing.
    void Damage(const char* reason);
    // Packets were lost: what is being joined or held is incomplete, and
    // the access unit opened next may miss its first packets.
    void Loss(const char* reason);
    // A payload could not be used (malformed, a piece missing, over a limit).
    void PayloadLost(const char* reason);
    // The NAL unit being joined from fragments cannot be finished.
    void FragmentLost(const char* reason);
    void AbortFragment();
    // Until the next IRAP picture nothing goes out, unless damage is kept.
    void WaitForIrap() {
        if (!m_options.keepDamaged)
            m_waitForIrap = true;
    }

    AccessUnitSink& m_sink;
    DepacketizerOptions m_options;
    SequenceReorder m_reorder;
    DecodingOrderBuffer m_decodingOrder;
    TimestampUnwrapper m_unwrapper;
    DepacketizerCounters m_counters;
    const char* m_lastDropReason = "";

    bool m_haveSsrc = false;
    std::uint32_t m_ssrc = 0;

    // The NAL unit being joined from fragments.
    bool m_inFragment = false;
    std::uint8_t m_fragmentType = 0;
    std::uint16_t m_fragmentDon = 0;
    std::uint32_t m_fragmentTimestamp = 0;
    std::vector<std::uint8_t> m_fragment;

    // The access unit being made.
    bool m_auOpen = false;
    std::uint32_t m_auTimestamp = 0;
    bool m_auDamaged = false;
    bool m_auIrap = false;
    bool m_auEmpty = true;
    const char* m_auDamage = "";
    std::vector<std::uint8_t> m_au;
    bool m_nextAfterLoss = false;
    bool m_waitForIrap = true;
};

}  // namespace rtp

#endif
