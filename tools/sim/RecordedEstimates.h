// Download estimates recorded from a real client, replayed in place of the estimator model: a CSV of
// time_s,status,score,bitrate,max_bitrate, each row holding until the next.
#ifndef KTRSDK_TOOLS_SIM_RECORDEDESTIMATES_H
#define KTRSDK_TOOLS_SIM_RECORDEDESTIMATES_H

#include <string>
#include <vector>

#include "LinkEstimator.h"
#include "Units.h"

namespace ktr::sim {

class RecordedEstimates {
public:
    // Throws InputError naming the file and the line for a missing header, a row that is not five numbers,
    // values beyond 32 bits, times that do not increase, or no row at all.
    static RecordedEstimates read(const std::string& path);

    // The row in force at now; nullptr before the first row's time.
    const LinkEstimate* at(Micros now) const;

private:
    std::vector<Micros> m_times;
    std::vector<LinkEstimate> m_rows;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_RECORDEDESTIMATES_H
