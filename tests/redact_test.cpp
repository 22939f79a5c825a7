// --redact: pseudonyms, texts, JSON and timeline steps with their uids replaced.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <string>
#include <utility>
#include <vector>

#include "UidRedactor.h"

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

}  // namespace
