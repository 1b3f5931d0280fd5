#include "DecodingOrderBuffer.h"

namespace rtp {

namespace {

// The storage a unit keeps for the next one. Beyond it, the storage is given
// back: with the units' storage kept whole, units taking turns at being large
// could hold the largest NAL unit's size many times over.
const std::size_t kKeptCapacity = 64 * 1024;

void Release(std::vector<std::uint8_t>& bytes) {
    if (bytes.capacity() > kKeptCapacity)
        std::vector<std::uint8_t>().swap(bytes);
}

}  // namespace

DecodingOrderBuffer::DecodingOrderBuffer(OrderedUnitSink& sink, unsigned maxDonDiff, std::size_t maxUnits,
                                         std::size_t maxBytes)
    : m_sink(sink), m_maxDonDiff(maxDonDiff), m_maxUnits(maxUnits ? maxUnits : 1), m_maxBytes(maxBytes) {
    m_order.reserve(m_maxUnits + 1);
    m_free.reserve(m_maxUnits + 1);
}

void DecodingOrderBuffer::Add(std::uint16_t don, std::uint32_t rtpTimestamp, const std::uint8_t* data,
                              std::size_t size) {
    std::int64_t full = don;
    if (m_started) {
        const int forward = static_cast<std::uint16_t>(don - static_cast<std::uint16_t>(m_highestDon & 0xFFFF));
        full = m_highestDon + (forward < 0x8000 ? forward : forward - 0x10000);
    }
    if (!m_started || full > m_highestDon)
        m_highestDon = full;
    m_started = true;

    std::size_t index;
    if (!m_free.empty()) {
        index = m_free.back();
        m_free.pop_back();
    } else {
        index = m_units.size();
        m_units.push_back(Unit());
    }
    Unit& unit = m_units[index];
    unit.don = full;
    unit.rtpTimestamp = rtpTimestamp;
    unit.bytes.assign(data, data + size);
    m_bytes += size;
    // Insertion from the back: units mostly come in decoding order.
    std::size_t at = m_order.size();
    while (at > 0 && m_units[m_order[at - 1]].don > full)
        --at;
    m_order.insert(m_order.begin() + static_cast<std::ptrdiff_t>(at), index);

    while (!m_order.empty() && (m_order.size() > m_maxUnits || m_bytes > m_maxBytes)) {
        ++m_forced;
        PassOnFirst();
    }
    while (!m_order.empty() && m_highestDon - m_units[m_order.front()].don > m_maxDonDiff)
        PassOnFirst();
}

void DecodingOrderBuffer::Flush() {
    while (!m_order.empty())
        PassOnFirst();
}

void DecodingOrderBuffer::Clear() {
    for (std::size_t index : m_order) {
        Release(m_units[index].bytes);
        m_free.push_back(index);
    }
    m_order.clear();
    m_bytes = 0;
    m_started = false;
}

void DecodingOrderBuffer::PassOnFirst() {
    const std::size_t index = m_order.front();
    m_order.erase(m_order.begin());
    m_free.push_back(index);
    Unit& unit = m_units[index];
    m_bytes -= unit.bytes.size();
    m_sink.OnOrderedUnit(unit.rtpTimestamp, unit.bytes.data(), unit.bytes.size());
    Release(unit.bytes);
}

}  // namespace rtp
