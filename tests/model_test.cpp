// The tools' formats: every type of the model written with its one writer reads back, with its one reader,
// to the same value, over generated values (unknown fields, the ends of every integer's range, texts with
// quotes, control characters and non-ASCII letters); and every reader reads what the matching writer of a
// real run wrote.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <limits>
#include <random>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "Actions.h"
#include "Answers.h"
#include "FieldCodec.h"
#include "HostSettings.h"
#include "InputFile.h"
#include "MetricTable.h"
#include "Scenario.h"
#include "State.h"
#include "Summary.h"
#include "TimelineFormat.h"
#include "support/TestFiles.h"

namespace {

using ktr::Known;
using ktr::Record;

// Random values of every field type the model holds, the ends of each range among them.
class Values {
public:
    explicit Values(uint64_t seed) : m_random(seed) {}

    bool coin() { return draw(2) == 0; }
    int32_t i32() {
        constexpr int32_t kEnds[] = {std::numeric_limits<int32_t>::min(), -1, 0, 1,
                                     std::numeric_limits<int32_t>::max()};
        return coin() ? kEnds[draw(5)] : static_cast<int32_t>(m_random());
    }
    uint16_t u16() { return coin() ? uint16_t{65535} : static_cast<uint16_t>(draw(65536)); }
    uint64_t u64() { return coin() ? std::numeric_limits<uint64_t>::max() - draw(3) : m_random(); }
    double number() { return coin() ? static_cast<double>(i32()) : static_cast<double>(i32()) / 7.0; }
    std::string text() {
        constexpr const char* kPieces[] = {"peer", " ", "\"",   "\\", "\n",        "\t", "\x01",
                                           "\x1f", "é", "日本", "😀",  "</script>", "7"};
        std::string text;
        for (size_t n = draw(6); n > 0; --n) {
            text += kPieces[draw(std::size(kPieces))];
        }
        return text;
    }
    template <class T, class Make>
    Known<T> known(Make make) {
        return draw(4) == 0 ? std::nullopt : Known<T>(make());
    }
    template <class Make>
    auto list(Make make) {
        std::vector<decltype(make())> values;
        for (size_t n = draw(4); n > 0; --n) {
            values.push_back(make());
        }
        return values;
    }
    size_t draw(size_t count) { return static_cast<size_t>(m_random() % count); }

    Record record() {
        const auto field = [this] { return known<int32_t>([this] { return i32(); }); };
        return Record{field(), field(), field(), field(), field(), field(), field(), field()};
    }
    ktr::User user() {
        return ktr::User{u64(), known<uint16_t>([this] { return u16(); }), known<uint16_t>([this] { return u16(); }),
                         known<std::string>([this] { return text(); })};
    }

private:
    std::mt19937_64 m_random;
};

std::vector<ktr::Action> actionsOf(Values& v) {
    const auto records = [&] { return v.list([&] { return v.record(); }); };
    return {ktr::Init{v.u64(), v.i32()},
            ktr::SceneType{v.i32()},
            ktr::Config{ktr::LocalConfig{v.coin(), v.coin(), v.i32(), v.i32()}},
            ktr::AddUser{v.user()},
            ktr::RemoveUser{v.user()},
            ktr::SetUsers{v.list([&] { return v.user(); })},
            ktr::Sharing{v.coin(), v.u64()},
            ktr::Speaker{v.coin(), v.u64()},
            ktr::PeerReport{v.u64(), v.known<std::vector<Record>>(records)},
            ktr::ClearPeerReports{},
            ktr::SelectRequest{v.i32(), v.i32(), v.i32(), v.i32()},
            ktr::ClearSelectRequests{},
            ktr::NetEstimate{v.coin(), v.i32(), v.i32(), v.i32(), v.i32()},
            ktr::Definitions{records()},
            ktr::AskUpload{v.known<int32_t>([&] { return v.i32(); })},
            ktr::AskDownload{v.known<int32_t>([&] { return v.i32(); })},
            ktr::AskHdLd{},
            ktr::AskDefinition{v.i32()}};
}

ktr::Answer answerTo(const ktr::Action& action, Values& v) {
    const auto records = [&] { return v.list([&] { return v.record(); }); };
    const auto uids = [&] {
        const std::vector<uint64_t> list = v.list([&] { return v.u64(); });
        return std::set<uint64_t>(list.begin(), list.end());
    };
    if (std::holds_alternative<ktr::AskUpload>(action)) {
        return ktr::UploadAnswer{v.i32(), v.known<bool>([&] { return v.coin(); }),
                                 v.known<std::vector<Record>>(records)};
    }
    if (std::holds_alternative<ktr::AskDownload>(action)) {
        return ktr::DownloadAnswer{v.known<bool>([&] { return v.coin(); }), v.known<std::vector<ktr::PeerRequest>>([&] {
                                       return v.list([&] {
                                           ktr::PeerRequest request;
                                           static_cast<Record&>(request) = v.record();
                                           request.uid = v.u64();
                                           return request;
                                       });
                                   })};
    }
    if (std::holds_alternative<ktr::AskHdLd>(action)) {
        return ktr::HdLdAnswer{v.known<std::set<uint64_t>>(uids), v.known<std::set<uint64_t>>(uids)};
    }
    if (std::holds_alternative<ktr::AskDefinition>(action)) {
        return ktr::DefinitionAnswer{v.known<std::vector<Record>>(records)};
    }
    return std::monostate{};
}

ktr::StateSnapshot stateOf(Values& v) {
    ktr::StateSnapshot state;
    ktr::SceneState& scene = state.scene;
    scene.localUid = v.u64();
    scene.localDt = v.i32();
    for (const ktr::User& user : v.list([&] { return v.user(); })) {
        scene.users.insert(ktr::UserKey{user.uid, user.dt});
    }
    scene.sharing = v.coin();
    scene.sharer = v.u64();
    scene.speaking = v.coin();
    scene.speaker = v.u64();
    scene.sceneType = v.known<int32_t>([&] { return v.i32(); });
    scene.forceHD = v.coin();
    for (size_t n = v.draw(4); n > 0; --n) {
        ktr::PeerState peer;
        peer.published = v.known<std::vector<Record>>([&] { return v.list([&] { return v.record(); }); });
        peer.received = v.coin();
        peer.choice = v.known<ktr::StreamChoice>([&] { return static_cast<ktr::StreamChoice>(v.draw(4)); });
        peer.chosen = v.known<Record>([&] { return v.record(); });
        peer.definition = v.known<ktr::Definition>([&] { return static_cast<ktr::Definition>(v.draw(2)); });
        state.peers[v.u64()] = peer;
    }
    state.download = ktr::EstimateState{v.i32(), v.i32(), v.i32(), v.i32()};
    state.upload = ktr::EstimateState{v.i32(), v.i32(), v.i32(), v.i32()};
    state.selectRequests = v.list([&] { return ktr::SelectRequest{v.i32(), v.i32(), v.i32(), v.i32()}; });
    return state;
}

std::string stateText(const ktr::StateSnapshot& state) {
    std::string text;
    ktr::JsonOut out(text);
    ktr::writeState(out, ktr::StateChange::whole(state));
    return text;
}

// Texts from a host may hold any bytes: what is not UTF-8 becomes U+FFFD, the rest is kept.
struct TextCase {
    const char* name;
    std::string text;
    std::string json;
};

class JsonText : public ::testing::TestWithParam<TextCase> {};

TEST_P(JsonText, IsEscapedAsJsonRequires) {
    std::string written;
    ktr::JsonOut out(written);
    out.string(GetParam().text);
    EXPECT_EQ(written, GetParam().json);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, JsonText,
    ::testing::Values(TextCase{"quote_and_backslash", "a\"b\\c", R"("a\"b\\c")"},
                      TextCase{"control_characters", std::string("\x00\x1f\x7f\n", 4), R"("\u0000\u001f\u007f\n")"},
                      TextCase{"letters_of_every_length", "é日😀", "\"é日😀\""},
                      TextCase{"a_stray_continuation_byte",
                               "a\x80"
                               "b",
                               R"("a\ufffdb")"},
                      TextCase{"a_sequence_cut_short", "\xe6\x97", R"("\ufffd\ufffd")"},
                      TextCase{"an_overlong_slash", "\xc0\xaf", R"("\ufffd\ufffd")"},
                      TextCase{"a_surrogate", "\xed\xa0\x80", R"("\ufffd\ufffd\ufffd")"},
                      TextCase{"beyond_unicode", "\xf4\x90\x80\x80", R"("\ufffd\ufffd\ufffd\ufffd")"}),
    [](const ::testing::TestParamInfo<TextCase>& info) { return std::string(info.param.name); });

ktr::FieldReader readerOf(const ktr::JsonValue& document) {
    return ktr::FieldReader(document, ktr::FieldPlace("generated", ""));
}

TEST(RoundTrip, EveryActionReadsBackAsWritten) {
    for (uint64_t seed = 1; seed <= 200; ++seed) {
        Values v(seed);
        for (const ktr::Action& action : actionsOf(v)) {
            std::string text = "{";
            ktr::JsonOut out(text);
            ktr::writeActionFields(out, action);
            text += "}";
            const ktr::JsonValue document = ktr::JsonValue::parse(text);
            ktr::FieldReader in = readerOf(document);
            const ktr::Action read = ktr::readAction(ktr::actionName(action), in, ktr::Nulls::Unknown);
            in.finish();
            EXPECT_TRUE(read == action) << "seed " << seed << ": " << text;
        }
    }
}

TEST(RoundTrip, EveryAnswerReadsBackAsWritten) {
    for (uint64_t seed = 1; seed <= 200; ++seed) {
        Values v(seed);
        for (const ktr::Action& action : actionsOf(v)) {
            const ktr::Answer answer = answerTo(action, v);
            std::string text = R"({"answer":)";
            ktr::JsonOut out(text);
            ktr::writeAnswer(out, answer);
            text += "}";
            const ktr::JsonValue document = ktr::JsonValue::parse(text);
            ktr::FieldReader in = readerOf(document);
            EXPECT_TRUE(ktr::readAnswer(action, in, "answer", ktr::Nulls::Unknown) == answer)
                << "seed " << seed << ": " << text;
        }
    }
}

// A change written and read back, applied to the state before it, gives the state after it; two changes
// merged into one give the same state as the two applied in turn.
TEST(RoundTrip, StateChangesReadBackAndMerge) {
    for (uint64_t seed = 1; seed <= 200; ++seed) {
        Values v(seed);
        const ktr::StateSnapshot first = stateOf(v);
        const ktr::StateSnapshot second = stateOf(v);
        const ktr::StateSnapshot third = stateOf(v);
        const ktr::StateChange change = ktr::StateChange::between(first, second);
        std::string text;
        ktr::JsonOut out(text);
        ktr::writeState(out, change);
        const ktr::JsonValue document = ktr::JsonValue::parse(text);
        ktr::FieldReader in = readerOf(document);
        ktr::StateSnapshot rebuilt = first;
        ktr::readStateChange(in, ktr::Nulls::Unknown).applyTo(rebuilt);
        EXPECT_EQ(stateText(rebuilt), stateText(second)) << "seed " << seed << ": " << text;

        ktr::StateChange both = change;
        both.merge(ktr::StateChange::between(second, third));
        ktr::StateSnapshot merged = first;
        both.applyTo(merged);
        EXPECT_EQ(stateText(merged), stateText(third)) << "seed " << seed;
    }
}

// Steps written as JSON Lines read back step by step, their lines printed again from the catalogue.
TEST(RoundTrip, TimelineStepsReadBackAsWritten) {
    const std::vector<ktr::LogFormat>& catalogue = ktr::logCatalogue();
    for (uint64_t seed = 1; seed <= 50; ++seed) {
        Values v(seed);
        ktr::TimelineHeader header;
        header.command = v.text();
        header.source = v.text();
        header.provenance.ktrVersion = v.text();
        header.provenance.library = ktr::HashedFile{v.text(), v.text()};
        header.provenance.seed = v.known<uint64_t>([&] { return v.u64(); });
        header.timed = v.coin();
        std::stringstream lines;
        std::string line;
        ktr::JsonOut headerOut(line);
        ktr::writeTimelineHeader(headerOut, header);
        lines << line << '\n';
        std::vector<ktr::TimelineStep> written;
        ktr::StateSnapshot state;
        int index = 0;
        for (const ktr::Action& action : actionsOf(v)) {
            ktr::TimelineStep step;
            step.index = index++;
            step.time = v.known<double>([&] { return v.number(); });
            step.event = ktr::actionName(action);
            step.action = action;
            step.answer = answerTo(action, v);
            const ktr::LogFormat& format = catalogue[v.draw(catalogue.size())];
            std::vector<std::string> values;
            for (size_t i = 0; i < format.fields.size(); ++i) {
                values.push_back(ktr::ParsedLine{&format, {}}.isUid(i) ? std::to_string(v.u64())
                                                                       : std::to_string(v.i32()));
            }
            ktr::ParsedLine parsed{&format, values};
            step.rules = {ktr::FiredRule{parsed, format.level, parsed.print()},
                          ktr::FiredRule{ktr::ParsedLine{}, ktr::LogLevel::Error, v.text()}};
            step.notes = v.list([&] { return v.text(); });
            // A kind for every note, some of them none; the kinds are left out when no note has one.
            for (size_t i = 0; i < step.notes.size(); ++i) {
                step.noteKinds.push_back(v.coin() ? std::string() : v.text());
            }
            const ktr::StateSnapshot next = stateOf(v);
            step.change = ktr::StateChange::between(state, next);
            line.clear();
            ktr::JsonOut out(line);
            ktr::writeTimelineStep(out, step, false);
            lines << line << '\n';
            if (std::all_of(step.noteKinds.begin(), step.noteKinds.end(),
                            [](const std::string& kind) { return kind.empty(); })) {
                step.noteKinds.clear();
            }
            written.push_back(step);
            state = next;
            written.back().state = nullptr;
        }
        ktr::TimelineReader reader(lines, "generated");
        EXPECT_EQ(reader.header().command, header.command);
        EXPECT_EQ(reader.header().provenance.seed, header.provenance.seed);
        EXPECT_EQ(reader.header().timed, header.timed);
        ktr::TimelineStep read;
        size_t count = 0;
        while (reader.next(read)) {
            ASSERT_LT(count, written.size());
            const ktr::TimelineStep& expected = written[count++];
            EXPECT_EQ(read.time, expected.time) << "seed " << seed;
            EXPECT_TRUE(read.action == expected.action) << "seed " << seed;
            EXPECT_TRUE(read.answer == expected.answer) << "seed " << seed;
            ASSERT_EQ(read.rules.size(), 2u);
            EXPECT_EQ(read.rules[0].text, expected.rules[0].text) << "seed " << seed;
            EXPECT_EQ(read.rules[0].level, expected.rules[0].level) << "seed " << seed;
            EXPECT_EQ(read.rules[1].text, expected.rules[1].text) << "seed " << seed;
            EXPECT_EQ(read.notes, expected.notes) << "seed " << seed;
            EXPECT_EQ(read.noteKinds, expected.noteKinds) << "seed " << seed;
        }
        EXPECT_EQ(count, written.size());
        EXPECT_EQ(stateText(*read.state), stateText(state)) << "seed " << seed;
    }
}

template <class T>
T readBack(const T& value) {
    const ktr::JsonValue document = ktr::JsonValue::parse(ktr::toJsonText(value));
    ktr::FieldReader in = readerOf(document);
    T read;
    ktr::codec::readFields(in, read, ktr::Nulls::Unknown);
    in.finish();
    return read;
}

ktr::Metrics metricsOf(Values& v) {
    ktr::Metrics metrics;
    for (size_t n = v.draw(5); n > 0; --n) {
        ktr::Metric metric;
        metric.unit = v.text();
        metric.better = v.coin() ? "higher" : "lower";
        if (v.coin()) {
            metric.episodes = v.u64();
            metric.median = v.known<double>([&] { return v.number(); });
            metric.max = v.known<double>([&] { return v.number(); });
        } else {
            metric.value = v.known<double>([&] { return v.number(); });
        }
        metrics.entries.emplace_back("m" + std::to_string(n), metric);
    }
    return metrics;
}

ktr::SweepTable sweepTableOf(Values& v) {
    ktr::SweepTable table;
    table.runs = v.u64();
    table.runLabels = v.list([&] { return v.text(); });
    table.warning = v.known<std::string>([&] { return v.text(); });
    table.metrics = v.list([&] {
        const auto estimate = [&] { return ktr::Estimate{v.number(), v.number(), v.number()}; };
        return ktr::MetricDistribution{v.text(),
                                       v.text(),
                                       v.text(),
                                       v.text(),
                                       v.u64(),
                                       v.coin(),
                                       v.known<ktr::Estimate>(estimate),
                                       v.known<ktr::Estimate>(estimate),
                                       v.known<ktr::Estimate>(estimate),
                                       v.list([&] { return v.known<double>([&] { return v.number(); }); })};
    });
    return table;
}

TEST(RoundTrip, SummariesAndSweepResultsReadBackAsWritten) {
    for (uint64_t seed = 1; seed <= 200; ++seed) {
        Values v(seed);
        ktr::RunSummary summary;
        summary.meeting = v.text();
        summary.downlink = v.text();
        summary.uplink = v.known<std::string>([&] { return v.text(); });
        summary.seed = v.u64();
        summary.durationS = v.number();
        summary.metrics = metricsOf(v);
        for (size_t n = v.draw(3); n > 0; --n) {
            summary.peers.push_back(ktr::PeerSummary{v.u64(), metricsOf(v)});
        }
        if (v.coin()) {
            ktr::ConferenceSummary conference;
            conference.participants = v.list([&] {
                std::vector<ktr::PeerSummary> peers = v.list([&] { return ktr::PeerSummary{v.u64(), metricsOf(v)}; });
                return ktr::ParticipantSummary{v.u64(), metricsOf(v), peers};
            });
            conference.overParticipants = sweepTableOf(v);
            summary.conference = conference;
        }
        const ktr::RunSummary read = readBack(summary);
        EXPECT_EQ(ktr::toJsonText(read), ktr::toJsonText(summary)) << "seed " << seed;
        EXPECT_TRUE(read.metrics == summary.metrics) << "seed " << seed;

        const ktr::SweepResultsRun run{v.text(), v.u64(), summary, {}};
        EXPECT_EQ(ktr::toJsonText(readBack(run)), ktr::toJsonText(run)) << "seed " << seed;
        const ktr::SweepResultsRun failed{
            v.text(), v.u64(), {}, ktr::FailedRun{v.text(), v.text(), v.text(), v.text(), v.u64(), v.list([&] {
                                                      return v.text();
                                                  })}};
        EXPECT_EQ(ktr::toJsonText(readBack(failed)), ktr::toJsonText(failed)) << "seed " << seed;
        ktr::SweepResultsHeader header;
        header.meeting = v.text();
        header.options = v.list([&] { return v.text(); });
        header.runs = v.list([&] { return v.text(); });
        header.librarySha256 = v.text();
        header.settingsSha256 = v.known<std::string>([&] { return v.text(); });
        header.tracesSha256 = v.list([&] { return v.text(); });
        header.shard = v.text();
        EXPECT_EQ(ktr::toJsonText(readBack(header)), ktr::toJsonText(header)) << "seed " << seed;
        const ktr::SweepTable table = sweepTableOf(v);
        EXPECT_EQ(ktr::toJsonText(readBack(table)), ktr::toJsonText(table)) << "seed " << seed;
        ktr::LogSummaryReport report;
        report.timeUnit = v.text();
        report.firstTime = v.known<double>([&] { return v.number(); });
        report.operations[v.text()] = v.u64();
        report.peers.push_back(ktr::LogPeerSummary{
            v.u64(), {{v.text(), v.number()}}, {{v.text(), v.number()}}, v.number(), v.i32(), v.number()});
        EXPECT_EQ(ktr::toJsonText(readBack(report)), ktr::toJsonText(report)) << "seed " << seed;
    }
}

// A timeline that is not one this ktr reads is refused with the reason, never read as something else.
TEST(TimelineReaderRefuses, InputsItCannotRead) {
    std::string validHeader;
    ktr::JsonOut headerOut(validHeader);
    ktr::TimelineHeader header;
    header.command = "replay";
    ktr::writeTimelineHeader(headerOut, header);
    const std::string step = R"({"step":0,"time":0,"event":"init","input":{"uid":1,"dt":1},"answer":null,)"
                             R"("rules":[{"format_id":"nosuch","level":"info","fields":{"uid":1,"dt":1}}],"state":{}})";
    struct Case {
        std::string text;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"", "empty"},
        {"not json\n", "line 1: not JSON"},
        {R"({"command":"replay"})"
         "\n",
         R"(not a ktr timeline (no "schema" in its header))"},
        {R"({"schema":1,"command":"replay"})"
         "\n",
         "a timeline of schema 1; this ktr reads schema 2 only"},
        {validHeader + "\n" + step + "\n", R"("nosuch" is not in the header's catalogue)"},
        {validHeader + "\n" +
             R"({"step":0,"time":0,"event":"init","input":{"uid":1,"dt":1},"answer":null,"rules":[],)"
             R"("notes":["a","b"],"note_kinds":["record.all_zero"],"state":{}})"
             "\n",
         R"(field "note_kinds": 1 kind(s) for 2 note(s))"},
    };
    for (const Case& c : cases) {
        std::istringstream in(c.text);
        try {
            ktr::TimelineReader reader(in, "t.jsonl");
            ktr::TimelineStep read;
            while (reader.next(read)) {
            }
            ADD_FAILURE() << "read without complaint: " << c.text;
        } catch (const ktr::InputError& error) {
            EXPECT_NE(std::string(error.what()).find(c.message), std::string::npos)
                << error.what() << " lacks " << c.message;
        }
    }
}

// --- every reader reads what every writer of a real run writes ----------------------------------------

const std::string kProgram = KTR_PROGRAM;
const std::string kSource = KTR_SOURCE_DIR;

// Runs ktr with the arguments; fails the test unless it exits 0.
void ktrRun(const std::string& arguments) {
    const std::string command = kProgram + " " + arguments + " >/dev/null 2>&1";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

size_t stepsIn(const std::string& path) {
    std::ifstream in(path);
    ktr::TimelineReader reader(in, path);
    ktr::TimelineStep step;
    size_t count = 0;
    while (reader.next(step)) {
        ++count;
    }
    return count;
}

TEST(ReadersReadWriters, EveryOutputOfARunReadsBack) {
    const std::string dir = ktr::test_support::makeTempDir("model_test");
    const std::string meeting = kSource + "/examples/meetings/team-meeting.json";
    const std::string scenario = kSource + "/examples/scenarios/team-meeting.json";
    ktrRun("replay " + scenario + " --json " + dir + "/replay.jsonl --log-file " + dir + "/client.log");
    ktrRun("sim " + meeting + " --duration 30 --json " + dir + "/sim.jsonl --record " + dir +
           "/record.json --summary " + dir + "/summary.json");
    ktrRun("log " + dir + "/client.log --json " + dir + "/log.jsonl --scenario " + dir + "/rebuilt.json --summary " +
           dir + "/log-summary.json");
    ktrRun("sim " + meeting + " --duration 5 --traces " + kSource + "/examples/traces --results " + dir +
           "/results.jsonl --summary " + dir + "/table.json");
    ktrRun("sim " + meeting + " --conference --duration 10 --summary " + dir + "/conference.json");
    ktrRun("sim " + meeting + " --conference --duration 5 --traces " + kSource + "/examples/traces --results " + dir +
           "/conference-results.jsonl");

    // Timelines, as TimelineReader reads them.
    EXPECT_EQ(stepsIn(dir + "/replay.jsonl"), ktr::parseScenario(ktr::readInputFile(scenario), scenario).steps.size());
    EXPECT_GT(stepsIn(dir + "/sim.jsonl"), 100u);
    EXPECT_GT(stepsIn(dir + "/log.jsonl"), 10u);
    // Scenarios written by a recording and by a log's rebuild, as a scenario is read.
    EXPECT_EQ(ktr::parseScenario(ktr::readInputFile(dir + "/record.json"), "record.json").steps.size(),
              stepsIn(dir + "/sim.jsonl"));
    EXPECT_GT(ktr::parseScenario(ktr::readInputFile(dir + "/rebuilt.json"), "rebuilt.json").steps.size(), 10u);
    // A run's summary.
    const ktr::RunSummary summary = ktr::parseRunSummary(ktr::readInputFile(dir + "/summary.json"), "summary.json");
    EXPECT_NE(summary.metrics.find("time_upper_pct"), nullptr);
    EXPECT_FALSE(summary.conference) << "one client alone";
    // A conference's summary: the team meeting's eight participants, and the table over them.
    const ktr::RunSummary conference =
        ktr::parseRunSummary(ktr::readInputFile(dir + "/conference.json"), "conference.json");
    ASSERT_TRUE(conference.conference);
    EXPECT_EQ(conference.conference->participants.size(), 8u);
    EXPECT_EQ(conference.conference->overParticipants.runs, 8u);
    EXPECT_EQ(conference.conference->overParticipants.runLabels.size(), 8u);
    // A conference sweep's results: each run's summary carries its participants.
    std::ifstream conferenceResults(dir + "/conference-results.jsonl");
    std::string resultLine;
    std::getline(conferenceResults, resultLine);  // the header
    size_t conferenceRuns = 0;
    while (std::getline(conferenceResults, resultLine)) {
        const ktr::JsonValue document = ktr::JsonValue::parse(resultLine);
        ktr::FieldReader in = readerOf(document);
        ktr::SweepResultsRun run;
        ktr::codec::readFields(in, run, ktr::Nulls::Unknown);
        in.finish();
        ASSERT_TRUE(run.summary && run.summary->conference) << run.run;
        EXPECT_EQ(run.summary->conference->participants.size(), 8u) << run.run;
        ++conferenceRuns;
    }
    EXPECT_EQ(conferenceRuns, 4u) << "one run per bundled trace";
    // The sweep's results and table, and the log's summary, through the model's reader.
    std::ifstream results(dir + "/results.jsonl");
    std::string line;
    ASSERT_TRUE(std::getline(results, line));
    const ktr::JsonValue header = ktr::JsonValue::parse(line);
    ktr::FieldReader headerIn = readerOf(header);
    ktr::SweepResultsHeader read;
    ktr::codec::readFields(headerIn, read, ktr::Nulls::Unknown);
    EXPECT_EQ(read.runs.size(), 4u) << "one run per bundled trace";
    for (const char* file : {"/table.json", "/log-summary.json"}) {
        const ktr::JsonValue document = ktr::JsonValue::parse(ktr::readInputFile(dir + file));
        ktr::FieldReader in = readerOf(document);
        if (std::string(file) == "/table.json") {
            ktr::SweepTable table;
            ktr::codec::readFields(in, table, ktr::Nulls::Unknown);
            EXPECT_EQ(table.runs, 4u);
        } else {
            ktr::LogSummaryReport report;
            ktr::codec::readFields(in, report, ktr::Nulls::Unknown);
            EXPECT_GT(report.lines.library, 0u);
        }
        in.finish();
    }
    // Settings files, as every command reads them.
    for (const char* settings : {"force-hd.json", "lean-definitions.json"}) {
        const std::string path = kSource + "/examples/settings/" + settings;
        EXPECT_NO_THROW(ktr::parseHostSettings(ktr::readInputFile(path), path)) << settings;
    }
}

// --- the README's metric table is the code's -----------------------------------------------------------

// The rows of the README's table under "| metric | unit | better | definition |", up to the first line that
// is not a row, each cell without its padding and the name without its backquotes.
std::vector<std::vector<std::string>> readmeMetricRows() {
    std::ifstream readme(kSource + "/README.md");
    std::string line;
    while (std::getline(readme, line) && line != "| metric | unit | better | definition |") {
    }
    std::vector<std::vector<std::string>> rows;
    std::getline(readme, line);  // the rule under the heading
    while (std::getline(readme, line) && line.size() > 2 && line.front() == '|') {
        std::vector<std::string> cells;
        std::istringstream row(line.substr(1, line.size() - 2));
        for (std::string cell; std::getline(row, cell, '|');) {
            const size_t first = cell.find_first_not_of(' ');
            cells.push_back(first == std::string::npos ? ""
                                                       : cell.substr(first, cell.find_last_not_of(' ') - first + 1));
        }
        if (!cells.empty() && cells[0].size() > 2 && cells[0].front() == '`' && cells[0].back() == '`') {
            cells[0] = cells[0].substr(1, cells[0].size() - 2);
        }
        rows.push_back(cells);
    }
    return rows;
}

TEST(MetricTable, TheReadmeListsEveryMetricAsTheCodeDescribesIt) {
    std::vector<std::vector<std::string>> expected;
    for (const ktr::MetricDefinition& metric : ktr::metricTable()) {
        expected.push_back({metric.name, metric.unit, metric.better, metric.definition});
    }
    const std::vector<std::vector<std::string>> readme = readmeMetricRows();
    ASSERT_EQ(readme.size(), expected.size()) << "the README's metric table has another number of rows";
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(readme[i], expected[i]) << "row " << i + 1 << " of the README's metric table";
    }
}

TEST(MetricTable, NamesAreUniqueAndDirectionsKnown) {
    std::set<std::string> names;
    for (const ktr::MetricDefinition& metric : ktr::metricTable()) {
        EXPECT_TRUE(names.insert(metric.name).second) << metric.name;
        const std::string better = metric.better;
        EXPECT_TRUE(better == "higher" || better == "lower" || better == "none") << metric.name;
        EXPECT_EQ(ktr::findMetric(metric.name), &metric);
    }
    EXPECT_EQ(ktr::findMetric("time_to_cut_s.median"), nullptr) << "a row of a metric is not a metric";
}

}  // namespace
