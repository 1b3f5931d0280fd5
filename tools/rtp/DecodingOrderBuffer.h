// NAL units put back in decoding order by their decoding order number (RFC
// 7798 6): when the session's sprop-max-don-diff is above 0, packets carry
// DONL and DOND fields and may be sent out of decoding order. A unit is
// passed on once a unit with a DON more than sprop-max-don-diff above its own
// has arrived, since no unit sent later can then come before it; the rest
// at Flush. DONs are 16-bit and taken to move on by less than 2^15 between
// successive units. Bounded in units and bytes: past either bound the unit
// with the lowest DON goes on at once; a unit's storage over 64 KiB is given
// back when it leaves, so that memory stays within the bounds too.
#ifndef RTP_DECODING_ORDER_BUFFER_H
#define RTP_DECODING_ORDER_BUFFER_H

#include <cstddef>
#include <cstdint>
#include <vector>

namespace rtp {

class OrderedUnitSink {
public:
    virtual ~OrderedUnitSink() {}
    // `data` (the NAL unit from its header on) is valid for the call only.
    virtual void OnOrderedUnit(std::uint32_t rtpTimestamp, const std::uint8_t* data, std::size_t size) = 0;
};

class DecodingOrderBuffer {
public:
    DecodingOrderBuffer(OrderedUnitSink& sink, unsigned maxDonDiff, std::size_t maxUnits, std::size_t maxBytes);

    void Add(std::uint16_t don, std::uint32_t rtpTimestamp, const std::uint8_t* data, std::size_t size);
    void Flush();
    // Drops everything held (after a loss) and forgets the DONs seen.
    void Clear();

    std::size_t held() const { return m_order.size(); }
    std::uint64_t forcedOut() const { return m_forced; }

private:
    struct Unit {
        std::int64_t don = 0;
        std::uint32_t rtpTimestamp = 0;
        std::vector<std::uint8_t> bytes;
    };
    void PassOnFirst();

    OrderedUnitSink& m_sink;
    unsigned m_maxDonDiff;
    std::size_t m_maxUnits;
    std::size_t m_maxBytes;
    std::vector<Unit> m_units;         // storage, reused
    std::vector<std::size_t> m_free;   // indices of m_units not in use
    std::vector<std::size_t> m_order;  // indices in use, by DON, then arrival
    std::size_t m_bytes = 0;
    bool m_started = false;
    std::int64_t m_highestDon = 0;
    std::uint64_t m_forced = 0;
};

}  // namespace rtp

#endif
