// The mean difference between two sides measured on the same traces, with a percentile-bootstrap
// confidence interval that resamples the traces (each trace keeps its pair of values).
#ifndef KTRSDK_TOOLS_DIFF_PAIREDBOOTSTRAP_H
#define KTRSDK_TOOLS_DIFF_PAIREDBOOTSTRAP_H

#include <vector>

#include "SweepStatistics.h"

namespace ktr::diff {

struct DifferenceInterval {
    double mean = 0;  // mean of b[i] - a[i]
    double low = 0;   // 95 % interval of that mean
    double high = 0;

    bool holdsZero() const { return low <= 0 && 0 <= high; }
};

// The mean of non-empty values.
double meanOf(const std::vector<double>& values);

class PairedBootstrap {
public:
    explicit PairedBootstrap(const sim::BootstrapSettings& settings = {});

    const sim::BootstrapSettings& settings() const { return m_settings; }

    // a and b: one value per trace, of the same non-zero length (std::invalid_argument otherwise). The same
    // values and settings give the same interval.
    DifferenceInterval meanDifference(const std::vector<double>& a, const std::vector<double>& b) const;

private:
    sim::BootstrapSettings m_settings;
};

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_PAIREDBOOTSTRAP_H
