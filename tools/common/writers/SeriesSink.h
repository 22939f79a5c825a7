// Receives the sampled series of a simulation (capacity, estimate, demand, delivered, each peer's received
// bitrate, freezes, switches): the CSV of --series and the HTML report read the same samples.
#ifndef KTRSDK_TOOLS_COMMON_SERIESSINK_H
#define KTRSDK_TOOLS_COMMON_SERIESSINK_H

#include <cstdint>
#include <vector>

namespace ktr {

class SeriesSink {
public:
    virtual ~SeriesSink() = default;
    // uid is 0 for the link's series.
    virtual void sample(double timeS, const char* kind, uint64_t uid, double value) = 0;
};

// Hands every sample to each of its sinks.
class SeriesGroup : public SeriesSink {
public:
    void add(SeriesSink* sink) {
        if (sink != nullptr) {
            m_sinks.push_back(sink);
        }
    }
    bool empty() const { return m_sinks.empty(); }
    void sample(double timeS, const char* kind, uint64_t uid, double value) override {
        for (SeriesSink* sink : m_sinks) {
            sink->sample(timeS, kind, uid, value);
        }
    }

private:
    std::vector<SeriesSink*> m_sinks;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_SERIESSINK_H
