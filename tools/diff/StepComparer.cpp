#include "StepComparer.h"

#include <fmt/format.h>

#include <map>
#include <sstream>
#include <tuple>

#include "InputFile.h"

namespace ktr::diff {
namespace {

using nlohmann::json;

// What a step without an answer (an event) or without lines stands for.
const json kNoAnswer;
const json kNoLines = json::array();

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

const json& fieldOr(const json& step, const char* name, const json& fallback) {
    return step.is_object() && step.contains(name) ? step.at(name) : fallback;
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

json sideOf(const json& step) {
    return {{"answer", fieldOr(step, "answer", kNoAnswer)}, {"log", fieldOr(step, "rules", kNoLines)}};
}

using StepKey = std::tuple<int, std::string, int>;  // step number, event, repeat of the pair

std::vector<StepKey> keysOf(const std::vector<json>& steps) {
    std::map<std::pair<int, std::string>, int> seen;
    std::vector<StepKey> keys;
    for (const json& step : steps) {
        const int number = step.at("step").get<int>();
        const std::string event = step.at("event").get<std::string>();
        keys.emplace_back(number, event, seen[{number, event}]++);
    }
    return keys;
}

}  // namespace

std::vector<AnswerField> answerFields(const json& answer) {
    std::vector<AnswerField> fields;
    if (!answer.is_null()) {
        collectFields(answer, "", fields);
    }
    return fields;
}

bool StepComparer::differs(const json& a, const json& b, StepDifference& difference) const {
    std::vector<std::string> fields = differingFields(fieldOr(a, "answer", kNoAnswer), fieldOr(b, "answer", kNoAnswer));
    const bool logDiffers = !m_answersOnly && fieldOr(a, "rules", kNoLines) != fieldOr(b, "rules", kNoLines);
    if (fields.empty() && !logDiffers) {
        return false;
    }
    difference.step = fieldOr(a, "step", json(0)).get<int>();
    difference.event = fieldOr(a, "event", json("")).get<std::string>();
    difference.fields = std::move(fields);
    difference.logDiffers = logDiffers;
    difference.a = sideOf(a);
    difference.b = sideOf(b);
    return true;
}

TimelineComparison StepComparer::compare(const std::vector<json>& a, const std::vector<json>& b, bool all) const {
    const std::vector<StepKey> keysB = keysOf(b);
    std::map<StepKey, const json*> stepsB;
    for (size_t i = 0; i < b.size(); ++i) {
        stepsB.emplace(keysB[i], &b[i]);
    }
    const std::vector<StepKey> keysA = keysOf(a);
    TimelineComparison result;
    for (size_t i = 0; i < a.size(); ++i) {
        const auto other = stepsB.find(keysA[i]);
        if (other == stepsB.end()) {
            continue;
        }
        ++result.steps;
        StepDifference difference;
        if (differs(a[i], *other->second, difference)) {
            result.differences.push_back(std::move(difference));
            if (!all) {
                break;
            }
        }
    }
    return result;
}

std::vector<json> timelineSteps(const std::string& lines, const std::string& source) {
    std::istringstream in(lines);
    std::vector<json> steps;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        json object;
        try {
            object = json::parse(line);
        } catch (const json::exception& error) {
            throw InputError(fmt::format("{}: line {}: not JSON: {}", source, number, error.what()));
        }
        if (!object.is_object()) {
            throw InputError(fmt::format("{}: line {}: not a JSON object", source, number));
        }
        if (object.contains("schema")) {
            continue;  // the header
        }
        if (!object.contains("step") || !object["step"].is_number_integer() || !object.contains("event") ||
            !object["event"].is_string()) {
            throw InputError(
                fmt::format("{}: line {}: a step needs \"step\" (an integer) and \"event\"", source, number));
        }
        steps.push_back(std::move(object));
    }
    return steps;
}

}  // namespace ktr::diff
