// Compares two timelines of the same scenario, as `ktr replay --json` writes them, step by step: the
// answers field by field and, unless only answers count, the log lines.
#ifndef KTRSDK_TOOLS_DIFF_STEPCOMPARER_H
#define KTRSDK_TOOLS_DIFF_STEPCOMPARER_H

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

namespace ktr::diff {

// One leaf of an answer: its path ("changed", "records[1].bitrate", "hd") and its value. Arrays of
// objects are taken apart element by element; arrays of plain values (the uid sets) are one leaf.
using AnswerField = std::pair<std::string, nlohmann::json>;
std::vector<AnswerField> answerFields(const nlohmann::json& answer);

struct StepDifference {
    int step = 0;
    std::string event;
    std::vector<std::string> fields;  // paths of the answer fields that differ, in the order of A's answer
    bool logDiffers = false;
    nlohmann::json a;  // each side's step: {"answer": ..., "log": [...]}
    nlohmann::json b;
};

struct TimelineComparison {
    size_t steps = 0;  // the steps compared
    std::vector<StepDifference> differences;
};

class StepComparer {
public:
    explicit StepComparer(bool answersOnly) : m_answersOnly(answersOnly) {}

    // Whether two steps differ, and how; both are objects of the timeline's JSON form.
    bool differs(const nlohmann::json& a, const nlohmann::json& b, StepDifference& difference) const;

    // Compares the steps that both timelines hold, matched by step number and event; a step only one side
    // has (the settings it alone installs) is not compared. Stops at the first difference unless all.
    TimelineComparison compare(const std::vector<nlohmann::json>& a, const std::vector<nlohmann::json>& b,
                               bool all) const;

private:
    bool m_answersOnly;
};

// The steps of a timeline in JSON Lines, without the header line. Throws InputError naming source and the
// line for a line that is not a JSON object with "step" and "event".
std::vector<nlohmann::json> timelineSteps(const std::string& lines, const std::string& source);

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_STEPCOMPARER_H
