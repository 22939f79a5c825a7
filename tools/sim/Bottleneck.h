#ifndef KTRSDK_TOOLS_SIM_BOTTLENECK_H
#define KTRSDK_TOOLS_SIM_BOTTLENECK_H

#include <cstddef>
#include <cstdint>
#include <deque>

#include "CapacityTrace.h"
#include "Units.h"

namespace ktr::sim {

// A FIFO queue served at the trace's capacity, with tail drop: a fluid model, in which the queued bytes
// drain continuously at the link's rate. It keeps a reference to the trace, which must outlive it.
class Bottleneck {
public:
    Bottleneck(const CapacityTrace& trace, int64_t bufferBytes);
    // A temporary trace would be gone before the first packet.
    Bottleneck(CapacityTrace&&, int64_t) = delete;

    // departure: when its last byte leaves; for a dropped packet, its arrival.
    struct Outcome {
        bool dropped;
        Micros departure;
    };

    // Arrivals come in non-decreasing time order, and packets have at least one byte. A packet is dropped
    // when the bytes still queued at its arrival plus its own exceed the buffer; otherwise it leaves when
    // the capacity from max(arrival, previous departure) has carried it.
    Outcome send(Micros arrival, int64_t bytes);
    // Bytes accepted and not yet departed at now (now at or after the latest arrival); of the packet being
    // sent, the bytes not yet carried.
    int64_t queuedBytes(Micros now) const;
    // Bytes that have left the link by now (now at or after the latest arrival): every departed packet whole
    // and the part of the packet being sent carried so far, unrounded, so that the bytes leaving in any
    // interval never exceed what the trace carries in it.
    double leftBytes(Micros now) const;
    // Packets held in memory: accepted ones not yet known to have left. At most the buffer's bytes.
    size_t heldPackets() const { return m_queue.size(); }

private:
    struct Packet {
        int64_t bytes;
        Micros serviceStart;
        Micros departure;
    };

    void forgetDeparted(Micros now);
    // Bytes of the packet carried by now, short of its last byte while it has not left.
    int64_t carriedBytes(const Packet& packet, Micros now) const;

    const CapacityTrace& m_trace;
    int64_t m_bufferBytes;
    std::deque<Packet> m_queue;
    // The whole sizes of the packets in m_queue.
    int64_t m_heldBytes = 0;
    // The whole sizes of the packets that have left m_queue.
    int64_t m_forgottenBytes = 0;
    Micros m_lastArrival = 0;
    Micros m_lastDeparture = 0;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_BOTTLENECK_H
