#include "MetricTable.h"

namespace ktr {

const std::vector<MetricDefinition>& metricTable() {
    static const std::vector<MetricDefinition> table = {
        {"time_upper_pct", "%", "higher", MetricShape::Value, true,
         "Time a present peer is received on the upper stream of its device type (that stream's definition class or "
         "at least its bitrate), over the peers' time in the meeting."},
        {"time_lower_pct", "%", "lower", MetricShape::Value, true,
         "Time a present peer is received on a stream below its upper one, over the peers' time in the meeting."},
        {"time_none_pct", "%", "lower", MetricShape::Value, true,
         "Time a present peer is received on no stream, over the peers' time in the meeting."},
        {"speaker_hd_pct", "%", "higher", MetricShape::Value, false,
         "Time a remote speaker is received on its upper stream, over the time a remote peer speaks."},
        {"freezes_per_min", "1/min", "lower", MetricShape::Value, true,
         "Freezes (a gap between two rendered frames of at least max(3 m, m + 150 ms), m the mean of the last 30 "
         "frame intervals) per minute of peer presence."},
        {"freeze_time_pct", "%", "lower", MetricShape::Value, true,
         "Time inside those freezes, over the peers' time in the meeting."},
        {"switches_per_min", "1/min", "lower", MetricShape::Value, true,
         "Changes of a peer's received class (upper, lower, none) per minute of peer presence."},
        {"flaps_per_min", "1/min", "lower", MetricShape::Value, true,
         "Cuts of a peer's received bitrate within 10 s of a raise of the same peer (each raise ends at most one "
         "flap), per minute of peer presence."},
        {"received_fps", "1/s", "higher", MetricShape::Value, true,
         "Frames rendered of a peer (arrived, and not waiting for a key frame after a loss) per second of its "
         "presence."},
        {"frame_delay_p50_ms", "ms", "lower", MetricShape::Value, false,
         "Median of the rendered frames' end-to-end delay, from the sender's frame to its arrival at the receiver "
         "(in a conference from the publisher, through its uplink, the server and the downlink), in whole "
         "milliseconds; null when no frame was rendered."},
        {"frame_delay_p95_ms", "ms", "lower", MetricShape::Value, false,
         "95th percentile of the same delays (the smallest delay that at least 95 % of the rendered frames do not "
         "exceed)."},
        {"utilization_pct", "%", "higher", MetricShape::Value, false,
         "Bits that left the downlink's bottleneck in the sampling intervals (the series' delivered: the bits "
         "carried in each interval, never more than its capacity), over the bits the downlink could carry in them."},
        {"overshoot_time_pct", "%", "lower", MetricShape::Value, false,
         "Time with demand (the sum of the received streams' bitrates) above the downlink's capacity, over the "
         "sampled time."},
        {"idle_headroom_pct", "%", "lower", MetricShape::Value, false,
         "Capacity minus delivered bits over the sampling intervals in which some present peer is not received on "
         "its upper stream, over all the downlink's capacity; as it and utilization_pct count the same intervals "
         "against the same capacity, they add up to at most 100 %."},
        {"time_to_cut_s", "s", "lower", MetricShape::Episodes, false,
         "Per capacity drop (demand above capacity for at least 1 s), from the drop's start (the time of the "
         "sample before the first one with demand above capacity) to the first sample with demand at or below "
         "capacity; median and max over the drops."},
        {"time_to_recover_s", "s", "lower", MetricShape::Episodes, false,
         "Per capacity drop (as for time_to_cut_s) in which delivery fell (the delivered bitrate over a second after "
         "the drop's start below 90 % of the demand at the start), from the drop's start to the first sample at "
         "which the delivered bitrate over the last second is back at 90 % of that demand; median and max over the "
         "drops that recover before the meeting ends."},
        {"jain_fairness", "", "higher", MetricShape::Value, false,
         "Jain's index (sum x)^2 / (n sum x^2) of received over upper bitrate among present peers of equal "
         "standing (device type and published streams; the speaker and the sharer left out), averaged over every "
         "sample's groups of two or more such peers."},
        {"upload_overshoot_pct", "%", "lower", MetricShape::Value, false,
         "Time the published camera streams' bitrate exceeds the uplink's capacity, over the sampled time; null "
         "without an uplink."},
        {"unmet_requests", "requests", "lower", MetricShape::Value, false,
         "Subscriber requests that no published camera stream carried at their bitrate, as the host sent it, or "
         "more while their set was in force."},
        {"published_switches_per_min", "1/min", "lower", MetricShape::Value, false,
         "Changes of the published camera streams (an upload answer that publishes another set than the one in "
         "force; the first publication is none) per minute of sampled time."},
        {"time_720p_pct", "%", "higher", MetricShape::Value, false,
         "Time a present peer is received on a stream at least 720 rows (720p and above) high, over the peers' time in "
         "the meeting."},
        {"time_480p_pct", "%", "none", MetricShape::Value, false,
         "Time a present peer is received on a stream 480 to 719 rows high, over the peers' time in the meeting."},
        {"time_360p_pct", "%", "none", MetricShape::Value, false,
         "Time a present peer is received on a stream 360 to 479 rows high, over the peers' time in the meeting."},
        {"time_240p_pct", "%", "none", MetricShape::Value, false,
         "Time a present peer is received on a stream 240 to 359 rows high, over the peers' time in the meeting."},
        {"time_below_240p_pct", "%", "lower", MetricShape::Value, false,
         "Time a present peer is received on a stream 1 to 239 rows high, over the peers' time in the meeting."},
    };
    return table;
}

const MetricDefinition* findMetric(const std::string& name) {
    for (const MetricDefinition& metric : metricTable()) {
        if (name == metric.name) {
            return &metric;
        }
    }
    return nullptr;
}

}  // namespace ktr
