// Compares one step of two timelines of the same scenario: the answers field by field and, unless only
// answers count, the log lines (each line's format, level and field values, or the text of a line no
// format matches).
#ifndef KTRSDK_TOOLS_DIFF_STEPCOMPARER_H
#define KTRSDK_TOOLS_DIFF_STEPCOMPARER_H

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "Timeline.h"

namespace ktr::diff {

// One leaf of an answer: its path ("changed", "records[1].bitrate", "hd") and its value. Arrays of
// objects are taken apart element by element; arrays of plain values (the uid sets) are one leaf.
using AnswerField = std::pair<std::string, nlohmann::json>;
std::vector<AnswerField> answerFields(const nlohmann::json& answer);

// The answer as a timeline writes it: an object, or null for an event.
nlohmann::json answerJson(const Answer& answer);

// What one side did at a differing step.
struct StepSide {
    nlohmann::json answer;  // as answerJson writes it
    std::vector<FiredRule> rules;
};

struct StepDifference {
    int step = 0;
    std::string event;
    std::vector<std::string> fields;  // paths of the answer fields that differ, in the order of A's answer
    bool logDiffers = false;
    StepSide a;
    StepSide b;
};

struct TimelineComparison {
    size_t steps = 0;  // the steps compared
    std::vector<StepDifference> differences;
};

class StepComparer {
public:
    explicit StepComparer(bool answersOnly) : m_answersOnly(answersOnly) {}

    // Whether two steps differ, and how.
    bool differs(const TimelineStep& a, const TimelineStep& b, StepDifference& difference) const;

private:
    bool m_answersOnly;
};

// Whether two lines are the same: the same format with the same values at the same level, or, for lines no
// format matches, the same text at the same level.
bool sameLine(const FiredRule& a, const FiredRule& b);

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_STEPCOMPARER_H
