#include "OperationBuilder.h"

#include <fmt/format.h>

#include <map>
#include <string_view>

#include "RebuiltOperation.h"
#include "ScenarioWriter.h"

namespace ktr::logs {

const char* const kNewCollectionNote =
    "clearSelectReqs writes nothing: a select request after a camera decision is taken to start a new collection";

namespace {

// An operation longer than this is cut: the rest of its lines are counted as skipped, so that memory
// stays bounded on any input.
constexpr size_t kMaxOperationLines = 10000;
// Past this many warnings, further ones are only counted.
constexpr size_t kMaxWarnings = 1000;
// How much of an unrecognised line a warning quotes.
constexpr size_t kQuotedTextLength = 160;

// The lines that always open an operation, and the operation each opens.
const std::map<std::string_view, const char*>& firstLines() {
    static const std::map<std::string_view, const char*> events = {
        {"mgr.init", "init"},
        {"mgr.addUser", "addUser"},
        {"mgr.removeUser", "removeUser"},
        {"dl.clear", "setUsers"},
        {"mgr.setSharing", "sharing"},
        {"mgr.setSpeaker", "speaker"},
        {"mgr.addSelectReq", "selectRequest"},
        {"mgr.addPeerReport.self", "peerReport"},
        {"dl.adjust.noPeer", "download"},
        {"dl.adjust.peerCount", "download"},
        {"ul.forceHD", "upload"},
        {"ul.defaultDefinition", "upload"},
        {"ul.share", "share"},
        {"dl.getHDUids", "hdld"},
    };
    return events;
}

bool is(const LibraryLine& line, std::string_view id) {
    return line.parsed.format != nullptr && line.parsed.format->id == id;
}

// Whether every line so far reports a stream of uid: a report still open to more of its streams.
bool onlyStreamsOf(const std::vector<LibraryLine>& lines, uint64_t uid) {
    for (const LibraryLine& line : lines) {
        if (!is(line, "mgr.addPeerReport.stream") || line.parsed.uid("peer") != uid) {
            return false;
        }
    }
    return true;
}

bool addsPeer(const std::vector<LibraryLine>& lines, uint64_t uid) {
    for (const LibraryLine& line : lines) {
        if (is(line, "dl.addPeer") && line.parsed.uid("uid") == uid) {
            return true;
        }
    }
    return false;
}

std::string quoted(const std::string& text) {
    return text.size() <= kQuotedTextLength ? text : text.substr(0, kQuotedTextLength) + "...";
}

bool sameEstimate(const EstimateState& a, const EstimateState& b) {
    return a.status == b.status && a.score == b.score && a.bitrate == b.bitrate && a.maxBitrate == b.maxBitrate;
}

void addRules(const std::vector<LibraryLine>& lines, TimelineStep& step) {
    for (const LibraryLine& line : lines) {
        const LogFormat* format = line.parsed.format;
        const LogLevel level = line.level.value_or(format != nullptr ? format->level : LogLevel::Info);
        step.log.push_back(LogLine{level, line.text});
        step.rules.push_back(FiredRule{format, level,
                                       format != nullptr ? line.parsed.explanation()
                                                         : "a library line that no known format matches: the client "
                                                           "may run another version of the library"});
    }
}

}  // namespace

std::vector<TimelineStep> OperationBuilder::add(const LibraryLine& line) {
    if (line.time && !m_firstTime) {
        m_firstTime = line.time;
    }
    if (line.parsed.format == nullptr) {
        warn(fmt::format("line {}: a library line that no known format matches: {}", line.place(), quoted(line.text)));
    }
    std::vector<TimelineStep> done;
    if (std::optional<std::string> event = eventStartedBy(line)) {
        done = complete(false);
        startOperation(*event, line);
    } else if (m_current && m_current->lines.size() < kMaxOperationLines) {
        m_current->lines.push_back(line);
    } else {
        skip(line);
    }
    return done;
}

std::vector<TimelineStep> OperationBuilder::finish() {
    return complete(true);
}

std::optional<std::string> OperationBuilder::eventStartedBy(const LibraryLine& line) const {
    if (line.parsed.format == nullptr) {
        return std::nullopt;
    }
    const std::string_view id = line.parsed.format->id;
    if (const auto first = firstLines().find(id); first != firstLines().end()) {
        return first->second;
    }
    const std::string current = m_current ? m_current->event : "";
    if (id == "mgr.addPeerReport.stream") {
        const bool continues = current == "peerReport" && onlyStreamsOf(m_current->lines, line.parsed.uid("peer"));
        return continues ? std::nullopt : std::optional<std::string>("peerReport");
    }
    if (id == "dl.addPeer") {
        return continuesWithPeer(line.parsed.uid("uid")) ? std::nullopt : std::optional<std::string>("peerReport");
    }
    if (id == "dft.init") {
        return current == "definitions" ? std::nullopt : std::optional<std::string>("definitions");
    }
    if (id == "dl.removePeer") {
        const bool continues =
            current == "removeUser" && m_current->lines.size() == 1 && is(m_current->lines.front(), "mgr.removeUser");
        return continues ? std::nullopt : std::optional<std::string>("removeUser");
    }
    if (id == "dft.infoByBitrate.outOfRange" || id == "dft.infoByBitrate.emptyMap") {
        // Inside a download the adjustment looks definitions up itself.
        return current == "download" ? std::nullopt : std::optional<std::string>("definitionOf");
    }
    return std::nullopt;
}

// A download line for a peer belongs to the open operation when the user list adds the peer for the
// first time (the local user may be listed again; uid 0 is never added), or when it ends the peer's report; otherwise
// it is a report of no stream.
bool OperationBuilder::continuesWithPeer(uint64_t uid) const {
    if (!m_current) {
        return uid == m_localUid;
    }
    if (m_current->event == "setUsers") {
        return uid != 0 && (uid == m_localUid || !addsPeer(m_current->lines, uid));
    }
    return m_current->event == "peerReport" && onlyStreamsOf(m_current->lines, uid);
}

void OperationBuilder::startOperation(const std::string& event, const LibraryLine& line) {
    if (event == "init") {
        if (m_initSeen) {
            warn(fmt::format("line {}: a second init without a release: a second instance or a re-init: {}",
                             line.place(), quoted(line.text)));
        }
        m_initSeen = true;
        m_localUid = line.parsed.uid("uid");
    }
    m_current = Operation{event, {line}};
    m_skipping = false;
}

void OperationBuilder::skip(const LibraryLine& line) {
    ++m_skipped;
    if (m_skipping) {
        return;
    }
    m_skipping = true;
    warn(m_current
             ? fmt::format("line {}: the operation grew past {} lines: the rest of it is skipped", line.place(),
                           kMaxOperationLines)
             : fmt::format("line {}: lines of an operation whose first line is not in the log: skipped", line.place()));
}

void OperationBuilder::warn(std::string warning) {
    if (m_warnings.size() < kMaxWarnings) {
        m_warnings.push_back(std::move(warning));
    } else {
        ++m_unlistedWarnings;
    }
}

std::vector<TimelineStep> OperationBuilder::complete(bool lastOfLog) {
    std::vector<TimelineStep> steps;
    if (!m_current) {
        return steps;
    }
    const Operation operation = std::move(*m_current);
    m_current.reset();
    std::vector<ParsedLine> parsed;
    for (const LibraryLine& line : operation.lines) {
        if (line.parsed.format != nullptr) {
            parsed.push_back(line.parsed);
        }
    }
    const RebuiltOperation rebuilt = rebuildOperation(operation.event, parsed, m_tracker.snapshot());
    const std::optional<EstimateState> estimate = estimateRead(parsed);
    if (operation.event == "download" && estimate && !sameEstimate(*estimate, m_lastEstimate)) {
        steps.push_back(estimateStep(*estimate, operation.lines.front()));
    }
    TimelineStep step = newStep(operation.event, operation.lines.front());
    step.action = rebuilt.action;
    step.input = rebuilt.input;
    step.answer = rebuilt.answer;
    step.unknownAnswerFields = rebuilt.unknownAnswerFields;
    step.notes.insert(step.notes.end(), rebuilt.notes.begin(), rebuilt.notes.end());
    addRules(operation.lines, step);
    followCollection(step);
    step.mismatches = m_tracker.apply(step.action, rebuilt.checkedAnswer, parsed);
    step.state = m_tracker.snapshot();
    if (lastOfLog) {
        step.notes.push_back("the last operation of the log: it may have been cut short");
    }
    steps.push_back(std::move(step));
    return steps;
}

// Hosts collect a new set of select requests for every camera decision, but clearing them logs nothing:
// without this, the derived list would grow with the log's length.
void OperationBuilder::followCollection(TimelineStep& step) {
    if (std::holds_alternative<SelectRequest>(step.action)) {
        if (m_cameraDecidedSinceRequest) {
            m_tracker.apply(ClearSelectRequests{}, std::monostate{}, {});
            step.notes.push_back(kNewCollectionNote);
        }
        m_cameraDecidedSinceRequest = false;
    } else if (const auto* upload = std::get_if<AskUpload>(&step.action); upload != nullptr && upload->channel != 2) {
        m_cameraDecidedSinceRequest = true;
    }
}

// The download estimate is set silently; the adjustment that read it shows it.
TimelineStep OperationBuilder::estimateStep(const EstimateState& estimate, const LibraryLine& download) {
    m_lastEstimate = estimate;
    TimelineStep step = newStep("downloadNet", download);
    step.action = NetEstimate{false, estimate.status, estimate.score, estimate.bitrate, estimate.maxBitrate};
    step.input = scenarioStep(step.action);
    step.input.erase("step");
    step.notes.push_back("setting the estimate logs nothing: this is the estimate the next download read");
    step.mismatches = m_tracker.apply(step.action, std::monostate{}, {});
    step.state = m_tracker.snapshot();
    return step;
}

TimelineStep OperationBuilder::newStep(const std::string& event, const LibraryLine& first) {
    TimelineStep step;
    step.index = m_nextIndex++;
    step.event = event;
    if (first.time && m_firstTime) {
        step.time = *first.time - *m_firstTime;
    } else {
        step.time = static_cast<double>(first.number);
        step.notes.push_back("no time in the line's prefix: the time is its line number");
    }
    return step;
}

}  // namespace ktr::logs
