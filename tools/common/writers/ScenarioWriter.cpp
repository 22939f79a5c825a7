#include "ScenarioWriter.h"

#include "JsonOut.h"

namespace ktr {

namespace keys = scenariokeys;

ScenarioWriter::ScenarioWriter(std::ostream& out, const std::string& name, const std::string& comment,
                               const Init& local, UidRedactor* redactor)
    : m_out(out), m_redactor(redactor) {
    std::string text;
    JsonOut json(text);
    json.beginObject();
    json.key(keys::kName);
    json.string(name);
    json.key(keys::kComment);
    json.string(comment);
    json.key(keys::kLocal);
    json.beginObject();
    writeActionFields(json, redactor != nullptr ? redactor->action(local) : Action(local));
    json.endObject();
    json.key(keys::kSteps);
    m_out << text << "[";
}

void ScenarioWriter::write(const Action& action, const std::string& comment, std::optional<double> time) {
    std::string text;
    JsonOut json(text);
    json.beginObject();
    json.key(keys::kStep);
    json.string(actionName(action));
    if (time) {
        json.key(keys::kTime);
        json.number(*time);
    }
    writeActionFields(json, m_redactor != nullptr ? m_redactor->action(action) : action);
    if (!comment.empty()) {
        json.key(keys::kComment);
        json.string(comment);
    }
    json.endObject();
    m_out << (m_first ? "\n  " : ",\n  ") << text;
    m_first = false;
}

void ScenarioWriter::finish() {
    m_out << "\n]}\n";
}

}  // namespace ktr
