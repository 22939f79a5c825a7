#include "QualityMetrics.h"

#include <algorithm>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>

#include "MetricTable.h"

namespace ktr::sim {
namespace {

// A capacity drop counts once demand stays above capacity this long.
constexpr Micros kDropPersistence = kMicrosPerSecond;
// Video has recovered once the bitrate delivered over the last kRecoveryWindow is back at this share of the
// demand at the drop's start. The window smooths the frames' granularity: a 100 ms sample holds from one to
// a few frames of each stream.
constexpr double kRecoveredShare = 0.9;
constexpr Micros kRecoveryWindow = kMicrosPerSecond;
// A cut this soon after a raise of the same peer makes a flap.
constexpr Micros kFlapWindow = 10 * kMicrosPerSecond;
// Frame delays are counted in whole milliseconds up to this; longer ones count as this long.
constexpr size_t kLongestCountedDelayMs = 60000;
constexpr Micros kMicrosPerMilli = 1000;

// The received resolutions the summary tells apart: each band's metric and lowest height, tallest first.
struct HeightBand {
    const char* metric;
    int32_t lowestHeight;
};
constexpr std::array<HeightBand, 5> kHeightBands{{{"time_720p_pct", 720},
                                                  {"time_480p_pct", 480},
                                                  {"time_360p_pct", 360},
                                                  {"time_240p_pct", 240},
                                                  {"time_below_240p_pct", 1}}};

double seconds(Micros time) {
    return static_cast<double>(time) / kMicrosPerSecond;
}

Known<double> ratio(double part, double whole, double scale) {
    return whole > 0 ? Known<double>(part / whole * scale) : std::nullopt;
}

// The metric's unit and direction, from the metric table.
Metric described(const char* name) {
    const MetricDefinition* definition = findMetric(name);
    if (definition == nullptr) {
        throw std::logic_error(std::string("QualityMetrics: \"") + name + "\" is not in the metric table");
    }
    Metric result;
    result.unit = definition->unit;
    result.better = definition->better;
    return result;
}

std::pair<std::string, Metric> metric(const char* name, Known<double> value) {
    Metric result = described(name);
    result.value = value;
    return {name, result};
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    return values.size() % 2 == 1 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
}

std::pair<std::string, Metric> episodes(const char* name, const std::vector<double>& times) {
    Metric result = described(name);
    result.episodes = times.size();
    if (!times.empty()) {
        result.median = median(times);
        result.max = *std::max_element(times.begin(), times.end());
    }
    return {name, result};
}

double jain(const std::vector<double>& shares) {
    double sum = 0;
    double squares = 0;
    for (double share : shares) {
        sum += share;
        squares += share * share;
    }
    return squares > 0 ? sum * sum / (static_cast<double>(shares.size()) * squares) : 1.0;
}

}  // namespace

void QualityMetrics::sample(const LinkSample& link, const std::vector<PeerSample>& peers) {
    const double length = seconds(link.length);
    m_time += link.length;
    m_capacityBits += link.capacityBps * length;
    m_deliveredBits += link.deliveredBps * length;
    if (link.demandBps > link.capacityBps) {
        m_overshoot += link.length;
    }
    bool anyBelowUpper = false;
    for (const PeerSample& peer : peers) {
        PeerTotals& totals = m_peers[peer.uid];
        totals.present += link.length;
        Micros& slot = peer.received == ReceivedClass::Upper   ? totals.upper
                       : peer.received == ReceivedClass::Lower ? totals.lower
                                                               : totals.none;
        slot += link.length;
        for (size_t band = 0; band < kHeightBands.size(); ++band) {
            if (peer.receivedHeight >= kHeightBands[band].lowestHeight) {
                m_timeAtHeight[band] += link.length;
                break;
            }
        }
        anyBelowUpper = anyBelowUpper || peer.received != ReceivedClass::Upper;
        if (link.remoteSpeaker && *link.remoteSpeaker == peer.uid) {
            m_speaking += link.length;
            m_speakerUpper += peer.received == ReceivedClass::Upper ? link.length : 0;
        }
    }
    if (anyBelowUpper) {
        m_idleHeadroomBits += std::max(0.0, link.capacityBps - link.deliveredBps) * length;
    }
    sampleFairness(link, peers);
    sampleEpisodes(link);
}

void QualityMetrics::sampleFairness(const LinkSample& link, const std::vector<PeerSample>& peers) {
    std::map<int64_t, std::vector<double>> groups;
    for (const PeerSample& peer : peers) {
        const bool singledOut =
            (link.remoteSpeaker && *link.remoteSpeaker == peer.uid) || (link.sharer && *link.sharer == peer.uid);
        if (!singledOut && peer.upperBps > 0) {
            groups[peer.standing].push_back(peer.receivedBps / peer.upperBps);
        }
    }
    for (const auto& group : groups) {
        if (group.second.size() >= 2) {
            m_fairnessSum += jain(group.second);
            ++m_fairnessSamples;
        }
    }
}

void QualityMetrics::sampleEpisodes(const LinkSample& link) {
    const bool over = link.demandBps > link.capacityBps;
    if (!m_episode && over) {
        Episode drop;
        drop.start = link.at - link.length;
        drop.demandBefore = m_lastDemand;
        m_episode = std::move(drop);
    }
    m_lastDemand = link.demandBps;
    if (!m_episode) {
        return;
    }
    Episode& episode = *m_episode;
    if (!episode.confirmed) {
        if (!over) {
            m_episode.reset();  // too short to count as a drop
            return;
        }
        episode.confirmed = link.at - episode.start >= kDropPersistence;
    }
    if (episode.confirmed && !episode.cut && !over) {
        episode.cut = true;
        m_timesToCut.push_back(seconds(link.at - episode.start));
    }
    if (!episode.recovered) {
        const std::optional<double> delivered = deliveredOverLastSecond(episode, link);
        const bool back = delivered && *delivered >= kRecoveredShare * episode.demandBefore;
        episode.fell = episode.fell || (delivered && !back);
        if (episode.confirmed && back) {
            episode.recovered = true;
            if (episode.fell) {
                m_timesToRecover.push_back(seconds(link.at - episode.start));
            }
        }
    }
    if (episode.cut && episode.recovered) {
        m_episode.reset();
    }
}

std::optional<double> QualityMetrics::deliveredOverLastSecond(Episode& episode, const LinkSample& link) {
    auto& window = episode.lastSecond;
    window.emplace_back(link.length, link.deliveredBps * seconds(link.length));
    Micros covered = 0;
    double bits = 0;
    for (const auto& [length, delivered] : window) {
        covered += length;
        bits += delivered;
    }
    while (covered - window.front().first >= kRecoveryWindow) {
        covered -= window.front().first;
        bits -= window.front().second;
        window.pop_front();
    }
    return covered >= kRecoveryWindow ? std::optional<double>(bits / seconds(covered)) : std::nullopt;
}

void QualityMetrics::sampleUpload(const UploadSample& upload) {
    m_uploadModelled = true;
    m_uploadTime += upload.length;
    if (upload.publishedBps > upload.capacityBps) {
        m_uploadOvershoot += upload.length;
    }
}

void QualityMetrics::rendered(uint64_t uid, Micros delay) {
    ++m_peers[uid].rendered;
    ++m_renderedFrames;
    const size_t bucket =
        std::min(static_cast<size_t>(std::max<Micros>(0, delay) / kMicrosPerMilli), kLongestCountedDelayMs);
    if (bucket >= m_delayHistogram.size()) {
        m_delayHistogram.resize(bucket + 1, 0);
    }
    ++m_delayHistogram[bucket];
}

Known<double> QualityMetrics::delayPercentile(double percent) const {
    const double needed = percent / 100.0 * static_cast<double>(m_renderedFrames);
    int64_t counted = 0;
    for (size_t ms = 0; ms < m_delayHistogram.size(); ++ms) {
        counted += m_delayHistogram[ms];
        if (counted > 0 && static_cast<double>(counted) >= needed) {
            return static_cast<double>(ms);
        }
    }
    return std::nullopt;
}

void QualityMetrics::freeze(uint64_t uid, Micros duration) {
    PeerTotals& totals = m_peers[uid];
    ++totals.freezes;
    totals.frozen += duration;
}

void QualityMetrics::receivedChanged(uint64_t uid, Micros at, ReceivedClass from, ReceivedClass to, double fromBps,
                                     double toBps) {
    PeerTotals& totals = m_peers[uid];
    if (from != to) {
        ++totals.switches;
    }
    if (toBps > fromBps) {
        totals.lastRaise = at;
    } else if (toBps < fromBps && totals.lastRaise && at - *totals.lastRaise <= kFlapWindow) {
        ++totals.flaps;
        totals.lastRaise.reset();
    }
}

void QualityMetrics::summarize(RunSummary& summary) const {
    PeerTotals all;
    for (const auto& [uid, totals] : m_peers) {
        const double minutes = seconds(totals.present) / 60.0;
        const double present = static_cast<double>(totals.present);
        summary.peers.push_back({uid,
                                 {{metric("time_upper_pct", ratio(totals.upper, present, 100)),
                                   metric("time_lower_pct", ratio(totals.lower, present, 100)),
                                   metric("time_none_pct", ratio(totals.none, present, 100)),
                                   metric("freezes_per_min", ratio(totals.freezes, minutes, 1)),
                                   metric("freeze_time_pct", ratio(totals.frozen, present, 100)),
                                   metric("switches_per_min", ratio(totals.switches, minutes, 1)),
                                   metric("flaps_per_min", ratio(totals.flaps, minutes, 1)),
                                   metric("received_fps", ratio(totals.rendered, seconds(totals.present), 1))}}});
        all.present += totals.present;
        all.upper += totals.upper;
        all.lower += totals.lower;
        all.none += totals.none;
        all.freezes += totals.freezes;
        all.frozen += totals.frozen;
        all.switches += totals.switches;
        all.flaps += totals.flaps;
        all.rendered += totals.rendered;
    }
    const double minutes = seconds(all.present) / 60.0;
    const double present = static_cast<double>(all.present);
    summary.metrics = {
        {metric("time_upper_pct", ratio(all.upper, present, 100)),
         metric("time_lower_pct", ratio(all.lower, present, 100)),
         metric("time_none_pct", ratio(all.none, present, 100)),
         metric("speaker_hd_pct", ratio(m_speakerUpper, m_speaking, 100)),
         metric("freezes_per_min", ratio(all.freezes, minutes, 1)),
         metric("freeze_time_pct", ratio(all.frozen, present, 100)),
         metric("switches_per_min", ratio(all.switches, minutes, 1)),
         metric("flaps_per_min", ratio(all.flaps, minutes, 1)),
         metric("received_fps", ratio(all.rendered, seconds(all.present), 1)),
         metric("frame_delay_p50_ms", delayPercentile(50)),
         metric("frame_delay_p95_ms", delayPercentile(95)),
         metric("utilization_pct", ratio(m_deliveredBits, m_capacityBits, 100)),
         metric("overshoot_time_pct", ratio(m_overshoot, m_time, 100)),
         metric("idle_headroom_pct", ratio(m_idleHeadroomBits, m_capacityBits, 100)),
         episodes("time_to_cut_s", m_timesToCut),
         episodes("time_to_recover_s", m_timesToRecover),
         metric("jain_fairness", ratio(m_fairnessSum, m_fairnessSamples, 1)),
         metric("upload_overshoot_pct", m_uploadModelled ? ratio(m_uploadOvershoot, m_uploadTime, 100) : std::nullopt),
         metric("unmet_requests", m_unmetRequests),
         metric("published_switches_per_min", ratio(m_publishedSwitches, seconds(m_time) / 60.0, 1))}};
    for (size_t band = 0; band < kHeightBands.size(); ++band) {
        summary.metrics.entries.push_back(
            metric(kHeightBands[band].metric, ratio(static_cast<double>(m_timeAtHeight[band]), present, 100)));
    }
}

}  // namespace ktr::sim
