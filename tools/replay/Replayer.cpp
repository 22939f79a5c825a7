#include "Replayer.h"

#include <fmt/format.h>

#include "AnswerNotes.h"
#include "LibraryLog.h"
#include "StateTracker.h"

namespace ktr {
namespace {

using tarn::video::IKTRSDK;

// Each scenario step takes one second of the synthetic clock.
constexpr double kSecondsPerStep = 1.0;

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

void Replayer::run(const Scenario& scenario, TimelineWriter& out) const {
    LibraryLog log;
    const SdkLibrary::Instance sdk = m_library.createInstance();
    StateTracker tracker;
    out.begin(TimelineHeader{"replay", scenario.name, m_library.path(), m_library.soname()});
    for (const Step& step : scenario.steps) {
        TimelineStep result;
        result.index = step.index;
        result.time = step.index * kSecondsPerStep;
        result.event = step.name;
        result.action = step.action;
        result.input = step.input;
        result.answer = std::visit(StepRunner{*sdk}, step.action);
        result.log = log.take();
        const std::vector<ParsedLine> lines = readLines(result.log, result.rules);
        result.mismatches = tracker.apply(step.action, result.answer, lines);
        result.state = tracker.snapshot();
        result.notes = answerNotes(result.answer, lines, result.state, tracker.definitions());
        out.write(result);
    }
    out.end();
}

}  // namespace ktr
