// --redact: every uid replaced by a pseudonym, the same one for the same uid throughout a run, in the
// structured data (steps, answers, states, series, summaries, scenarios) and in the texts: a log line that
// the catalogue knows is printed again with its uid fields replaced; in other texts a number after "peer",
// "user", "uid", "speaker" or "sharer" that is a uid seen so far is replaced.
#ifndef KTRSDK_TOOLS_COMMON_UIDREDACTOR_H
#define KTRSDK_TOOLS_COMMON_UIDREDACTOR_H

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <string_view>

#include "Summary.h"
#include "Timeline.h"

namespace ktr {

// The help of every command's --redact.
constexpr const char* kRedactHelp =
    "replace every uid by a pseudonym (the same for the same uid throughout the run) in every output";

class UidRedactor {
public:
    // Pseudonyms are numbered from here in the order the uids are first seen; 0 (nobody) stays 0.
    static constexpr uint64_t kFirstPseudonym = 990000001;

    uint64_t pseudonym(uint64_t uid);
    std::string text(std::string_view text) const;
    // The step with its uids replaced; its state points at the redacted state this redactor keeps.
    TimelineStep step(TimelineStep step);
    Action action(Action action);
    RunSummary summary(RunSummary summary);
    LogSummaryReport summary(LogSummaryReport summary);

private:
    void registerUids(const TimelineStep& step);
    User user(User user);
    std::set<uint64_t> uids(const std::set<uint64_t>& uids);
    StateChange change(StateChange change);
    FiredRule rule(FiredRule rule);

    std::map<uint64_t, uint64_t> m_pseudonyms;
    StateSnapshot m_state;  // the redacted state after the steps so far
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_UIDREDACTOR_H
