// --redact: pseudonyms, texts, JSON and timeline steps with their uids replaced.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "RedactionStage.h"
#include "UidRedactor.h"
#include "Uids.h"
#include "support/TimelineCollector.h"

namespace {

using ktr::UidRedactor;
using nlohmann::json;

constexpr uint64_t kFirst = UidRedactor::kFirstPseudonym;

TEST(UidRedactor, PseudonymsFollowTheOrderUidsAreSeenInAndStayTheSame) {
    UidRedactor redactor;
    EXPECT_EQ(redactor.pseudonym(3003), kFirst);
    EXPECT_EQ(redactor.pseudonym(2002), kFirst + 1);
    EXPECT_EQ(redactor.pseudonym(3003), kFirst);
    EXPECT_EQ(redactor.pseudonym(0), 0u) << "0 is nobody and stays so";
}

struct TextCase {
    std::string text;
    std::string redacted;  // with 2002 -> kFirst and 7 -> kFirst + 1 known
};

class RedactedText : public ::testing::TestWithParam<TextCase> {};

TEST_P(RedactedText, ReplacesKnownUidsAfterTheWordsThatNameThem) {
    UidRedactor redactor;
    redactor.pseudonym(2002);
    redactor.pseudonym(7);
    EXPECT_EQ(redactor.text(GetParam().text), GetParam().redacted);
}

INSTANTIATE_TEST_SUITE_P(Texts, RedactedText,
                         ::testing::Values(TextCase{"peer 2002: receives 358400", "peer 990000001: receives 358400"},
                                           TextCase{"uid=7, dt=7", "uid=990000002, dt=7"},
                                           TextCase{"users: 2002, 7 and 9", "users: 990000001, 990000002 and 9"},
                                           TextCase{"Speaker 7 speaks", "Speaker 990000002 speaks"},
                                           TextCase{"bitrate 2002 and fps 7", "bitrate 2002 and fps 7"},
                                           TextCase{"peer 20021 is another", "peer 20021 is another"},
                                           TextCase{"peer 3003 was never seen", "peer 3003 was never seen"}));

TEST(UidRedactor, AStepLosesEveryUid) {
    UidRedactor redactor;
    ktr::StateSnapshot state;
    state.scene.localUid = 1001;
    state.scene.speaker = 4004;
    state.scene.users = {ktr::UserKey{2002, uint16_t{8}}, ktr::UserKey{4004, uint16_t{1}}};
    state.peers[4004] = ktr::PeerState{};
    ktr::TimelineStep step;
    step.action = ktr::PeerReport{2002, std::vector<ktr::Record>()};
    ktr::PeerRequest first;
    first.uid = 2002;
    ktr::PeerRequest second;
    second.uid = 4004;
    step.answer = ktr::DownloadAnswer{true, std::vector<ktr::PeerRequest>{first, second}};
    step.change = ktr::StateChange::whole(state);
    step.state = &state;
    step.rules.push_back(ktr::FiredRule{*ktr::parseLogLine("[KTRMgr::init]: ktr init, uid=1001, dt=8"),
                                        ktr::LogLevel::Info, "[KTRMgr::init]: ktr init, uid=1001, dt=8"});
    step.notes = {"peer 4004: receives 204800"};
    const ktr::TimelineStep redacted = redactor.step(step);
    // Seen in this order: the local user, the speaker, then the users.
    EXPECT_EQ(redacted.state->scene.localUid, kFirst);
    EXPECT_EQ(redacted.state->scene.speaker, kFirst + 1);
    EXPECT_EQ(std::get<ktr::PeerReport>(redacted.action).uid, kFirst + 2);
    const auto& requests = *std::get<ktr::DownloadAnswer>(redacted.answer).records;
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(requests.front().uid, kFirst + 1);
    EXPECT_EQ(requests.back().uid, kFirst + 2);
    ASSERT_EQ(redacted.state->peers.size(), 1u);
    EXPECT_EQ(redacted.state->peers.begin()->first, kFirst + 1);
    EXPECT_EQ(redacted.rules.at(0).text, "[KTRMgr::init]: ktr init, uid=990000001, dt=8");
    EXPECT_EQ(redacted.notes, std::vector<std::string>{"peer 990000002: receives 204800"});
    std::vector<std::pair<uint64_t, int32_t>> users;
    for (const ktr::UserKey& user : redacted.state->scene.users) {
        users.emplace_back(user.uid, user.dt.value_or(0));
    }
    EXPECT_EQ(users, (std::vector<std::pair<uint64_t, int32_t>>{{kFirst + 1, 1}, {kFirst + 2, 8}}));
}

// Each kind of host event with the uid field it carries: the model's list of uid fields must find it, and
// redaction must replace it.
struct ActionCase {
    std::string name;
    ktr::Action action;
};

ktr::User user(uint64_t uid) {
    ktr::User user;
    user.uid = uid;
    return user;
}

class ActionUids : public ::testing::TestWithParam<ActionCase> {};

TEST_P(ActionUids, AreFoundAndRedacted) {
    ktr::TimelineStep step;
    step.action = GetParam().action;
    EXPECT_EQ(ktr::uidsOf(step), std::set<uint64_t>{2002});
    UidRedactor redactor;
    step = redactor.step(step);
    EXPECT_EQ(ktr::uidsOf(step), std::set<uint64_t>{kFirst});
}

INSTANTIATE_TEST_SUITE_P(EveryEventWithAUid, ActionUids,
                         ::testing::Values(ActionCase{"init", ktr::Init{2002, 8}},
                                           ActionCase{"addUser", ktr::AddUser{user(2002)}},
                                           ActionCase{"removeUser", ktr::RemoveUser{user(2002)}},
                                           ActionCase{"setUsers", ktr::SetUsers{{user(2002)}}},
                                           ActionCase{"sharing", ktr::Sharing{true, 2002}},
                                           ActionCase{"speaker", ktr::Speaker{true, 2002}},
                                           ActionCase{"peerReport", ktr::PeerReport{2002, std::vector<ktr::Record>()}}),
                         [](const ::testing::TestParamInfo<ActionCase>& info) { return info.param.name; });

// Collects a simulation's samples.
class SampleCollector : public ktr::SeriesSink {
public:
    void sample(double, const char*, uint64_t uid, double) override { uids.push_back(uid); }
    std::vector<uint64_t> uids;
};

// A step naming 2002 (its action) and 3003 (the HD list).
ktr::TimelineStep stepOfTwoPeers() {
    ktr::TimelineStep step;
    step.action = ktr::AddUser{user(2002)};
    step.answer = ktr::HdLdAnswer{std::set<uint64_t>{3003}, std::set<uint64_t>{2002}};
    return step;
}

TEST(RedactionStage, OneUidHasOnePseudonymInEveryOutput) {
    ktr::RedactionStage stage(true);
    ktr::testing::TimelineCollector steps;
    SampleCollector samples;
    ktr::TimelineWriter& timeline = stage.timeline(steps);
    ktr::SeriesSink* series = stage.series(&samples);
    ASSERT_NE(series, &samples);
    ktr::TimelineHeader header;
    header.source = "call of user 2002";
    timeline.begin(header);
    series->sample(0, "received", 3003, 1);
    timeline.write(stepOfTwoPeers());
    series->sample(1, "received", 2002, 1);
    series->sample(1, "capacity", 0, 1);
    timeline.end();
    ktr::RunSummary summary;
    summary.meeting = "user 3003 alone";
    summary.peers = {ktr::PeerSummary{2002, {}}, ktr::PeerSummary{3003, {}}};
    summary = stage.summary(summary);

    // 3003 is seen first, in the series; then 2002.
    EXPECT_EQ(samples.uids, (std::vector<uint64_t>{kFirst, kFirst + 1, 0}));
    ASSERT_EQ(steps.steps.size(), 1u);
    EXPECT_EQ(ktr::uidsOf(steps.steps[0]), (std::set<uint64_t>{kFirst, kFirst + 1}));
    EXPECT_EQ(std::get<ktr::AddUser>(steps.steps[0].action).uid, kFirst + 1);
    EXPECT_EQ(*std::get<ktr::HdLdAnswer>(steps.steps[0].answer).hd, std::set<uint64_t>{kFirst});
    EXPECT_EQ(steps.header.source, "call of user 2002") << "no uid was seen yet when the header passed";
    EXPECT_EQ(summary.peers[0].uid, kFirst + 1);
    EXPECT_EQ(summary.peers[1].uid, kFirst);
    EXPECT_EQ(summary.meeting, "user 990000001 alone");
    EXPECT_EQ(stage.text("peer 2002 and peer 3003"), "peer 990000002 and peer 990000001");
    EXPECT_NE(stage.redactor(), nullptr) << "a recorded scenario shares the pseudonyms";
}

TEST(RedactionStage, OffPassesEveryOutputUnchanged) {
    ktr::RedactionStage stage(false);
    ktr::testing::TimelineCollector steps;
    SampleCollector samples;
    EXPECT_EQ(&stage.timeline(steps), &steps);
    EXPECT_EQ(stage.series(&samples), &samples);
    EXPECT_EQ(stage.series(nullptr), nullptr);
    EXPECT_EQ(ktr::uidsOf(stage.step(stepOfTwoPeers())), (std::set<uint64_t>{2002, 3003}));
    ktr::RunSummary summary;
    summary.peers = {ktr::PeerSummary{2002, {}}};
    EXPECT_EQ(stage.summary(summary).peers[0].uid, 2002u);
    EXPECT_EQ(stage.text("peer 2002"), "peer 2002");
    EXPECT_EQ(stage.redactor(), nullptr);
}

}  // namespace
