#include "StepComparer.h"

#include <fmt/format.h>

#include <algorithm>
#include <map>

#include "JsonOut.h"

namespace ktr::diff {
namespace {

using nlohmann::json;

bool holdsObjects(const json& array) {
    return !array.empty() && array.front().is_object();
}

void collectFields(const json& value, const std::string& path, std::vector<AnswerField>& fields) {
    if (value.is_object()) {
        for (const auto& [key, member] : value.items()) {
            collectFields(member, path.empty() ? key : fmt::format("{}.{}", path, key), fields);
        }
    } else if (value.is_array() && holdsObjects(value)) {
        for (size_t i = 0; i < value.size(); ++i) {
            collectFields(value[i], fmt::format("{}[{}]", path, i), fields);
        }
    } else {
        fields.emplace_back(path, value);
    }
}

// The paths whose values differ, A's order first, then the ones only B has.
std::vector<std::string> differingFields(const json& a, const json& b) {
    const std::vector<AnswerField> fieldsA = answerFields(a);
    const std::vector<AnswerField> fieldsB = answerFields(b);
    std::map<std::string, const json*> valuesB;
    for (const AnswerField& field : fieldsB) {
        valuesB.emplace(field.first, &field.second);
    }
    std::vector<std::string> paths;
    for (const AnswerField& field : fieldsA) {
        const auto other = valuesB.find(field.first);
        if (other == valuesB.end() || *other->second != field.second) {
            paths.push_back(field.first);
        }
        if (other != valuesB.end()) {
            valuesB.erase(other);
        }
    }
    for (const AnswerField& field : fieldsB) {
        if (valuesB.count(field.first) > 0) {
            paths.push_back(field.first);
        }
    }
    return paths;
}

bool sameLines(const std::vector<FiredRule>& a, const std::vector<FiredRule>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameLine);
}

}  // namespace

std::vector<AnswerField> answerFields(const json& answer) {
    std::vector<AnswerField> fields;
    if (!answer.is_null()) {
        collectFields(answer, "", fields);
    }
    return fields;
}

json answerJson(const Answer& answer) {
    std::string text;
    JsonOut out(text);
    writeAnswer(out, answer);
    return json::parse(text);
}

bool sameLine(const FiredRule& a, const FiredRule& b) {
    return a.level == b.level && a.line.format == b.line.format && a.line.values == b.line.values &&
           (a.line.format != nullptr || a.text == b.text);
}

bool StepComparer::differs(const TimelineStep& a, const TimelineStep& b, StepDifference& difference) const {
    const bool sameAnswer = a.answer == b.answer;
    const bool logDiffers = !m_answersOnly && !sameLines(a.rules, b.rules);
    if (sameAnswer && !logDiffers) {
        return false;
    }
    json answerA = answerJson(a.answer);
    json answerB = answerJson(b.answer);
    std::vector<std::string> fields = sameAnswer ? std::vector<std::string>() : differingFields(answerA, answerB);
    if (fields.empty() && !logDiffers) {
        return false;
    }
    difference.step = a.index;
    difference.event = a.event;
    difference.fields = std::move(fields);
    difference.logDiffers = logDiffers;
    difference.a = StepSide{std::move(answerA), a.rules};
    difference.b = StepSide{std::move(answerB), b.rules};
    return true;
}

}  // namespace ktr::diff
