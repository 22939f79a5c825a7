// The log summary's per-peer times: every class a peer is received at, nothing before it joins, before its
// report and after it leaves, its switches and its longest stretch on its lowest stream.
#include <gtest/gtest.h>

#include <sstream>
#include <string>

#include "LogSummary.h"
#include "support/ScriptedSteps.h"

namespace {

using ktr::Record;

Record stream(int width, int height, int bitrate) {
    Record record;
    record.width = width;
    record.height = height;
    record.bitrate = bitrate;
    return record;
}

ktr::PeerRequest request(uint64_t uid, const Record& record) {
    ktr::PeerRequest r;
    static_cast<Record&>(r) = record;
    r.uid = uid;
    return r;
}

// Peer 7 joins at 2 s, reports two streams at 5 s and is received on the upper one; requests move it to
// its lower stream at 8 s, back up at 10 s and down again at 14 s; it leaves at 20 s; the log ends at 30 s.
TEST(LogSummary, CountsEveryClassFromTheFirstStepToTheLastLeavesIncluded) {
    const Record upper = stream(640, 480, 358400);
    const Record lower = stream(320, 240, 102400);
    ktr::StateSnapshot joined;
    joined.scene.users = {ktr::UserKey{7, 8}};
    ktr::StateSnapshot reported = joined;
    ktr::PeerState peer;
    peer.published = std::vector<Record>{upper, lower};
    peer.received = true;
    peer.choice = ktr::StreamChoice::Upper;
    peer.chosen = upper;
    reported.peers = {{7, peer}};
    ktr::AddUser user;
    user.uid = 7;

    ktr::test_support::ScriptedSteps script;
    ktr::log::LogSummary summary(true);
    int index = 0;
    const auto add = [&](double time, const ktr::Action& action, const ktr::StateSnapshot& state) {
        summary.add(script.step(index++, time, action, state));
    };
    const auto ask = [&](double time, const Record& record) {
        ktr::TimelineStep step = script.step(index++, time, ktr::AskDownload{1}, reported);
        step.answer = ktr::DownloadAnswer{std::nullopt, std::vector<ktr::PeerRequest>{request(7, record)}};
        summary.add(step);
    };
    add(0, ktr::Init{1, 8}, {});
    add(2, user, joined);
    add(5, ktr::PeerReport{7, peer.published}, reported);
    ask(8, lower);
    ask(10, upper);
    ask(14, lower);
    add(20, ktr::RemoveUser{user}, {});
    add(30, ktr::Speaker{false, 0}, {});
    summary.finish();

    const ktr::LogSummaryReport report = summary.report();
    ASSERT_EQ(report.peers.size(), 1u);
    const ktr::LogPeerSummary& seven = report.peers[0];
    EXPECT_EQ(seven.uid, 7u);
    EXPECT_EQ(seven.timeAtResolution, (std::map<std::string, double>{{"640x480", 3 + 4}, {"320x240", 2 + 6}}));
    EXPECT_EQ(seven.timeWithNothing,
              (std::map<std::string, double>{{"not yet joined", 2}, {"no report", 3}, {"left", 10}}));
    EXPECT_EQ(seven.timeUnknown, 0);
    EXPECT_EQ(seven.switches, 3);
    EXPECT_EQ(seven.longestAtLowest, 6);

    std::ostringstream text;
    summary.write(text);
    const std::string line = text.str().substr(text.str().find("peer 7:"));
    EXPECT_EQ(line,
              "peer 7: 320x240 8.0 s, 640x480 7.0 s, nothing (left) 10.0 s, nothing (no report) 3.0 s, nothing (not "
              "yet joined) 2.0 s; 3 switch(es); longest on its lowest stream 6.0 s\n");
}

}  // namespace
