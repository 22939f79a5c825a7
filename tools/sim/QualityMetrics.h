// The quality of experience of one simulated meeting, per peer and for the meeting: time on the upper,
// lower or no stream, the speaker's time in HD, freezes, switches and flaps, how the demand follows the
// capacity, fairness, and the upload side.
#ifndef KTRSDK_TOOLS_SIM_QUALITYMETRICS_H
#define KTRSDK_TOOLS_SIM_QUALITYMETRICS_H

#include <array>
#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <utility>
#include <vector>

#include "Summary.h"
#include "Units.h"

namespace ktr::sim {

enum class ReceivedClass { None, Lower, Upper };

// One peer at a sampling instant.
struct PeerSample {
    uint64_t uid = 0;
    ReceivedClass received = ReceivedClass::None;
    double receivedBps = 0;
    double upperBps = 0;
    int64_t standing = 0;        // peers of equal standing (device type and published streams) share this key
    int32_t receivedHeight = 0;  // of the stream received (0: none)
};

// The meeting over one sampling interval ending at a sample's time.
struct LinkSample {
    Micros at = 0;
    Micros length = 0;
    double capacityBps = 0;
    double demandBps = 0;
    double deliveredBps = 0;
    std::optional<uint64_t> remoteSpeaker;  // a peer speaking, when one does
    std::optional<uint64_t> sharer;
};

struct UploadSample {
    Micros length = 0;
    double capacityBps = 0;
    double publishedBps = 0;
};

class QualityMetrics {
public:
    void sample(const LinkSample& link, const std::vector<PeerSample>& peers);
    void sampleUpload(const UploadSample& upload);
    void freeze(uint64_t uid, Micros duration);
    // The bitrate a peer is received at changed (a request applied, a new choice after a report).
    void receivedChanged(uint64_t uid, Micros at, ReceivedClass from, ReceivedClass to, double fromBps, double toBps);
    // Subscriber requests met or not by the streams published while their set was in force.
    void requestsEnded(int unmet) { m_unmetRequests += unmet; }
    // A frame of the peer was rendered, this long after it was sent.
    void rendered(uint64_t uid, Micros delay);
    void publishedChanged() { ++m_publishedSwitches; }

    // The summary's metrics, each with its unit and direction from the metric table, for the meeting and per peer.
    void summarize(RunSummary& summary) const;

private:
    struct PeerTotals {
        Micros present = 0;
        Micros upper = 0;
        Micros lower = 0;
        Micros none = 0;
        int freezes = 0;
        Micros frozen = 0;
        int switches = 0;
        int flaps = 0;
        int64_t rendered = 0;
        std::optional<Micros> lastRaise;
    };
    // A capacity drop: from the sample before demand rose above capacity until it is both cut and recovered.
    struct Episode {
        Micros start = 0;         // the time of the sample before the first one over capacity
        double demandBefore = 0;  // the demand of that sample: the level video recovers to
        bool confirmed = false;   // demand stayed above capacity for kDropPersistence
        bool cut = false;
        bool fell = false;  // the delivered bitrate over a second after the start was below the recovery level
        bool recovered = false;
        // The samples of the last second after the start, for the delivered bitrate's mean over that second.
        std::deque<std::pair<Micros, double>> lastSecond;  // (length, delivered bits)
    };

    void sampleEpisodes(const LinkSample& link);
    // The delivered bitrate over the last second, from the samples of the episode; nothing until they cover
    // a second.
    static std::optional<double> deliveredOverLastSecond(Episode& episode, const LinkSample& link);
    void sampleFairness(const LinkSample& link, const std::vector<PeerSample>& peers);
    // The smallest delay, in whole milliseconds, that at least percent % of the rendered frames do not exceed.
    Known<double> delayPercentile(double percent) const;

    std::map<uint64_t, PeerTotals> m_peers;
    Micros m_time = 0;
    double m_capacityBits = 0;
    double m_deliveredBits = 0;
    double m_idleHeadroomBits = 0;
    Micros m_overshoot = 0;
    Micros m_speaking = 0;
    Micros m_speakerUpper = 0;
    double m_fairnessSum = 0;
    int m_fairnessSamples = 0;
    // Capacity-drop episodes.
    double m_lastDemand = 0;
    std::optional<Episode> m_episode;
    std::vector<double> m_timesToCut;
    std::vector<double> m_timesToRecover;
    // Upload side.
    Micros m_uploadTime = 0;
    Micros m_uploadOvershoot = 0;
    bool m_uploadModelled = false;
    int m_unmetRequests = 0;
    int m_publishedSwitches = 0;
    // The peers' time at each received height band (QualityMetrics.cpp), tallest first.
    std::array<Micros, 5> m_timeAtHeight{};
    // Rendered frames by their delay in whole milliseconds (the last bucket holds every longer delay): bounded
    // memory however long the meeting.
    std::vector<int64_t> m_delayHistogram;
    int64_t m_renderedFrames = 0;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_QUALITYMETRICS_H
