// A replayable scenario from what a client's log shows: every rebuilt input and question in order, each
// gap filled by a stated assumption in the step's comment; and, once replayed, how many of the logged
// decisions the scenario reproduces.
#ifndef KTRSDK_TOOLS_LOG_SCENARIOREBUILDER_H
#define KTRSDK_TOOLS_LOG_SCENARIOREBUILDER_H

#include <nlohmann/json.hpp>
#include <optional>
#include <ostream>
#include <set>
#include <string>
#include <vector>

#include "DefinitionTable.h"
#include "ScenarioWriter.h"
#include "SdkLibrary.h"
#include "Timeline.h"

namespace ktr::log {

struct Reproduction {
    int reproduced = 0;
    int logged = 0;  // decisions the log carries (download requests and camera streams)
};

class ScenarioRebuilder {
public:
    ScenarioRebuilder(std::ostream& out, const std::string& name);

    void add(const ktr::TimelineStep& step);
    void finish();

    // Replays the written scenario on a new instance and compares its answers with the logged ones,
    // question by question, on the fields the log carries. Keeps one record list per logged question.
    Reproduction reproduce(const std::string& scenarioPath, const ktr::SdkLibrary& library) const;

private:
    std::string assume(ktr::Action& action);
    void noteUsers(const ktr::Action& action);
    void matchUserCount(const ktr::TimelineStep& step);

    std::ostream& m_out;
    std::string m_name;
    std::optional<ktr::ScenarioWriter> m_writer;
    ktr::DefinitionTable m_definitions;
    std::vector<nlohmann::json> m_logged;
    std::set<uint64_t> m_users;  // remote users the scenario has added so far
    std::set<uint64_t> m_seen;   // uids the log names (reports, user lists)  // per download or camera question: its
                                 // records, null when unknown
};

}  // namespace ktr::log

#endif  // KTRSDK_TOOLS_LOG_SCENARIOREBUILDER_H
