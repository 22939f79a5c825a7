#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "DefinitionTable.h"
#include "JsonLinesWriter.h"
#include "LogFileWriter.h"
#include "Replayer.h"
#include "Scenario.h"
#include "ScenarioWriter.h"
#include "SdkLibrary.h"
#include "support/RandomMeeting.h"

namespace {

using tarn::video::KTRUserInfo;
using tarn::video::VideoStreamInfo;

class Collector : public ktr::TimelineWriter {
public:
    void write(const ktr::TimelineStep& step) override { steps.push_back(step); }
    std::vector<ktr::TimelineStep> steps;
};

const ktr::SdkLibrary& library() {
    static const ktr::SdkLibrary loaded(KTR_LIBRARY);
    return loaded;
}

std::vector<ktr::TimelineStep> replay(const ktr::Scenario& scenario) {
    Collector collector;
    ktr::Replayer(library()).run(scenario, collector);
    return collector.steps;
}

std::string readFile(const std::string& path) {
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

ktr::Scenario bundled(const std::string& name) {
    const std::string path = std::string(KTR_SCENARIO_DIR) + "/" + name + ".json";
    return ktr::parseScenario(readFile(path), path);
}

std::vector<int> fields(const VideoStreamInfo& s) {
    return {s.channel, s.dft, s.width, s.height, s.fps, s.bitrate, s.maxbitrate, s.minbitrate};
}

const ktr::PeerState* peerOf(const ktr::StateSnapshot& state, uint64_t uid) {
    for (const ktr::PeerState& peer : state.peers) {
        if (peer.uid == uid) {
            return &peer;
        }
    }
    return nullptr;
}

// The bundled 1:1 call, worked out by hand from the policy rules.
TEST(ReplayScenario, OneToOneCallOnAPhone) {
    const std::vector<ktr::TimelineStep> steps = replay(bundled("one-to-one-phone"));
    ASSERT_EQ(steps.size(), 14u);

    // The peer was known (with no streams) before its report, the estimate is good and one user is
    // subscribed: it is received on its upper stream, which lies in another class than its lower one.
    const auto& split = std::get<ktr::HdLdAnswer>(steps[4].answer);
    EXPECT_EQ(split.hd, std::set<uint64_t>{2002});
    EXPECT_TRUE(split.ld.empty());
    const ktr::PeerState* peer = peerOf(steps[4].state, 2002);
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(peer->choice, ktr::StreamChoice::Upper);
    ASSERT_TRUE(peer->chosen.has_value());
    EXPECT_EQ(peer->chosen->bitrate, 716800);

    // Phone, two users, nobody speaking: the 480P default; the one request (358400) is published as it is.
    const auto& camera = std::get<ktr::UploadAnswer>(steps[6].answer);
    EXPECT_TRUE(camera.changed);
    ASSERT_EQ(camera.streams.size(), 1u);
    EXPECT_EQ(fields(camera.streams[0]), (std::vector<int>{1, 1, 640, 480, 20, 358400, 358400, 102400}));

    // Headroom raises the lone peer by one step (716800 + 30720) with the 720P record.
    const auto& raised = std::get<ktr::DownloadAnswer>(steps[8].answer);
    EXPECT_TRUE(raised.changed);
    ASSERT_EQ(raised.requests.count(2002), 1u);
    EXPECT_EQ(fields(raised.requests.at(2002)), (std::vector<int>{1, 0, 1080, 720, 30, 747520, 1024000, 512000}));

    // Congestion (status 4) cuts a fifth of 716800, more than the 92160 step: 573440, still 720P.
    const auto& cut = std::get<ktr::DownloadAnswer>(steps[10].answer);
    EXPECT_TRUE(cut.changed) << "same peer, bitrate moved by far more than 30720";
    EXPECT_EQ(cut.requests.at(2002).bitrate, 573440);

    // Speaking lifts the stream to the whole 480P record: same bitrate, so no change is reported.
    const auto& speaking = std::get<ktr::UploadAnswer>(steps[12].answer);
    EXPECT_FALSE(speaking.changed);
    EXPECT_EQ(fields(speaking.streams.at(0)), (std::vector<int>{1, 1, 640, 480, 20, 358400, 512000, 245760}));

    // No share table was supplied: an all-zero share record, always reported as changed.
    const auto& share = std::get<ktr::UploadAnswer>(steps[13].answer);
    EXPECT_TRUE(share.changed);
    EXPECT_EQ(fields(share.streams.at(0)), fields(VideoStreamInfo{}));
    EXPECT_NE(std::find_if(steps[13].notes.begin(), steps[13].notes.end(),
                           [](const std::string& note) { return note.find("no share (channel 2) table") == 0; }),
              steps[13].notes.end());
}

// A peer's definition as the derived state gives it must be the library's own answer.
void expectSplitMatches(const ktr::TimelineStep& step, const std::string& where) {
    const auto& answer = std::get<ktr::HdLdAnswer>(step.answer);
    std::set<uint64_t> hd, ld;
    for (const ktr::PeerState& peer : step.state.peers) {
        if (!peer.received) {
            continue;
        }
        ASSERT_NE(peer.definition, ktr::Definition::Unknown) << where << " peer " << peer.uid;
        (peer.definition == ktr::Definition::High ? hd : ld).insert(peer.uid);
    }
    EXPECT_EQ(hd, answer.hd) << where;
    EXPECT_EQ(ld, answer.ld) << where;
}

// A request is the chosen stream raised by one step, or cut by a share of 92160 or a fifth/30 % of it
// down to the 240P floor, or the peer's lower stream.
void expectRequestsFollowChosen(const ktr::TimelineStep& step, const ktr::StateSnapshot& before, int32_t floor,
                                const std::string& where) {
    const auto& answer = std::get<ktr::DownloadAnswer>(step.answer);
    const int32_t status = before.download.status;
    for (const auto& entry : answer.requests) {
        const uint64_t uid = entry.first;
        const VideoStreamInfo& request = entry.second;
        const ktr::PeerState* peer = peerOf(before, uid);
        ASSERT_TRUE(peer != nullptr && peer->chosen) << where << " peer " << uid;
        const int64_t b = peer->chosen->bitrate;
        if (status == 2 || status == 3) {
            EXPECT_EQ(request.bitrate, b + 30720) << where << " peer " << uid;
            continue;
        }
        ASSERT_TRUE(status == 4 || status == 5) << where;
        bool explained = peer->published && peer->published->size() >= 2 &&
                         std::any_of(peer->published->begin(), peer->published->begin() + 2,
                                     [&](const VideoStreamInfo& s) { return fields(s) == fields(request); });
        for (int64_t share = 1; share <= static_cast<int64_t>(before.peers.size()) && !explained; ++share) {
            const int64_t cut = std::max<int64_t>(b * (status == 4 ? 20 : 30) / 100, 92160 / share);
            explained = request.bitrate == std::max<int64_t>(b - cut, floor);
        }
        EXPECT_TRUE(explained) << where << " peer " << uid << " chosen " << b << " asked " << request.bitrate;
    }
}

void expectStateFollowsAnswers(const ktr::Scenario& scenario, const std::string& name) {
    const std::vector<ktr::TimelineStep> steps = replay(scenario);
    ktr::DefinitionTable definitions;
    for (size_t i = 0; i < steps.size(); ++i) {
        const std::string where = name + " step " + std::to_string(i);
        EXPECT_TRUE(steps[i].mismatches.empty()) << where << ": " << steps[i].mismatches.front();
        if (const auto* supplied = std::get_if<ktr::Definitions>(&steps[i].action)) {
            definitions.supply(supplied->streams);
        }
        if (std::holds_alternative<ktr::HdLdAnswer>(steps[i].answer)) {
            expectSplitMatches(steps[i], where);
        } else if (std::holds_alternative<ktr::DownloadAnswer>(steps[i].answer) && i > 0) {
            expectRequestsFollowChosen(steps[i], steps[i - 1].state, definitions.entry(1, 3)->minbitrate, where);
        }
        for (const ktr::FiredRule& rule : steps[i].rules) {
            EXPECT_NE(rule.format, nullptr) << where << ": a line the catalogue does not know";
        }
    }
}

const char* const kBundledScenarios[] = {"one-to-one-phone", "team-meeting", "congested-download", "large-meeting",
                                         "surprising-answers"};

TEST(DerivedState, FollowsEveryAnswerOfTheBundledScenarios) {
    for (const char* name : kBundledScenarios) {
        expectStateFollowsAnswers(bundled(name), name);
    }
}

// Every answer of the bundled scenarios comes with a reason: a rule that fired or a note.
TEST(Explanations, EveryAnswerOfTheBundledScenariosHasAReason) {
    for (const char* name : kBundledScenarios) {
        for (const ktr::TimelineStep& step : replay(bundled(name))) {
            if (!std::holds_alternative<std::monostate>(step.answer)) {
                EXPECT_FALSE(step.rules.empty() && step.notes.empty()) << name << " step " << step.index;
            }
        }
    }
}

TEST(DerivedState, FollowsEveryAnswerOfRandomMeetings) {
    for (unsigned seed = 1; seed <= 1000; ++seed) {
        expectStateFollowsAnswers(ktr::testing::RandomMeeting(seed).make(80), "seed " + std::to_string(seed));
        if (HasFailure()) {
            break;
        }
    }
}

// A scenario written back from its actions replays to the same answers and the same lines.
TEST(ScenarioWriter, WrittenScenarioReplaysIdentically) {
    for (unsigned seed = 1; seed <= 50; ++seed) {
        const ktr::Scenario original = ktr::testing::RandomMeeting(seed).make(60);
        std::ostringstream text;
        ktr::ScenarioWriter writer(text, "random", "written back", std::get<ktr::Init>(original.steps[0].action));
        for (size_t i = 1; i < original.steps.size(); ++i) {
            writer.write(original.steps[i].action);
        }
        writer.finish();
        const ktr::Scenario reread = ktr::parseScenario(text.str(), "written.json");
        ASSERT_EQ(reread.steps.size(), original.steps.size()) << text.str();
        // The library draws from rand(): both runs start from the same point of its sequence.
        std::srand(1);
        const std::vector<ktr::TimelineStep> first = replay(original);
        std::srand(1);
        const std::vector<ktr::TimelineStep> second = replay(reread);
        for (size_t i = 0; i < first.size(); ++i) {
            EXPECT_EQ(nlohmann::json(ktr::scenarioStep(first[i].action)), ktr::scenarioStep(second[i].action));
            std::vector<std::string> a, b;
            for (const ktr::LogLine& line : first[i].log)
                a.push_back(line.text);
            for (const ktr::LogLine& line : second[i].log)
                b.push_back(line.text);
            EXPECT_EQ(a, b) << "seed " << seed << " step " << i;
        }
    }
}

// The JSON Lines header names the schema and the build; every step carries the documented keys.
TEST(TimelineWriters, JsonLinesCarryTheSchemaAndEveryStep) {
    std::ostringstream out;
    ktr::JsonLinesWriter writer(out);
    const ktr::Scenario scenario = bundled("congested-download");
    ktr::Replayer(library()).run(scenario, writer);
    std::istringstream lines(out.str());
    std::string line;
    ASSERT_TRUE(std::getline(lines, line));
    const nlohmann::json header = nlohmann::json::parse(line);
    EXPECT_EQ(header.at("schema"), 1);
    EXPECT_EQ(header.at("library").at("soname"), "libktrsdk.so.1");
    size_t count = 0;
    while (std::getline(lines, line)) {
        const nlohmann::json step = nlohmann::json::parse(line);
        EXPECT_EQ(step.at("step"), count);
        for (const char* key : {"event", "input", "answer", "rules", "log", "state"}) {
            EXPECT_TRUE(step.contains(key)) << key << " in " << line;
        }
        EXPECT_EQ(step.at("rules").size(), step.at("log").size());
        ++count;
    }
    EXPECT_EQ(count, scenario.steps.size());
}

}  // namespace
