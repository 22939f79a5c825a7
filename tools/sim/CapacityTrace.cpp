#include "CapacityTrace.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <stdexcept>

namespace ktr::sim {
namespace {

constexpr double kBitsPerByte = 8;
// Rounding in the prefix sums can leave the computed earliest time a microsecond or so off; this many
// one-microsecond steps settle it exactly on bytesBetween's own answer.
constexpr int kRoundingSteps = 4;
// Candidates at or beyond this time are answered with kNever: far beyond any simulation, and far enough
// from the end of Micros that the rounding steps cannot overflow.
constexpr double kLatestCandidate = 0x1p62;

double bytesAtRate(double bytesPerSecond, Micros span) {
    return bytesPerSecond * static_cast<double>(span) / static_cast<double>(kMicrosPerSecond);
}

void require(bool condition, const std::string& label, const std::string& problem) {
    if (!condition) {
        throw std::invalid_argument(fmt::format("capacity trace \"{}\": {}", label, problem));
    }
}

}  // namespace

CapacityTrace CapacityTrace::scaled(double factor) const {
    std::vector<double> rates = m_bytesPerSecond;
    for (double& rate : rates) {
        rate *= factor;
    }
    return CapacityTrace(fmt::format("{} x{}", m_label, factor), m_synthetic, m_starts, std::move(rates), m_period);
}

CapacityTrace::CapacityTrace(std::string label, bool synthetic, std::vector<Micros> starts,
                             std::vector<double> bytesPerSecond, Micros period)
    : m_label(std::move(label)),
      m_synthetic(synthetic),
      m_starts(std::move(starts)),
      m_bytesPerSecond(std::move(bytesPerSecond)),
      m_period(period) {
    check();
    mergeEqualNeighbours();
    m_bytesBefore.reserve(m_starts.size() + 1);
    m_bytesBefore.push_back(0);
    for (size_t i = 0; i < m_starts.size(); ++i) {
        const Micros end = i + 1 < m_starts.size() ? m_starts[i + 1] : m_period;
        m_bytesBefore.push_back(m_bytesBefore.back() + bytesAtRate(m_bytesPerSecond[i], end - m_starts[i]));
    }
    require(periodBytes() > 0, m_label, "the whole period carries nothing");
}

void CapacityTrace::check() const {
    require(!m_starts.empty() && m_starts.size() == m_bytesPerSecond.size(), m_label,
            "expected one rate for every segment start, and at least one segment");
    require(m_period > 0 && m_period <= kLongestPeriod, m_label,
            fmt::format("the period must be from 1 to {} us, got {}", kLongestPeriod, m_period));
    require(m_starts.front() == 0, m_label, "the first segment must start at 0");
    for (size_t i = 1; i < m_starts.size(); ++i) {
        require(m_starts[i] > m_starts[i - 1], m_label, "segment starts must increase");
    }
    require(m_starts.back() < m_period, m_label, "every segment must start within the period");
    for (const double rate : m_bytesPerSecond) {
        require(std::isfinite(rate) && rate >= 0 && rate <= kHighestBytesPerSecond, m_label,
                fmt::format("rates must be from 0 to {} bytes/s, got {}", kHighestBytesPerSecond, rate));
    }
}

void CapacityTrace::mergeEqualNeighbours() {
    size_t kept = 0;
    for (size_t i = 1; i < m_starts.size(); ++i) {
        if (m_bytesPerSecond[i] != m_bytesPerSecond[kept]) {
            ++kept;
            m_starts[kept] = m_starts[i];
            m_bytesPerSecond[kept] = m_bytesPerSecond[i];
        }
    }
    m_starts.resize(kept + 1);
    m_bytesPerSecond.resize(kept + 1);
}

size_t CapacityTrace::segmentAt(Micros offset) const {
    const size_t last = m_lastSegment;
    if (last < m_starts.size() && m_starts[last] <= offset &&
        (last + 1 == m_starts.size() || offset < m_starts[last + 1])) {
        return last;
    }
    m_lastSegment =
        static_cast<size_t>(std::upper_bound(m_starts.begin(), m_starts.end(), offset) - m_starts.begin()) - 1;
    return m_lastSegment;
}

double CapacityTrace::bytesIntoPeriod(Micros offset) const {
    const size_t segment = segmentAt(offset);
    return m_bytesBefore[segment] + bytesAtRate(m_bytesPerSecond[segment], offset - m_starts[segment]);
}

Micros CapacityTrace::offsetCarrying(double bytes) const {
    if (bytes <= 0) {
        return 0;
    }
    // The first segment by whose end the bytes have been carried; its rate is positive, since the bytes
    // were not all carried by its start.
    const auto end = std::lower_bound(m_bytesBefore.begin() + 1, m_bytesBefore.end(), bytes);
    if (end == m_bytesBefore.end()) {
        return m_period;
    }
    const size_t segment = static_cast<size_t>(end - (m_bytesBefore.begin() + 1));
    const double seconds = (bytes - m_bytesBefore[segment]) / m_bytesPerSecond[segment];
    const auto into = static_cast<Micros>(std::ceil(seconds * static_cast<double>(kMicrosPerSecond)));
    const Micros segmentEnd = segment + 1 < m_starts.size() ? m_starts[segment + 1] : m_period;
    return std::min(m_starts[segment] + into, segmentEnd);
}

double CapacityTrace::bytesBetween(Micros from, Micros to) const {
    if (from < 0 || to < from) {
        throw std::invalid_argument(fmt::format("bytesBetween({}, {}): expected 0 <= from <= to", from, to));
    }
    const Micros fromLoop = from / m_period;
    const Micros toLoop = to / m_period;
    const double head = bytesIntoPeriod(from % m_period);
    const double tail = bytesIntoPeriod(to % m_period);
    if (fromLoop == toLoop) {
        return tail - head;
    }
    return (periodBytes() - head) + static_cast<double>(toLoop - fromLoop - 1) * periodBytes() + tail;
}

Micros CapacityTrace::timeToCarry(Micros from, double bytes) const {
    if (from < 0 || !(bytes >= 0)) {
        throw std::invalid_argument(fmt::format("timeToCarry({}, {}): expected from >= 0 and bytes >= 0", from, bytes));
    }
    if (bytes == 0) {
        return from;
    }
    // Counted from the start of from's period: the whole periods that pass before the one in which the
    // bytes are carried, and the bytes still to carry in that one.
    const Micros loop = from / m_period;
    const double target = bytesIntoPeriod(from % m_period) + bytes;
    const double wholePeriods = std::max(0.0, std::ceil(target / periodBytes()) - 1);
    const double rest = std::clamp(target - wholePeriods * periodBytes(), 0.0, periodBytes());
    if ((static_cast<double>(loop) + wholePeriods + 1) * static_cast<double>(m_period) >= kLatestCandidate) {
        return kNever;
    }
    Micros time = (loop + static_cast<Micros>(wholePeriods)) * m_period + offsetCarrying(rest);
    time = std::max(time, from);
    for (int step = 0; step < kRoundingSteps && bytesBetween(from, time) < bytes; ++step) {
        ++time;
    }
    for (int step = 0; step < kRoundingSteps && time > from && bytesBetween(from, time - 1) >= bytes; ++step) {
        --time;
    }
    return time;
}

double CapacityTrace::bitsPerSecond(Micros from, Micros to) const {
    if (from == to && from >= 0) {
        return m_bytesPerSecond[segmentAt(from % m_period)] * kBitsPerByte;
    }
    const double seconds = static_cast<double>(to - from) / static_cast<double>(kMicrosPerSecond);
    return bytesBetween(from, to) * kBitsPerByte / seconds;
}

}  // namespace ktr::sim
