#include <gtest/gtest.h>

#include <cctype>
#include <map>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "CapacityTrace.h"
#include "EventQueue.h"
#include "MediaPath.h"
#include "SimObserver.h"
#include "Subscription.h"
#include "SyntheticTrace.h"

namespace {

using ktr::Micros;
using ktr::SimTime;
using ktr::sim::EventKind;
using ktr::sim::EventQueue;
using ktr::sim::MediaPath;
using ktr::sim::MediaPathParameters;
using ktr::sim::SimEvent;
using tarn::video::VideoStreamInfo;

constexpr SimTime kMs{1000};
// The bytes carried are summed in double precision over prefix sums of the trace: their rounding stays far
// below a byte.
constexpr double kRoundingBytes = 1e-3;

SimEvent eventAt(SimTime at, EventKind kind, uint64_t subject) {
    SimEvent event;
    event.at = at;
    event.kind = kind;
    event.subject = subject;
    return event;
}

std::vector<uint64_t> popAll(EventQueue& queue) {
    std::vector<uint64_t> subjects;
    while (queue.hasEventBefore(SimTime::max())) {
        subjects.push_back(queue.pop().subject);
    }
    return subjects;
}

// At one instant: the kinds in their listed order, and one kind in the order it was scheduled.
TEST(EventQueueOrder, AtOneInstantKindFirstThenSchedulingOrder) {
    EventQueue queue;
    queue.push(eventAt(5 * kMs, EventKind::CameraFrame, 1));
    queue.push(eventAt(5 * kMs, EventKind::Script, 2));
    queue.push(eventAt(5 * kMs, EventKind::PeerFrame, 3));
    queue.push(eventAt(5 * kMs, EventKind::Script, 4));
    queue.push(eventAt(5 * kMs, EventKind::Apply, 5));
    queue.push(eventAt(5 * kMs, EventKind::Upload, 6));
    queue.push(eventAt(5 * kMs, EventKind::Estimate, 7));
    queue.push(eventAt(5 * kMs, EventKind::Adjust, 8));
    queue.push(eventAt(1 * kMs, EventKind::CameraFrame, 9));
    queue.push(eventAt(5 * kMs, EventKind::Script, 10));
    EXPECT_EQ(popAll(queue), (std::vector<uint64_t>{9, 2, 4, 10, 5, 7, 8, 6, 3, 1}));
}

// An event scheduled for the current instant while it runs: before every later kind already queued, after
// its own kind's earlier ones.
TEST(EventQueueOrder, AnEventScheduledForNowRunsByItsKind) {
    EventQueue queue;
    queue.push(eventAt(2 * kMs, EventKind::PeerFrame, 1));
    queue.push(eventAt(2 * kMs, EventKind::Apply, 2));
    queue.push(eventAt(2 * kMs, EventKind::Script, 3));
    EXPECT_EQ(queue.pop().subject, 3u);
    queue.push(eventAt(queue.now(), EventKind::Apply, 4));
    queue.push(eventAt(queue.now(), EventKind::Script, 5));
    EXPECT_EQ(popAll(queue), (std::vector<uint64_t>{5, 2, 4, 1}));
}

TEST(EventQueueClock, IsTheTimeOfTheEventLastTakenAndTheEndIsExcluded) {
    EventQueue queue;
    EXPECT_EQ(queue.now(), SimTime{0});
    queue.push(eventAt(3 * kMs, EventKind::Estimate, 1));
    queue.push(eventAt(7 * kMs, EventKind::Estimate, 2));
    EXPECT_TRUE(queue.hasEventBefore(4 * kMs));
    EXPECT_FALSE(queue.hasEventBefore(3 * kMs));
    EXPECT_EQ(queue.nextTime(), 3 * kMs);
    EXPECT_EQ(queue.now(), SimTime{0}) << "looking ahead does not move the clock";
    queue.pop();
    EXPECT_EQ(queue.now(), 3 * kMs);
    queue.advanceTo(5 * kMs);
    EXPECT_EQ(queue.now(), 5 * kMs);
    EXPECT_FALSE(queue.hasEventBefore(7 * kMs));
}

// A scheduler over several queues hears of each push that brings the next event forward, and of no other:
// the first event, an earlier one, and one after the next was taken; not one at or after the next time.
TEST(EventQueueClock, TellsOfEveryPushThatMakesTheNextEventEarlier) {
    EventQueue queue;
    std::vector<SimTime> told;
    queue.onEarlierNext([&told](SimTime at) { told.push_back(at); });
    for (int ms : {5, 7, 5, 3, 4, 1}) {
        queue.push(eventAt(ms * kMs, EventKind::Estimate, 0));
    }
    queue.pop();                                              // 1 ms: the next is 3 ms
    queue.push(eventAt(2 * kMs, EventKind::Estimate, 0));     // earlier than 3 ms
    queue.push(eventAt(2 * kMs, EventKind::CameraFrame, 0));  // the same time: not earlier
    EXPECT_EQ(told, (std::vector<SimTime>{5 * kMs, 3 * kMs, 1 * kMs, 2 * kMs}));
}

// Counts the freezes a path reports, per video.
class FreezeCount : public ktr::sim::SimObserver {
public:
    void receivedChanged(SimTime, const ktr::sim::ReceivedChange&) override {}
    void froze(SimTime, uint64_t uid, Micros) override { ++freezes[uid]; }
    void downloadSampled(SimTime, const ktr::sim::DownloadSample&) override {}
    void uploadSampled(SimTime, const ktr::sim::UploadSample&) override {}
    void requestsEnded(int) override {}
    void rendered(SimTime, uint64_t, Micros) override {}
    void publishedChanged(SimTime) override {}

    std::map<uint64_t, int> freezes;
};

struct PathCase {
    std::string name;
    std::string capacity;  // a synthetic shape
    int videos;
    int32_t bitrate;  // of every video, at 30 fps
    bool drops;       // whether the link must drop frames
    bool freezes;     // whether every video must freeze
    // Not 0: in place of the changes every 5 s, at each check one video in ten on average takes a stream
    // drawn with this seed (a bitrate up to 4 x the case's, a frame rate of 7, 15 or 30, or nothing).
    unsigned randomChanges = 0;
};

// Changes the path's videos at random, as the seed says.
class RandomStreams {
public:
    RandomStreams(unsigned seed, int32_t bitrate) : m_engine(seed), m_bitrate(bitrate) {}

    void maybeChange(MediaPath& path, int videos) {
        for (int v = 0; v < videos; ++v) {
            if (m_engine() % 10 != 0) {
                continue;
            }
            const int32_t fps[] = {0, 7, 15, 30};
            const int32_t rate = static_cast<int32_t>(1 + m_engine() % (4 * static_cast<uint32_t>(m_bitrate)));
            path.change(v, VideoStreamInfo{1, 0, 640, 360, fps[m_engine() % 4], rate, rate, rate});
        }
    }

private:
    std::mt19937 m_engine;
    int32_t m_bitrate;
};

// What a path hands the server: every call, as made.
class RecordingRelay : public ktr::sim::FrameRelay {
public:
    void crossed(uint64_t video, const ktr::sim::RelayedFrame& frame) override { crossings.push_back({video, frame}); }
    void keyFrameWanted(uint64_t video, const VideoStreamInfo&, Micros at) override {
        keyRequests.push_back({video, at});
    }

    std::vector<std::pair<uint64_t, ktr::sim::RelayedFrame>> crossings;
    std::vector<std::pair<uint64_t, Micros>> keyRequests;
};

// An uplink and a downlink on 8 Mbit/s (1 byte a microsecond), 10 ms one way, for one second. The uplink's
// 30 fps video of 240 kbit/s sends 1000-byte frames every 33 333 us, at 0 and up to 30 x 33 333 = 999 990 us:
// each of its 31 frames goes on to the server, reaching it 1 ms (its bytes) + 10 ms after it was made. The downlink's
// own video goes on nowhere; its relayed video asks the server for a key frame once, when it starts at 0.
TEST(MediaPathRelay, AnUplinkForwardsWhatCrossesItAndADownlinkOnlyAsksForKeyFrames) {
    const ktr::sim::CapacityTrace trace = ktr::sim::parseSyntheticTrace("constant:8mbps");
    EventQueue queue;
    FreezeCount observer;
    MediaPathParameters up;
    up.frameEvent = EventKind::CameraFrame;
    up.bufferBytes = 150000;
    up.oneWayDelay = 10000;
    MediaPathParameters down = up;
    down.frameEvent = EventKind::PeerFrame;
    MediaPath uplink(trace, up, {}, queue, observer);
    MediaPath downlink(trace, down, {}, queue, observer);
    RecordingRelay server;
    uplink.forwardTo(&server);
    downlink.askKeyFramesOf(&server);
    const VideoStreamInfo stream{1, 0, 640, 360, 30, 240000, 240000, 240000};
    uplink.change(0, stream);
    downlink.change(5, stream);
    downlink.change(7, stream, true);
    const SimTime end{ktr::kMicrosPerSecond};
    while (queue.hasEventBefore(end)) {
        uplink.deliverUntil(queue.nextTime());
        downlink.deliverUntil(queue.nextTime());
        const SimEvent event = queue.pop();
        (event.kind == EventKind::CameraFrame ? uplink : downlink).sendFrame(event.subject, event.epoch);
    }
    ASSERT_EQ(server.crossings.size(), 31u);
    for (const auto& [video, frame] : server.crossings) {
        EXPECT_EQ(video, 0u);
        EXPECT_EQ(frame.bytes, 1000);
        EXPECT_EQ(frame.arrival - frame.captured, 11000) << "frame made at " << frame.captured << " us";
    }
    ASSERT_EQ(server.keyRequests.size(), 1u);
    EXPECT_EQ(server.keyRequests[0], (std::pair<uint64_t, Micros>{7, 0}));
    EXPECT_GT(downlink.totals().sent, 0) << "the downlink's own video sent nothing";
}

class MediaPathConservation : public ::testing::TestWithParam<PathCase> {};

// Three videos sent for a minute, every stream changed every 5 s (or at random); at every 100 ms every byte
// sent is delivered, dropped or still on its way, the bytes that left the bottleneck in the interval are no
// more than the link could carry in it, and of the bytes that left it, those not yet delivered are in transit.
TEST_P(MediaPathConservation, EveryByteSentIsDeliveredDroppedOrInTransit) {
    const PathCase& c = GetParam();
    const ktr::sim::CapacityTrace trace = ktr::sim::parseSyntheticTrace(c.capacity);
    EventQueue queue;
    FreezeCount observer;
    MediaPathParameters parameters;
    parameters.bufferBytes = 150000;
    parameters.oneWayDelay = 25000;
    parameters.lossFeedbackDelay = 50000;
    parameters.keyFrameFactor = 3.0;
    MediaPath path(trace, parameters, {}, queue, observer);
    const VideoStreamInfo full{1, 0, 1280, 720, 30, c.bitrate, c.bitrate, c.bitrate};
    const VideoStreamInfo half{1, 0, 640, 360, 30, c.bitrate / 2, c.bitrate / 2, c.bitrate / 2};
    for (int v = 0; v < c.videos; ++v) {
        path.setReceiving(v, true);
        path.change(v, full);
    }
    queue.push(eventAt(100 * kMs, EventKind::Estimate, 0));
    const SimTime end{60 * ktr::kMicrosPerSecond};
    RandomStreams random(c.randomChanges, c.bitrate);
    double carried = 0;
    Micros lastCheck = 0;
    int checks = 0;
    while (queue.hasEventBefore(end)) {
        path.deliverUntil(queue.nextTime());
        const SimEvent event = queue.pop();
        if (event.kind == EventKind::PeerFrame) {
            path.sendFrame(event.subject, event.epoch);
            continue;
        }
        const ktr::sim::PathTotals& totals = path.totals();
        ASSERT_EQ(totals.sent, totals.delivered + totals.dropped + path.bytesInTransit())
            << c.name << " at " << queue.now().count() << " us";
        const Micros now = queue.now().count();
        const double carriedNow = path.takeCarriedBytes();
        ASSERT_LE(carriedNow, trace.bytesBetween(lastCheck, now) + kRoundingBytes) << c.name << " at " << now << " us";
        carried += carriedNow;
        lastCheck = now;
        ASSERT_LE(static_cast<double>(totals.delivered), carried + kRoundingBytes) << c.name << " at " << now << " us";
        ASSERT_LE(carried, static_cast<double>(totals.delivered + path.bytesInTransit()) + kRoundingBytes)
            << c.name << " at " << now << " us";
        ++checks;
        if (c.randomChanges != 0) {
            random.maybeChange(path, c.videos);
        } else if (checks % 50 == 0) {
            for (int v = 0; v < c.videos; ++v) {
                path.change(v, (checks / 50) % 2 == 1 ? half : full);
            }
        }
        queue.push(eventAt(queue.now() + 100 * kMs, EventKind::Estimate, 0));
    }
    path.stopReceiving();
    EXPECT_EQ(checks, 599) << c.name;
    EXPECT_GT(path.totals().delivered, 0) << c.name;
    if (c.randomChanges != 0) {
        return;  // random streams: what is dropped or frozen follows from the draws, not from the case
    }
    EXPECT_EQ(path.totals().dropped > 0, c.drops) << c.name << ": dropped " << path.totals().dropped << " bytes";
    for (int v = 0; v < c.videos; ++v) {
        EXPECT_EQ(observer.freezes[v] > 0, c.freezes) << c.name << ", video " << v;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Links, MediaPathConservation,
    ::testing::Values(
        // 3 x 1 Mbit/s (key frames 3 x) on 10 Mbit/s: the queue never fills.
        PathCase{"ample", "constant:10mbps", 3, 1000000, false, false},
        // 3 x 1 Mbit/s on 2 Mbit/s: a third and more cannot be carried.
        PathCase{"overloaded", "constant:2mbps", 3, 1000000, true, true},
        // Nothing is carried for 4 s of every 20: the 150 kB buffer holds less than 4 s of 1.5 Mbit/s.
        PathCase{"outages", "outage:5mbps/20s/4s", 3, 500000, true, true},
        PathCase{"random walk", "walk:2mbps/300kbps-4mbps/seed=11", 3, 800000, true, true},
        // Random streams on random walks: only the conservation is checked.
        PathCase{"random streams 1", "walk:3mbps/500kbps-6mbps/seed=5/every=100ms", 3, 800000, false, false, 1},
        PathCase{"random streams 2", "walk:1mbps/100kbps-3mbps/seed=23/every=300ms", 4, 500000, false, false, 2},
        PathCase{"random streams 3", "walk:8mbps/4mbps-12mbps/seed=31", 2, 300000, false, false, 3}),
    [](const ::testing::TestParamInfo<PathCase>& info) {
        std::string name = info.param.name;
        for (char& ch : name) {
            ch = std::isalnum(static_cast<unsigned char>(ch)) ? ch : '_';
        }
        return name;
    });

// Which published stream a subscription receives: the answer's higher or lower stream, or for a request the
// stream closest to its bitrate without exceeding it, else the lowest.
TEST(Subscription, ReceivesTheAnswersStreamOrTheClosestNotAboveTheRequest) {
    using ktr::sim::Subscription;
    const VideoStreamInfo hd{1, 0, 1280, 720, 30, 716800, 1024000, 512000};
    const VideoStreamInfo ld{1, 0, 320, 240, 15, 204800, 256000, 102400};
    const VideoStreamInfo vga{1, 0, 640, 480, 20, 358400, 512000, 245760};
    const auto request = [](int32_t bitrate) {
        return Subscription::requested(VideoStreamInfo{1, 0, 0, 0, 15, bitrate, 0, 0});
    };
    struct Case {
        const char* name;
        Subscription subscription;
        std::vector<VideoStreamInfo> published;
        std::optional<size_t> expected;
    };
    const std::vector<Case> cases{
        {"no subscription yet", Subscription(), {hd, ld}, std::nullopt},
        {"hd set: the higher of two, listed first", Subscription::answered(true), {hd, ld}, 0},
        {"hd set: the higher of two, listed second", Subscription::answered(true), {ld, hd}, 1},
        {"ld set: the lower of two", Subscription::answered(false), {hd, ld}, 1},
        {"hd set with one stream: that one", Subscription::answered(true), {ld}, 0},
        {"hd set with three: the lower of the first two", Subscription::answered(true), {vga, ld, hd}, 1},
        {"request between the two: the lower", request(300000), {hd, ld}, 1},
        {"request exactly the higher: the higher", request(716800), {hd, ld}, 0},
        {"request above both: the higher", request(2000000), {hd, ld}, 0},
        {"request below both: the lowest", request(100000), {hd, ld}, 1},
        {"request between the lower two of three", request(500000), {hd, ld, vga}, 2},
        {"nothing published", request(500000), {}, std::nullopt},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.subscription.streamIn(c.published), c.expected) << c.name;
    }
}

}  // namespace
