// The chart of one timeline in the HTML report: its series as change points (each value holds until the
// next, none where there is nothing to draw), its lanes (speaker, sharing, network status, and what each peer
// is received at, from ReceivedClasses) as labelled spans, its markers (the simulator's freezes and switches,
// the library's "no result" answers, each peer's moves between HD and LD), and where every step stands on the
// time axis.
#ifndef KTRSDK_TOOLS_COMMON_REPORTCHART_H
#define KTRSDK_TOOLS_COMMON_REPORTCHART_H

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "ReceivedClasses.h"
#include "Timeline.h"

namespace ktr {

class ReportChart {
public:
    struct Options {
        bool stepAxis = false;       // x is the step's index (a replay), else its time in seconds
        bool sampledSeries = false;  // the link's series and the peers' bitrates come as samples (a simulation)
    };
    explicit ReportChart(Options options);
    ReportChart(const ReportChart&) = delete;  // its classes call back into it
    ReportChart& operator=(const ReportChart&) = delete;

    void addStep(const TimelineStep& step);
    void addSample(double timeS, const std::string& kind, uint64_t uid, double value);
    nlohmann::json json() const;

private:
    struct Series {
        std::string name;
        std::string group;  // "link", "upload", "total", "request" or "peer"
        std::vector<double> x;
        std::vector<std::optional<double>> y;  // none: nothing there, or not known
        std::vector<std::string> labels;       // a text per point (a request's resolution), or none at all
    };
    struct Lane {
        std::string name;
        std::vector<std::tuple<double, double, std::string>> spans;
        std::string open;  // the label of the span still open ("" when none is)
        double openedAt = 0;
    };

    Series& seriesNamed(const std::string& name, const std::string& group);
    void set(const std::string& name, const std::string& group, double x, std::optional<double> value,
             const std::string& label = "");
    void setLane(const std::string& name, double x, const std::string& label);
    void addMarker(double x, const std::string& kind, uint64_t uid, const std::string& series);
    void addUploadSeries(const UploadAnswer& upload, double x);
    void addRequestSeries(const TimelineStep& step, double x);
    void addDefinitionMarkers(const HdLdAnswer& answer, double x);
    void addStateSeries(const TimelineStep& step, double x);
    void forgetSampledPeers(const TimelineStep& step, double x);
    double sampledTotal() const;
    void addLanes(const TimelineStep& step, double x);
    void addReceivedSpan(const ReceivedClasses::Span& span);

    Options m_options;
    std::vector<Series> m_series;  // in the order they first appear
    std::map<std::string, size_t> m_seriesIndex;
    std::vector<Lane> m_lanes;
    std::map<std::string, size_t> m_laneIndex;
    ReceivedClasses m_classes;
    std::map<uint64_t, std::vector<std::tuple<double, double, std::string>>> m_receivedSpans;  // closed ones
    std::map<uint64_t, std::string> m_definitions;  // each peer's "HD" or "LD" in the last split
    std::map<uint64_t, double> m_sampledBitrates;   // each peer's last received sample (a simulation)
    nlohmann::json m_markers = nlohmann::json::array();
    std::vector<double> m_stepX;
    double m_lastX = 0;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_REPORTCHART_H
