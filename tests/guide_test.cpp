// The host's guide (docs/host-guide.md): every surprising answer it explains names steps of the bundled
// scenarios, and each named step's answer is checked here against the rule the guide gives, worked out by
// hand. The guide must name exactly the steps checked here.
#include <gtest/gtest.h>

#include <cctype>
#include <fstream>
#include <functional>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "ProvenanceOf.h"
#include "Replayer.h"
#include "Scenario.h"
#include "SdkLibrary.h"
#include "support/TimelineCollector.h"

namespace {

using tarn::video::VideoStreamInfo;
using Steps = std::vector<ktr::TimelineStep>;
using Requests = std::map<uint64_t, VideoStreamInfo>;
using Uids = std::set<uint64_t>;

// Built-in definition records as the answers carry them.
const VideoStreamInfo kZero{0, 0, 0, 0, 0, 0, 0, 0};
const VideoStreamInfo k720P{1, 0, 1080, 720, 30, 716800, 1024000, 512000};

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// Each bundled scenario is replayed once, in this process, on the built library.
const Steps& replayed(const std::string& name) {
    static std::map<std::string, ktr::testing::TimelineCollector> cache;
    auto found = cache.find(name);
    if (found == cache.end()) {
        static const ktr::SdkLibrary library(KTR_LIBRARY);
        const std::string path = std::string(KTR_SCENARIO_DIR) + "/" + name + ".json";
        ktr::testing::TimelineCollector collector;
        ktr::replay::Replayer(library).run(ktr::parseScenario(readFile(path), path), ktr::provenanceOf(library, ""),
                                           collector);
        found = cache.emplace(name, std::move(collector)).first;
    }
    return found->second.steps;
}

std::vector<int> fields(const VideoStreamInfo& s) {
    return {s.channel, s.dft, s.width, s.height, s.fps, s.bitrate, s.maxbitrate, s.minbitrate};
}

VideoStreamInfo withBitrate(VideoStreamInfo record, int bitrate) {
    record.bitrate = bitrate;
    return record;
}

VideoStreamInfo withRank(VideoStreamInfo record, int rank) {
    record.dft = rank;
    return record;
}

void expectUpload(const ktr::TimelineStep& step, int channel, const std::vector<VideoStreamInfo>& records,
                  bool changed) {
    const auto* answer = std::get_if<ktr::UploadAnswer>(&step.answer);
    ASSERT_NE(answer, nullptr) << "not an upload answer";
    EXPECT_EQ(answer->channel, channel);
    ASSERT_EQ(answer->records->size(), records.size());
    for (size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(fields((*answer->records)[i].info()), fields(records[i])) << "record " << i;
    }
    EXPECT_EQ(answer->changed, changed);
}

void expectDownload(const ktr::TimelineStep& step, const Requests& requests, bool changed) {
    const auto* answer = std::get_if<ktr::DownloadAnswer>(&step.answer);
    ASSERT_NE(answer, nullptr) << "not a download answer";
    ASSERT_EQ(answer->records->size(), requests.size());
    for (const auto& [uid, request] : requests) {
        ASSERT_NE(answer->request(uid), nullptr) << "no request for peer " << uid;
        EXPECT_EQ(fields(answer->request(uid)->info()), fields(request)) << "peer " << uid;
    }
    EXPECT_EQ(answer->changed, changed);
}

void expectSplit(const ktr::TimelineStep& step, const Uids& hd, const Uids& ld) {
    const auto* answer = std::get_if<ktr::HdLdAnswer>(&step.answer);
    ASSERT_NE(answer, nullptr) << "not an hdld answer";
    EXPECT_EQ(answer->hd, hd);
    EXPECT_EQ(answer->ld, ld);
}

std::vector<std::string> linesOf(const ktr::TimelineStep& step, ktr::LogLevel level) {
    std::vector<std::string> lines;
    for (const ktr::FiredRule& rule : step.rules) {
        if (rule.level == level) {
            lines.push_back(rule.text);
        }
    }
    return lines;
}

std::string getPeerFailed(uint64_t uid) {
    return "[KTRPeerMgr::getPeer]: ktr get peer failed, uid=" + std::to_string(uid);
}

// A step of a bundled scenario that the guide names, and what its answer must be.
struct NamedStep {
    std::string scenario;
    int step;
    std::function<void(const Steps&, int)> check;
};

void PrintTo(const NamedStep& s, std::ostream* os) {
    *os << s.scenario << " step " << s.step;
}

// The camera stream of the surprising-answers scenario before and after its upload estimate: the
// 358400 request on the default (480P) entry, bitrate and maximum 358400, the 240P minimum, rank 1.
const VideoStreamInfo kRequestedStream{1, 1, 640, 480, 20, 358400, 358400, 102400};

std::vector<NamedStep> namedSteps() {
    const std::string surprising = "surprising-answers";
    return {
        // The 720P entry is 1080 pixels wide.
        {surprising, 10,
         [](const Steps& steps, int n) {
             const auto* answer = std::get_if<ktr::DefinitionAnswer>(&steps[n].answer);
             ASSERT_NE(answer, nullptr);
             EXPECT_EQ(fields(answer->records->at(0).info()), fields(k720P));
         }},
        {surprising, 19,
         [](const Steps& steps, int n) {
             // Status 4 cuts 2002 (716800) and 3003 (512000) by a fifth, more than their share of 92160.
             const VideoStreamInfo k480P{1, 0, 640, 480, 20, 358400, 512000, 245760};
             expectDownload(steps[n], {{2002, withBitrate(k720P, 573440)}, {3003, withBitrate(k480P, 409600)}}, true);
         }},
        {"one-to-one-phone", 8,
         [](const Steps& steps, int n) {
             // The lone peer receives its upper 716800 stream and is raised by 30720.
             expectDownload(steps[n], {{2002, withBitrate(k720P, 747520)}}, true);
         }},
        // A scene default without a table entry is all zero.
        {surprising, 16,
         [](const Steps& steps, int n) {
             // Device type 8, four users, 2002 speaking: 180P, whose record replaces the request.
             expectUpload(steps[n], 1, {withRank(kZero, 1)}, true);
         }},
        {surprising, 23, [](const Steps& steps, int n) { expectUpload(steps[n], 2, {kZero}, true); }},
        {"team-meeting", 17,
         [](const Steps& steps, int n) {
             // Six users, another one speaking: the large-meeting answer is the 180P default, unranked.
             expectUpload(steps[n], 1, {kZero}, true);
         }},
        // The getPeer error lines of a user list set before the reports.
        {surprising, 4,
         [](const Steps& steps, int n) {
             EXPECT_EQ(linesOf(steps[n], ktr::LogLevel::Error),
                       (std::vector<std::string>{getPeerFailed(2002), getPeerFailed(3003), getPeerFailed(4004)}));
             EXPECT_TRUE(linesOf(steps[n], ktr::LogLevel::Warning).empty());
         }},
        {surprising, 8,
         [](const Steps& steps, int n) {
             EXPECT_EQ(linesOf(steps[n], ktr::LogLevel::Error), std::vector<std::string>{getPeerFailed(4004)});
         }},
        {surprising, 5,
         [](const Steps& steps, int n) {
             // Known since setUsers, three received users: the lower stream.
             const std::vector<std::string> info = linesOf(steps[n], ktr::LogLevel::Info);
             ASSERT_FALSE(info.empty());
             EXPECT_EQ(
                 info.back(),
                 "[KTRDLPolicy::addPeer]: ktr download policy add peer, choose upper=0, uid=2002, bitrate=204800");
         }},
        // Which peers count as high definition.
        {surprising, 7,
         [](const Steps& steps, int n) {
             expectSplit(steps[n], {4004}, {2002, 3003});
         }},
        {surprising, 9,
         [](const Steps& steps, int n) {
             expectSplit(steps[n], {2002, 4004}, {3003});
         }},
        {"team-meeting", 12,
         [](const Steps& steps, int n) {
             expectSplit(steps[n], {3003, 5005}, {2002, 4004, 6006});
         }},
        // The upload estimate changes no decision.
        {surprising, 12, [](const Steps& steps, int n) { expectUpload(steps[n], 1, {kRequestedStream}, true); }},
        {surprising, 14,
         [](const Steps& steps, int n) {
             const auto* estimate = std::get_if<ktr::NetEstimate>(&steps[n - 1].action);
             ASSERT_NE(estimate, nullptr) << "the step before is not an estimate";
             EXPECT_TRUE(estimate->upload);
             EXPECT_EQ(estimate->status, 5);
             expectUpload(steps[n], 1, {kRequestedStream}, false);
         }},
        // Cuts are never restored by status 1.
        {surprising, 21, [](const Steps& steps, int n) { expectDownload(steps[n], {}, true); }},
        {surprising, 22, [](const Steps& steps, int n) { expectDownload(steps[n], {}, false); }},
        {"congested-download", 20, [](const Steps& steps, int n) { expectDownload(steps[n], {}, true); }},
    };
}

class SurprisingAnswer : public ::testing::TestWithParam<NamedStep> {};

TEST_P(SurprisingAnswer, IsTheAnswerTheGuideExplains) {
    const NamedStep& named = GetParam();
    const Steps& steps = replayed(named.scenario);
    ASSERT_LT(named.step, static_cast<int>(steps.size()));
    ASSERT_EQ(steps[named.step].index, named.step);
    named.check(steps, named.step);
}

INSTANTIATE_TEST_SUITE_P(BundledScenarios, SurprisingAnswer, ::testing::ValuesIn(namedSteps()),
                         [](const ::testing::TestParamInfo<NamedStep>& info) {
                             std::string name = info.param.scenario + "_step_" + std::to_string(info.param.step);
                             for (char& c : name) {
                                 c = c == '-' ? '_' : c;
                             }
                             return name;
                         });

// The steps that the guide's section on surprising answers names, as `examples/scenarios/NAME.json` step N.
std::set<std::pair<std::string, int>> stepsNamedByTheGuide() {
    const std::string guide = readFile(KTRSDK_HOST_GUIDE);
    const size_t start = guide.find("\n## Answers that surprise\n");
    EXPECT_NE(start, std::string::npos) << "the guide has no section on surprising answers";
    const size_t end = guide.find("\n## ", start + 1);
    const std::string section = guide.substr(start, end == std::string::npos ? std::string::npos : end - start);
    const std::regex reference("`examples/scenarios/([a-z0-9-]+)\\.json` step ([0-9]+)");
    std::set<std::pair<std::string, int>> named;
    for (auto it = std::sregex_iterator(section.begin(), section.end(), reference); it != std::sregex_iterator();
         ++it) {
        named.emplace((*it)[1].str(), std::stoi((*it)[2].str()));
    }
    return named;
}

TEST(HostGuide, NamesExactlyTheCheckedSteps) {
    std::set<std::pair<std::string, int>> checked;
    for (const NamedStep& named : namedSteps()) {
        checked.emplace(named.scenario, named.step);
    }
    const std::set<std::pair<std::string, int>> named = stepsNamedByTheGuide();
    for (const auto& [scenario, step] : named) {
        EXPECT_EQ(checked.count({scenario, step}), 1u)
            << "the guide names " << scenario << " step " << step << ", which no test checks";
    }
    for (const auto& [scenario, step] : checked) {
        EXPECT_EQ(named.count({scenario, step}), 1u)
            << scenario << " step " << step << " is checked but the guide does not name it";
    }
}

// The anchor a Markdown renderer gives a heading: lower case, punctuation dropped, blanks as dashes.
std::string anchorOf(const std::string& heading) {
    std::string anchor;
    for (const char c : heading) {
        if (std::isalnum(static_cast<unsigned char>(c)) || c == '-' || c == '_') {
            anchor += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
        } else if (c == ' ') {
            anchor += '-';
        }
    }
    return anchor;
}

TEST(HostGuide, EveryLinkWithinTheGuideFindsItsHeading) {
    const std::string guide = readFile(KTRSDK_HOST_GUIDE);
    std::set<std::string> anchors;
    const std::regex heading("(^|\\n)#+ ([^\\n]*)");
    for (auto it = std::sregex_iterator(guide.begin(), guide.end(), heading); it != std::sregex_iterator(); ++it) {
        anchors.insert(anchorOf((*it)[2].str()));
    }
    const std::regex link("\\]\\(#([^)]+)\\)");
    int links = 0;
    for (auto it = std::sregex_iterator(guide.begin(), guide.end(), link); it != std::sregex_iterator(); ++it) {
        ++links;
        EXPECT_EQ(anchors.count((*it)[1].str()), 1u) << "a link to #" << (*it)[1].str() << ", which no heading has";
    }
    EXPECT_GT(links, 0);
}

// The scenario made to show the surprising answers says so, and carries no suspicious input but at steps the
// guide names as surprising (the share question before any share record is one).
TEST(HostGuide, SurprisingAnswersScenarioIsDescribedAndClean) {
    const std::string path = std::string(KTR_SCENARIO_DIR) + "/surprising-answers.json";
    const ktr::Scenario scenario = ktr::parseScenario(readFile(path), path);
    const std::set<std::pair<std::string, int>> named = stepsNamedByTheGuide();
    const std::regex stepOf(": step ([0-9]+) ");
    for (const std::string& warning : scenario.warnings) {
        std::smatch step;
        ASSERT_TRUE(std::regex_search(warning, step, stepOf)) << warning;
        EXPECT_EQ(named.count({"surprising-answers", std::stoi(step[1].str())}), 1u)
            << warning << ": a step the guide does not name";
    }
    EXPECT_NE(readFile(path).find("\"description\""), std::string::npos);
}

}  // namespace
