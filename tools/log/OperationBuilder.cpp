#include "OperationBuilder.h"

#include <fmt/format.h>

#include <cmath>
#include <map>
#include <string_view>

#include "KTRLogFormats.h"
#include "RebuiltOperation.h"
#include "Units.h"

namespace ktr::log {

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
        {ktrlog::MgrInit::id, "init"},
        {ktrlog::MgrAddUser::id, "addUser"},
        {ktrlog::MgrRemoveUser::id, "removeUser"},
        {ktrlog::DlClear::id, "setUsers"},
        {ktrlog::MgrSetSharing::id, "sharing"},
        {ktrlog::MgrSetSpeaker::id, "speaker"},
        {ktrlog::MgrAddSelectReq::id, "selectRequest"},
        {ktrlog::MgrAddPeerReportSelf::id, "peerReport"},
        {ktrlog::DlAdjustNoPeer::id, "download"},
        {ktrlog::DlAdjustPeerCount::id, "download"},
        {ktrlog::UlForceHD::id, "upload"},
        {ktrlog::UlDefaultDefinition::id, "upload"},
        {ktrlog::UlShare::id, "share"},
        {ktrlog::DlGetHDUids::id, "hdld"},
    };
    return events;
}

bool is(const LibraryLine& line, std::string_view id) {
    return line.parsed.format != nullptr && line.parsed.format->id == id;
}

// Whether every line so far reports a stream of uid: a report still open to more of its streams.
bool onlyStreamsOf(const std::vector<LibraryLine>& lines, uint64_t uid) {
    for (const LibraryLine& line : lines) {
        if (!is(line, ktrlog::MgrAddPeerReportStream::id) || line.parsed.uid("peer") != uid) {
            return false;
        }
    }
    return true;
}

bool addsPeer(const std::vector<LibraryLine>& lines, uint64_t uid) {
    for (const LibraryLine& line : lines) {
        if (is(line, ktrlog::DlAddPeer::id) && line.parsed.uid("uid") == uid) {
            return true;
        }
    }
    return false;
}

std::string quoted(const std::string& text) {
    return text.size() <= kQuotedTextLength ? text : text.substr(0, kQuotedTextLength) + "...";
}

void addRules(std::vector<LibraryLine>&& lines, TimelineStep& step) {
    step.rules.reserve(lines.size());
    for (LibraryLine& line : lines) {
        const LogFormat* format = line.parsed.format;
        const LogLevel level = line.level.value_or(format != nullptr ? format->level : LogLevel::Info);
        step.rules.push_back(FiredRule{std::move(line.parsed), level, std::move(line.text)});
    }
}

}  // namespace

void OperationBuilder::add(const LibraryLine& line) {
    if (line.time && !m_firstTime) {
        m_firstTime = line.time;
    }
    if (line.parsed.format == nullptr) {
        warn(fmt::format("line {}: a library line that no known format matches: {}", line.place(), quoted(line.text)));
    }
    if (std::optional<std::string> event = eventStartedBy(line)) {
        complete(false);
        startOperation(*event, line);
    } else if (m_current && m_current->lines.size() < kMaxOperationLines) {
        m_current->lines.push_back(line);
    } else {
        skip(line);
    }
}

void OperationBuilder::finish() {
    complete(true);
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
    if (id == ktrlog::MgrAddPeerReportStream::id) {
        const bool continues = current == "peerReport" && onlyStreamsOf(m_current->lines, line.parsed.uid("peer"));
        return continues ? std::nullopt : std::optional<std::string>("peerReport");
    }
    if (id == ktrlog::DlAddPeer::id) {
        return continuesWithPeer(line.parsed.uid("uid")) ? std::nullopt : std::optional<std::string>("peerReport");
    }
    if (id == ktrlog::DftInit::id) {
        return current == "definitions" ? std::nullopt : std::optional<std::string>("definitions");
    }
    if (id == ktrlog::DlRemovePeer::id) {
        const bool continues = current == "removeUser" && m_current->lines.size() == 1 &&
                               is(m_current->lines.front(), ktrlog::MgrRemoveUser::id);
        return continues ? std::nullopt : std::optional<std::string>("removeUser");
    }
    if (id == ktrlog::DftInfoByBitrateOutOfRange::id || id == ktrlog::DftInfoByBitrateEmptyMap::id) {
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

void OperationBuilder::complete(bool lastOfLog) {
    if (!m_current) {
        return;
    }
    Operation operation = std::move(*m_current);
    m_current.reset();
    TimelineStep step = newStep(operation.event, operation.lines.front());
    addRules(std::move(operation.lines), step);
    const OperationLines lines(step.rules);
    RebuiltOperation rebuilt = rebuildOperation(operation.event, lines, m_tracker.state());
    const std::optional<EstimateState> estimate = estimateRead(lines);
    if (std::holds_alternative<AskDownload>(rebuilt.action) && estimate && !(*estimate == m_lastEstimate)) {
        deliverEstimate(*estimate, step);
    }
    step.action = std::move(rebuilt.action);
    step.answer = rebuilt.answer;
    step.notes.insert(step.notes.end(), rebuilt.notes.begin(), rebuilt.notes.end());
    followCollection(step);
    if (lastOfLog) {
        step.notes.push_back("the last operation of the log: it may have been cut short");
    }
    deliver(step, rebuilt.checkedAnswer);
}

void OperationBuilder::deliver(TimelineStep& step, const Answer& checked) {
    std::vector<std::string> mismatches = m_tracker.apply(step.action, checked, step.rules);
    step.mismatches.insert(step.mismatches.end(), mismatches.begin(), mismatches.end());
    step.change = m_tracker.takeChange();
    step.state = &m_tracker.state();
    m_sink(std::move(step));
}

// Hosts collect a new set of select requests for every camera decision, but clearing them logs nothing:
// without this, the derived list would grow with the log's length.
void OperationBuilder::followCollection(TimelineStep& step) {
    if (std::holds_alternative<SelectRequest>(step.action)) {
        if (m_cameraDecidedSinceRequest) {
            m_tracker.apply(ClearSelectRequests{}, std::monostate{}, std::vector<FiredRule>());
            step.notes.push_back(kNewCollectionNote);
        }
        m_cameraDecidedSinceRequest = false;
    } else if (const auto* upload = std::get_if<AskUpload>(&step.action); upload != nullptr && upload->channel != 2) {
        m_cameraDecidedSinceRequest = true;
    }
}

// The download estimate is set silently; the adjustment that read it shows it. It comes before the download,
// at its time.
void OperationBuilder::deliverEstimate(const EstimateState& estimate, TimelineStep& download) {
    m_lastEstimate = estimate;
    const Action action = NetEstimate{false, estimate.status, estimate.score, estimate.bitrate, estimate.maxBitrate};
    TimelineStep step;
    step.index = download.index;
    step.time = download.time;
    step.event = actionName(action);
    download.index = m_nextIndex++;
    step.action = action;
    step.notes.push_back("setting the estimate logs nothing: this is the estimate the next download read");
    deliver(step, std::monostate{});
}

// A line without time leaves its step's time unknown.
TimelineStep OperationBuilder::newStep(const std::string& event, const LibraryLine& first) {
    TimelineStep step;
    step.index = m_nextIndex++;
    step.event = event;
    if (first.time && m_firstTime) {
        // Prefix times are given to the microsecond at most: the difference is rounded there, so that it is
        // written as the stamps show it.
        step.time = std::round((*first.time - *m_firstTime) * kMicrosPerSecond) / kMicrosPerSecond;
    } else {
        step.time = std::nullopt;
    }
    return step;
}

}  // namespace ktr::log
