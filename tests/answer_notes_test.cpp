// The --explain notes say what is so. Every note of the bundled scenarios, of random scenarios and of a few
// hundred short simulated meetings is read back from the JSON Lines timeline and its claim checked against
// what the library did in that step: its answer, its change flag and the lines it wrote. The change-flag
// notes of small scenarios are compared with texts worked out by hand.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <map>
#include <optional>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "AnswerNotes.h"
#include "InputFile.h"
#include "JsonLinesWriter.h"
#include "KTRLogFormats.h"
#include "Meeting.h"
#include "ProvenanceOf.h"
#include "Replayer.h"
#include "Scenario.h"
#include "SdkLibrary.h"
#include "Simulation.h"
#include "SyntheticTrace.h"
#include "TimelineFormat.h"
#include "TraceReader.h"
#include "Units.h"
#include "support/RandomMeeting.h"
#include "support/TimelineCollector.h"

namespace {

namespace kind = ktr::notekind;

// Both change flags count a bitrate as moved from this distance up.
constexpr int64_t kChangeDistance = 30720;

const ktr::SdkLibrary& library() {
    static const ktr::SdkLibrary loaded(KTR_LIBRARY);
    return loaded;
}

bool wrote(const ktr::TimelineStep& step, std::string_view id) {
    for (const ktr::FiredRule& rule : step.rules) {
        if (rule.line.format != nullptr && rule.line.format->id == id) {
            return true;
        }
    }
    return false;
}

const ktr::ParsedLine* lineOf(const ktr::TimelineStep& step, std::string_view id) {
    for (const ktr::FiredRule& rule : step.rules) {
        if (rule.line.format != nullptr && rule.line.format->id == id) {
            return &rule.line;
        }
    }
    return nullptr;
}

int32_t bitrateOf(const ktr::Record& record) {
    return record.bitrate.value_or(0);
}

bool isZeroBesideRank(ktr::Record record) {
    record.dft = 0;
    return record.isZero();
}

// The numbers a note's text names, matched by the pattern of its kind.
std::vector<int64_t> numbersIn(const std::string& text, const std::string& pattern) {
    std::smatch match;
    if (!std::regex_search(text, match, std::regex(pattern))) {
        ADD_FAILURE() << "note \"" << text << "\" does not match " << pattern;
        return {};
    }
    std::vector<int64_t> numbers;
    for (size_t i = 1; i < match.size(); ++i) {
        numbers.push_back(std::stoll(match[i].str()));
    }
    return numbers;
}

// Checks every note of a timeline's steps, in order: the checker keeps the previous camera answer and the
// previous download requests as the change flags define them. That memory is itself checked: on every
// step the library's own flag must agree with it.
class NoteChecker {
public:
    explicit NoteChecker(std::string source) : m_source(std::move(source)) {}

    void check(const ktr::TimelineStep& step) {
        m_where = m_source + " step " + std::to_string(step.index);
        ASSERT_EQ(step.noteKinds.size(), step.notes.size()) << m_where << ": every note of an answer has a kind";
        for (size_t i = 0; i < step.notes.size(); ++i) {
            seen[step.noteKinds[i]] += 1;
            checkNote(step, step.noteKinds[i], step.notes[i]);
        }
        remember(step);
    }

    std::map<std::string, int> seen;  // notes checked, by kind

private:
    using Bitrates = std::map<uint64_t, int32_t>;

    static std::vector<ktr::Record> cameraRecords(const ktr::TimelineStep& step) {
        const auto* upload = std::get_if<ktr::UploadAnswer>(&step.answer);
        return upload != nullptr ? upload->records.value_or(std::vector<ktr::Record>()) : std::vector<ktr::Record>();
    }
    static std::vector<ktr::Record> anyRecords(const ktr::TimelineStep& step) {
        if (const auto* upload = std::get_if<ktr::UploadAnswer>(&step.answer)) {
            return upload->records.value_or(std::vector<ktr::Record>());
        }
        if (const auto* definition = std::get_if<ktr::DefinitionAnswer>(&step.answer)) {
            return definition->records.value_or(std::vector<ktr::Record>());
        }
        return {};
    }
    static Bitrates requestsOf(const ktr::TimelineStep& step) {
        Bitrates requests;
        const auto* download = std::get_if<ktr::DownloadAnswer>(&step.answer);
        for (const ktr::PeerRequest& request : download->records.value_or(std::vector<ktr::PeerRequest>())) {
            requests[request.uid] = bitrateOf(request);
        }
        return requests;
    }
    static bool changedFlag(const ktr::TimelineStep& step) {
        if (const auto* upload = std::get_if<ktr::UploadAnswer>(&step.answer)) {
            return upload->changed.value_or(false);
        }
        return std::get<ktr::DownloadAnswer>(step.answer).changed.value_or(false);
    }
    static bool isCamera(const ktr::TimelineStep& step) {
        const auto* upload = std::get_if<ktr::UploadAnswer>(&step.answer);
        return upload != nullptr && upload->channel != 2;
    }

    void checkNote(const ktr::TimelineStep& step, const std::string& noteKind, const std::string& text) {
        const std::string where = m_where + ": " + text;
        if (noteKind == kind::kAllZero) {
            const auto n = numbersIn(text, R"(^stream (\d+) is all zero)");
            const std::vector<ktr::Record> records = anyRecords(step);
            ASSERT_LE(n.at(0), static_cast<int64_t>(records.size())) << where;
            EXPECT_TRUE(isZeroBesideRank(records[n[0] - 1])) << where;
            std::smatch named;
            if (std::regex_search(text, named, std::regex(R"(: (\d+P) has no entry)"))) {
                EXPECT_TRUE(readEmptyEntry(step, named[1].str())) << where;
            }
        } else if (noteKind == kind::kBuiltIn720) {
            const auto n = numbersIn(text, R"(^stream (\d+) is 1080x720)");
            const std::vector<ktr::Record> records = anyRecords(step);
            ASSERT_LE(n.at(0), static_cast<int64_t>(records.size())) << where;
            EXPECT_EQ(records[n[0] - 1].width, 1080) << where;
            EXPECT_EQ(records[n[0] - 1].height, 720) << where;
        } else if (noteKind == kind::kNoCamera) {
            EXPECT_TRUE(isCamera(step) && cameraRecords(step).empty()) << where;
            EXPECT_TRUE(step.state->scene.sharing && step.state->scene.sharer == step.state->scene.localUid)
                << where << ": the local user shares";
        } else if (noteKind == kind::kUnranked) {
            EXPECT_TRUE(wrote(step, ktrlog::UlForceHD::id) || wrote(step, ktrlog::UlLargeMeeting::id)) << where;
        } else if (noteKind == kind::kRanked) {
            checkRanks(step, where);
        } else if (noteKind == kind::kNoShareTable) {
            const std::vector<ktr::Record> records = anyRecords(step);
            EXPECT_TRUE(!isCamera(step) && records.size() == 1 && isZeroBesideRank(records[0])) << where;
        } else if (noteKind == kind::kShareChanged) {
            EXPECT_TRUE(!isCamera(step) && changedFlag(step)) << where;
        } else if (noteKind == kind::kCutFromChosen) {
            const auto n = numbersIn(text, R"(estimate's bitrate \((-?\d+)\))");
            const ktr::ParsedLine* estimate = lineOf(step, ktrlog::DlRealAdjustEstimate::id);
            ASSERT_NE(estimate, nullptr) << where;
            EXPECT_TRUE(estimate->integer("net_status") == 4 || estimate->integer("net_status") == 5) << where;
            EXPECT_EQ(estimate->integer("bitrate"), n.at(0)) << where;
        } else if (noteKind == kind::kReceives) {
            const auto n = numbersIn(text, R"(^peer (\d+): receives (-?\d+) \(\w+ stream\), asked for (-?\d+))");
            const Bitrates requests = requestsOf(step);
            ASSERT_EQ(requests.count(n.at(0)), 1u) << where;
            EXPECT_EQ(requests.at(n[0]), n.at(2)) << where;
            const auto peer = step.state->peers.find(n[0]);
            ASSERT_TRUE(peer != step.state->peers.end() && peer->second.chosen) << where;
            EXPECT_EQ(bitrateOf(*peer->second.chosen), n.at(1)) << where;
        } else if (noteKind == kind::kRequestBuiltIn720) {
            const auto n = numbersIn(text, R"(^peer (\d+): 1080x720)");
            const auto* request = std::get<ktr::DownloadAnswer>(step.answer).request(n.at(0));
            ASSERT_NE(request, nullptr) << where;
            EXPECT_TRUE(request->width == 1080 && request->height == 720) << where;
        } else if (noteKind == kind::kDownloadNoPeer) {
            EXPECT_TRUE(wrote(step, ktrlog::DlAdjustNoPeer::id)) << where;
            EXPECT_FALSE(changedFlag(step)) << where;
        } else if (noteKind == kind::kCameraCount || noteKind == kind::kDownloadCount) {
            const bool camera = noteKind == kind::kCameraCount;
            const auto n = numbersIn(text, camera ? R"(^changed: (\d+) camera stream\(s\) where the previous camera )"
                                                    R"(decision had (\d+))"
                                                  : R"(^changed: (\d+) request\(s\) where the previous adjustment had )"
                                                    R"((\d+))");
            const size_t now = camera ? cameraRecords(step).size() : requestsOf(step).size();
            const size_t before = camera ? m_lastCamera.size() : m_lastRequests.size();
            EXPECT_EQ(n.at(0), static_cast<int64_t>(now)) << where;
            EXPECT_EQ(n.at(1), static_cast<int64_t>(before)) << where;
            EXPECT_NE(now, before) << where;
            EXPECT_TRUE(changedFlag(step)) << where;
        } else if (noteKind == kind::kCameraMoved) {
            const auto n = numbersIn(text, R"(^changed: stream (\d+) moved by (\d+) \(from (-?\d+) to (-?\d+)\))");
            checkFirstMove(m_lastCamera, cameraBitrates(step), n, where);
            EXPECT_TRUE(changedFlag(step)) << where;
        } else if (noteKind == kind::kDownloadNewPeer) {
            const auto n = numbersIn(text, R"(^changed: peer (\d+) has a request and had none)");
            const Bitrates requests = requestsOf(step);
            EXPECT_EQ(requests.size(), m_lastRequests.size()) << where;
            EXPECT_EQ(requests.count(n.at(0)), 1u) << where;
            EXPECT_EQ(m_lastRequests.count(n[0]), 0u) << where;
            EXPECT_TRUE(changedFlag(step)) << where;
        } else if (noteKind == kind::kDownloadMoved) {
            const auto n = numbersIn(text, R"(^changed: peer (\d+) moved by (\d+) \(from (-?\d+) to (-?\d+)\))");
            const Bitrates requests = requestsOf(step);
            EXPECT_EQ(requests.size(), m_lastRequests.size()) << where;
            ASSERT_TRUE(requests.count(n.at(0)) == 1 && m_lastRequests.count(n[0]) == 1) << where;
            EXPECT_EQ(m_lastRequests.at(n[0]), n.at(2)) << where;
            EXPECT_EQ(requests.at(n[0]), n.at(3)) << where;
            EXPECT_EQ(std::abs(n[3] - n[2]), n.at(1)) << where;
            EXPECT_GE(n[1], kChangeDistance) << where;
            EXPECT_TRUE(changedFlag(step)) << where;
        } else if (noteKind == kind::kCameraUnchanged) {
            const std::vector<int32_t> now = cameraBitrates(step);
            ASSERT_EQ(now.size(), m_lastCamera.size()) << where;
            for (size_t i = 0; i < now.size(); ++i) {
                EXPECT_LT(std::abs(int64_t{now[i]} - m_lastCamera[i]), kChangeDistance) << where;
            }
            EXPECT_FALSE(changedFlag(step)) << where;
        } else if (noteKind == kind::kDownloadUnchanged) {
            const Bitrates now = requestsOf(step);
            ASSERT_EQ(now.size(), m_lastRequests.size()) << where;
            for (const auto& [uid, bitrate] : now) {
                ASSERT_EQ(m_lastRequests.count(uid), 1u) << where;
                EXPECT_LT(std::abs(int64_t{bitrate} - m_lastRequests.at(uid)), kChangeDistance) << where;
            }
            EXPECT_FALSE(changedFlag(step)) << where;
        } else if (noteKind == kind::kNothingLower || noteKind == kind::kSplitByClass) {
            checkSplit(step, noteKind, text, where);
        } else if (noteKind == kind::kLookup) {
            EXPECT_TRUE(std::holds_alternative<ktr::DefinitionAnswer>(step.answer)) << where;
        } else {
            ADD_FAILURE() << where << ": a note of kind \"" << noteKind << "\" (the flag contradicts the answers, or "
                          << "an unknown kind)";
        }
    }

    // The DftInfoByDft line that read an empty entry of the named definition.
    static bool readEmptyEntry(const ktr::TimelineStep& step, const std::string& label) {
        for (const ktr::FiredRule& rule : step.rules) {
            if (rule.line.format != nullptr && rule.line.format->id == std::string_view(ktrlog::DftInfoByDft::id) &&
                rule.line.integer("bitrate") == 0 && rule.line.integer("width") == 0 &&
                ktr::definitionLabel(static_cast<int32_t>(rule.line.integer("dft"))) == label) {
                return true;
            }
        }
        return false;
    }

    static std::vector<int32_t> cameraBitrates(const ktr::TimelineStep& step) {
        std::vector<int32_t> bitrates;
        for (const ktr::Record& record : cameraRecords(step)) {
            bitrates.push_back(bitrateOf(record));
        }
        return bitrates;
    }

    // Stream n (from 1) moved from before to after, by distance, and no earlier stream moved by a step.
    static void checkFirstMove(const std::vector<int32_t>& last, const std::vector<int32_t>& now,
                               const std::vector<int64_t>& n, const std::string& where) {
        ASSERT_EQ(n.size(), 4u) << where;
        ASSERT_EQ(now.size(), last.size()) << where;
        ASSERT_LE(n[0], static_cast<int64_t>(now.size())) << where;
        const size_t index = static_cast<size_t>(n[0] - 1);
        EXPECT_EQ(last[index], n[2]) << where;
        EXPECT_EQ(now[index], n[3]) << where;
        EXPECT_EQ(std::abs(n[3] - n[2]), n[1]) << where;
        EXPECT_GE(n[1], kChangeDistance) << where;
        for (size_t i = 0; i < index; ++i) {
            EXPECT_LT(std::abs(int64_t{now[i]} - last[i]), kChangeDistance) << where << ": stream " << i + 1;
        }
    }

    static void checkRanks(const ktr::TimelineStep& step, const std::string& where) {
        EXPECT_FALSE(wrote(step, ktrlog::UlForceHD::id) || wrote(step, ktrlog::UlLargeMeeting::id)) << where;
        const std::vector<ktr::Record> records = cameraRecords(step);
        ASSERT_TRUE(records.size() == 1 || records.size() == 2) << where;
        if (records.size() == 1) {
            EXPECT_EQ(records[0].dft, 1) << where;
            return;
        }
        const bool firstHigher = bitrateOf(records[0]) > bitrateOf(records[1]);
        EXPECT_EQ(records[0].dft, firstHigher ? 1 : 2) << where;
        EXPECT_EQ(records[1].dft, firstHigher ? 2 : 1) << where;
    }

    static void checkSplit(const ktr::TimelineStep& step, const std::string& noteKind, const std::string& text,
                           const std::string& where) {
        const auto n = numbersIn(text, R"(^peer (\d+): )");
        const auto& split = std::get<ktr::HdLdAnswer>(step.answer);
        const auto uid = static_cast<uint64_t>(n.at(0));
        const bool high = split.hd && split.hd->count(uid) != 0;
        const bool low = split.ld && split.ld->count(uid) != 0;
        if (noteKind == kind::kNothingLower) {
            EXPECT_TRUE(high && !low) << where;
            const auto peer = step.state->peers.find(uid);
            ASSERT_NE(peer, step.state->peers.end()) << where;
            EXPECT_TRUE(!peer->second.published || peer->second.published->size() < 2) << where;
            return;
        }
        // The lower stream is the lesser of the first two, the first on equal bitrates.
        const auto m = numbersIn(text, R"(^peer \d+: receives (-?\d+) \(.*\), its lower stream (-?\d+) is )");
        const auto peer = step.state->peers.find(uid);
        ASSERT_TRUE(peer != step.state->peers.end() && peer->second.published && peer->second.chosen) << where;
        const std::vector<ktr::Record>& published = *peer->second.published;
        ASSERT_GE(published.size(), 2u) << where;
        const int32_t lower = std::min(bitrateOf(published[0]), bitrateOf(published[1]));
        EXPECT_EQ(m.at(1), lower) << where;
        EXPECT_EQ(m.at(0), bitrateOf(*peer->second.chosen)) << where;
        if (text.find("another class, high") != std::string::npos) {
            EXPECT_TRUE(high && !low) << where;
        } else {
            EXPECT_TRUE(low && !high) << where << ": the same class, low";
        }
    }

    // The previous answers as the change flags define them; the library's own flag must agree.
    void remember(const ktr::TimelineStep& step) {
        if (isCamera(step)) {
            const std::vector<int32_t> now = cameraBitrates(step);
            bool differs = now.size() != m_lastCamera.size();
            for (size_t i = 0; !differs && i < now.size(); ++i) {
                differs = std::abs(int64_t{now[i]} - m_lastCamera[i]) >= kChangeDistance;
            }
            EXPECT_EQ(changedFlag(step), differs) << m_where << ": the camera flag against the previous decision";
            m_lastCamera = now;
        } else if (std::holds_alternative<ktr::DownloadAnswer>(step.answer) &&
                   !wrote(step, ktrlog::DlAdjustNoPeer::id)) {
            const Bitrates now = requestsOf(step);
            bool differs = now.size() != m_lastRequests.size();
            for (auto it = now.begin(); !differs && it != now.end(); ++it) {
                const auto last = m_lastRequests.find(it->first);
                differs =
                    last == m_lastRequests.end() || std::abs(int64_t{it->second} - last->second) >= kChangeDistance;
            }
            EXPECT_EQ(changedFlag(step), differs) << m_where << ": the download flag against the previous requests";
            m_lastRequests = now;
        }
    }

    std::string m_source;
    std::string m_where;
    std::vector<int32_t> m_lastCamera;
    Bitrates m_lastRequests;
};

// Reads a timeline's JSON Lines and checks every step's notes; the kinds seen are added to seen.
void checkTimeline(std::stringstream& lines, const std::string& source, std::map<std::string, int>& seen) {
    ktr::TimelineReader reader(lines, source);
    NoteChecker checker(source);
    ktr::TimelineStep step;
    while (reader.next(step)) {
        checker.check(step);
    }
    for (const auto& [noteKind, count] : checker.seen) {
        seen[noteKind] += count;
    }
}

void checkReplay(const ktr::Scenario& scenario, const std::string& source, std::map<std::string, int>& seen) {
    std::stringstream lines;
    ktr::JsonLinesWriter writer(lines, ktr::StateWriting::Changes);
    std::srand(1);
    ktr::replay::Replayer(library()).run(scenario, ktr::provenanceOf(library(), ""), writer);
    checkTimeline(lines, source, seen);
}

void checkSimulation(const ktr::sim::Meeting& meeting, const ktr::sim::CapacityTrace& downlink, uint64_t seed,
                     const std::string& source, std::map<std::string, int>& seen) {
    ktr::sim::SimulationSetup setup;
    setup.meeting = &meeting;
    setup.downlink = &downlink;
    setup.seed = seed;
    std::stringstream lines;
    ktr::JsonLinesWriter writer(lines, ktr::StateWriting::Changes);
    writer.begin(
        ktr::TimelineHeader{"sim", source, ktr::provenanceOf(library(), ""), ktr::StateWriting::Changes, true});
    ktr::RunSummary summary;
    ktr::sim::Simulation(setup).run(library(), {&writer, nullptr, nullptr}, summary);
    writer.end();
    checkTimeline(lines, source, seen);
}

// The kinds every source together must show at least once, so that no check above goes unused.
const char* const kKindsExpected[] = {
    kind::kAllZero,
    kind::kBuiltIn720,
    kind::kNoCamera,
    kind::kUnranked,
    kind::kRanked,
    kind::kCameraCount,
    kind::kCameraMoved,
    kind::kCameraUnchanged,
    kind::kNoShareTable,
    kind::kShareChanged,
    kind::kCutFromChosen,
    kind::kReceives,
    kind::kDownloadNoPeer,
    kind::kDownloadCount,
    kind::kDownloadNewPeer,
    kind::kDownloadMoved,
    kind::kDownloadUnchanged,
    kind::kNothingLower,
    kind::kSplitByClass,
    kind::kLookup,
};

constexpr unsigned kRandomScenarios = 200;
constexpr int kRandomScenarioLength = 80;
constexpr unsigned kSeedsPerMeeting = 12;
constexpr ktr::Micros kSimulatedSeconds = 30;
const char* const kSyntheticTraces[] = {"constant:10mbps", "constant:600kbps", "outage:2mbps/20s/5s",
                                        "steps:8s@3mbps,6s@400kbps", "walk:1.5mbps/300kbps-4mbps/seed=3"};

// The local user shares, and its two merged requests (204800 and 460800) are both below 720P: no camera stream.
const std::string kSharingWithLowRequests =
    R"({"step": "addUser", "uid": 2, "dt": 8}, {"step": "sharing", "sharing": true, "uid": 1},
       {"step": "selectRequest", "width": 320, "height": 240, "fps": 15, "bitrate": 204800},
       {"step": "selectRequest", "width": 640, "height": 480, "fps": 15, "bitrate": 460800}, {"step": "upload"})";

std::string scenarioOf(const std::string& steps) {
    return R"({"local": {"uid": 1, "dt": 8}, "steps": [)" + steps + "]}";
}

TEST(AnswerNotes, EveryNoteSaysWhatTheLibraryDid) {
    std::map<std::string, int> seen;
    checkReplay(ktr::parseScenario(scenarioOf(kSharingWithLowRequests), "sharing.json"), "sharing.json", seen);
    for (const auto& entry : std::filesystem::directory_iterator(KTR_SCENARIO_DIR)) {
        const std::string path = entry.path().string();
        checkReplay(ktr::parseScenario(ktr::readInputFile(path), path), path, seen);
    }
    for (unsigned seed = 1; seed <= kRandomScenarios; ++seed) {
        checkReplay(ktr::testing::RandomMeeting(seed).make(kRandomScenarioLength),
                    "random seed " + std::to_string(seed), seen);
    }
    std::vector<std::pair<std::string, ktr::sim::CapacityTrace>> traces;
    for (const char* shape : kSyntheticTraces) {
        traces.emplace_back(shape, ktr::sim::parseSyntheticTrace(shape));
    }
    for (const auto& entry : std::filesystem::directory_iterator(KTR_TRACE_DIR)) {
        traces.emplace_back(entry.path().filename().string(), ktr::sim::readTrace(entry.path().string()));
    }
    size_t runs = 0;
    for (const auto& entry : std::filesystem::directory_iterator(KTR_MEETING_DIR)) {
        ktr::sim::Meeting meeting = ktr::sim::parseMeeting(ktr::readInputFile(entry.path().string()), entry.path());
        meeting.duration = std::min(meeting.duration, kSimulatedSeconds * ktr::kMicrosPerSecond);
        for (const auto& [name, trace] : traces) {
            for (uint64_t seed = 1; seed <= kSeedsPerMeeting; ++seed) {
                checkSimulation(meeting, trace, seed,
                                entry.path().filename().string() + " over " + name + " seed " + std::to_string(seed),
                                seen);
                ++runs;
            }
        }
    }
    EXPECT_GE(runs, 200u);
    for (const char* expected : kKindsExpected) {
        EXPECT_GT(seen[expected], 0) << "no note of kind " << expected << " was checked";
    }
    for (const auto& [noteKind, count] : seen) {
        std::cout << noteKind << ": " << count << "\n";
    }
}

// The change flag's note on the last question of a scenario, against the reason worked out by hand from the
// flags' rules: the previous camera decision and the previous adjustment are the ones compared with.
struct ChangeCase {
    const char* what;
    std::string steps;
    const char* kind;
    std::string text;
};

void PrintTo(const ChangeCase& c, std::ostream* os) {
    *os << c.what;
}

class ChangeNotes : public ::testing::TestWithParam<ChangeCase> {};

TEST_P(ChangeNotes, NameTheDifferenceFromThePreviousAnswer) {
    const std::string json = scenarioOf(GetParam().steps);
    ktr::testing::TimelineCollector timeline;
    std::srand(1);
    ktr::replay::Replayer(library()).run(ktr::parseScenario(json, "change.json"), ktr::provenanceOf(library(), ""),
                                         timeline);
    const ktr::TimelineStep& last = timeline.steps.back();
    ASSERT_FALSE(last.notes.empty());
    ASSERT_EQ(last.noteKinds.size(), last.notes.size());
    EXPECT_EQ(last.noteKinds.back(), GetParam().kind);
    EXPECT_EQ(last.notes.back(), GetParam().text);
}

// One peer publishing 358400 (480P, range 245760 to 512000): a raise asks 358400 + 30720 = 389120; a cut
// under status 4 takes the larger of 20 % (71680) and 92160, so asks 266240.
const std::string kOnePeer =
    R"({"step": "setUsers", "users": [{"uid": 2, "dt": 8}]},
       {"step": "peerReport", "uid": 2, "streams": [{"width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 512000, "minbitrate": 245760}]})";
const std::string kRaise = R"({"step": "downloadNet", "status": 2, "score": 90, "bitrate": 1000000, "max_bitrate": 0})";
const std::string kCut = R"({"step": "downloadNet", "status": 4, "score": 50, "bitrate": 300000, "max_bitrate": 0})";
const std::string kDownload = R"({"step": "download"})";

std::string sixPeers() {
    std::string steps = R"({"step": "setUsers", "users": [)";
    for (int uid = 2; uid <= 7; ++uid) {
        steps += (uid > 2 ? ", " : "") + std::string(R"({"uid": )") + std::to_string(uid) + R"(, "dt": 8})";
    }
    steps += "]}";
    for (int uid = 2; uid <= 7; ++uid) {
        steps +=
            R"(, {"step": "peerReport", "uid": )" + std::to_string(uid) +
            R"(, "streams": [{"width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 512000, "minbitrate": 245760}]})";
    }
    return steps;
}

const std::string kUnchangedOne =
    "unchanged: the same 1 peer(s) as the previous adjustment, every bitrate within 30720 of its previous request "
    "(other fields are not compared)";

INSTANTIATE_TEST_SUITE_P(
    Download, ChangeNotes,
    ::testing::Values(
        ChangeCase{"the first adjustment", kOnePeer + "," + kRaise + "," + kDownload, kind::kDownloadCount,
                   "changed: 1 request(s) where the previous adjustment had 0"},
        ChangeCase{"the same raise again", kOnePeer + "," + kRaise + "," + kDownload + "," + kDownload,
                   kind::kDownloadUnchanged, kUnchangedOne},
        ChangeCase{"a cut after a raise", kOnePeer + "," + kRaise + "," + kDownload + "," + kCut + "," + kDownload,
                   kind::kDownloadMoved,
                   "changed: peer 2 moved by 122880 (from 389120 to 266240); a move of 30720 or more counts"},
        // The first cut takes peers 2, 3 and 4; the rotation then takes 5, 6 and 7: three after three.
        ChangeCase{"three requests after three, for other peers",
                   sixPeers() + "," + kCut + "," + kDownload + "," + kDownload, kind::kDownloadNewPeer,
                   "changed: peer 5 has a request and had none in the previous adjustment"},
        ChangeCase{"no request after none",
                   kOnePeer +
                       R"(, {"step": "downloadNet", "status": 1, "score": 90, "bitrate": 1, "max_bitrate": 0},)" +
                       kDownload + "," + kDownload,
                   kind::kDownloadUnchanged, "unchanged: no request, as in the previous adjustment"},
        ChangeCase{"no peer report stored", kDownload, kind::kDownloadNoPeer,
                   "unchanged: no peer report is stored, so nothing is adjusted; the next adjustment is compared with "
                   "the requests before this one"},
        ChangeCase{
            "the adjustment before a refused one is the one compared with",
            kOnePeer + "," + kRaise + "," + kDownload + R"(, {"step": "clearPeerReports"},)" + kDownload +
                R"(, {"step": "peerReport", "uid": 2, "streams": [{"width": 640, "height": 480, "fps": 15, "bitrate": 358400, "maxbitrate": 512000, "minbitrate": 245760}]},)" +
                kDownload,
            kind::kDownloadUnchanged, kUnchangedOne}));

// The local user alone on device type 8: the scene default is 720P, so no request is capped; a request of
// 358400 or 460800 is published as it is.
std::string cameraAsks(int bitrate) {
    return R"({"step": "clearSelectRequests"}, {"step": "selectRequest", "width": 640, "height": 480, "fps": 15, "bitrate": )" +
           std::to_string(bitrate) + R"(}, {"step": "upload"})";
}

INSTANTIATE_TEST_SUITE_P(
    Camera, ChangeNotes,
    ::testing::Values(
        ChangeCase{"the first decision", cameraAsks(358400), kind::kCameraCount,
                   "changed: 1 camera stream(s) where the previous camera decision had 0"},
        // The previous decision counts as empty before the first: a first decision with no stream is no change.
        ChangeCase{"no stream as the first decision", kSharingWithLowRequests, kind::kCameraUnchanged,
                   "unchanged: no camera stream, as in the previous camera decision"},
        ChangeCase{"a stream moved by a step", cameraAsks(358400) + "," + cameraAsks(460800), kind::kCameraMoved,
                   "changed: stream 1 moved by 102400 (from 358400 to 460800); a move of 30720 or more counts"},
        ChangeCase{"a share question between two close decisions",
                   cameraAsks(358400) + R"(, {"step": "share"},)" + cameraAsks(378880), kind::kCameraUnchanged,
                   "unchanged: 1 camera stream(s) as in the previous camera decision, every bitrate within 30720 of "
                   "it (resolution and definition are not compared)"},
        ChangeCase{"a share answer", cameraAsks(358400) + R"(, {"step": "share"})", kind::kShareChanged,
                   "changed: share answers always report a change; they do not touch the camera's previous "
                   "decision"}));

}  // namespace
