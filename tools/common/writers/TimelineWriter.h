// A view of a timeline. Writers stream: each step is written as it arrives and then forgotten, so the
// length of a run does not bound what can be written.
#ifndef KTRSDK_TOOLS_COMMON_TIMELINEWRITER_H
#define KTRSDK_TOOLS_COMMON_TIMELINEWRITER_H

#include <memory>
#include <vector>

#include "Timeline.h"

namespace ktr {

class TimelineWriter {
public:
    virtual ~TimelineWriter() = default;
    virtual void begin(const TimelineHeader&) {}
    virtual void write(const TimelineStep& step) = 0;
    virtual void end() {}
};

// Hands every step to each of its writers in turn.
class WriterGroup : public TimelineWriter {
public:
    void add(std::unique_ptr<TimelineWriter> writer) { m_writers.push_back(std::move(writer)); }
    void begin(const TimelineHeader& header) override {
        for (auto& writer : m_writers) {
            writer->begin(header);
        }
    }
    void write(const TimelineStep& step) override {
        for (auto& writer : m_writers) {
            writer->write(step);
        }
    }
    void end() override {
        for (auto& writer : m_writers) {
            writer->end();
        }
    }

private:
    std::vector<std::unique_ptr<TimelineWriter>> m_writers;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_TIMELINEWRITER_H
