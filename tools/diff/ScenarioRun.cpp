#include "ScenarioRun.h"

#include <istream>
#include <limits>

#include "InputFile.h"

namespace ktr::diff {
namespace {

// How a side's output is named in its errors (after the run's label).
constexpr const char* kOutputName = "its output";

}  // namespace

ScenarioRun::ScenarioRun(const std::array<ChildRun, 2>& runs, int64_t timeLimitMicros, TimelineComparer comparer,
                         const std::array<TimelineWriter*, 2>& writers)
    : m_comparer(std::move(comparer)) {
    for (size_t i = 0; i < m_sides.size(); ++i) {
        m_sides[i].child = std::make_unique<ChildStream>(runs[i], timeLimitMicros);
        m_sides[i].writer = writers[i];
    }
}

void ScenarioRun::addStreams(std::vector<ChildStream*>& streams) {
    for (Side& side : m_sides) {
        streams.push_back(side.child.get());
    }
}

bool ScenarioRun::readable(const Side& side) const {
    return side.error.empty() && !side.ended &&
           ((side.reader && side.reader->lineBuffered()) || side.child->lineWaiting() || side.child->outputEnded());
}

// Reading one side's steps may make the comparison want the other's: both are read until neither moves.
void ScenarioRun::advance() {
    for (bool moved = true; moved && !anySideFailed();) {
        moved = false;
        for (size_t i = 0; i < m_sides.size(); ++i) {
            try {
                moved = read(i) || moved;
            } catch (const InputError& error) {
                Side& side = m_sides[i];
                side.error = error.what();
                if (!side.child->outputEnded()) {
                    side.child->cancel();  // whatever follows is not a timeline either
                }
            }
        }
    }
    if (anySideFailed()) {
        for (Side& side : m_sides) {
            discardOutput(side);
        }
    }
}

// Keeps a side whose timeline is no longer compared from waiting on a full pipe.
// The reader may have left the stream at its end of file: it is cleared before every look.
void ScenarioRun::discardOutput(Side& side) {
    std::istream& lines = side.child->lines();
    while (true) {
        lines.clear();
        if (!side.child->lineWaiting() && !(side.child->outputEnded() && lines.peek() != EOF)) {
            return;
        }
        lines.ignore(std::numeric_limits<std::streamsize>::max(), '\n');
    }
}

// The side's header once it arrived, then its steps while the comparison wants them; whether it read any.
bool ScenarioRun::read(size_t index) {
    Side& side = m_sides[index];
    bool moved = false;
    if (!side.reader && readable(side)) {
        moved = true;
        side.reader.emplace(side.child->lines(), kOutputName);
        if (side.writer != nullptr) {
            side.writer->begin(side.reader->header());
        }
    }
    while (side.reader && m_comparer.wants(index) && readable(side)) {
        moved = true;
        if (!side.reader->next(m_step)) {
            side.ended = true;
            m_comparer.end(index);
            if (side.writer != nullptr) {
                side.writer->end();
            }
            return moved;
        }
        if (side.writer != nullptr) {
            side.writer->write(m_step);
        }
        m_comparer.add(index, m_step);
    }
    return moved;
}

bool ScenarioRun::sideFailed(const Side& side) const {
    return side.child->failed() || (!side.error.empty() && side.child->exited());
}

bool ScenarioRun::anySideFailed() const {
    return sideFailed(m_sides[0]) || sideFailed(m_sides[1]);
}

// A run that failed by itself is named by its failure: its output may end anywhere.
std::vector<std::string> ScenarioRun::failures() const {
    std::vector<std::string> failures;
    for (const Side& side : m_sides) {
        if (side.child->failed()) {
            failures.push_back(runProblem(side.child->result(), side.child->result().failure()));
        } else if (sideFailed(side)) {
            failures.push_back(runProblem(side.child->result(), side.error));
        }
    }
    return failures;
}

bool ScenarioRun::done() const {
    const bool failed = anySideFailed();
    for (const Side& side : m_sides) {
        if (!side.child->exited() || (!side.ended && !failed)) {
            return false;
        }
    }
    return true;
}

}  // namespace ktr::diff
