// What --lint says the library will do with a suspicious input, checked on a replay of that input: each row
// is a scenario, the finding it must give, and the claim of that finding checked against the answers and the
// lines of the replay. The bundled scenarios give no finding whose claim does not hold.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <functional>
#include <regex>
#include <string>
#include <vector>

#include "InputFile.h"
#include "KTRLogFormats.h"
#include "ProvenanceOf.h"
#include "Replayer.h"
#include "Scenario.h"
#include "SdkLibrary.h"
#include "support/TimelineCollector.h"

namespace {

using Steps = std::vector<ktr::TimelineStep>;

const ktr::SdkLibrary& library() {
    static const ktr::SdkLibrary loaded(KTR_LIBRARY);
    return loaded;
}

// The replay's steps; each step's state lives in the collector, which must outlive them.
void replay(const ktr::Scenario& scenario, ktr::testing::TimelineCollector& timeline) {
    std::srand(1);
    ktr::replay::Replayer(library()).run(scenario, ktr::provenanceOf(library(), ""), timeline);
}

const ktr::ParsedLine* lineOf(const ktr::TimelineStep& step, std::string_view id) {
    for (const ktr::FiredRule& rule : step.rules) {
        if (rule.line.format != nullptr && rule.line.format->id == id) {
            return &rule.line;
        }
    }
    return nullptr;
}

std::vector<ktr::Record> uploadRecords(const ktr::TimelineStep& step) {
    return std::get<ktr::UploadAnswer>(step.answer).records.value_or(std::vector<ktr::Record>());
}

bool uploadChanged(const ktr::TimelineStep& step) {
    return std::get<ktr::UploadAnswer>(step.answer).changed.value_or(false);
}

std::vector<ktr::PeerRequest> requests(const ktr::TimelineStep& step) {
    return std::get<ktr::DownloadAnswer>(step.answer).records.value_or(std::vector<ktr::PeerRequest>());
}

struct ClaimCase {
    const char* what;
    std::string steps;
    std::vector<std::string> findings;
    std::function<void(const Steps&)> claim;  // checked on the replay
};

void PrintTo(const ClaimCase& c, std::ostream* os) {
    *os << c.what;
}

class LintClaims : public ::testing::TestWithParam<ClaimCase> {};

TEST_P(LintClaims, HoldOnTheReplay) {
    const std::string json = R"({"local": {"uid": 1, "dt": 8}, "steps": [)" + GetParam().steps + "]}";
    const ktr::Scenario scenario = ktr::parseScenario(json, "meeting.json");
    EXPECT_EQ(scenario.warnings, GetParam().findings);
    ktr::testing::TimelineCollector timeline;
    replay(scenario, timeline);
    GetParam().claim(timeline.steps);
}

const char* const kShareWithoutTable =
    "share asked before any definitions record of channel 2 and height 720; the share answer is an all-zero record";
const char* const kThreeStreams =
    "3 streams; the download policy chooses between the first two only: when it chooses the upper stream (download "
    "score above 85 and, for a peer it does not handle yet, a local device type other than 1 and at most 3 received "
    "users; for a peer it handles, fewer than 3 received users and nobody sharing or speaking) it stores an all-zero "
    "record as the stream received and logs an error; otherwise it receives the lower of the first two";
const char* const kCameraInverted =
    "maxbitrate 102400 is below minbitrate 256000; the camera table keeps the record as given; no bitrate lies in its "
    "range, so the lookup of a bitrate's class by range never answers this class";
const char* const kPeerInverted =
    "maxbitrate 204800 is below minbitrate 307200; the library checks neither bound and weighs the stream against "
    "each as given (a raise against maxbitrate, a cut against minbitrate)";

std::string request(int bitrate) {
    return R"({"step": "selectRequest", "width": 640, "height": 480, "fps": 15, "bitrate": )" +
           std::to_string(bitrate) + "}";
}

std::string estimate(int status, int score) {
    return R"({"step": "downloadNet", "status": )" + std::to_string(status) + R"(, "score": )" + std::to_string(score) +
           R"(, "bitrate": 1000000, "max_bitrate": 0})";
}

// Peer 2 listed, then its three streams: 204800, 716800 and 358400.
const std::string kThreeStreamsOfPeer2 =
    R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}]},
       {"step": "peerReport", "uid": 2, "streams": [{"width": 320, "height": 240, "fps": 15, "bitrate": 204800, "maxbitrate": 256000, "minbitrate": 102400},
                                                    {"width": 1280, "height": 720, "fps": 15, "bitrate": 716800, "maxbitrate": 1024000, "minbitrate": 512000},
                                                    {"width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 512000, "minbitrate": 245760}]})";

const std::string kTwoStreamsOfPeer2 =
    R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}]},
       {"step": "peerReport", "uid": 2, "streams": [{"width": 320, "height": 240, "fps": 15, "bitrate": 204800, "maxbitrate": 256000, "minbitrate": 102400},
                                                    {"width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 512000, "minbitrate": 245760}]})";

const std::string kOneStreamOfPeer2 =
    R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}]},
       {"step": "peerReport", "uid": 2, "streams": [{"width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 512000, "minbitrate": 245760}]})";

std::string invertedStream(int uid) {
    return R"({"step": "peerReport", "uid": )" + std::to_string(uid) +
           R"(, "streams": [{"width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 204800, "minbitrate": 307200}]})";
}

INSTANTIATE_TEST_SUITE_P(
    Findings, LintClaims,
    ::testing::Values(
        ClaimCase{"a share question before the share table answers all zero",
                  R"({"step": "share"})",
                  {std::string("meeting.json: step 1 (share): ") + kShareWithoutTable},
                  [](const Steps& steps) {
                      ASSERT_EQ(uploadRecords(steps[1]).size(), 1u);
                      EXPECT_TRUE(uploadRecords(steps[1])[0].isZero());
                  }},
        ClaimCase{
            "channel 3 gets the camera decision and is compared as one",
            request(358400) + R"(, {"step": "upload", "channel": 3}, {"step": "upload", "channel": 1})",
            {R"(meeting.json: step 2 (upload): field "channel": channel 3 is neither 1 (camera) nor 2 (share); the library answers it with the camera decision, as channel 1, and compares it with the previous one)"},
            [](const Steps& steps) {
                ASSERT_EQ(uploadRecords(steps[2]).size(), 1u);
                EXPECT_EQ(uploadRecords(steps[2])[0].bitrate, 358400);
                EXPECT_EQ(uploadRecords(steps[2])[0].dft, 1) << "ranked as a camera stream";
                EXPECT_TRUE(uploadChanged(steps[2]));
                EXPECT_FALSE(uploadChanged(steps[3])) << "channel 1 compared with channel 3's answer";
            }},
        ClaimCase{"a request not cleared is merged with the held one",
                  request(358400) + R"(, {"step": "upload"}, )" + request(716800) + R"(, {"step": "upload"})",
                  {"meeting.json: step 3 (selectRequest): no clearSelectRequests since the camera decision of step 2; "
                   "the library adds this request to the 1 it holds, and the next camera decision merges them all"},
                  [](const Steps& steps) {
                      EXPECT_EQ(steps[4].state->selectRequests.size(), 2u);
                      EXPECT_TRUE(lineOf(steps[4], ktrlog::SelectAdjust2DifferentDft::id) != nullptr ||
                                  lineOf(steps[4], ktrlog::SelectAdjust2SameDft::id) != nullptr)
                          << "two requests merged";
                  }},
        ClaimCase{"three streams under a good score: the upper choice stores an all-zero record",
                  estimate(1, 90) + ", " + kThreeStreamsOfPeer2,
                  {std::string(R"(meeting.json: step 3 (peerReport): field "streams": )") + kThreeStreams},
                  [](const Steps& steps) {
                      EXPECT_NE(lineOf(steps[3], ktrlog::DlChooseUpperSize::id), nullptr);
                      const ktr::ParsedLine* chosen = lineOf(steps[3], ktrlog::DlAddPeerChosen::id);
                      ASSERT_NE(chosen, nullptr);
                      EXPECT_EQ(chosen->integer("upper"), 1);
                      EXPECT_EQ(chosen->integer("bitrate"), 0);
                  }},
        ClaimCase{"three streams under a poor score: the lower of the first two",
                  estimate(1, 50) + ", " + kThreeStreamsOfPeer2,
                  {std::string(R"(meeting.json: step 3 (peerReport): field "streams": )") + kThreeStreams},
                  [](const Steps& steps) {
                      EXPECT_EQ(lineOf(steps[3], ktrlog::DlChooseUpperSize::id), nullptr);
                      const ktr::ParsedLine* chosen = lineOf(steps[3], ktrlog::DlAddPeerChosen::id);
                      ASSERT_NE(chosen, nullptr);
                      EXPECT_EQ(chosen->integer("upper"), 0);
                      EXPECT_EQ(chosen->integer("bitrate"), 204800);
                  }},
        ClaimCase{
            "a score above 100 counts as good: the peer is raised",
            estimate(2, 150) + ", " + kOneStreamOfPeer2 + R"(, {"step": "download"})",
            {R"(meeting.json: step 1 (downloadNet): field "score": score 150 is outside 0 to 100; the download policy only asks whether it is above 85: it counts as a good network (a peer may get its upper stream, and the score holds back no raise))"},
            [](const Steps& steps) {
                ASSERT_EQ(requests(steps[4]).size(), 1u);
                EXPECT_EQ(requests(steps[4])[0].bitrate, 358400 + 30720);
            }},
        ClaimCase{
            "a score below 0 counts as poor: no raise",
            estimate(2, -1) + ", " + kOneStreamOfPeer2 + R"(, {"step": "download"})",
            {R"(meeting.json: step 1 (downloadNet): field "score": score -1 is outside 0 to 100; the download policy only asks whether it is above 85: it counts as a poor network (every peer gets its lower stream, and no raise))"},
            [](const Steps& steps) {
                EXPECT_NE(lineOf(steps[4], ktrlog::DlRealAdjustLowScore::id), nullptr);
                EXPECT_TRUE(requests(steps[4]).empty());
            }},
        // Peer 2 receives its upper stream, 358400, in the built-in 480P range (row 0 holds it too, and answers
        // first); its lower one is 204800. With the 240P range inverted no range holds 204800, and the lookup falls
        // back to the lowest row, 0: the class of 358400, so the peer is in low definition (with the built-in 240P
        // range it would be high).
        ClaimCase{
            "a camera record whose range holds no bitrate is never the class looked up",
            estimate(1, 90) +
                R"(, {"step": "definitions", "streams": [{"channel": 1, "width": 320, "height": 240, "fps": 15, "bitrate": 204800, "maxbitrate": 102400, "minbitrate": 256000}]}, )" +
                kTwoStreamsOfPeer2 + R"(, {"step": "hdld"})",
            {std::string(R"(meeting.json: step 2 (definitions): field "streams[0].maxbitrate": )") + kCameraInverted},
            [](const Steps& steps) {
                const ktr::ParsedLine* chosen = lineOf(steps[4], ktrlog::DlAddPeerChosen::id);
                ASSERT_NE(chosen, nullptr);
                EXPECT_EQ(chosen->integer("bitrate"), 358400);
                const auto& split = std::get<ktr::HdLdAnswer>(steps[5].answer);
                ASSERT_TRUE(split.hd && split.ld);
                EXPECT_EQ(split.ld->count(2), 1u);
                EXPECT_EQ(split.hd->count(2), 0u);
            }},
        // Two peers at 358400 with minimum 307200: a cut needs 307200 + 92160 = 399360, so both are spared.
        ClaimCase{
            "a stream's minimum above its maximum is weighed as given by a cut",
            R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}, {"uid": 3, "dt": 8}]}, )" + invertedStream(2) +
                ", " + invertedStream(3) + ", " + estimate(4, 50) + R"(, {"step": "download"})",
            {std::string(R"(meeting.json: step 2 (peerReport): field "streams[0].maxbitrate": )") + kPeerInverted,
             std::string(R"(meeting.json: step 3 (peerReport): field "streams[0].maxbitrate": )") + kPeerInverted},
            [](const Steps& steps) {
                const ktr::ParsedLine* spared = lineOf(steps[5], ktrlog::DlIsGoodToDecMin::id);
                ASSERT_NE(spared, nullptr);
                EXPECT_EQ(spared->integer("maxBitrate"), 307200) << "the minimum as given";
                EXPECT_TRUE(requests(steps[5]).empty());
            }}));

// Each bundled scenario is clean, or every finding it gives is one whose claim is checked here.
TEST(LintClaims, HoldOnTheBundledScenarios) {
    const std::regex shareFinding(R"(: step (\d+) \(share\): )" + std::string(kShareWithoutTable) + "$");
    for (const auto& entry : std::filesystem::directory_iterator(KTR_SCENARIO_DIR)) {
        const std::string path = entry.path().string();
        const ktr::Scenario scenario = ktr::parseScenario(ktr::readInputFile(path), path);
        if (scenario.warnings.empty()) {
            continue;
        }
        ktr::testing::TimelineCollector timeline;
        replay(scenario, timeline);
        const Steps& steps = timeline.steps;
        for (const std::string& finding : scenario.warnings) {
            std::smatch match;
            ASSERT_TRUE(std::regex_search(finding, match, shareFinding)) << "no claim check for " << finding;
            const std::vector<ktr::Record> records = uploadRecords(steps.at(std::stoul(match[1].str())));
            ASSERT_EQ(records.size(), 1u) << finding;
            EXPECT_TRUE(records[0].isZero()) << finding;
        }
    }
}

}  // namespace
