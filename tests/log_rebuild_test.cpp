#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "JsonLinesWriter.h"
#include "KTRLogFormats.h"
#include "LibraryLine.h"
#include "OperationBuilder.h"
#include "ProvenanceOf.h"
#include "Replayer.h"
#include "Scenario.h"
#include "SdkLibrary.h"
#include "StepFilter.h"
#include "TimelineFormat.h"
#include "Uids.h"
#include "support/RandomMeeting.h"
#include "support/TimelineCollector.h"

namespace {

using ktr::Record;
using ktr::testing::TimelineCollector;

TimelineCollector replay(const ktr::Scenario& scenario) {
    static const ktr::SdkLibrary library(KTR_LIBRARY);
    TimelineCollector collector;
    ktr::replay::Replayer(library).run(scenario, ktr::provenanceOf(library, ""), collector);
    return collector;
}

ktr::Scenario bundled(const std::string& name) {
    const std::string path = std::string(KTR_SCENARIO_DIR) + "/" + name + ".json";
    std::ifstream file(path);
    std::ostringstream text;
    text << file.rdbuf();
    return ktr::parseScenario(text.str(), path);
}

ktr::log::LibraryLine libraryLine(uint64_t number, double time, const ktr::FiredRule& logged) {
    ktr::log::LibraryLine line;
    line.number = number;
    line.time = time;
    line.level = logged.level;
    line.text = logged.text;
    line.parsed = ktr::parseLogLine(logged.text, logged.level).value_or(ktr::ParsedLine{});
    return line;
}

// The lines the replay logged, as a reader finds them in a client's log (the replay's time as the prefix's).
std::vector<ktr::log::LibraryLine> loggedLines(const std::vector<ktr::TimelineStep>& steps) {
    std::vector<ktr::log::LibraryLine> lines;
    for (const ktr::TimelineStep& step : steps) {
        for (const ktr::FiredRule& logged : step.rules) {
            lines.push_back(libraryLine(lines.size() + 1, step.time.value(), logged));
        }
    }
    return lines;
}

struct Rebuilt {
    TimelineCollector timeline;
    std::vector<ktr::TimelineStep>& steps = timeline.steps;
    std::vector<std::string> warnings;
    uint64_t skipped = 0;
};

std::unique_ptr<Rebuilt> rebuild(const std::vector<ktr::log::LibraryLine>& lines) {
    auto rebuilt = std::make_unique<Rebuilt>();
    ktr::log::OperationBuilder builder([&](ktr::TimelineStep&& step) { rebuilt->timeline.write(step); });
    for (const ktr::log::LibraryLine& line : lines) {
        builder.add(line);
    }
    builder.finish();
    rebuilt->warnings = builder.warnings();
    rebuilt->skipped = builder.skippedLines();
    return rebuilt;
}

bool logs(const ktr::TimelineStep& step, const char* id) {
    for (const ktr::FiredRule& rule : step.rules) {
        if (rule.line.format != nullptr && rule.line.format->id == id) {
            return true;
        }
    }
    return false;
}

std::vector<Record> streamsOf(const ktr::PeerReport& report) {
    return report.streams.value_or(std::vector<Record>());
}

// The name a log gives a step: the share decision is told apart from the camera's by its own line.
std::string loggedEvent(const ktr::TimelineStep& step) {
    if (const auto* upload = std::get_if<ktr::AskUpload>(&step.action)) {
        return upload->channel == 2 ? "share" : "upload";
    }
    return step.event;
}

// The steps a log shows: those that wrote a line. A log cannot tell apart consecutive definition calls,
// nor consecutive reports of one peer that is not received (no download line closes them): those merge.
std::vector<ktr::TimelineStep> visibleOperations(const std::vector<ktr::TimelineStep>& steps) {
    std::vector<ktr::TimelineStep> visible;
    for (const ktr::TimelineStep& step : steps) {
        if (step.rules.empty()) {
            continue;
        }
        ktr::TimelineStep* last = visible.empty() ? nullptr : &visible.back();
        if (last != nullptr) {
            auto* lastDefinitions = std::get_if<ktr::Definitions>(&last->action);
            const auto* definitions = std::get_if<ktr::Definitions>(&step.action);
            if (lastDefinitions != nullptr && definitions != nullptr) {
                lastDefinitions->streams.insert(lastDefinitions->streams.end(), definitions->streams.begin(),
                                                definitions->streams.end());
                continue;
            }
            auto* lastReport = std::get_if<ktr::PeerReport>(&last->action);
            const auto* report = std::get_if<ktr::PeerReport>(&step.action);
            if (lastReport != nullptr && report != nullptr && lastReport->uid == report->uid &&
                !logs(*last, ktrlog::DlAddPeer::id) && logs(*last, ktrlog::MgrAddPeerReportStream::id) &&
                logs(step, ktrlog::MgrAddPeerReportStream::id)) {
                lastReport->streams->insert(lastReport->streams->end(), report->streams->begin(),
                                            report->streams->end());
                last->rules.insert(last->rules.end(), step.rules.begin(), step.rules.end());
                continue;
            }
        }
        visible.push_back(step);
    }
    return visible;
}

using Values = std::vector<ktr::Known<int32_t>>;

Values sizeAndBitrates(const Record& s) {
    return {s.width, s.height, s.bitrate, s.maxbitrate, s.minbitrate};
}

std::vector<Values> sizesAndBitrates(const std::vector<Record>& streams) {
    std::vector<Values> values;
    for (const Record& s : streams) {
        values.push_back(sizeAndBitrates(s));
    }
    return values;
}

std::vector<Values> reportedStreams(const std::vector<Record>& streams) {
    std::vector<Values> values;
    for (const Record& s : streams) {
        values.push_back({s.width, s.height, s.bitrate});
    }
    return values;
}

// The users a list's download lines name: uid 0 and users already added are skipped, except the local
// user, who is refused, so never added, and named again each time.
std::vector<uint64_t> loggedUsers(const ktr::SetUsers& list, uint64_t local) {
    std::vector<uint64_t> uids;
    std::set<uint64_t> added;
    for (const ktr::User& user : list.users) {
        if (user.uid != 0 && (user.uid == local || added.insert(user.uid).second)) {
            uids.push_back(user.uid);
        }
    }
    return uids;
}

std::vector<uint64_t> uidsOf(const ktr::SetUsers& list) {
    std::vector<uint64_t> uids;
    for (const ktr::User& user : list.users) {
        uids.push_back(user.uid);
    }
    return uids;
}

void expectSameEvent(const ktr::TimelineStep& played, const ktr::TimelineStep& rebuilt, uint64_t local,
                     const std::string& where) {
    const ktr::Action& a = played.action;
    const ktr::Action& b = rebuilt.action;
    if (const auto* init = std::get_if<ktr::Init>(&a)) {
        EXPECT_EQ(init->uid, std::get<ktr::Init>(b).uid) << where;
        EXPECT_EQ(init->dt, std::get<ktr::Init>(b).dt) << where;
    } else if (const auto* speaker = std::get_if<ktr::Speaker>(&a)) {
        EXPECT_EQ(speaker->speaking, std::get<ktr::Speaker>(b).speaking) << where;
        EXPECT_EQ(speaker->uid, std::get<ktr::Speaker>(b).uid) << where;
    } else if (const auto* sharing = std::get_if<ktr::Sharing>(&a)) {
        EXPECT_EQ(sharing->sharing, std::get<ktr::Sharing>(b).sharing) << where;
        EXPECT_EQ(sharing->uid, std::get<ktr::Sharing>(b).uid) << where;
    } else if (const auto* request = std::get_if<ktr::SelectRequest>(&a)) {
        const auto& got = std::get<ktr::SelectRequest>(b);
        EXPECT_EQ((std::vector<int>{request->width, request->height, request->fps, request->bitrate}),
                  (std::vector<int>{got.width, got.height, got.fps, got.bitrate}))
            << where;
    } else if (const auto* report = std::get_if<ktr::PeerReport>(&a)) {
        const auto& got = std::get<ktr::PeerReport>(b);
        EXPECT_EQ(report->uid, got.uid) << where;
        if (report->uid != local) {
            EXPECT_EQ(reportedStreams(streamsOf(*report)), reportedStreams(streamsOf(got))) << where;
        }
    } else if (const auto* users = std::get_if<ktr::SetUsers>(&a)) {
        EXPECT_EQ(loggedUsers(*users, local), uidsOf(std::get<ktr::SetUsers>(b))) << where;
    } else if (const auto* removed = std::get_if<ktr::RemoveUser>(&a)) {
        EXPECT_EQ(removed->uid, std::get<ktr::RemoveUser>(b).uid) << where;
    } else if (const auto* added = std::get_if<ktr::AddUser>(&a)) {
        EXPECT_EQ(added->uid, std::get<ktr::AddUser>(b).uid) << where;
        EXPECT_EQ(added->dt, std::get<ktr::AddUser>(b).dt) << where;
    } else if (const auto* definitions = std::get_if<ktr::Definitions>(&a)) {
        const auto& got = std::get<ktr::Definitions>(b);
        EXPECT_EQ(sizesAndBitrates(definitions->streams), sizesAndBitrates(got.streams)) << where;
    }
}

// reportsCleared: an earlier step dropped the stored reports, which logs nothing, so the derived split
// the rebuilt answer comes from may be stale.
void expectSameAnswer(const ktr::TimelineStep& played, const ktr::TimelineStep& rebuilt, bool reportsCleared,
                      const std::string& where) {
    if (const auto* download = std::get_if<ktr::DownloadAnswer>(&played.answer)) {
        const auto& got = std::get<ktr::DownloadAnswer>(rebuilt.answer);
        ASSERT_TRUE(got.records.has_value()) << where;
        ASSERT_EQ(download->records->size(), got.records->size()) << where;
        for (const ktr::PeerRequest& request : *download->records) {
            ASSERT_NE(got.request(request.uid), nullptr) << where << " peer " << request.uid;
            EXPECT_EQ(sizeAndBitrates(request), sizeAndBitrates(*got.request(request.uid)))
                << where << " peer " << request.uid;
        }
    } else if (const auto* upload = std::get_if<ktr::UploadAnswer>(&played.answer)) {
        const auto& got = std::get<ktr::UploadAnswer>(rebuilt.answer);
        if (upload->channel == 2) {
            EXPECT_EQ(upload->records->at(0).bitrate, got.records->at(0).bitrate) << where;
        } else if (got.records) {
            EXPECT_EQ(sizesAndBitrates(*upload->records), sizesAndBitrates(*got.records)) << where;
        } else {
            // Only force-HD and the camera beside the local user's share publish without a result line.
            EXPECT_TRUE(logs(played, ktrlog::UlForceHD::id) ||
                        played.state->scene.sharer == played.state->scene.localUid)
                << where;
        }
    } else if (const auto* split = std::get_if<ktr::HdLdAnswer>(&played.answer)) {
        const auto& got = std::get<ktr::HdLdAnswer>(rebuilt.answer);
        if (got.hd && !reportsCleared) {
            EXPECT_EQ(split->hd, got.hd) << where;
            EXPECT_EQ(split->ld, got.ld) << where;
        }
    }
}

// Every answer and event the log carries is rebuilt as the replay had it, and nothing else is rebuilt
// but the download estimates, each the one the replay had set before that download.
void expectRoundTrip(const ktr::Scenario& scenario, const std::string& name) {
    const TimelineCollector run = replay(scenario);
    const std::vector<ktr::TimelineStep>& played = run.steps;
    const std::unique_ptr<Rebuilt> rebuiltLog = rebuild(loggedLines(played));
    const Rebuilt& rebuilt = *rebuiltLog;
    const std::vector<ktr::TimelineStep> expected = visibleOperations(played);
    const uint64_t local = std::get<ktr::Init>(scenario.steps.front().action).uid;
    EXPECT_EQ(rebuilt.skipped, 0u) << name;
    EXPECT_TRUE(rebuilt.warnings.empty()) << name << ": " << rebuilt.warnings.front();
    size_t next = 0;
    ktr::EstimateState estimate;
    for (const ktr::TimelineStep& step : rebuilt.steps) {
        const std::string where = name + " rebuilt step " + std::to_string(step.index);
        if (step.event == "downloadNet") {
            const auto& set = std::get<ktr::NetEstimate>(step.action);
            estimate = ktr::EstimateState{set.status, set.score, set.bitrate, set.maxBitrate};
            continue;
        }
        ASSERT_LT(next, expected.size()) << where << ": rebuilt an operation that did not happen";
        const ktr::TimelineStep& original = expected[next++];
        ASSERT_EQ(loggedEvent(original), step.event) << where;
        if (std::holds_alternative<ktr::DownloadAnswer>(original.answer) &&
            logs(original, ktrlog::DlAdjustPeerCount::id)) {
            const ktr::EstimateState& read = played.at(original.index).state->download;
            EXPECT_EQ((std::vector<int>{read.status, read.score, read.bitrate, read.maxBitrate}),
                      (std::vector<int>{estimate.status, estimate.score, estimate.bitrate, estimate.maxBitrate}))
                << where;
        }
        expectSameEvent(original, step, local, where);
        const bool reportsCleared = std::any_of(
            played.begin(), played.begin() + original.index,
            [](const ktr::TimelineStep& s) { return std::holds_alternative<ktr::ClearPeerReports>(s.action); });
        expectSameAnswer(original, step, reportsCleared, where);
    }
    EXPECT_EQ(next, expected.size()) << name << ": operations the log shows were not rebuilt";
}

TEST(RoundTrip, BundledScenariosRebuildFromTheirLog) {
    for (const char* name :
         {"one-to-one-phone", "team-meeting", "congested-download", "large-meeting", "surprising-answers"}) {
        expectRoundTrip(bundled(name), name);
    }
}

TEST(RoundTrip, RandomMeetingsRebuildFromTheirLog) {
    for (unsigned seed = 1; seed <= 300 && !HasFailure(); ++seed) {
        expectRoundTrip(ktr::testing::RandomMeeting(seed).make(80), "seed " + std::to_string(seed));
    }
}

std::string answerJsonOf(const ktr::TimelineStep& step) {
    std::string text;
    ktr::JsonOut out(text);
    ktr::writeAnswer(out, step.answer);
    return text;
}

// A log cut after a download's first line: the download is rebuilt with its requests unknown, and the
// lines before the first whole operation are counted as skipped.
TEST(EdgeCases, LogCutInsideOperations) {
    const std::vector<ktr::log::LibraryLine> lines = loggedLines(replay(bundled("congested-download")).steps);
    size_t firstDownload = 0;
    while (firstDownload < lines.size() &&
           lines[firstDownload].parsed.format->id != std::string(ktrlog::DlAdjustPeerCount::id)) {
        ++firstDownload;
    }
    ASSERT_LT(firstDownload, lines.size());
    // Starts on the init's second line (none) or later: drop the first operation's first line.
    const std::vector<ktr::log::LibraryLine> cut(lines.begin() + 1, lines.begin() + firstDownload + 1);
    const std::unique_ptr<Rebuilt> rebuilt = rebuild(cut);
    ASSERT_FALSE(rebuilt->steps.empty());
    const ktr::TimelineStep& last = rebuilt->steps.back();
    EXPECT_EQ(last.event, "download");
    const nlohmann::json answer = nlohmann::json::parse(answerJsonOf(last));
    EXPECT_TRUE(answer.at("records").is_null());
    EXPECT_TRUE(answer.at("changed").is_null());
    for (const ktr::TimelineStep& step : rebuilt->steps) {
        EXPECT_NE(step.event, "init") << "the init's line was cut away";
    }
}

TEST(EdgeCases, SecondInitIsWarnedAbout) {
    std::vector<ktr::log::LibraryLine> lines = loggedLines(replay(bundled("one-to-one-phone")).steps);
    const std::vector<ktr::log::LibraryLine> second = loggedLines(replay(bundled("team-meeting")).steps);
    for (ktr::log::LibraryLine line : second) {
        line.number += lines.size();
        lines.push_back(line);
    }
    const std::unique_ptr<Rebuilt> rebuilt = rebuild(lines);
    size_t inits = 0;
    for (const ktr::TimelineStep& step : rebuilt->steps) {
        inits += step.event == "init" ? 1 : 0;
    }
    EXPECT_EQ(inits, 2u);
    ASSERT_EQ(rebuilt->warnings.size(), 1u);
    EXPECT_NE(rebuilt->warnings[0].find("a second init"), std::string::npos) << rebuilt->warnings[0];
}

// A line of another library version joins the operation it falls in, as an unexplained rule.
TEST(EdgeCases, UnknownLibraryLineIsReportedAndKept) {
    std::vector<ktr::log::LibraryLine> lines = loggedLines(replay(bundled("one-to-one-phone")).steps);
    ktr::log::LibraryLine strange;
    strange.number = 2;
    strange.text = "[KTRDLPolicy::adjust]: a message of another version";
    lines.insert(lines.begin() + 1, strange);
    const std::unique_ptr<Rebuilt> rebuilt = rebuild(lines);
    ASSERT_EQ(rebuilt->warnings.size(), 1u);
    EXPECT_NE(rebuilt->warnings[0].find("line 2"), std::string::npos) << rebuilt->warnings[0];
    ASSERT_FALSE(rebuilt->steps.empty());
    const ktr::TimelineStep& init = rebuilt->steps.front();
    EXPECT_EQ(init.event, "init");
    ASSERT_EQ(init.rules.size(), 2u);
    EXPECT_EQ(init.rules[1].line.format, nullptr);
    EXPECT_EQ(init.rules[1].text, strange.text);
}

// Without time in the prefix no step has a time: steps count where seconds would.
TEST(EdgeCases, LinesWithoutTimeLeaveTheStepsWithoutTime) {
    std::vector<ktr::log::LibraryLine> lines = loggedLines(replay(bundled("one-to-one-phone")).steps);
    for (ktr::log::LibraryLine& line : lines) {
        line.time.reset();
    }
    const std::unique_ptr<Rebuilt> rebuilt = rebuild(lines);
    ASSERT_FALSE(rebuilt->steps.empty());
    for (const ktr::TimelineStep& step : rebuilt->steps) {
        EXPECT_FALSE(step.time.has_value()) << "step " << step.index;
    }
}

// Clearing select requests writes nothing. A request after a camera decision starts a new collection, and
// a merge line naming fewer requests than were collected drops the earlier ones: the derived list never
// grows with the log's length.
TEST(EdgeCases, SelectRequestsFollowTheCollections) {
    const std::string low = R"({"step": "selectRequest", "width": 320, "height": 240, "fps": 15, "bitrate": 204800})";
    const std::string high = R"({"step": "selectRequest", "width": 1280, "height": 720, "fps": 30, "bitrate": 716800})";
    const std::string clear = R"({"step": "clearSelectRequests"})";
    const std::string upload = R"({"step": "upload"})";
    const std::vector<std::string> steps = {low,   high, upload, clear, low,   upload,  // a new collection
                                            clear, low,  low,    high,  clear, low,    high, upload};
    std::string text = std::string(R"({"name": "collections", "local": {"uid": 1, "dt": 8}, "steps": [)") +
                       R"({"step": "addUser", "uid": 2, "dt": 8})";
    for (const std::string& step : steps) {
        text += ", " + step;
    }
    const std::unique_ptr<Rebuilt> rebuilt =
        rebuild(loggedLines(replay(ktr::parseScenario(text + "]}", "collections.json")).steps));
    std::vector<size_t> requestsAtUpload;
    size_t newCollections = 0;
    for (const ktr::TimelineStep& step : rebuilt->steps) {
        if (step.event == "upload") {
            requestsAtUpload.push_back(step.state->selectRequests.size());
        }
        newCollections += std::count(step.notes.begin(), step.notes.end(), ktr::log::kNewCollectionNote);
    }
    EXPECT_EQ(requestsAtUpload, (std::vector<size_t>{2, 1, 2}));
    EXPECT_EQ(newCollections, 2u);
    ASSERT_FALSE(rebuilt->steps.empty());
    EXPECT_EQ(rebuilt->steps.back().state->selectRequests.back().bitrate, 716800);
}

// The steps the filters keep, written as JSON Lines and read back: each is one the window holds, and the state
// a reader rebuilds from the changes written equals the state the whole log had after that step.
struct FilterCase {
    const char* name;
    ktr::log::StepWindow window;
};

void PrintTo(const FilterCase& c, std::ostream* os) {
    *os << c.name;
}

class StepFilters : public ::testing::TestWithParam<FilterCase> {};

TEST_P(StepFilters, KeepTheWindowAndTheStateOfTheWholeLog) {
    const std::vector<ktr::log::LibraryLine> lines = loggedLines(replay(bundled("congested-download")).steps);
    const std::unique_ptr<Rebuilt> whole = rebuild(lines);
    std::stringstream written;
    ktr::JsonLinesWriter writer(written, ktr::StateWriting::Changes);
    ktr::log::StepFilter filter(GetParam().window, writer);
    filter.begin(ktr::TimelineHeader{});
    for (const ktr::TimelineStep& step : whole->steps) {
        filter.write(step);
    }
    filter.end();
    ktr::TimelineReader reader(written, "filtered");
    ktr::TimelineStep step;
    size_t kept = 0;
    const ktr::log::StepWindow& window = GetParam().window;
    while (reader.next(step)) {
        ++kept;
        const ktr::TimelineStep& original = whole->steps.at(static_cast<size_t>(step.index));
        EXPECT_TRUE(!window.since || *step.time >= *window.since) << "step " << step.index;
        EXPECT_TRUE(!window.until || *step.time <= *window.until) << "step " << step.index;
        if (!window.uids.empty()) {
            const std::set<uint64_t> named = ktr::uidsOf(original);
            EXPECT_TRUE(std::any_of(window.uids.begin(), window.uids.end(),
                                    [&](uint64_t uid) { return named.count(uid) != 0; }))
                << "step " << step.index;
        }
        std::string read;
        std::string expected;
        ktr::JsonOut readOut(read);
        ktr::JsonOut expectedOut(expected);
        ktr::writeState(readOut, ktr::StateChange::whole(*step.state));
        ktr::writeState(expectedOut, ktr::StateChange::whole(*original.state));
        EXPECT_EQ(read, expected) << "step " << step.index;
    }
    EXPECT_GT(kept, 0u);
    EXPECT_LT(kept, whole->steps.size()) << "a filter that keeps every step tests nothing";
}

INSTANTIATE_TEST_SUITE_P(Windows, StepFilters,
                         ::testing::Values(FilterCase{"since", {10.0, std::nullopt, {}}},
                                           FilterCase{"until", {std::nullopt, 12.0, {}}},
                                           FilterCase{"between", {8.0, 20.0, {}}},
                                           FilterCase{"one_uid", {std::nullopt, std::nullopt, {12}}},
                                           FilterCase{"a_uid_and_a_window", {5.0, 25.0, {11}}}),
                         [](const ::testing::TestParamInfo<FilterCase>& info) { return std::string(info.param.name); });

}  // namespace
