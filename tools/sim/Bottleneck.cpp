#include "Bottleneck.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace ktr::sim {
namespace {

void requireNotBefore(Micros time, Micros latestArrival, const char* what) {
    if (time < latestArrival) {
        throw std::invalid_argument(
            fmt::format("Bottleneck::{}: time {} us is before the latest arrival {} us", what, time, latestArrival));
    }
}

}  // namespace

Bottleneck::Bottleneck(const CapacityTrace& trace, int64_t bufferBytes) : m_trace(trace), m_bufferBytes(bufferBytes) {
    if (bufferBytes < 0) {
        throw std::invalid_argument(fmt::format("Bottleneck: negative buffer of {} bytes", bufferBytes));
    }
}

Bottleneck::Outcome Bottleneck::send(Micros arrival, int64_t bytes) {
    requireNotBefore(arrival, m_lastArrival, "send");
    if (bytes <= 0) {
        throw std::invalid_argument(fmt::format("Bottleneck::send: a packet of {} bytes", bytes));
    }
    m_lastArrival = arrival;
    forgetDeparted(arrival);
    if (bytes > m_bufferBytes - queuedBytes(arrival)) {
        return {true, arrival};
    }
    const Micros serviceStart = std::max(arrival, m_lastDeparture);
    m_lastDeparture = m_trace.timeToCarry(serviceStart, static_cast<double>(bytes));
    m_queue.push_back({bytes, serviceStart, m_lastDeparture});
    m_heldBytes += bytes;
    return {false, m_lastDeparture};
}

int64_t Bottleneck::queuedBytes(Micros now) const {
    requireNotBefore(now, m_lastArrival, "queuedBytes");
    int64_t queued = m_heldBytes;
    for (const Packet& packet : m_queue) {
        if (packet.departure > now) {
            return queued - carriedBytes(packet, now);
        }
        queued -= packet.bytes;
    }
    return queued;
}

double Bottleneck::leftBytes(Micros now) const {
    requireNotBefore(now, m_lastArrival, "leftBytes");
    double left = static_cast<double>(m_forgottenBytes);
    for (const Packet& packet : m_queue) {
        if (packet.departure > now) {
            if (now > packet.serviceStart) {
                left += std::min(m_trace.bytesBetween(packet.serviceStart, now), static_cast<double>(packet.bytes));
            }
            return left;
        }
        left += static_cast<double>(packet.bytes);
    }
    return left;
}

void Bottleneck::forgetDeparted(Micros now) {
    while (!m_queue.empty() && m_queue.front().departure <= now) {
        m_heldBytes -= m_queue.front().bytes;
        m_forgottenBytes += m_queue.front().bytes;
        m_queue.pop_front();
    }
}

int64_t Bottleneck::carriedBytes(const Packet& packet, Micros now) const {
    if (now <= packet.serviceStart) {
        return 0;
    }
    const double carried = std::floor(m_trace.bytesBetween(packet.serviceStart, now));
    return std::min(static_cast<int64_t>(std::min(carried, static_cast<double>(packet.bytes))), packet.bytes - 1);
}

}  // namespace ktr::sim
