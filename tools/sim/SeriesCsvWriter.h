// The sampled series as CSV (`time_s,kind,uid,value`), the input of tools/plot_sim.py.
#ifndef KTRSDK_TOOLS_SIM_SERIESCSVWRITER_H
#define KTRSDK_TOOLS_SIM_SERIESCSVWRITER_H

#include <ostream>

#include "SeriesSink.h"

namespace ktr::sim {

class SeriesCsvWriter : public SeriesSink {
public:
    explicit SeriesCsvWriter(std::ostream& out);
    void sample(double timeS, const char* kind, uint64_t uid, double value) override;

private:
    std::ostream& m_out;
};

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_SERIESCSVWRITER_H
