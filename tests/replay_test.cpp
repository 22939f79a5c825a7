#include <gtest/gtest.h>

#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Replayer.h"
#include "Scenario.h"

namespace {

using replay::Answer;
using replay::DownloadAnswer;
using replay::HdLdAnswer;
using replay::UploadAnswer;
using tarn::video::VideoStreamInfo;

std::vector<int> fields(const VideoStreamInfo& s) {
    return {s.channel, s.dft, s.width, s.height, s.fps, s.bitrate, s.maxbitrate, s.minbitrate};
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

// The bundled 1:1 call, worked out by hand from the policy rules.
TEST(ReplayScenario, OneToOneCallOnAPhone) {
    const std::string path = std::string(KTR_SCENARIO_DIR) + "/one-to-one-phone.json";
    const ktr::Scenario scenario = ktr::parseScenario(readFile(path), path);
    const std::vector<replay::StepOutcome> outcomes = replay::replayScenario(scenario);
    ASSERT_EQ(outcomes.size(), 14u);

    // The peer was known (with no streams) before its report, the estimate is good and one user is
    // subscribed: it is received on its upper stream, which lies in another class than its lower one.
    const auto& split = std::get<HdLdAnswer>(outcomes[4].answer);
    EXPECT_EQ(split.hd, std::set<uint64_t>{2002});
    EXPECT_TRUE(split.ld.empty());

    // Phone, two users, nobody speaking: the 480P default; the one request (358400) is published as it is.
    const auto& camera = std::get<UploadAnswer>(outcomes[6].answer);
    EXPECT_TRUE(camera.changed);
    ASSERT_EQ(camera.streams.size(), 1u);
    EXPECT_EQ(fields(camera.streams[0]), (std::vector<int>{1, 1, 640, 480, 20, 358400, 358400, 102400}));

    // Headroom raises the lone peer by one step (716800 + 30720) with the 720P record.
    const auto& raised = std::get<DownloadAnswer>(outcomes[8].answer);
    EXPECT_TRUE(raised.changed);
    ASSERT_EQ(raised.requests.count(2002), 1u);
    EXPECT_EQ(fields(raised.requests.at(2002)), (std::vector<int>{1, 0, 1080, 720, 30, 747520, 1024000, 512000}));

    // Congestion (status 4) cuts a fifth of 716800, more than the 92160 step: 573440, still 720P.
    const auto& cut = std::get<DownloadAnswer>(outcomes[10].answer);
    EXPECT_TRUE(cut.changed) << "same peer, bitrate moved by far more than 30720";
    EXPECT_EQ(cut.requests.at(2002).bitrate, 573440);

    // Speaking lifts the stream to the whole 480P record: same bitrate, so no change is reported.
    const auto& speaking = std::get<UploadAnswer>(outcomes[12].answer);
    EXPECT_FALSE(speaking.changed);
    EXPECT_EQ(fields(speaking.streams.at(0)), (std::vector<int>{1, 1, 640, 480, 20, 358400, 512000, 245760}));

    // No share table was supplied: an all-zero share record, always reported as changed.
    const auto& share = std::get<UploadAnswer>(outcomes[13].answer);
    EXPECT_TRUE(share.changed);
    EXPECT_EQ(fields(share.streams.at(0)), fields(VideoStreamInfo{}));
}

}  // namespace
