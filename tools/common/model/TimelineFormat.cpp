#include "TimelineFormat.h"

#include <fmt/format.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <string_view>

#include "InputFile.h"
#include "LogPattern.h"

namespace ktr {
namespace {

using json = JsonValue;

// Header keys.
constexpr const char* kSchema = "schema";
constexpr const char* kCommand = "command";
constexpr const char* kSource = "source";
constexpr const char* kProvenance = "provenance";
constexpr const char* kStateWriting = "state";
constexpr const char* kTimed = "timed";
constexpr const char* kCatalogue = "catalogue";
// Catalogue entry keys.
constexpr const char* kId = "id";
constexpr const char* kTag = "tag";
constexpr const char* kLevel = "level";
constexpr const char* kFormat = "format";
constexpr const char* kFields = "fields";
constexpr const char* kExplanation = "explanation";
// Step keys.
constexpr const char* kStep = "step";
constexpr const char* kTime = "time";
constexpr const char* kEvent = "event";
constexpr const char* kInput = "input";
constexpr const char* kAnswer = "answer";
constexpr const char* kRules = "rules";
constexpr const char* kNotes = "notes";
constexpr const char* kNoteKinds = "note_kinds";
constexpr const char* kMismatches = "mismatches";
constexpr const char* kState = "state";
// Rule keys; "level" and "fields" as in the catalogue.
constexpr const char* kFormatId = "format_id";
constexpr const char* kText = "text";

constexpr std::string_view kTagPrefix = "[%s]: ";
constexpr const char* kStateChanges = "changes";
constexpr const char* kStateEvery = "every";
// A step's line is a few KiB; a longer line is not a timeline's.
constexpr size_t kMaxLineLength = size_t{64} * 1024 * 1024;
constexpr size_t kReadBlock = size_t{64} * 1024;

constexpr std::pair<LogLevel, const char*> kLevelNames[] = {
    {LogLevel::Info, "info"}, {LogLevel::Warning, "warning"}, {LogLevel::Error, "error"}};

void writeStrings(JsonOut& out, const char* key, const std::vector<std::string>& texts) {
    out.key(key);
    codec::writeValue(out, texts);
}

void writeCatalogue(JsonOut& out) {
    out.key(kCatalogue);
    out.beginArray();
    for (const LogFormat& format : logCatalogue()) {
        out.beginObject();
        out.key(kId);
        out.string(format.id);
        out.key(kTag);
        out.string(format.tag);
        out.key(kLevel);
        out.string(levelName(format.level));
        out.key(kFormat);
        out.string(format.format);
        out.key(kFields);
        out.beginArray();
        for (std::string_view field : format.fields) {
            out.string(field);
        }
        out.endArray();
        out.key(kExplanation);
        out.string(format.explanation);
        out.endObject();
    }
    out.endArray();
}

// The constant parts of a known format's rules, written once for the whole catalogue: a rule is its head,
// its level, then each field's key and value. A log's lines are nearly all such rules.
class RuleTemplates {
public:
    static const RuleTemplates& instance() {
        static const RuleTemplates templates;
        return templates;
    }

    // Every conversion of a format is an integer (%d or %llu), matched as the library prints it, so a
    // value stands in the JSON as it is.
    void write(JsonOut& out, const FiredRule& rule) const {
        const LogFormat& format = *rule.line.format;
        const Template& parts = m_templates[static_cast<size_t>(&format - logCatalogue().data())];
        out.raw(parts.head);
        std::string& text = out.buffer();
        text += levelName(rule.level);
        text += parts.afterLevel;
        for (size_t i = 0; i < parts.keys.size() && i < rule.line.values.size(); ++i) {
            text += parts.keys[i];
            text += rule.line.values[i];
        }
        text += "}}";
    }

private:
    struct Template {
        std::string head;               // {"format_id":"ID","level":"
        std::string afterLevel;         // ","fields":{
        std::vector<std::string> keys;  // "name": (with a comma before all but the first)
    };

    RuleTemplates() {
        for (const LogFormat& format : logCatalogue()) {
            Template parts;
            JsonOut head(parts.head);
            head.beginObject();
            head.key(kFormatId);
            head.string(format.id);
            head.key(kLevel);
            parts.head += '"';  // up to the level's opening quote
            parts.afterLevel = std::string("\",\"") + kFields + "\":{";
            for (size_t i = 0; i < format.fields.size(); ++i) {
                std::string key = i == 0 ? "" : ",";
                JsonOut(key).string(format.fields[i]);
                parts.keys.push_back(key + ":");
            }
            m_templates.push_back(std::move(parts));
        }
    }

    std::vector<Template> m_templates;  // by catalogue position
};

void writeRule(JsonOut& out, const FiredRule& rule) {
    if (rule.line.format != nullptr) {
        RuleTemplates::instance().write(out, rule);
        return;
    }
    out.beginObject();
    out.key(kFormatId);
    out.null();
    out.key(kLevel);
    out.string(levelName(rule.level));
    out.key(kText);
    out.string(rule.text);
    out.endObject();
}

LogLevel readLevel(FieldReader& in) {
    const std::string text = in.text(kLevel, "");
    for (const auto& [level, name] : kLevelNames) {
        if (text == name) {
            return level;
        }
    }
    in.fail(kLevel, "expected \"info\", \"warning\" or \"error\", got " + FieldReader::describe(in.child(kLevel)));
}

std::vector<std::string> readStrings(FieldReader& in, const char* key) {
    std::vector<std::string> texts;
    if (in.contains(key)) {
        codec::readValue(in, key, texts, Nulls::Refused);
    }
    return texts;
}

// One kind per note, "" for a note of no kind; left out when no note has a kind.
void writeNoteKinds(JsonOut& out, const TimelineStep& step) {
    const auto hasKind = [](const std::string& kind) { return !kind.empty(); };
    if (std::none_of(step.noteKinds.begin(), step.noteKinds.end(), hasKind)) {
        return;
    }
    std::vector<std::string> kinds = step.noteKinds;
    kinds.resize(step.notes.size());
    writeStrings(out, kNoteKinds, kinds);
}

std::vector<std::string> readNoteKinds(FieldReader& in, size_t noteCount) {
    std::vector<std::string> kinds = readStrings(in, kNoteKinds);
    if (in.contains(kNoteKinds) && kinds.size() != noteCount) {
        in.fail(kNoteKinds, fmt::format("{} kind(s) for {} note(s)", kinds.size(), noteCount));
    }
    return kinds;
}

}  // namespace

const char* levelName(LogLevel level) {
    for (const auto& [known, name] : kLevelNames) {
        if (known == level) {
            return name;
        }
    }
    return "";
}

std::string FiredRule::explanation() const {
    return line.format != nullptr ? line.explanation() : kUnknownLineExplanation;
}

void writeTimelineHeader(JsonOut& out, const TimelineHeader& header) {
    out.beginObject();
    out.key(kSchema);
    out.integer(kTimelineSchema);
    out.key(kCommand);
    out.string(header.command);
    out.key(kSource);
    out.string(header.source);
    out.key(kProvenance);
    codec::writeValue(out, header.provenance);
    out.key(kStateWriting);
    out.string(header.state == StateWriting::Every ? kStateEvery : kStateChanges);
    out.key(kTimed);
    out.boolean(header.timed);
    writeCatalogue(out);
    out.endObject();
}

void writeTimelineStep(JsonOut& out, const TimelineStep& step, bool wholeState) {
    out.beginObject();
    out.key(kStep);
    out.integer(step.index);
    out.key(kTime);
    codec::writeValue(out, step.time);
    out.key(kEvent);
    out.string(step.event);
    out.key(kInput);
    out.beginObject();
    writeActionFields(out, step.action);
    out.endObject();
    out.key(kAnswer);
    writeAnswer(out, step.answer);
    out.key(kRules);
    out.beginArray();
    for (const FiredRule& rule : step.rules) {
        writeRule(out, rule);
    }
    out.endArray();
    if (!step.notes.empty()) {
        writeStrings(out, kNotes, step.notes);
    }
    writeNoteKinds(out, step);
    if (!step.mismatches.empty()) {
        writeStrings(out, kMismatches, step.mismatches);
    }
    out.key(kState);
    if (wholeState && step.state != nullptr) {
        writeState(out, StateChange::whole(*step.state));
    } else {
        writeState(out, step.change);
    }
    out.endObject();
}

TimelineReader::TimelineReader(std::istream& in, std::string source) : m_in(in), m_source(std::move(source)) {
    readHeader();
}

// Lines are cut from blocks read ahead, found by a search of the block: a step's line is read at the pace of the
// stream, not a character at a time.
bool TimelineReader::readLine(std::string& line) {
    line.clear();
    for (;;) {
        const size_t end = std::string_view(m_block).find('\n', m_blockPos);
        const bool ended = end != std::string_view::npos;
        const size_t length = (ended ? end : m_block.size()) - m_blockPos;
        if (line.size() + length > kMaxLineLength) {
            throw InputError(
                fmt::format("{}: line {}: longer than {} bytes: not a timeline", m_source, m_line + 1, kMaxLineLength));
        }
        line.append(m_block, m_blockPos, length);
        m_blockPos += length;
        if (ended) {
            ++m_blockPos;
            ++m_line;
            return true;
        }
        if (m_in.eof() && !m_in.bad()) {
            m_in.clear();  // a stream that grows (a child's output) may hold more by now
        }
        m_block.resize(kReadBlock);
        m_in.read(m_block.data(), static_cast<std::streamsize>(m_block.size()));
        m_block.resize(static_cast<size_t>(m_in.gcount()));
        m_blockPos = 0;
        if (m_block.empty()) {
            if (line.empty()) {
                return false;
            }
            ++m_line;  // a last line without its newline
            return true;
        }
    }
}

bool TimelineReader::lineBuffered() const {
    return std::memchr(m_block.data() + m_blockPos, '\n', m_block.size() - m_blockPos) != nullptr;
}

void TimelineReader::readHeader() {
    std::string line;
    if (!readLine(line)) {
        throw InputError(m_source + ": empty: not a timeline (its first line is a header)");
    }
    json document;
    try {
        document = json::parse(line);
    } catch (const json::exception& error) {
        throw InputError(fmt::format("{}: line 1: not JSON: {}", m_source, error.what()));
    }
    if (!document.is_object() || !document.contains(kSchema)) {
        throw InputError(m_source + ": line 1: not a ktr timeline (no \"schema\" in its header)");
    }
    if (document[kSchema] != kTimelineSchema) {
        throw InputError(
            fmt::format("{}: a timeline of schema {}; this ktr reads schema {} only: write it again "
                        "with this ktr",
                        m_source, document[kSchema].dump(), kTimelineSchema));
    }
    FieldReader in(document, FieldPlace(m_source + ": line 1", ""));
    in.skip(kSchema);
    m_header.command = in.text(kCommand, "");
    m_header.source = in.text(kSource, "");
    codec::readValue(in, kProvenance, m_header.provenance, Nulls::Unknown);
    const std::string writing = in.text(kStateWriting, kStateChanges);
    if (writing != kStateChanges && writing != kStateEvery) {
        in.fail(kStateWriting, fmt::format("expected \"{}\" or \"{}\"", kStateChanges, kStateEvery));
    }
    m_header.state = writing == kStateEvery ? StateWriting::Every : StateWriting::Changes;
    m_header.timed = in.boolean(kTimed, true);
    in.forEach(kCatalogue, [&](FieldReader& entry) {
        const std::string id = entry.text(kId, "");
        const std::string tag = entry.text(kTag, "");
        readLevel(entry);
        const std::string text = entry.text(kFormat, "");
        const std::string_view body = std::string_view(text).substr(
            tag.empty() || text.compare(0, kTagPrefix.size(), kTagPrefix) != 0 ? 0 : kTagPrefix.size());
        std::vector<std::string> fields;
        codec::readValue(entry, kFields, fields, Nulls::Refused);
        entry.text(kExplanation, "");
        try {
            m_formats.insert_or_assign(id, HeaderFormat{tag, LogPattern(body), std::move(fields)});
        } catch (const std::invalid_argument&) {
            entry.fail(kFormat, "not a format of the library's (only %d, %llu and %% convert)");
        }
    });
    in.finish();
}

const TimelineReader::HeaderFormat& TimelineReader::formatNamed(FieldReader& in, const std::string& id) const {
    const auto known = m_formats.find(id);
    if (known != m_formats.end()) {
        return known->second;
    }
    throw in.error(kFormatId, fmt::format("\"{}\" is not in the header's catalogue", id));
}

FiredRule TimelineReader::readRule(FieldReader& in) {
    FiredRule rule;
    rule.level = readLevel(in);
    if (in.isNullOrAbsent(kFormatId)) {
        rule.text = in.text(kText, "");
        return rule;
    }
    const std::string id = in.text(kFormatId, "");
    const HeaderFormat& format = formatNamed(in, id);
    const std::vector<LogPattern::Conversion>& conversions = format.body.conversions();
    if (conversions.size() != format.fields.size()) {
        in.fail(kFormatId, fmt::format("the header's entry \"{}\" names {} fields for {} conversions", id,
                                       format.fields.size(), conversions.size()));
    }
    std::vector<std::string> values;
    in.object(kFields, [&](FieldReader& fields) {
        for (size_t i = 0; i < conversions.size(); ++i) {
            values.push_back(conversions[i] == LogPattern::Conversion::Uint64
                                 ? fmt::format_int(fields.u64(format.fields[i])).str()
                                 : fmt::format_int(fields.i32(format.fields[i])).str());
        }
    });
    const LogFormat* ours = findLogFormat(id);
    rule.line = ParsedLine{ours, values};
    // A format of another ktr's catalogue is printed from the header's copy.
    rule.text = ours != nullptr ? rule.line.print()
                                : (format.tag.empty() ? "" : "[" + format.tag + "]: ") + format.body.print(values);
    return rule;
}

bool TimelineReader::next(TimelineStep& step) {
    std::string line;
    if (!readLine(line)) {
        return false;
    }
    json document;
    try {
        document = json::parse(line);
    } catch (const json::exception& error) {
        throw InputError(fmt::format("{}: line {}: not JSON: {}", m_source, m_line, error.what()));
    }
    FieldReader in(document, FieldPlace(fmt::format("{}: line {}", m_source, m_line), ""));
    step = TimelineStep{};
    step.index = in.i32(kStep);
    codec::readValue(in, kTime, step.time, Nulls::Unknown);
    step.event = in.text(kEvent, "");
    if (!isActionName(step.event)) {
        in.fail(kEvent, fmt::format("unknown event \"{}\"", step.event));
    }
    in.object(kInput, [&](FieldReader& input) { step.action = readAction(step.event, input, Nulls::Unknown); });
    step.answer = readAnswer(step.action, in, kAnswer, Nulls::Unknown);
    in.forEach(kRules, [&](FieldReader& rule) { step.rules.push_back(readRule(rule)); });
    step.notes = readStrings(in, kNotes);
    step.noteKinds = readNoteKinds(in, step.notes.size());
    step.mismatches = readStrings(in, kMismatches);
    in.object(kState, [&](FieldReader& state) { step.change = readStateChange(state, Nulls::Unknown); });
    in.finish();
    if (m_header.state == StateWriting::Every) {
        m_state = StateSnapshot{};
    }
    step.change.applyTo(m_state);
    step.state = &m_state;
    return true;
}

}  // namespace ktr
