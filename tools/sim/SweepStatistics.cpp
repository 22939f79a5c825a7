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
    void add(size_t run, const MetricValue& metric) {
        const auto [found, added] = m_indexOf.emplace(metric.name, m_rows.size());
        if (added) {
            MetricDistribution row;
            row.metric = metric.name;
            row.unit = metric.unit;
            row.better = metric.better;
            m_rows.push_back({row, {}});
        }
        RowValues& row = m_rows[found->second];
        checkSameKind(run, row.row, metric);
        if (metric.value) {
            row.values.push_back(*metric.value);
        }
    }

    std::vector<RowValues>& rows() { return m_rows; }

private:
    static void checkSameKind(size_t run, const MetricDistribution& first, const MetricValue& metric) {
        if (metric.unit != first.unit || metric.better != first.better) {
            throw InputError(
                fmt::format("run {}: metric \"{}\": unit \"{}\" and direction \"{}\" differ from an "
                            "earlier run's \"{}\" and \"{}\"",
                            run, metric.name, metric.unit, metric.better, first.unit, first.better));
        }
    }

    std::vector<RowValues> m_rows;
    std::map<std::string, size_t> m_indexOf;
};

std::string number(double value) {
    std::string text = fmt::format("{:.{}f}", value, kShownDecimals);
    text.erase(text.find_last_not_of('0') + 1);
    if (text.back() == '.') {
        text.pop_back();
    }
    return text == "-0" ? "0" : text;
}

std::string interval(const Estimate& estimate) {
    return fmt::format("{} [{}, {}]", number(estimate.value), number(estimate.low), number(estimate.high));
}

std::vector<std::string> cellsOf(const MetricDistribution& row, uint64_t runs) {
    std::vector<std::string> cells = {row.metric, row.unit.empty() ? kNothing : row.unit, row.better,
                                      fmt::format("{}/{}", row.runs, runs)};
    for (const Known<Estimate>* statistic : {&row.p5, &row.median, &row.p95}) {
        cells.push_back(*statistic ? interval(**statistic) : kNothing);
    }
    return cells;
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

SweepTable sweepStatistics(const std::vector<RunSummary>& summaries, const BootstrapSettings& settings) {
    if (settings.resamples < 1 || settings.resamples > kMaxResamples) {
        throw InputError(
            fmt::format("bootstrap resamples: expected 1 to {}, got {}", kMaxResamples, settings.resamples));
    }
    RowCollector collector;
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
        if (!row.values.empty()) {
            addDistribution(std::move(row.values), settings, row.row);
        }
        table.metrics.push_back(std::move(row.row));
    }
    return table;
}

void writeSweepTable(std::ostream& out, const SweepTable& table) {
    std::vector<std::vector<std::string>> lines = {
        {"metric", "unit", "better", "runs", "p5 [lo, hi]", "median [lo, hi]", "p95 [lo, hi]"}};
    for (const MetricDistribution& row : table.metrics) {
        lines.push_back(cellsOf(row, table.runs));
    }
    std::vector<size_t> widths(lines.front().size(), 0);
    for (const std::vector<std::string>& cells : lines) {
        for (size_t column = 0; column < cells.size(); ++column) {
            widths[column] = std::max(widths[column], cells[column].size());
        }
    }
    out << fmt::format("{} runs; {} % confidence intervals: percentile bootstrap, {} resamples, seed {}\n", table.runs,
                       table.confidencePct, table.resamples, table.seed);
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

}  // namespace ktr::sim
