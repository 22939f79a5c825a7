// The HTML report: data escaped for a <script> element, the page's structure, and the chart built from the
// timeline's steps and a simulation's samples.
#include <gtest/gtest.h>

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "HtmlReport.h"
#include "JsonOut.h"
#include "ReportChart.h"
#include "TimelineFormat.h"
#include "support/NamedItem.h"
#include "support/ReportData.h"
#include "support/ScriptedSteps.h"

namespace {

using ktr::Record;
using nlohmann::json;

// --- escaping ---------------------------------------------------------------------------------------------

struct EscapeCase {
    std::string text;
    std::string escaped;  // the JSON string as the page holds it, quotes included
};

class ScriptSafeJson : public ::testing::TestWithParam<EscapeCase> {};

TEST_P(ScriptSafeJson, EscapesWhatCouldEndTheElementAndParsesBack) {
    const EscapeCase& c = GetParam();
    const std::string safe = ktr::scriptSafeJson(json(c.text));
    EXPECT_EQ(safe, c.escaped) << "text " << c.text;
    EXPECT_EQ(json::parse(safe).get<std::string>(), c.text) << "text " << c.text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ScriptSafeJson,
    ::testing::Values(EscapeCase{"</script><script>alert(1)</script>",
                                 R"("\u003c/script\u003e\u003cscript\u003ealert(1)\u003c/script\u003e")"},
                      EscapeCase{"<!-- a comment", R"("\u003c!-- a comment")"}, EscapeCase{"a & b", R"("a \u0026 b")"},
                      EscapeCase{"line\xE2\x80\xA8separator\xE2\x80\xA9paragraph",
                                 R"("line\u2028separator\u2029paragraph")"},
                      EscapeCase{"\xE2\x80\xA6 stays", "\"\xE2\x80\xA6 stays\""},
                      EscapeCase{"plain [KTR] 42", R"("plain [KTR] 42")"}));

TEST(ScriptSafeJson, ReplacesInvalidUtf8RatherThanRefusingIt) {
    const std::string safe = ktr::scriptSafeJson(json("bad \xFF byte"));
    EXPECT_EQ(json::parse(safe).get<std::string>(), "bad \xEF\xBF\xBD byte");
}

// --- the page -----------------------------------------------------------------------------------------------

size_t count(const std::string& text, const std::string& part) {
    size_t found = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) {
        ++found;
    }
    return found;
}

// The data element of that id, parsed; a block of steps is inflated first.
json block(const std::string& html, const std::string& id) {
    return ktr::test_support::reportData(html, id);
}

using Script = ktr::test_support::ScriptedSteps;

ktr::TimelineHeader header(const std::string& command, const std::string& source) {
    ktr::TimelineHeader header;
    header.command = command;
    header.source = source;
    return header;
}

TEST(HtmlReportPage, ALogLineThatClosesTheScriptStaysInsideTheData) {
    std::ostringstream page;
    ktr::HtmlReport report(page, ktr::ReportChart::Options{true, false});
    report.begin(header("replay", "</script><b>source</b>"));
    Script script;
    ktr::TimelineStep step = script.step(0, 0, ktr::Init{1, 8});
    step.rules.push_back(ktr::FiredRule{ktr::ParsedLine{}, ktr::LogLevel::Info, "</script><script>alert(1)</script>"});
    report.write(step);
    report.end();
    const std::string html = page.str();
    // The page's own elements: the block of steps, the report block and the script.
    EXPECT_EQ(count(html, "<script"), 3u);
    EXPECT_EQ(count(html, "</script>"), 3u);
    EXPECT_EQ(count(html, "<b>"), 0u);
    EXPECT_EQ(block(html, "ktr-steps-0-0").at(0).at("rules").at(0).at("text"), "</script><script>alert(1)</script>");
    EXPECT_EQ(html.rfind("</html>\n"), html.size() - 8);
}

// A block's first step carries the whole state, the others what they changed: the page rebuilds the state
// at any step from its block alone.
TEST(HtmlReportPage, HoldsEveryStepWithItsChangesAndTheReport) {
    std::ostringstream page;
    ktr::HtmlReport report(page, ktr::ReportChart::Options{false, false});
    report.begin(header("log", "client.log"));
    Script script;
    for (int i = 0; i < 3; ++i) {
        ktr::StateSnapshot state;
        state.scene.speaking = true;
        state.scene.speaker = 5 + i;
        report.write(script.step(i, 1.5 * i, ktr::Speaker{true, 5u + i}, state));
    }
    report.end();
    const json steps = block(page.str(), "ktr-steps-0-0");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[2].at("step"), 2);
    EXPECT_EQ(steps[2].at("time"), 3.0);
    EXPECT_EQ(steps[0].at("state").at("scene").at("speaker"), 5);
    EXPECT_TRUE(steps[0].at("state").at("scene").contains("local_uid"));
    EXPECT_EQ(steps[2].at("state"), json::parse(R"({"scene": {"speaker": 7}})"));
    const json data = block(page.str(), "ktr-report");
    EXPECT_EQ(data.at("title"), "ktr log: client.log");
    EXPECT_EQ(data.at("axis"), "seconds");
    EXPECT_EQ(data.at("sides").at(0).at("stepX"), json({0.0, 1.5, 3.0}));
}

TEST(HtmlReportPage, ASweepPageHoldsItsTableAndNoSide) {
    std::ostringstream page;
    ktr::SweepTable table;
    table.runs = 4;
    ktr::writeSweepReport(page, "ktr sim: sweep of <meeting>", table);
    const json data = block(page.str(), "ktr-report");
    EXPECT_EQ(data.at("sweep"), json::parse(ktr::toJsonText(table)));
    EXPECT_EQ(data.at("sweep").at("runs"), 4);
    EXPECT_EQ(data.at("sides"), json::array());
    EXPECT_EQ(data.at("title"), "ktr sim: sweep of <meeting>");
    EXPECT_EQ(page.str().find("id=\"ktr-steps"), std::string::npos);
}

TEST(HtmlReportPage, StepsGoIntoBlocksOfAThousand) {
    std::ostringstream page;
    ktr::HtmlReport report(page, ktr::ReportChart::Options{true, false});
    report.begin(header("replay", "long"));
    Script script;
    ktr::TimelineStep last;
    for (int i = 0; i < 2001; ++i) {
        last = script.step(i, i, ktr::AskHdLd{});
        last.answer = ktr::HdLdAnswer{};
        report.write(last);
    }
    report.end();
    const std::string html = page.str();
    EXPECT_EQ(block(html, "ktr-steps-0-0").size(), 1000u);
    EXPECT_EQ(block(html, "ktr-steps-0-1").front().at("step"), 1000);
    std::string written;
    ktr::JsonOut out(written);
    ktr::writeTimelineStep(out, last, true);
    EXPECT_EQ(block(html, "ktr-steps-0-2"), json::array({json::parse(written)}));
    EXPECT_EQ(html.find("id=\"ktr-steps-0-3"), std::string::npos);
    EXPECT_EQ(block(html, "ktr-report").at("sides").at(0).at("stepsPerBlock"), 1000);
}

// --- the chart ----------------------------------------------------------------------------------------------

Record stream(int bitrate) {
    Record record;
    record.bitrate = bitrate;
    return record;
}

ktr::PeerState receivedPeer(std::optional<int> bitrate, ktr::Definition definition) {
    ktr::PeerState peer;
    peer.received = true;
    if (bitrate) {
        peer.choice = ktr::StreamChoice::Upper;
        peer.chosen = stream(*bitrate);
    }
    peer.definition = definition;
    return peer;
}

const auto& named = ktr::test_support::namedItem;

Record sized(int width, int height, int bitrate) {
    Record record = stream(bitrate);
    record.width = width;
    record.height = height;
    return record;
}

TEST(ReportChart, UploadAnswersGiveTheCameraStreamsByRankAndTheShareStream) {
    ktr::ReportChart chart(ktr::ReportChart::Options{true, false});
    Script script;
    // The answer lists the lower stream first: camera 1 is still the greater bitrate.
    ktr::TimelineStep two = script.step(0, 0, ktr::AskUpload{1});
    two.answer = ktr::UploadAnswer{1, true, std::vector<Record>{stream(200000), stream(800000)}};
    ktr::TimelineStep same = script.step(1, 1, ktr::AskUpload{1});
    same.answer = two.answer;
    ktr::TimelineStep one = script.step(2, 2, ktr::AskUpload{1});
    one.answer = ktr::UploadAnswer{1, true, std::vector<Record>{stream(500000)}};
    ktr::TimelineStep share = script.step(3, 3, ktr::AskUpload{2});
    share.answer = ktr::UploadAnswer{2, true, std::vector<Record>{stream(1000000)}};
    for (const ktr::TimelineStep& step : {two, same, one, share}) {
        chart.addStep(step);
    }
    const json series = chart.json().at("series");
    // A value is written where it changes and holds until the next one; a stream the answer lacks is a gap.
    EXPECT_EQ(named(series, "camera 1").at("x"), json({0, 2}));
    EXPECT_EQ(named(series, "camera 1").at("y"), json({800000, 500000}));
    EXPECT_EQ(named(series, "camera 2").at("y"), json({200000, nullptr}));
    EXPECT_EQ(named(series, "share").at("x"), json({3}));
    EXPECT_EQ(named(series, "share").at("group"), "upload");
}

TEST(ReportChart, NoSeriesForACameraStreamNoAnswerHolds) {
    ktr::ReportChart chart(ktr::ReportChart::Options{true, false});
    Script script;
    ktr::TimelineStep one = script.step(0, 0, ktr::AskUpload{1});
    one.answer = ktr::UploadAnswer{1, true, std::vector<Record>{stream(500000)}};
    chart.addStep(one);
    const json series = chart.json().at("series");
    EXPECT_EQ(named(series, "camera 1").at("y"), json({500000}));
    EXPECT_TRUE(std::none_of(series.begin(), series.end(), [](const json& s) { return s.at("name") == "camera 2"; }))
        << series.dump();
}

// "No result" (all-zero records) is a gap in the stream's series, with a marker, not a drop to 0.
TEST(ReportChart, NoResultIsAGapWithAMarker) {
    ktr::ReportChart chart(ktr::ReportChart::Options{true, false});
    Script script;
    ktr::TimelineStep before = script.step(0, 0, ktr::AskUpload{1});
    before.answer = ktr::UploadAnswer{1, true, std::vector<Record>{stream(800000), stream(200000)}};
    ktr::TimelineStep none = script.step(1, 1, ktr::AskUpload{1});
    none.answer = ktr::UploadAnswer{1, true, std::vector<Record>{Record::of({})}};
    chart.addStep(before);
    chart.addStep(none);
    const json data = chart.json();
    EXPECT_EQ(named(data.at("series"), "camera 1").at("y"), json({800000, nullptr}));
    EXPECT_EQ(named(data.at("series"), "camera 2").at("y"), json({200000, nullptr}));
    EXPECT_EQ(data.at("markers"), json::parse(R"([{"x": 1, "kind": "no result", "uid": 0, "series": "camera 1"}])"));
}

// Each peer's request: set by the answers that name it, with its resolution; held while answers name others;
// a gap once the peer is gone.
TEST(ReportChart, DownloadAnswersGiveEachPeersRequest) {
    ktr::ReportChart chart(ktr::ReportChart::Options{true, false});
    Script script;
    const auto request = [](uint64_t uid, Record record) {
        ktr::PeerRequest r;
        static_cast<Record&>(r) = record;
        r.uid = uid;
        return r;
    };
    const auto answer = [&](int index, std::vector<ktr::PeerRequest> requests, const ktr::StateSnapshot& state) {
        ktr::TimelineStep step = script.step(index, index, ktr::AskDownload{1}, state);
        step.answer = ktr::DownloadAnswer{true, std::move(requests)};
        return step;
    };
    ktr::StateSnapshot both;
    both.peers = {{7, receivedPeer(358400, ktr::Definition::High)}, {9, receivedPeer(358400, ktr::Definition::High)}};
    ktr::StateSnapshot nine;
    nine.peers = {{9, receivedPeer(358400, ktr::Definition::High)}};
    chart.addStep(answer(0, {request(7, sized(640, 480, 286720)), request(9, sized(640, 480, 286720))}, both));
    chart.addStep(answer(1, {request(9, sized(320, 240, 250880))}, both));
    chart.addStep(answer(2, {request(9, sized(640, 480, 389120))}, nine));
    const json series = chart.json().at("series");
    EXPECT_EQ(named(series, "request 7").at("x"), json({0, 2}));
    EXPECT_EQ(named(series, "request 7").at("y"), json({286720, nullptr}));
    EXPECT_EQ(named(series, "request 9").at("y"), json({286720, 250880, 389120}));
    EXPECT_EQ(named(series, "request 9").at("labels"), json({"640x480", "320x240", "640x480"}));
    EXPECT_EQ(named(series, "request 9").at("group"), "request");
    // The chosen streams stay as they were: the requests are series of their own.
    EXPECT_EQ(named(series, "peer 9").at("y"), json({358400}));
}

TEST(ReportChart, MovesBetweenHdAndLdAreMarkers) {
    ktr::ReportChart chart(ktr::ReportChart::Options{true, false});
    Script script;
    const auto split = [&](int index, std::set<uint64_t> hd, std::set<uint64_t> ld) {
        ktr::TimelineStep step = script.step(index, index, ktr::AskHdLd{});
        step.answer = ktr::HdLdAnswer{hd, ld};
        return step;
    };
    chart.addStep(split(0, {7}, {9}));
    chart.addStep(split(1, {7}, {9}));
    chart.addStep(split(2, {7, 9}, {}));
    EXPECT_EQ(chart.json().at("markers"), json::parse(R"([{"x": 0, "kind": "HD", "uid": 7, "series": "request 7"},
                                                          {"x": 0, "kind": "LD", "uid": 9, "series": "request 9"},
                                                          {"x": 2, "kind": "HD", "uid": 9, "series": "request 9"}])"));
}

TEST(ReportChart, AnUploadAnswerWhoseBitratesTheLogDoesNotShowIsUnknown) {
    ktr::ReportChart chart(ktr::ReportChart::Options{false, false});
    Script script;
    ktr::TimelineStep step = script.step(0, 4.5, ktr::AskUpload{1});
    Record unknown = stream(0);
    unknown.bitrate.reset();
    step.answer = ktr::UploadAnswer{1, std::nullopt, std::vector<Record>{unknown}};
    chart.addStep(step);
    EXPECT_EQ(named(chart.json().at("series"), "camera 1").at("y"), json::parse("[null]"));
}

TEST(ReportChart, PeersFromTheStateUntilTheyLeave) {
    ktr::ReportChart chart(ktr::ReportChart::Options{true, false});
    Script script;
    ktr::StateSnapshot both;
    both.peers = {{7, receivedPeer(600000, ktr::Definition::High)},
                  {9, receivedPeer(std::nullopt, ktr::Definition::Low)}};
    ktr::StateSnapshot one;
    one.peers = {{9, receivedPeer(150000, ktr::Definition::Low)}};
    chart.addStep(script.step(0, 0, ktr::AskDownload{1}, both));
    chart.addStep(script.step(1, 1, ktr::RemoveUser{}, one));
    const json data = chart.json();
    EXPECT_EQ(named(data.at("series"), "peer 7").at("y"), json({600000, nullptr}));
    EXPECT_EQ(named(data.at("series"), "peer 9").at("y"), json({nullptr, 150000}));
    EXPECT_EQ(named(data.at("series"), "estimate").at("y"), json({300000}));
}

// What a peer is received at, as a lane: before it joins, before its report, each resolution (the chosen
// stream, then the request that replaces it), after it leaves; and what all peers receive, summed.
TEST(ReportChart, ReceivedLanesFollowEachPeerFromJoinToLeave) {
    ktr::ReportChart chart(ktr::ReportChart::Options{false, false});
    Script script;
    ktr::StateSnapshot joined;
    joined.scene.users = {ktr::UserKey{7, 8}};
    ktr::StateSnapshot reported = joined;
    ktr::PeerState peer = receivedPeer(358400, ktr::Definition::High);
    peer.published = std::vector<Record>{sized(640, 480, 358400), sized(320, 240, 102400)};
    peer.chosen = sized(640, 480, 358400);
    reported.peers = {{7, peer}};
    ktr::PeerRequest lower;
    static_cast<Record&>(lower) = sized(320, 240, 102400);
    lower.uid = 7;
    ktr::AddUser user;
    user.uid = 7;
    ktr::TimelineStep request = script.step(3, 8, ktr::AskDownload{1}, reported);
    request.answer = ktr::DownloadAnswer{true, std::vector<ktr::PeerRequest>{lower}};
    for (const ktr::TimelineStep& step :
         {script.step(0, 0, ktr::Init{1, 8}), script.step(1, 2, user, joined),
          script.step(2, 5, ktr::PeerReport{7, peer.published}, reported), request,
          script.step(4, 12, ktr::RemoveUser{user}), script.step(5, 20, ktr::Speaker{false, 0})}) {
        chart.addStep(step);
    }
    const json data = chart.json();
    EXPECT_EQ(named(data.at("lanes"), "peer 7").at("spans"),
              json::parse(R"([[0, 2, "not yet joined"], [2, 5, "no report"], [5, 8, "640x480"], [8, 12, "320x240"],
                              [12, 20, "left"]])"));
    EXPECT_EQ(named(data.at("lanes"), "peer 7").at("kind"), "received");
    EXPECT_EQ(named(data.at("series"), "all peers").at("x"), json({0, 5, 8, 12}));
    EXPECT_EQ(named(data.at("series"), "all peers").at("y"), json({0, 358400, 102400, 0}));
}

TEST(ReportChart, LanesAreSpansOfEqualLabels) {
    ktr::ReportChart chart(ktr::ReportChart::Options{false, false});
    Script script;
    const auto speaking = [&](double time, std::optional<uint64_t> speaker, int status) {
        ktr::StateSnapshot state;
        state.scene.speaking = speaker.has_value();
        state.scene.speaker = speaker.value_or(0);
        state.download.status = status;
        return script.step(0, time, ktr::Speaker{speaker.has_value(), speaker.value_or(0)}, state);
    };
    for (const ktr::TimelineStep& step :
         {speaking(0, 5, 1), speaking(2, 5, 1), speaking(3, 6, 3), speaking(7, std::nullopt, 3), speaking(9, 5, 3)}) {
        chart.addStep(step);
    }
    const json lanes = chart.json().at("lanes");
    EXPECT_EQ(named(lanes, "speaker").at("spans"), json::parse(R"([[0, 3, "5"], [3, 7, "6"], [9, 9, "5"]])"));
    EXPECT_EQ(named(lanes, "network").at("spans"), json::parse(R"([[0, 3, "status 1"], [3, 9, "status 3"]])"));
    EXPECT_EQ(named(lanes, "sharing").at("spans"), json::array());
}

TEST(ReportChart, ASimulationsSamplesGiveTheLinkThePeersAndTheMarkers) {
    ktr::ReportChart chart(ktr::ReportChart::Options{false, true});
    Script script;
    ktr::StateSnapshot state;
    state.peers = {{7, receivedPeer(600000, ktr::Definition::High)}};
    chart.addStep(script.step(0, 0.5, ktr::AskDownload{1}, state));
    chart.addSample(1, "capacity", 0, 2e6);
    chart.addSample(1, "received", 7, 400000);
    chart.addSample(2, "capacity", 0, 2e6);
    chart.addSample(3, "capacity", 0, 1e6);
    chart.addSample(3, "freeze", 7, 0.8);
    chart.addSample(4, "switch", 7, 2);
    const json data = chart.json();
    // The peers' bitrates come from the samples alone, not from the state.
    EXPECT_EQ(named(data.at("series"), "peer 7").at("x"), json({1.0}));
    EXPECT_EQ(named(data.at("series"), "capacity").at("x"), json({1.0, 3.0}));
    EXPECT_EQ(named(data.at("series"), "capacity").at("group"), "link");
    EXPECT_EQ(data.at("markers"), json::parse(R"([{"x": 3, "kind": "freeze", "uid": 7, "series": "peer 7"},
                                                  {"x": 4, "kind": "switch", "uid": 7, "series": "peer 7"}])"));
    EXPECT_EQ(data.at("end"), 4.0);
    EXPECT_EQ(named(data.at("series"), "all peers").at("y"), json({400000}));
}

// A peer that leaves is sampled no more: its line ends there and what all peers receive drops.
TEST(ReportChart, ASimulatedPeerThatLeavesEndsItsLineAndLeavesTheSum) {
    ktr::ReportChart chart(ktr::ReportChart::Options{false, true});
    Script script;
    ktr::StateSnapshot both;
    both.peers = {{7, receivedPeer(600000, ktr::Definition::High)}, {9, receivedPeer(150000, ktr::Definition::Low)}};
    ktr::StateSnapshot nine;
    nine.peers = {{9, receivedPeer(150000, ktr::Definition::Low)}};
    chart.addStep(script.step(0, 0.5, ktr::AskDownload{1}, both));
    chart.addSample(1, "received", 7, 400000);
    chart.addSample(1, "received", 9, 100000);
    chart.addStep(script.step(1, 1.5, ktr::RemoveUser{}, nine));
    chart.addSample(2, "received", 9, 120000);
    const json series = chart.json().at("series");
    EXPECT_EQ(named(series, "peer 7").at("x"), json({1.0, 1.5}));
    EXPECT_EQ(named(series, "peer 7").at("y"), json({400000, nullptr}));
    EXPECT_EQ(named(series, "all peers").at("x"), json({1.0, 1.5, 2.0}));
    EXPECT_EQ(named(series, "all peers").at("y"), json({500000, 100000, 120000}));
}

}  // namespace
