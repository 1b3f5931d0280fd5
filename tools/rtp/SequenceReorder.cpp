#include "SequenceReorder.h"

namespace rtp {

namespace {

const int kMaxDropout = 3000;
const int kMaxMisorder = 100;

// a - b as a signed 16-bit distance, without implementation-defined casts.
int SequenceDistance(std::uint16_t a, std::uint16_t b) {
    const int forward = static_cast<std::uint16_t>(a - b);
    return forward < 0x8000 ? forward : forward - 0x10000;
}

// a is more than `window` ticks after b.
bool PastWindow(std::uint32_t a, std::uint32_t b, std::uint32_t window) {
    const std::uint32_t forward = a - b;
    return forward < 0x80000000u && forward > window;
}

}  // namespace

SequenceReorder::SequenceReorder(OrderedPacketSink& sink, std::size_t capacity, std::uint32_t windowTicks)
    : m_sink(sink), m_slots(capacity ? capacity : 1), m_windowTicks(windowTicks) {}

void SequenceReorder::Push(const std::uint8_t* data, std::size_t size, const RtpPacket& packet) {
    const std::uint16_t seq = packet.sequenceNumber;
    if (!m_started) {
        m_started = true;
        m_next = seq;
        m_highest = seq;
    }
    int distance = SequenceDistance(seq, m_next);
    if (distance < 0 && distance >= -kMaxMisorder) {
        const std::size_t back = static_cast<std::size_t>(-distance);
        const Slot* slot =
            back <= m_slots.size() ? &m_slots[(m_base + m_slots.size() - back) % m_slots.size()] : nullptr;
        if (slot && slot->passed && slot->sequenceNumber == seq)
            ++m_counters.duplicated;
        else
            ++m_counters.late;
        return;
    }
    if (distance < 0 || distance > kMaxDropout) {
        Flush();
        ++m_counters.restarts;
        m_next = seq;
        m_highest = seq;
        m_lossPending = true;
        distance = 0;
    }
    while (static_cast<std::size_t>(distance) >= m_slots.size()) {
        Advance();
        --distance;
    }
    Slot& slot = SlotAt(static_cast<std::size_t>(distance));
    if (slot.used) {
        // Distance below the capacity and the same slot: the same number.
        ++m_counters.duplicated;
        return;
    }
    if (SequenceDistance(seq, m_highest) < 0)
        ++m_counters.reordered;
    else
        m_highest = seq;
    slot.used = true;
    slot.passed = false;
    slot.sequenceNumber = seq;
    slot.timestamp = packet.timestamp;
    slot.bytes.assign(data, data + size);
    ++m_held;
    m_newestTimestamp = packet.timestamp;

    PassOnRun();
    while (m_held && OldestWaitedTooLong()) {
        while (!SlotAt(0).used)
            Advance();
        PassOnRun();
    }
}

void SequenceReorder::Flush() {
    while (m_held)
        Advance();
}

void SequenceReorder::Advance() {
    Slot& slot = SlotAt(0);
    if (slot.used) {
        slot.used = false;
        slot.passed = true;
        --m_held;
        RtpPacket packet;
        // Parsed once already when it came in.
        if (ParseRtpPacket(slot.bytes.data(), slot.bytes.size(), packet) == PacketError::kNone) {
            const bool afterLoss = m_lossPending;
            m_lossPending = false;
            m_sink.OnOrderedPacket(packet, afterLoss);
        }
    } else {
        slot.passed = false;
        ++m_counters.lost;
        m_lossPending = true;
    }
    m_base = (m_base + 1) % m_slots.size();
    m_next = static_cast<std::uint16_t>(m_next + 1);
}

void SequenceReorder::PassOnRun() {
    while (SlotAt(0).used)
        Advance();
}

bool SequenceReorder::OldestWaitedTooLong() const {
    for (std::size_t d = 0; d < m_slots.size(); ++d) {
        const Slot& slot = m_slots[(m_base + d) % m_slots.size()];
        if (slot.used)
            return PastWindow(m_newestTimestamp, slot.timestamp, m_windowTicks);
    }
    return false;
}

}  // namespace rtp
