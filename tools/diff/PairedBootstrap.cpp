#include "PairedBootstrap.h"

#include <algorithm>
#include <numeric>
#include <random>
#include <stdexcept>

namespace ktr::diff {
namespace {

// The bounds of a 95 % interval: the 2.5th and 97.5th percentiles of the resampled means.
constexpr double kIntervalLow = 2.5;
constexpr double kIntervalHigh = 97.5;

}  // namespace

double meanOf(const std::vector<double>& values) {
    return std::accumulate(values.begin(), values.end(), 0.0) / static_cast<double>(values.size());
}

PairedBootstrap::PairedBootstrap(const sim::BootstrapSettings& settings) : m_settings(settings) {
    if (settings.resamples < 1 || settings.resamples > sim::kMaxResamples) {
        throw std::invalid_argument("PairedBootstrap: resamples out of range");
    }
}

DifferenceInterval PairedBootstrap::meanDifference(const std::vector<double>& a, const std::vector<double>& b) const {
    if (a.empty() || a.size() != b.size()) {
        throw std::invalid_argument("PairedBootstrap: one value per trace on each side is needed");
    }
    std::vector<double> differences(a.size());
    std::transform(b.begin(), b.end(), a.begin(), differences.begin(), std::minus<>());
    std::mt19937_64 engine(m_settings.seed);
    std::vector<double> means;
    means.reserve(static_cast<size_t>(m_settings.resamples));
    std::vector<double> resample(differences.size());
    for (int round = 0; round < m_settings.resamples; ++round) {
        for (double& value : resample) {
            value = differences[sim::uniformIndex(engine, differences.size())];
        }
        means.push_back(meanOf(resample));
    }
    std::sort(means.begin(), means.end());
    return {meanOf(differences), sim::percentile(means, kIntervalLow), sim::percentile(means, kIntervalHigh)};
}

}  // namespace ktr::diff
