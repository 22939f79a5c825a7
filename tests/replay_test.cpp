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
#include "ProvenanceOf.h"
#include "Replayer.h"
#include "Scenario.h"
#include "ScenarioWriter.h"
#include "SdkLibrary.h"
#include "TimelineFormat.h"
#include "support/RandomMeeting.h"
#include "support/TimelineCollector.h"

namespace {

using ktr::Record;
using ktr::testing::TimelineCollector;

const ktr::SdkLibrary& library() {
    static const ktr::SdkLibrary loaded(KTR_LIBRARY);
    return loaded;
}

TimelineCollector replay(const ktr::Scenario& scenario) {
    TimelineCollector collector;
    ktr::replay::Replayer(library()).run(scenario, ktr::provenanceOf(library(), ""), collector);
    return collector;
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

std::vector<int> fields(const Record& record) {
    const tarn::video::VideoStreamInfo s = record.info();
    return {s.channel, s.dft, s.width, s.height, s.fps, s.bitrate, s.maxbitrate, s.minbitrate};
}

const ktr::PeerState* peerOf(const ktr::StateSnapshot& state, uint64_t uid) {
    const auto found = state.peers.find(uid);
    return found == state.peers.end() ? nullptr : &found->second;
}

const std::vector<Record>& recordsOf(const ktr::UploadAnswer& answer) {
    return *answer.records;
}

const Record& requestOf(const ktr::DownloadAnswer& answer, uint64_t uid) {
    const ktr::PeerRequest* request = answer.request(uid);
    if (request == nullptr) {
        throw std::out_of_range("no request for peer " + std::to_string(uid));
    }
    return *request;
}

// The bundled 1:1 call, worked out by hand from the policy rules.
TEST(ReplayScenario, OneToOneCallOnAPhone) {
    const TimelineCollector run = replay(bundled("one-to-one-phone"));
    const std::vector<ktr::TimelineStep>& steps = run.steps;
    ASSERT_EQ(steps.size(), 14u);

    // The peer was known (with no streams) before its report, the estimate is good and one user is
    // subscribed: it is received on its upper stream, which lies in another class than its lower one.
    const auto& split = std::get<ktr::HdLdAnswer>(steps[4].answer);
    EXPECT_EQ(split.hd, std::set<uint64_t>{2002});
    EXPECT_EQ(split.ld, std::set<uint64_t>{});
    const ktr::PeerState* peer = peerOf(*steps[4].state, 2002);
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(peer->choice, ktr::StreamChoice::Upper);
    ASSERT_TRUE(peer->chosen.has_value());
    EXPECT_EQ(peer->chosen->bitrate, 716800);

    // Phone, two users, nobody speaking: the 480P default; the one request (358400) is published as it is.
    const auto& camera = std::get<ktr::UploadAnswer>(steps[6].answer);
    EXPECT_EQ(camera.changed, true);
    ASSERT_EQ(recordsOf(camera).size(), 1u);
    EXPECT_EQ(fields(recordsOf(camera)[0]), (std::vector<int>{1, 1, 640, 480, 20, 358400, 358400, 102400}));

    // Headroom raises the lone peer by one step (716800 + 30720) with the 720P record.
    const auto& raised = std::get<ktr::DownloadAnswer>(steps[8].answer);
    EXPECT_EQ(raised.changed, true);
    ASSERT_NE(raised.request(2002), nullptr);
    EXPECT_EQ(fields(requestOf(raised, 2002)), (std::vector<int>{1, 0, 1080, 720, 30, 747520, 1024000, 512000}));

    // Congestion (status 4) cuts a fifth of 716800, more than the 92160 step: 573440, still 720P.
    const auto& cut = std::get<ktr::DownloadAnswer>(steps[10].answer);
    EXPECT_EQ(cut.changed, true) << "same peer, bitrate moved by far more than 30720";
    EXPECT_EQ(requestOf(cut, 2002).bitrate, 573440);

    // Speaking lifts the stream to the whole 480P record: same bitrate, so no change is reported.
    const auto& speaking = std::get<ktr::UploadAnswer>(steps[12].answer);
    EXPECT_EQ(speaking.changed, false);
    EXPECT_EQ(fields(recordsOf(speaking).at(0)), (std::vector<int>{1, 1, 640, 480, 20, 358400, 512000, 245760}));

    // No share table was supplied: an all-zero share record, always reported as changed.
    const auto& share = std::get<ktr::UploadAnswer>(steps[13].answer);
    EXPECT_EQ(share.changed, true);
    EXPECT_EQ(fields(recordsOf(share).at(0)), fields(Record::of(tarn::video::VideoStreamInfo{})));
    EXPECT_NE(std::find_if(steps[13].notes.begin(), steps[13].notes.end(),
                           [](const std::string& note) { return note.find("no share (channel 2) table") == 0; }),
              steps[13].notes.end());
}

// A peer's definition as the derived state gives it must be the library's own answer.
void expectSplitMatches(const ktr::TimelineStep& step, const std::string& where) {
    const auto& answer = std::get<ktr::HdLdAnswer>(step.answer);
    std::set<uint64_t> hd, ld;
    for (const auto& [uid, peer] : step.state->peers) {
        if (!peer.received) {
            continue;
        }
        ASSERT_TRUE(peer.definition.has_value()) << where << " peer " << uid;
        (peer.definition == ktr::Definition::High ? hd : ld).insert(uid);
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
    for (const ktr::PeerRequest& request : *answer.records) {
        const uint64_t uid = request.uid;
        const int64_t asked = request.bitrate.value();
        const ktr::PeerState* peer = peerOf(before, uid);
        ASSERT_TRUE(peer != nullptr && peer->chosen) << where << " peer " << uid;
        const int64_t b = peer->chosen->bitrate.value();
        if (status == 2 || status == 3) {
            EXPECT_EQ(asked, b + 30720) << where << " peer " << uid;
            continue;
        }
        ASSERT_TRUE(status == 4 || status == 5) << where;
        bool explained = peer->published && peer->published->size() >= 2 &&
                         std::any_of(peer->published->begin(), peer->published->begin() + 2,
                                     [&](const Record& s) { return fields(s) == fields(request); });
        for (int64_t share = 1; share <= static_cast<int64_t>(before.peers.size()) && !explained; ++share) {
            const int64_t cut = std::max<int64_t>(b * (status == 4 ? 20 : 30) / 100, 92160 / share);
            explained = asked == std::max<int64_t>(b - cut, floor);
        }
        EXPECT_TRUE(explained) << where << " peer " << uid << " chosen " << b << " asked " << asked;
    }
}

void expectStateFollowsAnswers(const ktr::Scenario& scenario, const std::string& name) {
    const TimelineCollector run = replay(scenario);
    const std::vector<ktr::TimelineStep>& steps = run.steps;
    ktr::DefinitionTable definitions;
    for (size_t i = 0; i < steps.size(); ++i) {
        const std::string where = name + " step " + std::to_string(i);
        EXPECT_TRUE(steps[i].mismatches.empty()) << where << ": " << steps[i].mismatches.front();
        if (const auto* supplied = std::get_if<ktr::Definitions>(&steps[i].action)) {
            definitions.supply(ktr::infosOf(supplied->streams));
        }
        if (std::holds_alternative<ktr::HdLdAnswer>(steps[i].answer)) {
            expectSplitMatches(steps[i], where);
        } else if (std::holds_alternative<ktr::DownloadAnswer>(steps[i].answer) && i > 0) {
            expectRequestsFollowChosen(steps[i], *steps[i - 1].state, definitions.entry(1, 3)->minbitrate, where);
        }
        for (const ktr::FiredRule& rule : steps[i].rules) {
            EXPECT_NE(rule.line.format, nullptr) << where << ": a line the catalogue does not know";
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
        for (const ktr::TimelineStep& step : replay(bundled(name)).steps) {
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
        const TimelineCollector first = replay(original);
        std::srand(1);
        const TimelineCollector second = replay(reread);
        for (size_t i = 0; i < first.steps.size(); ++i) {
            EXPECT_TRUE(first.steps[i].action == second.steps[i].action) << "seed " << seed << " step " << i;
            std::vector<std::string> a, b;
            for (const ktr::FiredRule& rule : first.steps[i].rules)
                a.push_back(rule.text);
            for (const ktr::FiredRule& rule : second.steps[i].rules)
                b.push_back(rule.text);
            EXPECT_EQ(a, b) << "seed " << seed << " step " << i;
        }
    }
}

// Hands every step to two writers.
class Tee : public ktr::TimelineWriter {
public:
    Tee(ktr::TimelineWriter& a, ktr::TimelineWriter& b) : m_a(a), m_b(b) {}
    void begin(const ktr::TimelineHeader& header) override { m_a.begin(header), m_b.begin(header); }
    void write(const ktr::TimelineStep& step) override { m_a.write(step), m_b.write(step); }
    void end() override { m_a.end(), m_b.end(); }

private:
    ktr::TimelineWriter& m_a;
    ktr::TimelineWriter& m_b;
};

std::string stateText(const ktr::StateSnapshot& state) {
    std::string text;
    ktr::JsonOut out(text);
    ktr::writeState(out, ktr::StateChange::whole(state));
    return text;
}

// What the JSON Lines write, a reader reads back: the same steps, answers, rules and lines, and the state
// rebuilt from the changes equals the whole state the replay had after every step.
TEST(TimelineWriters, JsonLinesReadBackToTheSameTimeline) {
    for (const char* name : kBundledScenarios) {
        for (const ktr::StateWriting writing : {ktr::StateWriting::Changes, ktr::StateWriting::Every}) {
            std::stringstream out;
            ktr::JsonLinesWriter writer(out, writing);
            TimelineCollector original;
            Tee both(writer, original);
            ktr::replay::Replayer(library()).run(bundled(name), ktr::provenanceOf(library(), ""), both);
            ktr::TimelineReader reader(out, name);
            EXPECT_EQ(reader.header().command, "replay");
            EXPECT_EQ(reader.header().provenance.librarySoname, "libktrsdk.so.1");
            EXPECT_EQ(reader.header().state, writing);
            ktr::TimelineStep step;
            size_t count = 0;
            while (reader.next(step)) {
                ASSERT_LT(count, original.steps.size()) << name;
                const ktr::TimelineStep& expected = original.steps[count];
                const std::string where = std::string(name) + " step " + std::to_string(count);
                EXPECT_EQ(step.index, expected.index) << where;
                EXPECT_EQ(step.event, expected.event) << where;
                EXPECT_TRUE(step.action == expected.action) << where;
                EXPECT_TRUE(step.answer == expected.answer) << where;
                ASSERT_EQ(step.rules.size(), expected.rules.size()) << where;
                for (size_t i = 0; i < step.rules.size(); ++i) {
                    EXPECT_EQ(step.rules[i].text, expected.rules[i].text) << where;
                    EXPECT_EQ(step.rules[i].level, expected.rules[i].level) << where;
                }
                EXPECT_EQ(step.notes, expected.notes) << where;
                EXPECT_EQ(stateText(*step.state), stateText(*expected.state)) << where;
                ++count;
            }
            EXPECT_EQ(count, original.steps.size()) << name;
        }
    }
}

}  // namespace
