#include "LibraryDriver.h"

#include <map>

namespace ktr {
namespace {

using tarn::video::IKTRSDK;
using tarn::video::VideoStreamInfo;

// Performs one step on the instance and returns the library's answer.
struct StepRunner {
    IKTRSDK& sdk;

    Answer operator()(const Init& s) const { return sdk.init(s.uid, s.dt), Answer{}; }
    Answer operator()(const SceneType& s) const { return sdk.setSceneType(s.value), Answer{}; }
    Answer operator()(const Config& s) const { return sdk.setConfig(s.info()), Answer{}; }
    Answer operator()(const AddUser& s) const { return sdk.addUser(s.info()), Answer{}; }
    Answer operator()(const RemoveUser& s) const { return sdk.removeUser(s.info()), Answer{}; }
    Answer operator()(const SetUsers& s) const { return sdk.setUsers(infosOf(s.users)), Answer{}; }
    Answer operator()(const Sharing& s) const { return sdk.setSharing(s.sharing, s.uid), Answer{}; }
    Answer operator()(const Speaker& s) const { return sdk.setSpeaker(s.speaking, s.uid), Answer{}; }
    Answer operator()(const PeerReport& s) const {
        return sdk.addPeerReport(s.uid, infosOf(s.streams.value_or(std::vector<Record>()))), Answer{};
    }
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
    Answer operator()(const Definitions& s) const { return sdk.initStreamInfosForDft(infosOf(s.streams)), Answer{}; }
    Answer operator()(const AskUpload& s) const {
        const int32_t channel = s.channel.value_or(1);
        std::vector<VideoStreamInfo> streams;
        const bool changed = sdk.adjustULPolicy(channel, streams);
        return UploadAnswer{channel, changed, recordsOf(streams)};
    }
    Answer operator()(const AskDownload& s) const {
        std::map<uint64_t, VideoStreamInfo> requests;
        const bool changed = sdk.adjustDLPolicy(s.channel.value_or(1), requests);
        std::vector<PeerRequest> records;
        for (const auto& [uid, request] : requests) {
            PeerRequest record;
            static_cast<Record&>(record) = Record::of(request);
            record.uid = uid;
            records.push_back(record);
        }
        return DownloadAnswer{changed, std::move(records)};
    }
    Answer operator()(const AskHdLd&) const {
        std::set<uint64_t> hd;
        std::set<uint64_t> ld;
        sdk.getHDUids(hd, ld);
        return HdLdAnswer{std::move(hd), std::move(ld)};
    }
    Answer operator()(const AskDefinition& s) const {
        VideoStreamInfo info{};
        sdk.getDftInfoByBitrate(s.bitrate, info);
        return DefinitionAnswer{std::vector<Record>{Record::of(info)}};
    }
};

}  // namespace

Answer performAction(IKTRSDK& sdk, const Action& action) {
    return std::visit(StepRunner{sdk}, action);
}

std::vector<FiredRule> firedRules(std::vector<LogLine> lines) {
    std::vector<FiredRule> rules;
    rules.reserve(lines.size());
    for (LogLine& line : lines) {
        std::optional<ParsedLine> known = parseLogLine(line.text, line.level);
        rules.push_back(FiredRule{known ? std::move(*known) : ParsedLine{}, line.level, std::move(line.text)});
    }
    return rules;
}

LibraryDriver::LibraryDriver(const SdkLibrary& library) : m_sdk(library.createInstance()) {}

TimelineStep LibraryDriver::perform(const Action& action, const std::string& event, double time) {
    TimelineStep step;
    step.time = time;
    step.event = event;
    step.action = action;
    step.answer = timedAction(action);
    step.rules = firedRules(m_log.take());
    step.mismatches = m_tracker.apply(action, step.answer, step.rules);
    step.change = m_tracker.takeChange();
    step.state = &m_tracker.state();
    m_notes.annotate(step, m_tracker.definitions());
    return step;
}

Answer LibraryDriver::answer(const Action& action) {
    Answer answer = timedAction(action);
    m_log.take();
    return answer;
}

Answer LibraryDriver::timedAction(const Action& action) {
    const auto start = std::chrono::steady_clock::now();
    Answer answer = performAction(*m_sdk, action);
    m_libraryTime += std::chrono::steady_clock::now() - start;
    return answer;
}

}  // namespace ktr
