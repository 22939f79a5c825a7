// Simulates one meeting over every trace of a folder on two sides and compares every metric of
// `ktr sim`: each side's mean, the difference with a bootstrap interval over the traces, and a verdict.
// Every run is a process of its own (`ktr sim MEETING --summary-only --downlink TRACE`).
#ifndef KTRSDK_TOOLS_DIFF_SIMDIFFER_H
#define KTRSDK_TOOLS_DIFF_SIMDIFFER_H

#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "ChildPool.h"
#include "DiffSide.h"
#include "MetricComparer.h"
#include "Summary.h"
#include "Sweep.h"

namespace ktr::diff {

constexpr double kDefaultSimTimeoutS = sim::kDefaultRunTimeLimitS;

struct SimDiffOptions {
    std::string meetingPath;
    std::string tracesDir;
    double durationS = 0;                   // 0: the meeting's own
    int jobs = 0;                           // runs at once; 0: one per core
    double timeoutS = kDefaultSimTimeoutS;  // 0: no limit
    std::string program;                    // the ktr that simulates; empty: this program
};

struct SimDiff {
    std::string meeting;              // as given
    std::vector<std::string> traces;  // file names, in run order
    sim::BootstrapSettings bootstrap;
    std::vector<MetricComparison> metrics;  // in the order of the summaries

    // Whether some metric tells the sides apart.
    bool differs() const;
    // The warning for the metrics whose interval rests on few traces; null when none does.
    Known<std::string> fewTracesWarning() const;
};

// The metrics of the summaries that `ktr sim --summary-only` printed for A and for B on the same traces
// (a[i] and b[i] ran over trace i), compared metric by metric, each with both sides' value on every trace.
// Throws InputError for a summary that is not one this ktr writes.
std::vector<MetricComparison> compareSummaries(const std::vector<RunSummary>& a, const std::vector<RunSummary>& b,
                                               const PairedBootstrap& bootstrap);

class SimDiffer {
public:
    SimDiffer(DiffSide a, DiffSide b, SimDiffOptions options);

    // Throws InputError for bad input (before any run), and naming the side and trace of a run that failed.
    SimDiff run() const;

private:
    std::vector<std::string> simCommand(const DiffSide& side, const std::string& trace) const;
    std::vector<ChildRun> runsOver(const std::vector<std::string>& traces) const;

    DiffSide m_a;
    DiffSide m_b;
    SimDiffOptions m_options;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_SIMDIFFER_H
