// The chart of one timeline in the HTML report: its series as change points (each value holds until the
// next), its lanes (speaker, sharing, network status, each peer's HD/LD membership) as labelled spans,
// the simulator's freeze and switch markers, and where every step stands on the time axis.
#ifndef KTRSDK_TOOLS_COMMON_REPORTCHART_H
#define KTRSDK_TOOLS_COMMON_REPORTCHART_H

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <string>
#include <vector>

#include "Timeline.h"

namespace ktr {

class ReportChart {
public:
    struct Options {
        bool stepAxis = false;       // x is the step's index (a replay), else its time in seconds
        bool sampledSeries = false;  // the link's series and the peers' bitrates come as samples (a simulation)
    };
    explicit ReportChart(Options options) : m_options(options) {}

    void addStep(const TimelineStep& step);
    void addSample(double timeS, const std::string& kind, uint64_t uid, double value);
    nlohmann::json json() const;

private:
    struct Series {
        std::string name;
        std::string group;  // "link", "upload" or "peer"
        std::vector<double> x;
        std::vector<std::optional<double>> y;  // none: not known there
    };
    struct Lane {
        std::string name;
        std::vector<std::tuple<double, double, std::string>> spans;
        std::string open;  // the label of the span still open ("" when none is)
        double openedAt = 0;
    };

    void set(const std::string& name, const std::string& group, double x, std::optional<double> value);
    void setLane(const std::string& name, double x, const std::string& label);
    void addAnswerSeries(const TimelineStep& step, double x);
    void addStateSeries(const TimelineStep& step, double x);
    void addLanes(const TimelineStep& step, double x);

    Options m_options;
    std::vector<Series> m_series;  // in the order they first appear
    std::map<std::string, size_t> m_seriesIndex;
    std::vector<Lane> m_lanes;
    std::map<std::string, size_t> m_laneIndex;
    nlohmann::json m_markers = nlohmann::json::array();
    std::vector<double> m_stepX;
    double m_lastX = 0;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_REPORTCHART_H
