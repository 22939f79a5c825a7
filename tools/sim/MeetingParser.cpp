#include "MeetingParser.h"

#include <fmt/format.h>

#include <algorithm>
#include <cmath>
#include <utility>

#include "FieldCodec.h"
#include "HostSettings.h"
#include "NameSuggestion.h"
#include "PeerMix.h"
#include "Records.h"
#include "Units.h"

namespace ktr::sim {
namespace {

using json = JsonValue;
using tarn::video::VideoStreamInfo;

// The longest meeting: a day.
constexpr double kMaxDurationS = 86400;
// The shortest host or link interval, and the shortest meeting: 1 ms keeps a day-long meeting to a bounded
// number of host steps.
constexpr double kMinIntervalS = 0.001;
constexpr int64_t kMaxPeers = 10000;
constexpr uint64_t kDefaultFirstUid = 2;
constexpr int64_t kMaxDeviceType = 65535;
constexpr size_t kMaxDeviceTypeDigits = 5;
// The shares of a mix must sum to 1 within this.
constexpr double kShareSumTolerance = 1e-6;
// Mean talk spurts and pauses shorter than this are not speech; the bound also keeps a day's turns countable.
constexpr double kMinMeanTalkS = 0.1;
const char* const kTalkSpurtModel = "talk_spurts";
// Longer than any round trip on earth, satellite hops included.
constexpr double kMaxBaseRttMs = 10000;
// Larger than any bottleneck buffer; keeps the byte counts of the queue model far from overflow.
constexpr int64_t kMaxBufferBytes = 1000000000;
// Key frames larger than this many ordinary frames are no encoder's.
constexpr double kMaxKeyFrameFactor = 100;

Micros toMicros(double seconds) {
    return static_cast<Micros>(std::llround(seconds * kMicrosPerSecond));
}

double toSeconds(Micros time) {
    return static_cast<double>(time) / kMicrosPerSecond;
}

Micros readSeconds(FieldReader& in, const std::string& name, double low, double high) {
    return toMicros(in.number(name, low, high));
}

Micros readSeconds(FieldReader& in, const std::string& name, double low, double high, Micros fallback) {
    return in.contains(name) ? readSeconds(in, name, low, high) : fallback;
}

Micros readInterval(FieldReader& in, const std::string& name, Micros fallback) {
    return readSeconds(in, name, kMinIntervalS, kMaxDurationS, fallback);
}

// An interval that 0 switches off.
Micros readIntervalOrOff(FieldReader& in, const std::string& name, Micros fallback) {
    if (!in.contains(name)) {
        return fallback;
    }
    const double seconds = in.number(name, 0, kMaxDurationS);
    if (seconds > 0 && seconds < kMinIntervalS) {
        in.fail(name, fmt::format("expected 0 (off) or a number from {} to {}, got the number {}", kMinIntervalS,
                                  kMaxDurationS, seconds));
    }
    return toMicros(seconds);
}

// A key of a mix: a device type written as a plain decimal integer ("8", not "08").
uint16_t deviceTypeOfKey(const FieldReader& in, const std::string& key) {
    const bool plainDigits = !key.empty() && key.size() <= kMaxDeviceTypeDigits && (key == "0" || key[0] != '0') &&
                             std::all_of(key.begin(), key.end(), [](char c) { return c >= '0' && c <= '9'; });
    if (!plainDigits || std::stol(key) > kMaxDeviceType) {
        in.fail(key, fmt::format("expected a device type from 0 to {} as the key", kMaxDeviceType));
    }
    return static_cast<uint16_t>(std::stol(key));
}

template <typename Period>
std::vector<Period> periodsOf(const std::vector<TimedSpan>& spans) {
    std::vector<Period> periods;
    for (const TimedSpan& span : spans) {
        Period period;
        period.start = span.start;
        period.end = span.end;
        period.uid = span.uid;
        periods.push_back(period);
    }
    return periods;
}

}  // namespace

MeetingParser::MeetingParser(std::string fileName) : m_fileName(std::move(fileName)) {}

Meeting MeetingParser::read(const json& document) {
    FieldReader top(document, FieldPlace(m_fileName, ""), FieldReader::Comments::Ignored);
    m_meeting.name = top.text("name", m_fileName);
    m_meeting.description = top.text("description", "");
    top.object("local", [this](FieldReader& local) { readLocal(local); });
    m_meeting.duration = readSeconds(top, "duration_s", kMinIntervalS, kMaxDurationS);
    readPeers(top);
    readSpeakers(top);
    if (top.contains("sharing")) {
        m_meeting.sharing = periodsOf<SharePeriod>(readSpans(top, "sharing"));
    }
    if (top.contains("select_requests")) {
        readSelectRequests(top);
    }
    HostSettings settings;
    requireStreamChannels(top, HostSettings::kDefinitions);
    codec::readFields(top, settings, Nulls::Refused);
    if (settings.definitions) {
        m_meeting.definitions = infosOf(*settings.definitions);
    }
    m_meeting.config = settings.config;
    if (top.contains("host")) {
        top.object("host", [this](FieldReader& host) { readHost(host); });
    }
    if (top.contains("link")) {
        top.object("link", [this](FieldReader& link) { readLink(link); });
    }
    m_meeting.conference = top.boolean("conference", false);
    top.finish();
    return std::move(m_meeting);
}

void MeetingParser::readLocal(FieldReader& local) {
    m_meeting.localUid = local.u64("uid");
    if (m_meeting.localUid == 0) {
        local.fail("uid", "0 is nobody to the library; the local user needs another uid");
    }
    m_meeting.localDt = local.i32("dt", m_meeting.localDt);
    m_meeting.localLinks = readLinks(local);
}

ParticipantLinks MeetingParser::readLinks(FieldReader& in) {
    return ParticipantLinks{in.text("downlink", ""), in.text("uplink", "")};
}

void MeetingParser::readPeers(FieldReader& top) {
    if (!top.contains("peers")) {
        return;
    }
    const json& peers = top.child("peers");
    if (peers.is_array()) {
        readPeerList(top);
    } else if (peers.is_object()) {
        top.object("peers", [this](FieldReader& group) { readPeerGroup(group); });
    } else {
        top.fail("peers",
                 "expected a list of peers or an object with count and mix, got " + FieldReader::describe(peers));
    }
    std::sort(m_meeting.peers.begin(), m_meeting.peers.end(),
              [](const MeetingPeer& a, const MeetingPeer& b) { return a.uid < b.uid; });
}

void MeetingParser::readPeerList(FieldReader& top) {
    const size_t count = top.child("peers").size();
    if (count > static_cast<size_t>(kMaxPeers)) {
        top.fail("peers", fmt::format("{} peers; a meeting has at most {}", count, kMaxPeers));
    }
    std::map<uint64_t, std::string> earlier;
    top.forEach("peers", [&](FieldReader& in) {
        MeetingPeer peer;
        peer.uid = in.u64("uid");
        checkPeerUid(in.place(), peer.uid, m_meeting.localUid, earlier);
        earlier.emplace(peer.uid, in.place().pathOf(""));
        peer.dt = in.u16("dt", peer.dt);
        peer.streams = in.contains("streams") ? readPublishedStreams(in) : defaultStreams(peer.dt);
        peer.join = readMeetingTime(in, "join_s", peer.join);
        if (in.contains("leave_s")) {
            peer.leave = readMeetingTime(in, "leave_s");
        }
        checkPeerStay(in.place(), peer, m_meeting.duration);
        peer.links = readLinks(in);
        m_meeting.peers.push_back(std::move(peer));
    });
}

void MeetingParser::readPeerGroup(FieldReader& group) {
    const int64_t count = group.i64("count", 1, kMaxPeers);
    const std::map<uint16_t, double> shares = readMix(group);
    const uint64_t firstUid = group.u64("first_uid", kDefaultFirstUid);
    checkGroupUids(group.place(), firstUid, count, m_meeting.localUid);
    const Micros join = readMeetingTime(group, "join_s", 0);
    const Micros spread = readSeconds(group, "join_over_s", 0, toSeconds(m_meeting.duration - join), 0);
    const std::vector<uint16_t> deviceTypes = expandMix(count, shares);
    for (size_t i = 0; i < deviceTypes.size(); ++i) {
        MeetingPeer peer;
        peer.uid = firstUid + i;
        peer.dt = deviceTypes[i];
        peer.streams = defaultStreams(peer.dt);
        // The group joins one by one, evenly spread over join_over_s.
        peer.join = join + spread * static_cast<Micros>(i) / count;
        m_meeting.peers.push_back(std::move(peer));
    }
    readGroupLeaves(group, firstUid);
    for (const MeetingPeer& peer : m_meeting.peers) {
        if (!peer.leave) {
            checkPeerStay(group.place(), peer, m_meeting.duration);
        }
    }
}

std::map<uint16_t, double> MeetingParser::readMix(FieldReader& group) {
    const json& mix = group.child("mix");
    std::map<uint16_t, double> shares;
    group.object("mix", [&](FieldReader& in) {
        double sum = 0;
        for (const auto& item : mix.items()) {
            if (item.key() == FieldReader::kCommentField) {
                continue;
            }
            const uint16_t deviceType = deviceTypeOfKey(in, item.key());
            const double share = in.number(item.key(), 0, 1);
            if (share <= 0) {
                in.fail(item.key(), "expected a share above 0, got 0");
            }
            shares[deviceType] = share;
            sum += share;
        }
        if (shares.empty()) {
            in.fail("", "expected at least one device type and its share");
        }
        if (std::fabs(sum - 1) > kShareSumTolerance) {
            in.fail("", fmt::format("the shares sum to {}, not 1", sum));
        }
    });
    return shares;
}

void MeetingParser::readGroupLeaves(FieldReader& group, uint64_t firstUid) {
    if (!group.contains("leaves")) {
        return;
    }
    const uint64_t lastUid = m_meeting.peers.back().uid;
    std::map<uint64_t, std::string> leaving;
    group.forEach("leaves", [&](FieldReader& in) {
        const uint64_t uid = in.u64("uid");
        if (uid < firstUid || uid > lastUid) {
            in.fail("uid", fmt::format("{} is not the uid of a peer of the group ({} to {})", uid, firstUid, lastUid));
        }
        const auto other = leaving.find(uid);
        if (other != leaving.end()) {
            in.fail("uid", fmt::format("peer {} already leaves in {}", uid, other->second));
        }
        leaving.emplace(uid, in.place().pathOf(""));
        MeetingPeer& peer = m_meeting.peers[uid - firstUid];
        peer.leave = readMeetingTime(in, "leave_s");
        checkPeerStay(in.place(), peer, m_meeting.duration);
    });
}

std::vector<VideoStreamInfo> MeetingParser::readPublishedStreams(FieldReader& peer) {
    std::vector<VideoStreamInfo> streams;
    peer.forEach("streams", [&](FieldReader& in) {
        Record record;
        codec::readFields(in, record, Nulls::Refused);
        streams.push_back(record.info());
        checkPublishedStream(in.place(), streams.back());
    });
    return streams;
}

void MeetingParser::readSpeakers(FieldReader& top) {
    if (!top.contains("speakers")) {
        return;
    }
    const json& speakers = top.child("speakers");
    if (speakers.is_array()) {
        m_meeting.speakers = periodsOf<SpeakerTurn>(readSpans(top, "speakers"));
    } else if (speakers.is_object()) {
        top.object("speakers", [this](FieldReader& model) { m_meeting.talkModel = readTalkModel(model); });
    } else {
        top.fail("speakers", "expected a list of speaker turns or a talk-spurt model object, got " +
                                 FieldReader::describe(speakers));
    }
}

TalkSpurtModel MeetingParser::readTalkModel(FieldReader& model) {
    const std::string name = model.text("model", "");
    if (name.empty()) {
        model.fail("model", fmt::format("missing; it names the model of who speaks when, \"{}\"", kTalkSpurtModel));
    }
    if (name != kTalkSpurtModel) {
        model.fail("model", fmt::format("unknown model \"{}\"", name) + suggestName(name, {kTalkSpurtModel}, "models"));
    }
    TalkSpurtModel talk;
    talk.meanSpurtS = model.number("mean_spurt_s", kMinMeanTalkS, kMaxDurationS, talk.meanSpurtS);
    talk.meanPauseS = model.number("mean_pause_s", kMinMeanTalkS, kMaxDurationS, talk.meanPauseS);
    talk.localShare = model.number("local_share", 0, 1, talk.localShare);
    talk.seed = model.u64("seed", talk.seed);
    return talk;
}

std::vector<TimedSpan> MeetingParser::readSpans(FieldReader& top, const std::string& name) {
    std::vector<TimedSpan> spans;
    top.forEach(name, [&](FieldReader& in) {
        const uint64_t uid = in.u64("uid");
        const Micros start = readMeetingTime(in, "start_s");
        const Micros end = readMeetingTime(in, "end_s");
        spans.push_back(TimedSpan{start, end, uid, in.place()});
        checkSpanOrder(spans.back());
        checkSpanUid(spans.back(), m_meeting);
    });
    std::stable_sort(spans.begin(), spans.end(),
                     [](const TimedSpan& a, const TimedSpan& b) { return a.start < b.start; });
    checkNoOverlap(spans);
    return spans;
}

void MeetingParser::readSelectRequests(FieldReader& top) {
    std::map<Micros, std::string> starts;
    top.forEach("select_requests", [&](FieldReader& in) {
        SelectRequestSet set;
        set.at = readMeetingTime(in, "at_s");
        const auto other = starts.find(set.at);
        if (other != starts.end()) {
            in.fail("at_s", fmt::format("{} starts at {} too", other->second, secondsText(set.at)));
        }
        starts.emplace(set.at, in.place().pathOf(""));
        in.forEach("requests", [&](FieldReader& request) {
            set.requests.push_back(
                {request.i32("width"), request.i32("height"), request.i32("fps"), request.i32("bitrate")});
        });
        m_meeting.selectRequests.push_back(std::move(set));
    });
    std::stable_sort(m_meeting.selectRequests.begin(), m_meeting.selectRequests.end(),
                     [](const SelectRequestSet& a, const SelectRequestSet& b) { return a.at < b.at; });
}

void MeetingParser::readHost(FieldReader& in) {
    HostTimings& host = m_meeting.host;
    host.estimateInterval = readInterval(in, "estimate_interval_s", host.estimateInterval);
    host.downloadAdjustInterval = readInterval(in, "download_adjust_interval_s", host.downloadAdjustInterval);
    host.uploadCheckInterval = readInterval(in, "upload_check_interval_s", host.uploadCheckInterval);
    host.requestDelay = readSeconds(in, "request_delay_s", 0, kMaxDurationS, host.requestDelay);
    host.reportDelay = readSeconds(in, "report_delay_s", 0, kMaxDurationS, host.reportDelay);
    host.reportInterval = readIntervalOrOff(in, "report_interval_s", host.reportInterval);
}

void MeetingParser::readLink(FieldReader& in) {
    LinkParameters& link = m_meeting.link;
    if (in.contains("base_rtt_ms")) {
        link.baseRtt = static_cast<Micros>(std::llround(in.number("base_rtt_ms", 0, kMaxBaseRttMs) * kMicrosPerMilli));
    }
    link.downlinkBufferBytes = in.i64("downlink_buffer_bytes", 1, kMaxBufferBytes, link.downlinkBufferBytes);
    link.uplinkBufferBytes = in.i64("uplink_buffer_bytes", 1, kMaxBufferBytes, link.uplinkBufferBytes);
    link.keyFrameFactor = in.number("key_frame_factor", 1, kMaxKeyFrameFactor, link.keyFrameFactor);
    link.keyFrameInterval = readIntervalOrOff(in, "key_frame_interval_s", link.keyFrameInterval);
}

Micros MeetingParser::readMeetingTime(FieldReader& in, const std::string& name) const {
    return readSeconds(in, name, 0, toSeconds(m_meeting.duration));
}

Micros MeetingParser::readMeetingTime(FieldReader& in, const std::string& name, Micros fallback) const {
    return readSeconds(in, name, 0, toSeconds(m_meeting.duration), fallback);
}

}  // namespace ktr::sim
