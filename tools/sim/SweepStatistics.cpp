#include "SweepStatistics.h"

#include <fmt/format.h>

#include <algorithm>
#include <array>
#include <limits>
#include <map>
#include <random>
#include <stdexcept>

#include "InputFile.h"
#include "RunMetrics.h"
#include "VisibleText.h"

namespace ktr::sim {
namespace {

constexpr double kP5 = 5;
constexpr double kMedian = 50;
constexpr double kP95 = 95;
// The bounds of a 95 % interval: the 2.5th and 97.5th percentiles of the resampled statistics.
constexpr int kConfidencePercent = 95;
constexpr double kIntervalLow = (100.0 - kConfidencePercent) / 2;
constexpr double kIntervalHigh = 100 - kIntervalLow;
// Decimals shown in the text table; trailing zeros are dropped.
constexpr int kShownDecimals = 3;
constexpr const char* kColumnGap = "  ";
constexpr const char* kNothing = "-";

Estimate estimate(const std::vector<double>& sorted, double percent, std::vector<double>& resampled) {
    std::sort(resampled.begin(), resampled.end());
    return {percentile(sorted, percent), percentile(resampled, kIntervalLow), percentile(resampled, kIntervalHigh)};
}

// Every metric row starts its own engine from the seed, so a row's intervals depend on its own values
// only, not on which other metrics the summaries carry.
void addDistribution(std::vector<double> values, const BootstrapSettings& settings, MetricDistribution& row) {
    std::sort(values.begin(), values.end());
    std::mt19937_64 engine(settings.seed);
    const size_t resamples = static_cast<size_t>(settings.resamples);
    std::array<std::vector<double>, 3> statistics;
    for (std::vector<double>& statistic : statistics) {
        statistic.reserve(resamples);
    }
    std::vector<double> resample(values.size());
    for (size_t round = 0; round < resamples; ++round) {
        for (double& value : resample) {
            value = values[uniformIndex(engine, values.size())];
        }
        std::sort(resample.begin(), resample.end());
        statistics[0].push_back(percentile(resample, kP5));
        statistics[1].push_back(percentile(resample, kMedian));
        statistics[2].push_back(percentile(resample, kP95));
    }
    row.p5 = estimate(values, kP5, statistics[0]);
    row.median = estimate(values, kMedian, statistics[1]);
    row.p95 = estimate(values, kP95, statistics[2]);
}

struct RowValues {
    MetricDistribution row;
    std::vector<double> values;
};

// The runs' values of every metric row, in the order the rows first appear.
class RowCollector {
public:
    explicit RowCollector(size_t runs) : m_runs(runs) {}

    void add(size_t run, const MetricValue& metric) {
        const auto [found, added] = m_indexOf.emplace(metric.name, m_rows.size());
        if (added) {
            MetricDistribution row;
            row.metric = metric.name;
            row.unit = metric.unit;
            row.better = metric.better;
            row.definition = metric.definition;
            row.perRun.resize(m_runs);
            m_rows.push_back({row, {}});
        }
        RowValues& row = m_rows[found->second];
        row.row.perRun.at(run) = metric.value;
        if (metric.value) {
            row.values.push_back(*metric.value);
        }
    }

    std::vector<RowValues>& rows() { return m_rows; }

private:
    size_t m_runs;
    std::vector<RowValues> m_rows;
    std::map<std::string, size_t> m_indexOf;
};

std::string interval(const Estimate& estimate) {
    return fmt::format("{} [{}, {}]", shortNumber(estimate.value), shortNumber(estimate.low),
                       shortNumber(estimate.high));
}

std::vector<std::string> cellsOf(const MetricDistribution& row, uint64_t runs) {
    std::vector<std::string> cells = {row.metric, row.unit.empty() ? kNothing : row.unit, row.better,
                                      fmt::format("{}/{}", row.runs, runs)};
    for (const Known<Estimate>* statistic : {&row.p5, &row.median, &row.p95}) {
        cells.push_back(*statistic ? interval(**statistic) : kNothing);
    }
    return cells;
}

// One line per run: its label (its index when the table has none), then its value of every metric row.
std::vector<std::vector<std::string>> perRunLines(const SweepTable& table, const Population& over) {
    std::vector<std::vector<std::string>> lines = {{over.one}};
    for (const MetricDistribution& row : table.metrics) {
        lines.front().push_back(row.metric);
    }
    for (size_t run = 0; run < table.runs; ++run) {
        lines.push_back({run < table.runLabels.size() ? table.runLabels[run] : std::to_string(run)});
        for (const MetricDistribution& row : table.metrics) {
            lines.back().push_back(shortNumber(run < row.perRun.size() ? row.perRun[run] : std::nullopt));
        }
    }
    return lines;
}

}  // namespace

size_t uniformIndex(std::mt19937_64& engine, size_t count) {
    const uint64_t limit = std::numeric_limits<uint64_t>::max() - std::numeric_limits<uint64_t>::max() % count;
    uint64_t draw = engine();
    while (draw >= limit) {
        draw = engine();
    }
    return static_cast<size_t>(draw % count);
}

double percentile(const std::vector<double>& sorted, double percent) {
    if (sorted.empty() || !(percent >= 0 && percent <= 100)) {
        throw std::invalid_argument("a percentile needs values and a percent from 0 to 100");
    }
    const double rank = static_cast<double>(sorted.size() - 1) * percent / 100;
    const size_t below = static_cast<size_t>(rank);
    if (below + 1 >= sorted.size()) {
        return sorted.back();
    }
    // Weighted as (1 - f) * a + f * b, which cannot overflow for finite a and b.
    const double fraction = rank - static_cast<double>(below);
    return (1 - fraction) * sorted[below] + fraction * sorted[below + 1];
}

SweepTable sweepStatistics(const std::vector<RunSummary>& summaries, const BootstrapSettings& settings,
                           const Population& over) {
    if (settings.resamples < 1 || settings.resamples > kMaxResamples) {
        throw InputError(
            fmt::format("bootstrap resamples: expected 1 to {}, got {}", kMaxResamples, settings.resamples));
    }
    RowCollector collector(summaries.size());
    for (size_t run = 0; run < summaries.size(); ++run) {
        std::vector<MetricValue> metrics;
        try {
            metrics = runMetricRows(summaries[run]);
        } catch (const InputError& error) {
            throw InputError(fmt::format("run {}: {}", run, error.what()));
        }
        for (const MetricValue& metric : metrics) {
            collector.add(run, metric);
        }
    }
    SweepTable table;
    table.runs = summaries.size();
    table.confidencePct = kConfidencePercent;
    table.resamples = settings.resamples;
    table.seed = settings.seed;
    for (RowValues& row : collector.rows()) {
        row.row.runs = row.values.size();
        row.row.fewRuns = restsOnFewRuns(row.row.runs);
        if (!row.values.empty()) {
            addDistribution(std::move(row.values), settings, row.row);
        }
        table.metrics.push_back(std::move(row.row));
    }
    std::vector<uint64_t> counts;
    for (const MetricDistribution& row : table.metrics) {
        counts.push_back(row.runs);
    }
    table.warning = fewRunsWarning(counts, over.many);
    return table;
}

SweepTable labelledSweepStatistics(const std::vector<LabelledSummary>& runs, const BootstrapSettings& settings,
                                   const Population& over) {
    SweepTable table = sweepStatistics(summariesOf(runs), settings, over);
    for (const LabelledSummary& run : runs) {
        table.runLabels.push_back(run.label);
    }
    return table;
}

bool restsOnFewRuns(uint64_t runs) {
    return runs > 0 && runs < kFewestRunsForIntervals;
}

Known<std::string> fewRunsWarning(const std::vector<uint64_t>& counts, const std::string& what) {
    uint64_t few = 0;
    uint64_t fewest = kFewestRunsForIntervals;
    uint64_t intervals = 0;
    for (uint64_t count : counts) {
        intervals += count > 0 ? 1 : 0;
        if (restsOnFewRuns(count)) {
            ++few;
            fewest = std::min(fewest, count);
        }
    }
    if (few == 0) {
        return std::nullopt;
    }
    return fmt::format(
        "warning: {} of {} intervals rest on fewer than {} {} (the fewest on {}): intervals from so "
        "few are rough",
        few, intervals, kFewestRunsForIntervals, what, fewest);
}

std::string shortNumber(const Known<double>& value) {
    if (!value) {
        return kNothing;
    }
    std::string text = fmt::format("{:.{}f}", *value, kShownDecimals);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') {
        text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

void writeColumns(std::ostream& out, const std::vector<std::vector<std::string>>& lines) {
    std::vector<size_t> widths;
    for (const std::vector<std::string>& cells : lines) {
        widths.resize(std::max(widths.size(), cells.size()), 0);
        for (size_t column = 0; column < cells.size(); ++column) {
            widths[column] = std::max(widths[column], cells[column].size());
        }
    }
    for (const std::vector<std::string>& cells : lines) {
        std::string line;
        for (size_t column = 0; column < cells.size(); ++column) {
            line += column == 0 ? "" : kColumnGap;
            line += fmt::format("{:<{}}", cells[column], widths[column]);
        }
        line.erase(line.find_last_not_of(' ') + 1);
        out << line << "\n";
    }
}

namespace {

// The runs that gave no summary, each with its reason; nothing when none failed.
void writeFailedRuns(std::ostream& out, const SweepTable& table, const Population& over) {
    if (table.failed.empty()) {
        return;
    }
    out << fmt::format("{} of {} {} failed and are left out of the table:\n", table.failed.size(),
                       table.runs + table.failed.size(), over.many);
    for (const FailedRunRow& run : table.failed) {
        out << visibleText(fmt::format("  {} ({} {}): {}", run.run, over.one, run.index, run.reason)) << "\n";
    }
}

}  // namespace

void writeSweepTable(std::ostream& out, const SweepTable& table, const Population& over) {
    std::vector<std::vector<std::string>> lines = {
        {"metric", "unit", "better", over.many, "p5 [lo, hi]", "median [lo, hi]", "p95 [lo, hi]"}};
    for (const MetricDistribution& row : table.metrics) {
        lines.push_back(cellsOf(row, table.runs));
    }
    out << fmt::format("{} {}; {} % confidence intervals: percentile bootstrap, {} resamples, seed {}\n", table.runs,
                       over.many, table.confidencePct, table.resamples, table.seed);
    writeColumns(out, lines);
    if (table.warning) {
        out << *table.warning << "\n";
    }
    writeFailedRuns(out, table, over);
    out << "\nper " << over.one << ":\n";
    writeColumns(out, perRunLines(table, over));
}

}  // namespace ktr::sim
