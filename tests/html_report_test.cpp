// The HTML report: data escaped for a <script> element, the page's structure, and the chart built from the
// timeline's steps and a simulation's samples.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "HtmlReport.h"
#include "ReportChart.h"
#include "TimelineJson.h"

namespace {

using nlohmann::json;
using tarn::video::VideoStreamInfo;

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

ktr::TimelineStep stepAt(int index, double time, const std::string& event) {
    ktr::TimelineStep step;
    step.index = index;
    step.time = time;
    step.event = event;
    step.input = json::object();
    return step;
}

TEST(HtmlReportPage, ALogLineThatClosesTheScriptStaysInsideTheData) {
    std::ostringstream page;
    ktr::HtmlReport report(page, ktr::ReportChart::Options{true, false});
    report.begin(ktr::TimelineHeader{"replay", "</script><b>source</b>", "/lib/libktrsdk.so", "libktrsdk.so.1"});
    ktr::TimelineStep step = stepAt(0, 0, "init");
    step.log.push_back(ktr::LogLine{ktr::LogLevel::Info, "</script><script>alert(1)</script>"});
    report.write(step);
    report.end();
    const std::string html = page.str();
    // The page's own elements: the block of steps, the report block and the script.
    EXPECT_EQ(count(html, "<script"), 3u);
    EXPECT_EQ(count(html, "</script>"), 3u);
    EXPECT_EQ(count(html, "<b>"), 0u);
    EXPECT_NE(html.find(R"("log":["\u003c/script\u003e\u003cscript\u003ealert(1)\u003c/script\u003e"])"),
              std::string::npos);
    EXPECT_EQ(html.rfind("</html>\n"), html.size() - 8);
}

// The data block whose element starts with `start`, parsed.
json block(const std::string& html, const std::string& id) {
    const std::string start = "id=\"" + id + "\">";
    const size_t from = html.find(start) + start.size();
    return json::parse(html.substr(from, html.find("</script>", from) - from));
}

TEST(HtmlReportPage, HoldsEveryStepWithoutItsStateAndTheReport) {
    std::ostringstream page;
    ktr::HtmlReport report(page, ktr::ReportChart::Options{false, false});
    report.begin(ktr::TimelineHeader{"log", "client.log", "", ""});
    for (int i = 0; i < 3; ++i) {
        report.write(stepAt(i, 1.5 * i, "speaker"));
    }
    report.end();
    const json steps = block(page.str(), "ktr-steps-0-0");
    ASSERT_EQ(steps.size(), 3u);
    EXPECT_EQ(steps[2].at("step"), 2);
    EXPECT_EQ(steps[2].at("time"), 3.0);
    EXPECT_FALSE(steps[2].contains("state"));
    const json data = block(page.str(), "ktr-report");
    EXPECT_EQ(data.at("title"), "ktr log: client.log");
    EXPECT_EQ(data.at("axis"), "seconds");
    EXPECT_EQ(data.at("sides").at(0).at("stepX"), json({0.0, 1.5, 3.0}));
}

TEST(HtmlReportPage, ASweepPageHoldsItsTableAndNoSide) {
    std::ostringstream page;
    const json table{{"runs", 4}, {"metrics", json::array()}};
    ktr::writeSweepReport(page, "ktr sim: sweep of <meeting>", table);
    const json data = block(page.str(), "ktr-report");
    EXPECT_EQ(data.at("sweep"), table);
    EXPECT_EQ(data.at("sides"), json::array());
    EXPECT_EQ(data.at("title"), "ktr sim: sweep of <meeting>");
    EXPECT_EQ(page.str().find("id=\"ktr-steps"), std::string::npos);
}

TEST(HtmlReportPage, StepsGoIntoBlocksOfAThousand) {
    std::ostringstream page;
    ktr::HtmlReport report(page, ktr::ReportChart::Options{true, false});
    report.begin(ktr::TimelineHeader{"replay", "long", "", ""});
    for (int i = 0; i < 2001; ++i) {
        report.write(stepAt(i, i, "upload"));
    }
    report.end();
    const std::string html = page.str();
    EXPECT_EQ(block(html, "ktr-steps-0-0").size(), 1000u);
    EXPECT_EQ(block(html, "ktr-steps-0-1").front().at("step"), 1000);
    EXPECT_EQ(block(html, "ktr-steps-0-2"), json::array({ktr::stepDetailJson(stepAt(2000, 2000, "upload"))}));
    EXPECT_EQ(html.find("id=\"ktr-steps-0-3"), std::string::npos);
    EXPECT_EQ(block(html, "ktr-report").at("sides").at(0).at("stepsPerBlock"), 1000);
}

// --- the chart ----------------------------------------------------------------------------------------------

VideoStreamInfo stream(int bitrate) {
    VideoStreamInfo info{};
    info.bitrate = bitrate;
    return info;
}

ktr::PeerState receivedPeer(uint64_t uid, std::optional<int> bitrate, ktr::Definition definition) {
    ktr::PeerState peer;
    peer.uid = uid;
    peer.received = true;
    peer.choice = bitrate ? ktr::StreamChoice::Upper : ktr::StreamChoice::Unknown;
    if (bitrate) {
        peer.chosen = stream(*bitrate);
    }
    peer.definition = definition;
    return peer;
}

const json& named(const json& list, const std::string& name) {
    for (const json& item : list) {
        if (item.at("name") == name) {
            return item;
        }
    }
    static const json none;
    ADD_FAILURE() << "no " << name << " in " << list.dump();
    return none;
}

TEST(ReportChart, UploadAnswersGiveTheCameraStreamsByRankAndTheShareStream) {
    ktr::ReportChart chart(ktr::ReportChart::Options{true, false});
    ktr::TimelineStep two = stepAt(0, 0, "upload");
    two.answer = ktr::UploadAnswer{1, {stream(800000), stream(200000)}, true};
    ktr::TimelineStep same = stepAt(1, 1, "upload");
    same.answer = two.answer;
    ktr::TimelineStep one = stepAt(2, 2, "upload");
    one.answer = ktr::UploadAnswer{1, {stream(500000)}, true};
    ktr::TimelineStep share = stepAt(3, 3, "share");
    share.answer = ktr::UploadAnswer{2, {stream(1000000)}, true};
    for (const ktr::TimelineStep& step : {two, same, one, share}) {
        chart.addStep(step);
    }
    const json series = chart.json().at("series");
    // A value is written where it changes and holds until the next one.
    EXPECT_EQ(named(series, "camera 1").at("x"), json({0, 2}));
    EXPECT_EQ(named(series, "camera 1").at("y"), json({800000, 500000}));
    EXPECT_EQ(named(series, "camera 2").at("y"), json({200000, 0}));
    EXPECT_EQ(named(series, "share").at("x"), json({3}));
    EXPECT_EQ(named(series, "share").at("group"), "upload");
}

TEST(ReportChart, AnUploadAnswerWhoseBitratesTheLogDoesNotShowIsUnknown) {
    ktr::ReportChart chart(ktr::ReportChart::Options{false, false});
    ktr::TimelineStep step = stepAt(0, 4.5, "upload");
    step.answer = ktr::UploadAnswer{1, {stream(0)}, false};
    step.unknownAnswerFields = {"bitrate"};
    chart.addStep(step);
    EXPECT_EQ(named(chart.json().at("series"), "camera 1").at("y"), json::parse("[null]"));
}

TEST(ReportChart, PeersFromTheStateUntilTheyLeave) {
    ktr::ReportChart chart(ktr::ReportChart::Options{true, false});
    ktr::TimelineStep first = stepAt(0, 0, "download");
    first.state.peers = {receivedPeer(7, 600000, ktr::Definition::High),
                         receivedPeer(9, std::nullopt, ktr::Definition::Low)};
    ktr::TimelineStep second = stepAt(1, 1, "removeUser");
    second.state.peers = {receivedPeer(9, 150000, ktr::Definition::Low)};
    chart.addStep(first);
    chart.addStep(second);
    const json data = chart.json();
    EXPECT_EQ(named(data.at("series"), "peer 7").at("y"), json({600000, 0}));
    EXPECT_EQ(named(data.at("series"), "peer 9").at("y"), json({nullptr, 150000}));
    EXPECT_EQ(named(data.at("series"), "estimate").at("y"), json({300000}));
    EXPECT_EQ(named(data.at("lanes"), "HD/LD 7").at("spans"), json::parse(R"([[0, 1, "HD"]])"));
    EXPECT_EQ(named(data.at("lanes"), "HD/LD 9").at("spans"), json::parse(R"([[0, 1, "LD"]])"));
}

TEST(ReportChart, LanesAreSpansOfEqualLabels) {
    ktr::ReportChart chart(ktr::ReportChart::Options{false, false});
    const auto speaking = [](double time, std::optional<uint64_t> speaker, int status) {
        ktr::TimelineStep step = stepAt(0, time, "speaker");
        step.state.scene.speaking = speaker.has_value();
        step.state.scene.speaker = speaker.value_or(0);
        step.state.download.status = status;
        return step;
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
    ktr::TimelineStep step = stepAt(0, 0.5, "download");
    step.state.peers = {receivedPeer(7, 600000, ktr::Definition::High)};
    chart.addStep(step);
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
}

}  // namespace
