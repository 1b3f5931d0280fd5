// Puts the RTP packets of one source back in sequence number order (RFC 3550
// A.1): packets that arrive early wait in a buffer bounded in packets and in
// RTP time until the missing ones come. A hole is given up for lost when the
// buffer is full or when the newest packet is more than the time window past
// the oldest one waiting; the packet after it is passed on marked as
// following a loss. Duplicates and packets that come after their place was
// given up are dropped. A jump of more than 3000 ahead or 100 back is taken
// for a restart of the sender's numbering, as RFC 3550 A.1 does.
//
// The packet bytes are copied into slots made once, whose storage grows to
// the largest packet seen, so the steady state does not allocate.
#ifndef RTP_SEQUENCE_REORDER_H
#define RTP_SEQUENCE_REORDER_H

#include <cstddef>
#include <cstdint>
#include <vector>

#include "RtpPacket.h"

namespace rtp {

class OrderedPacketSink {
public:
    virtual ~OrderedPacketSink() {}
    // `packet` points into storage valid for the call only. `afterLoss`: one
    // or more packets before this one were lost (or the numbering restarted).
    virtual void OnOrderedPacket(const RtpPacket& packet, bool afterLoss) = 0;
};

struct ReorderCounters {
    std::uint64_t lost = 0;        // sequence numbers given up
    std::uint64_t reordered = 0;   // arrived after a packet with a higher number
    std::uint64_t duplicated = 0;  // a copy of one buffered or passed on
    std::uint64_t late = 0;        // arrived after its place was given up
    std::uint64_t restarts = 0;    // jumps taken for a new numbering
};

class SequenceReorder {
public:
    // `capacity`: packets held at most (at least 1); `windowTicks`: the RTP
    // time a hole is waited for.
    SequenceReorder(OrderedPacketSink& sink, std::size_t capacity, std::uint32_t windowTicks);

    // `data` is the packet `packet` was parsed from (ParseRtpPacket).
    void Push(const std::uint8_t* data, std::size_t size, const RtpPacket& packet);
    // Passes on everything held, holes counted as lost.
    void Flush();

    const ReorderCounters& counters() const { return m_counters; }
    std::size_t held() const { return m_held; }

private:
    struct Slot {
        bool used = false;
        bool passed = false;  // its last packet was passed on (not given up)
        std::uint16_t sequenceNumber = 0;
        std::uint32_t timestamp = 0;
        std::vector<std::uint8_t> bytes;
    };

    Slot& SlotAt(std::size_t distance) { return m_slots[(m_base + distance) % m_slots.size()]; }
    // Passes on the packet expected next, or counts it lost; moves on by one.
    void Advance();
    void PassOnRun();
    bool OldestWaitedTooLong() const;

    OrderedPacketSink& m_sink;
    std::vector<Slot> m_slots;
    std::uint32_t m_windowTicks;
    bool m_started = false;
    std::uint16_t m_next = 0;  // the sequence number passed on next
    std::uint16_t m_highest = 0;
    std::uint32_t m_newestTimestamp = 0;
    std::size_t m_base = 0;  // the slot of m_next
    std::size_t m_held = 0;
    bool m_lossPending = false;
    ReorderCounters m_counters;
};

}  // namespace rtp

#endif
