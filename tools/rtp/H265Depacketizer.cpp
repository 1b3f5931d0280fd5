#include "H265Depacketizer.h"

namespace rtp {

namespace {

const int kAggregationPacket = 48;
const int kFragmentationUnit = 49;
const int kPaci = 50;
const int kAccessUnitDelimiter = 35;
const int kVps = 32;

int UnitType(const std::uint8_t* header) { return (header[0] >> 1) & 0x3F; }
int LayerId(const std::uint8_t* header) { return ((header[0] & 1) << 5) | (header[1] >> 3); }
int TemporalIdPlus1(const std::uint8_t* header) { return header[1] & 7; }
std::uint16_t Read16(const std::uint8_t* p) { return static_cast<std::uint16_t>((p[0] << 8) | p[1]); }

const std::uint8_t kStartCode[4] = {0, 0, 0, 1};

}  // namespace

H265Depacketizer::H265Depacketizer(AccessUnitSink& sink, const DepacketizerOptions& options)
    : m_sink(sink),
      m_options(options),
      m_reorder(*this, options.reorderPackets, options.reorderTicks),
      m_decodingOrder(*this, options.maxDonDiff, options.decodingOrderUnits, options.maxAccessUnitBytes) {}

PacketError H265Depacketizer::Push(const std::uint8_t* data, std::size_t size) {
    RtpPacket packet;
    PacketError error = ParseRtpPacket(data, size, packet);
    if (error == PacketError::kNone && m_options.payloadType >= 0 && packet.payloadType != m_options.payloadType)
        error = PacketError::kOtherPayloadType;
    if (error == PacketError::kNone && m_haveSsrc && packet.ssrc != m_ssrc)
        error = PacketError::kOtherSsrc;
    if (error != PacketError::kNone) {
        ++m_counters.packetsRejected;
        return error;
    }
    m_haveSsrc = true;
    m_ssrc = packet.ssrc;
    ++m_counters.packetsReceived;
    m_reorder.Push(data, size, packet);
    return PacketError::kNone;
}

void H265Depacketizer::Flush() {
    m_reorder.Flush();
    if (m_inFragment)
        FragmentLost("the session ended inside a fragmented NAL unit");
    m_decodingOrder.Flush();
    CloseAccessUnit();
}

void H265Depacketizer::OnOrderedPacket(const RtpPacket& packet, bool afterLoss) {
    if (afterLoss)
        Loss("RTP packets were lost");
    const bool withDon = m_options.maxDonDiff > 0;
    if (m_inFragment && packet.timestamp != m_fragmentTimestamp)
        FragmentLost("a fragmented NAL unit has no last piece");
    if (!withDon && (!m_auOpen || packet.timestamp != m_auTimestamp)) {
        CloseAccessUnit();
        OpenAccessUnit(packet.timestamp);
    }
    Payload(packet);
    if (!withDon && packet.marker)
        CloseAccessUnit();
}

void H265Depacketizer::Payload(const RtpPacket& packet) {
    if (packet.payloadSize < 2) {
        ++m_counters.malformedPayloads;
        PayloadLost("an RTP payload is shorter than its payload header");
        return;
    }
    const std::uint8_t* header = packet.payload;
    const int type = UnitType(header);
    if (type != kFragmentationUnit && m_inFragment)
        FragmentLost("a fragmented NAL unit has no last piece");
    if ((header[0] & 0x80) || TemporalIdPlus1(header) == 0) {
        ++m_counters.malformedPayloads;
        PayloadLost("an RTP payload header has F set or a TID of 0");
        return;
    }
    if (type < kAggregationPacket) {
        SingleUnit(packet);
    } else if (type == kAggregationPacket) {
        Aggregation(packet);
    } else if (type == kFragmentationUnit) {
        Fragment(packet);
    } else if (type == kPaci) {
        ++m_counters.paciSkipped;
        // Its contents are of the layer its header names: skipping those of
        // the base layer loses NAL units the access unit needs.
        if (LayerId(header) == 0)
            PayloadLost("a PACI packet of the base layer was skipped");
    } else {
        ++m_counters.malformedPayloads;
        PayloadLost("an RTP payload of a reserved type");
    }
}

void H265Depacketizer::SingleUnit(const RtpPacket& packet) {
    const std::uint8_t* p = packet.payload;
    if (m_options.maxDonDiff == 0) {
        Unit(0, packet.timestamp, p, packet.payloadSize);
        return;
    }
    // PayloadHdr, DONL, then the NAL unit payload: the unit is joined back
    // around the DONL, in the fragment buffer.
    if (packet.payloadSize < 4) {
        ++m_counters.malformedPayloads;
        PayloadLost("a single NAL unit packet is shorter than its DONL");
        return;
    }
    m_fragment.assign(p, p + 2);
    m_fragment.insert(m_fragment.end(), p + 4, p + packet.payloadSize);
    Unit(Read16(p + 2), packet.timestamp, m_fragment.data(), m_fragment.size());
}

void H265Depacketizer::Aggregation(const RtpPacket& packet) {
    const bool withDon = m_options.maxDonDiff > 0;
    const std::uint8_t* p = packet.payload;
    const std::size_t size = packet.payloadSize;
    // Checked whole before any unit is taken, so that a malformed packet adds
    // nothing.
    for (int pass = 0; pass < 2; ++pass) {
        std::size_t at = 2;
        std::uint16_t don = 0;
        bool first = true;
        std::size_t units = 0;
        while (at < size) {
            const std::size_t donBytes = withDon ? (first ? 2 : 1) : 0;
            if (size - at < donBytes + 2)
                break;
            if (withDon)
                don = first ? Read16(p + at) : static_cast<std::uint16_t>(don + p[at] + 1);
            at += donBytes;
            const std::size_t unitSize = Read16(p + at);
            at += 2;
            if (unitSize < 2 || unitSize > size - at)
                break;
            if (pass == 1)
                Unit(don, packet.timestamp, p + at, unitSize);
            at += unitSize;
            first = false;
            ++units;
        }
        if (pass == 0 && (at != size || units == 0)) {
            ++m_counters.malformedPayloads;
            PayloadLost("an aggregation packet is truncated or malformed");
            return;
        }
    }
}

void H265Depacketizer::Fragment(const RtpPacket& packet) {
    const std::uint8_t* p = packet.payload;
    const std::size_t size = packet.payloadSize;
    const bool withDon = m_options.maxDonDiff > 0;
    if (size < 3) {
        ++m_counters.malformedPayloads;
        PayloadLost("a fragmentation unit is shorter than its header");
        return;
    }
    const bool start = (p[2] & 0x80) != 0;
    const bool end = (p[2] & 0x40) != 0;
    const std::uint8_t type = p[2] & 0x3F;
    const std::size_t headerBytes = 3 + (start && withDon ? 2 : 0);
    if ((start && end) || type >= kAggregationPacket || size <= headerBytes) {
        if (m_inFragment)
            AbortFragment();
        ++m_counters.malformedPayloads;
        PayloadLost("a malformed fragmentation unit");
        return;
    }
    if (start) {
        if (m_inFragment)
            FragmentLost("a fragmented NAL unit has no last piece");
        m_inFragment = true;
        m_fragmentType = type;
        m_fragmentTimestamp = packet.timestamp;
        m_fragmentDon = withDon ? Read16(p + 3) : 0;
        m_fragment.clear();
        m_fragment.push_back(static_cast<std::uint8_t>((p[0] & 0x81) | (type << 1)));
        m_fragment.push_back(p[1]);
    } else if (!m_inFragment || type != m_fragmentType) {
        if (m_inFragment)
            AbortFragment();
        ++m_counters.fragmentedUnitsDropped;
        PayloadLost("a fragmented NAL unit lost its first piece");
        return;
    }
    const std::size_t pieceBytes = size - headerBytes;
    // Both terms are bounded (the unit by the limit, a piece by a packet).
    if (m_fragment.size() + pieceBytes > m_options.maxNalUnitBytes) {
        ++m_counters.oversizeNalUnits;
        FragmentLost("a fragmented NAL unit is over the NAL unit size limit");
        return;
    }
    m_fragment.insert(m_fragment.end(), p + headerBytes, p + size);
    if (end) {
        m_inFragment = false;
        Unit(m_fragmentDon, m_fragmentTimestamp, m_fragment.data(), m_fragment.size());
    }
}

void H265Depacketizer::AbortFragment() {
    if (m_inFragment)
        ++m_counters.fragmentedUnitsDropped;
    m_inFragment = false;
    m_fragment.clear();
}

void H265Depacketizer::Unit(std::uint16_t don, std::uint32_t timestamp, const std::uint8_t* data,
                            std::size_t size) {
    if (m_options.maxDonDiff > 0)
        m_decodingOrder.Add(don, timestamp, data, size);
    else
        AddToAccessUnit(data, size);
}

void H265Depacketizer::OnOrderedUnit(std::uint32_t rtpTimestamp, const std::uint8_t* data, std::size_t size) {
    if (!m_auOpen || rtpTimestamp != m_auTimestamp) {
        CloseAccessUnit();
        OpenAccessUnit(rtpTimestamp);
    }
    if (size == 0)
        Damage("a fragmented NAL unit has no last piece");  // the place of a unit lost (FragmentLost)
    else
        AddToAccessUnit(data, size);
}

void H265Depacketizer::AddToAccessUnit(const std::uint8_t* data, std::size_t size) {
    // Every caller passes a unit of at least its 2-byte header.
    if (LayerId(data) > 0) {
        ++m_counters.layerUnitsSkipped;
        return;
    }
    const int type = UnitType(data);
    if ((data[0] & 0x80) || TemporalIdPlus1(data) == 0) {
        ++m_counters.malformedPayloads;
        Damage("a NAL unit header has forbidden_zero_bit set or a TemporalId of -1");
        return;
    }
    // Kept, the first access unit after a loss is marked even when it is
    // whole: the index shows where pictures went missing.
    if (m_auEmpty && m_nextAfterLoss &&
        (m_options.keepDamaged || (type != kAccessUnitDelimiter && type != kVps)))
        Damage("the first packets of an access unit may have been lost");
    m_auEmpty = false;
    m_nextAfterLoss = false;
    if (m_auDamaged && !m_options.keepDamaged)
        return;
    // Both terms are bounded (the access unit by the limit, a unit by the
    // NAL unit limit or a packet).
    if (m_au.size() + 4 + size > m_options.maxAccessUnitBytes) {
        ++m_counters.oversizeAccessUnits;
        Damage("an access unit is over the access unit size limit");
        return;
    }
    if (type >= 16 && type <= 21)
        m_auIrap = true;
    m_au.insert(m_au.end(), kStartCode, kStartCode + 4);
    m_au.insert(m_au.end(), data, data + size);
}

void H265Depacketizer::OpenAccessUnit(std::uint32_t timestamp) {
    m_auOpen = true;
    m_auTimestamp = timestamp;
    m_auDamaged = false;
    m_auIrap = false;
    m_auEmpty = true;
    m_au.clear();
}

void H265Depacketizer::CloseAccessUnit() {
    if (!m_auOpen)
        return;
    m_auOpen = false;
    // Nothing of it came (units of other layers only): nothing to count.
    if (m_auEmpty && !m_auDamaged)
        return;
    const bool keep = m_options.keepDamaged && !m_au.empty();
    if (m_auDamaged && !keep) {
        ++m_counters.accessUnitsDropped;
        m_lastDropReason = m_auDamage;
        WaitForIrap();
    } else if (m_waitForIrap && !m_auIrap) {
        ++m_counters.accessUnitsDropped;
        m_lastDropReason = "waiting for an access unit with an IRAP picture";
    } else {
        m_waitForIrap = false;
        AccessUnit unit;
        unit.timestamp = m_unwrapper.Unwrap(m_auTimestamp);
        unit.data = m_au.data();
        unit.size = m_au.size();
        unit.irap = m_auIrap;
        unit.damaged = m_auDamaged;
        m_counters.accessUnitsDamaged += m_auDamaged ? 1 : 0;
        ++m_counters.accessUnitsOut;
        m_sink.OnAccessUnit(unit);
    }
    m_au.clear();
}

void H265Depacketizer::Damage(const char* reason) {
    if (!m_auDamaged)
        m_auDamage = reason;
    m_auDamaged = true;
    WaitForIrap();
}

void H265Depacketizer::Loss(const char* reason) {
    AbortFragment();
    if (m_options.maxDonDiff > 0)
        m_decodingOrder.Clear();
    if (m_auOpen) {
        // An access unit still empty may be made of packets yet to come
        // alone, or miss its first ones: it is judged by its first unit.
        if (!m_auEmpty)
            Damage(reason);
    }
    m_nextAfterLoss = true;
    WaitForIrap();
}

void H265Depacketizer::FragmentLost(const char* reason) {
    // Its first piece gave the unit's DON and timestamp: with DONs, a unit of
    // no bytes keeps its place and drops its access unit when it comes out in
    // decoding order, where the rest of the buffer stays good.
    if (m_options.maxDonDiff > 0 && m_inFragment) {
        AbortFragment();
        m_decodingOrder.Add(m_fragmentDon, m_fragmentTimestamp, nullptr, 0);
        return;
    }
    PayloadLost(reason);
}

void H265Depacketizer::PayloadLost(const char* reason) {
    AbortFragment();
    // The payload belongs to the access unit open, whatever it holds so far;
    // with DONs, to one not known until decoding order.
    if (m_options.maxDonDiff > 0) {
        Loss(reason);
        return;
    }
    if (m_auOpen)
        Damage(reason);
    WaitForIrap();
}

}  // namespace rtp
