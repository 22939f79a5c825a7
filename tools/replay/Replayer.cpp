#include "Replayer.h"

#include <memory>

#include "xlog/logsdk.h"

namespace replay {
namespace {

using tarn::video::IKTRSDK;
using tarn::video::KTRSDKFactory;

// Collects the library's lines while it lives.
class LineCollector {
public:
    LineCollector() { xlog::setSink(&LineCollector::receive, this); }
    ~LineCollector() { xlog::setSink(nullptr, nullptr); }
    LineCollector(const LineCollector&) = delete;
    LineCollector& operator=(const LineCollector&) = delete;

    std::vector<std::string> take() {
        std::vector<std::string> lines;
        lines.swap(m_lines);
        return lines;
    }

private:
    static void receive(xlog::Level level, const char* line, void* context) {
        const char* mark = level == xlog::Level::Info ? "I " : level == xlog::Level::Warning ? "W " : "E ";
        static_cast<LineCollector*>(context)->m_lines.push_back(mark + std::string(line));
    }

    std::vector<std::string> m_lines;
};

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

}  // namespace

std::vector<StepOutcome> replayScenario(const Scenario& scenario) {
    const std::unique_ptr<IKTRSDK, void (*)(IKTRSDK*)> sdk(KTRSDKFactory::createKTRSDK(),
                                                           &KTRSDKFactory::releaseKTRSDK);
    LineCollector lines;
    std::vector<StepOutcome> outcomes;
    for (const Step& step : scenario.steps) {
        Answer answer = std::visit(StepRunner{*sdk}, step.action);
        outcomes.push_back(StepOutcome{&step, std::move(answer), lines.take()});
    }
    return outcomes;
}

}  // namespace replay
