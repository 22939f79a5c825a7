#include "LibraryDriver.h"

#include "AnswerNotes.h"

namespace ktr {
namespace {

using tarn::video::IKTRSDK;

// Performs one step on the instance and returns the library's answer.
struct StepRunner {
    IKTRSDK& sdk;

    Answer operator()(const Init& s) const { return sdk.init(s.uid, s.dt), Answer{}; }
    Answer operator()(const SceneType& s) const { return sdk.setSceneType(s.value), Answer{}; }
    Answer operator()(const Config& s) const { return sdk.setConfig(s.config), Answer{}; }
    Answer operator()(const AddUser& s) const { return sdk.addUser(s.user), Answer{}; }
    Answer operator()(const RemoveUser& s) const { return sdk.removeUser(s.user), Answer{}; }
    Answer operator()(const SetUsers& s) const { return sdk.setUsers(s.users), Answer{}; }
    Answer operator()(const Sharing& s) const { return sdk.setSharing(s.sharing, s.uid), Answer{}; }
    Answer operator()(const Speaker& s) const { return sdk.setSpeaker(s.speaking, s.uid), Answer{}; }
    Answer operator()(const PeerReport& s) const { return sdk.addPeerReport(s.uid, s.streams), Answer{}; }
    Answer operator()(const ClearPeerReports&) const { return sdk.clearPeerReports(), Answer{}; }
    Answer operator()(const SelectRequest& s) const {
        return sdk.addSelectReq(s.width, s.height, s.fps, s.bitrate), Answer{};
    }
    Answer operator()(const ClearSelectRequests&) const { return sdk.clearSelectReqs(), Answer{}; }
    Answer operator()(const NetEstimate& s) const {
        if (s.upload) {
            sdk.setULNetStatus(s.status, s.score, s.bitrate, s.maxBitrate);
        } else {
            sdk.setDLNetStatus(s.status, s.score, s.bitrate, s.maxBitrate);
        }
        return Answer{};
    }
    Answer operator()(const Definitions& s) const { return sdk.initStreamInfosForDft(s.streams), Answer{}; }
    Answer operator()(const AskUpload& s) const {
        UploadAnswer answer{s.channel, {}, false};
        answer.changed = sdk.adjustULPolicy(s.channel, answer.streams);
        return answer;
    }
    Answer operator()(const AskDownload& s) const {
        DownloadAnswer answer{{}, false};
        answer.changed = sdk.adjustDLPolicy(s.channel, answer.requests);
        return answer;
    }
    Answer operator()(const AskHdLd&) const {
        HdLdAnswer answer;
        sdk.getHDUids(answer.hd, answer.ld);
        return answer;
    }
    Answer operator()(const AskDefinition& s) const {
        DefinitionAnswer answer{s.bitrate, {}};
        sdk.getDftInfoByBitrate(s.bitrate, answer.info);
        return answer;
    }
};

// Looks every line up in the catalogue: the recognised ones feed the state, all become rules.
std::vector<ParsedLine> readLines(const std::vector<LogLine>& lines, std::vector<FiredRule>& rules) {
    std::vector<ParsedLine> parsed;
    for (const LogLine& line : lines) {
        if (std::optional<ParsedLine> known = parseLogLine(line.text, line.level)) {
            rules.push_back(FiredRule{known->format, line.level, known->explanation()});
            parsed.push_back(std::move(*known));
        } else {
            rules.push_back(FiredRule{nullptr, line.level,
                                      "a line that no known format matches: the loaded build may be another version"});
        }
    }
    return parsed;
}

}  // namespace

Answer performAction(IKTRSDK& sdk, const Action& action) {
    return std::visit(StepRunner{sdk}, action);
}

LibraryDriver::LibraryDriver(const SdkLibrary& library) : m_sdk(library.createInstance()) {}

TimelineStep LibraryDriver::perform(const Action& action, const std::string& event, double time) {
    TimelineStep step;
    step.time = time;
    step.event = event;
    step.action = action;
    const auto start = std::chrono::steady_clock::now();
    step.answer = performAction(*m_sdk, action);
    m_libraryTime += std::chrono::steady_clock::now() - start;
    step.log = m_log.take();
    const std::vector<ParsedLine> lines = readLines(step.log, step.rules);
    step.mismatches = m_tracker.apply(action, step.answer, lines);
    step.state = m_tracker.snapshot();
    step.notes = answerNotes(step.answer, lines, step.state, m_tracker.definitions());
    return step;
}

}  // namespace ktr
