#include "MetricComparer.h"

#include <stdexcept>

namespace ktr::diff {
namespace {

constexpr const char* kHigher = "higher";
constexpr const char* kLower = "lower";

std::optional<Verdict> verdictOf(const DifferenceInterval& difference, const std::string& better) {
    if (better != kHigher && better != kLower) {
        return std::nullopt;
    }
    if (difference.holdsZero()) {
        return Verdict::NoClearDifference;
    }
    const bool rose = difference.low > 0;
    return rose == (better == kHigher) ? Verdict::Better : Verdict::Worse;
}

}  // namespace

const char* verdictName(Verdict verdict) {
    switch (verdict) {
        case Verdict::Better:
            return "better";
        case Verdict::Worse:
            return "worse";
        case Verdict::NoClearDifference:
            break;
    }
    return "no clear difference";
}

MetricComparison MetricComparer::compare(const MetricSeries& series) const {
    if (series.a.size() != series.b.size()) {
        throw std::invalid_argument("MetricComparer: one value per trace on each side is needed");
    }
    std::vector<double> a;
    std::vector<double> b;
    for (size_t i = 0; i < series.a.size(); ++i) {
        if (series.a[i] && series.b[i]) {
            a.push_back(*series.a[i]);
            b.push_back(*series.b[i]);
        }
    }
    MetricComparison comparison;
    comparison.metric = series.metric;
    comparison.unit = series.unit;
    comparison.better = series.better;
    comparison.definition = series.definition;
    comparison.traces = a.size();
    comparison.fewTraces = sim::restsOnFewRuns(a.size());
    comparison.a = series.a;
    comparison.b = series.b;
    if (a.empty()) {
        return comparison;
    }
    comparison.meanA = meanOf(a);
    comparison.meanB = meanOf(b);
    comparison.difference = m_bootstrap.meanDifference(a, b);
    comparison.verdict = verdictOf(*comparison.difference, series.better);
    return comparison;
}

}  // namespace ktr::diff
