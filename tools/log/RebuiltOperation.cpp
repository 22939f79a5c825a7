#include "RebuiltOperation.h"

#include <fmt/format.h>

#include <functional>
#include <initializer_list>
#include <map>

#include <set>

#include "KTRLogFormats.h"

namespace ktr::log {
namespace {

constexpr std::nullopt_t kUnknown = std::nullopt;

bool is(const ParsedLine& line, std::string_view id) {
    return line.format != nullptr && line.format->id == id;
}

int32_t value(const ParsedLine& line, std::string_view field) {
    return static_cast<int32_t>(line.integer(field));
}

std::vector<const ParsedLine*> linesOf(const OperationLines& lines, std::initializer_list<const char*> ids) {
    std::vector<const ParsedLine*> found;
    for (const ParsedLine* line : lines.all()) {
        for (const char* id : ids) {
            if (is(*line, id)) {
                found.push_back(line);
            }
        }
    }
    return found;
}

RebuiltOperation withAction(Action action) {
    RebuiltOperation rebuilt;
    rebuilt.action = std::move(action);
    return rebuilt;
}

// A record as the decision lines print it: size and bitrates; no line carries a channel, dft or frame rate.
Record loggedRecord(const ParsedLine& line) {
    return Record{kUnknown,
                  kUnknown,
                  value(line, "width"),
                  value(line, "height"),
                  kUnknown,
                  value(line, "bitrate"),
                  value(line, "maxbitrate"),
                  value(line, "minbitrate")};
}

// A user as the user lines show it: no line carries attr or ext.
User loggedUser(uint64_t uid, Known<uint16_t> dt) {
    return User{uid, dt, kUnknown, kUnknown};
}

RebuiltOperation rebuildInit(const OperationLines& lines) {
    return withAction(Init{lines.front().uid("uid"), value(lines.front(), "dt")});
}

RebuiltOperation rebuildAddUser(const OperationLines& lines) {
    const ParsedLine& line = lines.front();
    return withAction(AddUser{loggedUser(line.uid("uid"), static_cast<uint16_t>(value(line, "dt")))});
}

RebuiltOperation rebuildRemoveUser(const OperationLines& lines) {
    const ParsedLine& line = lines.front();
    if (is(line, ktrlog::MgrRemoveUser::id)) {
        return withAction(RemoveUser{loggedUser(line.uid("uid"), static_cast<uint16_t>(value(line, "dt")))});
    }
    RebuiltOperation rebuilt = withAction(RemoveUser{loggedUser(line.uid("uid"), kUnknown)});
    rebuilt.notes.push_back("the meeting is smaller than 15 remote users, so the user's device type is not logged");
    return rebuilt;
}

RebuiltOperation rebuildSetUsers(const OperationLines& lines) {
    SetUsers users;
    for (const ParsedLine* line : linesOf(lines, {ktrlog::DlAddPeer::id})) {
        users.users.push_back(loggedUser(line->uid("uid"), kUnknown));
    }
    RebuiltOperation rebuilt = withAction(std::move(users));
    rebuilt.notes.push_back(
        "the users come from the download lines: their device types, uid 0 and repeated uids are not logged");
    return rebuilt;
}

RebuiltOperation rebuildPeerReport(const OperationLines& lines) {
    const ParsedLine& first = lines.front();
    if (is(first, ktrlog::MgrAddPeerReportSelf::id)) {
        return withAction(PeerReport{first.uid("uid"), kUnknown});
    }
    // The report lines show each stream's size and bitrate only.
    std::vector<Record> streams;
    for (const ParsedLine* line : linesOf(lines, {ktrlog::MgrAddPeerReportStream::id})) {
        streams.push_back(Record{kUnknown, kUnknown, value(*line, "width"), value(*line, "height"), kUnknown,
                                 value(*line, "bitrate"), kUnknown, kUnknown});
    }
    PeerReport report{is(first, ktrlog::DlAddPeer::id) ? first.uid("uid") : first.uid("peer"), streams};
    const std::vector<const ParsedLine*> added = linesOf(lines, {ktrlog::DlAddPeer::id});
    std::vector<std::string> notes;
    if (added.empty()) {
        notes.push_back(fmt::format(
            "the peer is not received, so no download line ends its report: consecutive stream lines of {} are "
            "read as one report",
            report.uid));
    } else if (value(*added.front(), "infos.size") != static_cast<int32_t>(streams.size())) {
        notes.push_back(fmt::format("the download line counts {} streams where {} stream lines were logged",
                                    value(*added.front(), "infos.size"), streams.size()));
    }
    RebuiltOperation rebuilt = withAction(std::move(report));
    rebuilt.notes = std::move(notes);
    return rebuilt;
}

RebuiltOperation rebuildSharing(const OperationLines& lines) {
    return withAction(Sharing{value(lines.front(), "sharing") != 0, lines.front().uid("uid")});
}

RebuiltOperation rebuildSpeaker(const OperationLines& lines) {
    return withAction(Speaker{value(lines.front(), "speaker") != 0, lines.front().uid("uid")});
}

RebuiltOperation rebuildSelectRequest(const OperationLines& lines) {
    const ParsedLine& line = lines.front();
    return withAction(
        SelectRequest{value(line, "widht"), value(line, "height"), value(line, "fps"), value(line, "bitrate")});
}

RebuiltOperation rebuildDownload(const OperationLines& lines) {
    RebuiltOperation rebuilt = withAction(AskDownload{kUnknown});
    if (is(lines.front(), ktrlog::DlAdjustNoPeer::id)) {
        rebuilt.answer = rebuilt.checkedAnswer = DownloadAnswer{false, std::vector<PeerRequest>()};
        return rebuilt;
    }
    std::map<uint64_t, PeerRequest> requests;  // the library's map holds one request per peer
    for (const ParsedLine* line : linesOf(lines, {ktrlog::DlRealAdjustRequest::id})) {
        PeerRequest request;
        static_cast<Record&>(request) = loggedRecord(*line);
        request.uid = line->uid("uid");
        requests[request.uid] = request;
    }
    std::vector<PeerRequest> records;
    records.reserve(requests.size());
    for (const auto& entry : requests) {
        records.push_back(entry.second);
    }
    rebuilt.answer = rebuilt.checkedAnswer = DownloadAnswer{kUnknown, std::move(records)};
    if (!estimateRead(lines)) {
        rebuilt.answer = DownloadAnswer{kUnknown, kUnknown};
        rebuilt.checkedAnswer = std::monostate{};
        rebuilt.notes.push_back("the log ends before the adjustment's estimate line: its requests are unknown");
    }
    return rebuilt;
}

RebuiltOperation rebuildUpload(const OperationLines& lines) {
    RebuiltOperation rebuilt = withAction(AskUpload{kUnknown});
    std::vector<Record> streams;
    for (const ParsedLine* line :
         linesOf(lines, {ktrlog::UlResult::id, ktrlog::UlResultSvc::id, ktrlog::UlLargeMeeting::id})) {
        streams.push_back(loggedRecord(*line));
    }
    const bool shown = !streams.empty();
    rebuilt.answer = rebuilt.checkedAnswer =
        UploadAnswer{1, kUnknown, shown ? Known<std::vector<Record>>(std::move(streams)) : kUnknown};
    if (!shown) {
        rebuilt.checkedAnswer = std::monostate{};
        rebuilt.notes.push_back(is(lines.front(), ktrlog::UlForceHD::id)
                                    ? "force-HD publishes the 720P record, which is not logged"
                                    : "no result line: the records are not logged (while the local user shares, "
                                      "the camera publishes at most one stream and logs none)");
    }
    return rebuilt;
}

RebuiltOperation rebuildShare(const OperationLines& lines) {
    const int32_t channel = value(lines.front(), "channel");
    RebuiltOperation rebuilt = withAction(AskUpload{channel});
    // The share line shows the channel and the bitrate only.
    const Record share{channel,  kUnknown, kUnknown, kUnknown, kUnknown, value(lines.front(), "bitrate"),
                       kUnknown, kUnknown};
    rebuilt.answer = rebuilt.checkedAnswer = UploadAnswer{channel, true, std::vector<Record>{share}};
    return rebuilt;
}

RebuiltOperation rebuildHdLd(const OperationLines& lines, const StateSnapshot& before) {
    RebuiltOperation rebuilt = withAction(AskHdLd{});
    std::set<uint64_t> hd;
    std::set<uint64_t> ld;
    bool known = true;
    for (const auto& [uid, peer] : before.peers) {
        if (peer.received) {
            known = known && peer.definition.has_value();
            (peer.definition == Definition::High ? hd : ld).insert(uid);
        }
    }
    known = known && static_cast<int64_t>(hd.size() + ld.size()) == lines.front().integer("size");
    if (known) {
        rebuilt.answer = HdLdAnswer{std::move(hd), std::move(ld)};
        rebuilt.notes.push_back(
            "the split is not logged: it is taken from the derived state, which knows every peer (unless the host "
            "dropped the stored reports, which logs nothing)");
    } else {
        rebuilt.answer = HdLdAnswer{kUnknown, kUnknown};
        rebuilt.notes.push_back("the split is not logged and the derived state does not know every peer");
    }
    rebuilt.checkedAnswer = std::monostate{};
    return rebuilt;
}

RebuiltOperation rebuildDefinitions(const OperationLines& lines) {
    Definitions definitions;
    for (const ParsedLine* line : linesOf(lines, {ktrlog::DftInit::id})) {
        Record stream = loggedRecord(*line);
        stream.channel = value(*line, "channel");
        definitions.streams.push_back(stream);
    }
    RebuiltOperation rebuilt = withAction(std::move(definitions));
    rebuilt.notes.push_back("consecutive definition lines are read as one call");
    return rebuilt;
}

RebuiltOperation rebuildDefinitionOf(const OperationLines& lines) {
    const int32_t bitrate = value(lines.front(), "bitrate");
    RebuiltOperation rebuilt = withAction(AskDefinition{bitrate});
    rebuilt.answer = DefinitionAnswer{kUnknown};
    rebuilt.checkedAnswer = std::monostate{};
    return rebuilt;
}

using Rebuild = std::function<RebuiltOperation(const OperationLines&, const StateSnapshot&)>;

template <RebuiltOperation (*rebuild)(const OperationLines&)>
RebuiltOperation ignoringState(const OperationLines& lines, const StateSnapshot&) {
    return rebuild(lines);
}

const std::map<std::string, Rebuild>& rebuilders() {
    static const std::map<std::string, Rebuild> byEvent = {
        {"init", ignoringState<rebuildInit>},
        {"addUser", ignoringState<rebuildAddUser>},
        {"removeUser", ignoringState<rebuildRemoveUser>},
        {"setUsers", ignoringState<rebuildSetUsers>},
        {"peerReport", ignoringState<rebuildPeerReport>},
        {"sharing", ignoringState<rebuildSharing>},
        {"speaker", ignoringState<rebuildSpeaker>},
        {"selectRequest", ignoringState<rebuildSelectRequest>},
        {"download", ignoringState<rebuildDownload>},
        {"upload", ignoringState<rebuildUpload>},
        {"share", ignoringState<rebuildShare>},
        {"hdld", rebuildHdLd},
        {"definitions", ignoringState<rebuildDefinitions>},
        {"definitionOf", ignoringState<rebuildDefinitionOf>},
    };
    return byEvent;
}

}  // namespace

OperationLines::OperationLines(const std::vector<FiredRule>& rules) {
    m_lines.reserve(rules.size());
    for (const FiredRule& rule : rules) {
        if (rule.line.format != nullptr) {
            m_lines.push_back(&rule.line);
        }
    }
}

RebuiltOperation rebuildOperation(const std::string& event, const OperationLines& lines, const StateSnapshot& before) {
    return rebuilders().at(event)(lines, before);
}

std::optional<EstimateState> estimateRead(const OperationLines& lines) {
    for (const ParsedLine* line : linesOf(lines, {ktrlog::DlRealAdjustEstimate::id})) {
        return EstimateState{value(*line, "net_status"), value(*line, "net_score"), value(*line, "bitrate"),
                             value(*line, "max_bitrate")};
    }
    return std::nullopt;
}

}  // namespace ktr::log
