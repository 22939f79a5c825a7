#include "RebuiltOperation.h"

#include <fmt/format.h>

#include <functional>
#include <initializer_list>
#include <map>

#include "KTRLogFormats.h"
#include "ScenarioWriter.h"

namespace ktr::logs {
namespace {

using nlohmann::json;
using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

// Record fields no line of the library carries.
const std::vector<std::string> kUnloggedRecordFields = {"channel", "dft", "fps"};
// The fields of a peer's published stream the report lines leave out.
const std::vector<std::string> kUnloggedReportFields = {"channel", "dft", "fps", "maxbitrate", "minbitrate"};
// What no user line carries.
const std::vector<std::string> kUnloggedUserFields = {"attr", "ext"};
// The record fields of the share decision's line: the bitrate and the channel only.
const std::vector<std::string> kUnloggedShareFields = {"dft", "width", "height", "fps", "maxbitrate", "minbitrate"};

bool is(const ParsedLine& line, std::string_view id) {
    return line.format != nullptr && line.format->id == id;
}

int32_t value(const ParsedLine& line, std::string_view field) {
    return static_cast<int32_t>(line.integer(field));
}

std::vector<const ParsedLine*> linesOf(const std::vector<ParsedLine>& lines, std::initializer_list<const char*> ids) {
    std::vector<const ParsedLine*> found;
    for (const ParsedLine& line : lines) {
        for (const char* id : ids) {
            if (is(line, id)) {
                found.push_back(&line);
            }
        }
    }
    return found;
}

void nullFields(json& object, const std::vector<std::string>& fields) {
    for (const std::string& field : fields) {
        object[field] = nullptr;
    }
}

void nullInEach(json& list, const std::vector<std::string>& fields) {
    for (json& object : list) {
        nullFields(object, fields);
    }
}

RebuiltOperation withAction(Action action) {
    RebuiltOperation rebuilt;
    rebuilt.input = scenarioStep(action);
    rebuilt.input.erase("step");
    rebuilt.action = std::move(action);
    return rebuilt;
}

// A record as the decision lines print it: size and bitrates.
VideoStreamInfo loggedRecord(const ParsedLine& line) {
    return VideoStreamInfo{0,
                           0,
                           value(line, "width"),
                           value(line, "height"),
                           0,
                           value(line, "bitrate"),
                           value(line, "maxbitrate"),
                           value(line, "minbitrate")};
}

RebuiltOperation rebuildInit(const std::vector<ParsedLine>& lines) {
    return withAction(Init{lines.front().uid("uid"), value(lines.front(), "dt")});
}

RebuiltOperation rebuildAddUser(const std::vector<ParsedLine>& lines) {
    const ParsedLine& line = lines.front();
    RebuiltOperation rebuilt =
        withAction(AddUser{KTRUserInfo{line.uid("uid"), 0, static_cast<uint16_t>(value(line, "dt")), ""}});
    nullFields(rebuilt.input, kUnloggedUserFields);
    return rebuilt;
}

RebuiltOperation rebuildRemoveUser(const std::vector<ParsedLine>& lines) {
    const ParsedLine& line = lines.front();
    if (is(line, ktrlog::MgrRemoveUser::id)) {
        RebuiltOperation rebuilt =
            withAction(RemoveUser{KTRUserInfo{line.uid("uid"), 0, static_cast<uint16_t>(value(line, "dt")), ""}});
        nullFields(rebuilt.input, kUnloggedUserFields);
        return rebuilt;
    }
    RebuiltOperation rebuilt = withAction(RemoveUser{KTRUserInfo{line.uid("uid"), 0, 0, ""}});
    nullFields(rebuilt.input, kUnloggedUserFields);
    nullFields(rebuilt.input, {"dt"});
    rebuilt.notes.push_back("the meeting is smaller than 15 remote users, so the user's device type is not logged");
    return rebuilt;
}

RebuiltOperation rebuildSetUsers(const std::vector<ParsedLine>& lines) {
    SetUsers users;
    for (const ParsedLine* line : linesOf(lines, {ktrlog::DlAddPeer::id})) {
        users.users.push_back(KTRUserInfo{line->uid("uid"), 0, 0, ""});
    }
    RebuiltOperation rebuilt = withAction(std::move(users));
    nullInEach(rebuilt.input["users"], kUnloggedUserFields);
    nullInEach(rebuilt.input["users"], {"dt"});
    rebuilt.notes.push_back(
        "the users come from the download lines: their device types, uid 0 and repeated uids are not logged");
    return rebuilt;
}

RebuiltOperation rebuildPeerReport(const std::vector<ParsedLine>& lines) {
    const ParsedLine& first = lines.front();
    if (is(first, ktrlog::MgrAddPeerReportSelf::id)) {
        RebuiltOperation rebuilt = withAction(PeerReport{first.uid("uid"), {}});
        rebuilt.input["streams"] = nullptr;
        return rebuilt;
    }
    PeerReport report{is(first, ktrlog::DlAddPeer::id) ? first.uid("uid") : first.uid("peer"), {}};
    for (const ParsedLine* line : linesOf(lines, {ktrlog::MgrAddPeerReportStream::id})) {
        report.streams.push_back(
            VideoStreamInfo{0, 0, value(*line, "width"), value(*line, "height"), 0, value(*line, "bitrate"), 0, 0});
    }
    const std::vector<const ParsedLine*> added = linesOf(lines, {ktrlog::DlAddPeer::id});
    std::vector<std::string> notes;
    if (added.empty()) {
        notes.push_back(fmt::format(
            "the peer is not received, so no download line ends its report: consecutive stream lines of {} are "
            "read as one report",
            report.uid));
    } else if (value(*added.front(), "infos.size") != static_cast<int32_t>(report.streams.size())) {
        notes.push_back(fmt::format("the download line counts {} streams where {} stream lines were logged",
                                    value(*added.front(), "infos.size"), report.streams.size()));
    }
    RebuiltOperation rebuilt = withAction(std::move(report));
    nullInEach(rebuilt.input["streams"], kUnloggedReportFields);
    rebuilt.notes = std::move(notes);
    return rebuilt;
}

RebuiltOperation rebuildSharing(const std::vector<ParsedLine>& lines) {
    return withAction(Sharing{value(lines.front(), "sharing") != 0, lines.front().uid("uid")});
}

RebuiltOperation rebuildSpeaker(const std::vector<ParsedLine>& lines) {
    return withAction(Speaker{value(lines.front(), "speaker") != 0, lines.front().uid("uid")});
}

RebuiltOperation rebuildSelectRequest(const std::vector<ParsedLine>& lines) {
    const ParsedLine& line = lines.front();
    return withAction(
        SelectRequest{value(line, "widht"), value(line, "height"), value(line, "fps"), value(line, "bitrate")});
}

RebuiltOperation rebuildDownload(const std::vector<ParsedLine>& lines) {
    RebuiltOperation rebuilt = withAction(AskDownload{0});
    rebuilt.input["channel"] = nullptr;
    DownloadAnswer answer{{}, false};
    if (is(lines.front(), ktrlog::DlAdjustNoPeer::id)) {
        rebuilt.answer = rebuilt.checkedAnswer = answer;
        return rebuilt;
    }
    for (const ParsedLine* line : linesOf(lines, {ktrlog::DlRealAdjustRequest::id})) {
        answer.requests[line->uid("uid")] = loggedRecord(*line);
    }
    rebuilt.answer = rebuilt.checkedAnswer = answer;
    rebuilt.unknownAnswerFields = kUnloggedRecordFields;
    rebuilt.unknownAnswerFields.push_back("changed");
    if (!estimateRead(lines)) {
        rebuilt.unknownAnswerFields.push_back("records");
        rebuilt.checkedAnswer = std::monostate{};
        rebuilt.notes.push_back("the log ends before the adjustment's estimate line: its requests are unknown");
    }
    return rebuilt;
}

RebuiltOperation rebuildUpload(const std::vector<ParsedLine>& lines) {
    RebuiltOperation rebuilt = withAction(AskUpload{1});
    rebuilt.input["channel"] = nullptr;
    UploadAnswer answer{1, {}, false};
    for (const ParsedLine* line :
         linesOf(lines, {ktrlog::UlResult::id, ktrlog::UlResultSvc::id, ktrlog::UlLargeMeeting::id})) {
        answer.streams.push_back(loggedRecord(*line));
    }
    rebuilt.answer = rebuilt.checkedAnswer = answer;
    rebuilt.unknownAnswerFields = kUnloggedRecordFields;
    rebuilt.unknownAnswerFields.push_back("changed");
    if (answer.streams.empty()) {
        rebuilt.unknownAnswerFields.push_back("records");
        rebuilt.checkedAnswer = std::monostate{};
        rebuilt.notes.push_back(is(lines.front(), ktrlog::UlForceHD::id)
                                    ? "force-HD publishes the 720P record, which is not logged"
                                    : "no result line: the records are not logged (while the local user shares, "
                                      "the camera publishes at most one stream and logs none)");
    }
    return rebuilt;
}

RebuiltOperation rebuildShare(const std::vector<ParsedLine>& lines) {
    const int32_t channel = value(lines.front(), "channel");
    RebuiltOperation rebuilt = withAction(AskUpload{channel});
    UploadAnswer answer{channel, {VideoStreamInfo{channel, 0, 0, 0, 0, value(lines.front(), "bitrate"), 0, 0}}, true};
    rebuilt.answer = rebuilt.checkedAnswer = answer;
    rebuilt.unknownAnswerFields = kUnloggedShareFields;
    return rebuilt;
}

RebuiltOperation rebuildHdLd(const std::vector<ParsedLine>& lines, const StateSnapshot& before) {
    RebuiltOperation rebuilt = withAction(AskHdLd{});
    HdLdAnswer answer;
    bool known = true;
    for (const PeerState& peer : before.peers) {
        if (peer.received) {
            known = known && peer.definition != Definition::Unknown;
            (peer.definition == Definition::High ? answer.hd : answer.ld).insert(peer.uid);
        }
    }
    known = known && static_cast<int64_t>(answer.hd.size() + answer.ld.size()) == lines.front().integer("size");
    if (known) {
        rebuilt.answer = answer;
        rebuilt.notes.push_back(
            "the split is not logged: it is taken from the derived state, which knows every peer (unless the host "
            "dropped the stored reports, which logs nothing)");
    } else {
        rebuilt.answer = HdLdAnswer{};
        rebuilt.unknownAnswerFields = {"hd", "ld"};
        rebuilt.notes.push_back("the split is not logged and the derived state does not know every peer");
    }
    rebuilt.checkedAnswer = std::monostate{};
    return rebuilt;
}

RebuiltOperation rebuildDefinitions(const std::vector<ParsedLine>& lines) {
    Definitions definitions;
    for (const ParsedLine* line : linesOf(lines, {ktrlog::DftInit::id})) {
        VideoStreamInfo stream = loggedRecord(*line);
        stream.channel = value(*line, "channel");
        definitions.streams.push_back(stream);
    }
    RebuiltOperation rebuilt = withAction(std::move(definitions));
    nullInEach(rebuilt.input["streams"], {"dft", "fps"});
    rebuilt.notes.push_back("consecutive definition lines are read as one call");
    return rebuilt;
}

RebuiltOperation rebuildDefinitionOf(const std::vector<ParsedLine>& lines) {
    const int32_t bitrate = value(lines.front(), "bitrate");
    RebuiltOperation rebuilt = withAction(AskDefinition{bitrate});
    rebuilt.answer = DefinitionAnswer{bitrate, {}};
    rebuilt.unknownAnswerFields = {"records"};
    rebuilt.checkedAnswer = std::monostate{};
    return rebuilt;
}

using Rebuild = std::function<RebuiltOperation(const std::vector<ParsedLine>&, const StateSnapshot&)>;

template <RebuiltOperation (*rebuild)(const std::vector<ParsedLine>&)>
RebuiltOperation ignoringState(const std::vector<ParsedLine>& lines, const StateSnapshot&) {
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

RebuiltOperation rebuildOperation(const std::string& event, const std::vector<ParsedLine>& lines,
                                  const StateSnapshot& before) {
    return rebuilders().at(event)(lines, before);
}

std::optional<EstimateState> estimateRead(const std::vector<ParsedLine>& lines) {
    for (const ParsedLine* line : linesOf(lines, {ktrlog::DlRealAdjustEstimate::id})) {
        return EstimateState{value(*line, "net_status"), value(*line, "net_score"), value(*line, "bitrate"),
                             value(*line, "max_bitrate")};
    }
    return std::nullopt;
}

}  // namespace ktr::logs
