#include "TableWriter.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <algorithm>
#include <string>

namespace ktr {
namespace {

using tarn::video::VideoStreamInfo;

constexpr const char* kIndent = "      ";

std::string resolution(const VideoStreamInfo& s) {
    return fmt::format("{}x{}", s.width, s.height);
}

std::string userList(const std::vector<tarn::video::KTRUserInfo>& list) {
    std::string text;
    for (const auto& user : list) {
        text += fmt::format("{}{}/{}", text.empty() ? "" : " ", user.uid, user.dt);
    }
    return text.empty() ? "none" : text;
}

std::string userList(const std::set<UserKey>& set) {
    std::string text;
    for (const UserKey& user : set) {
        text += fmt::format("{}{}/{}", text.empty() ? "" : " ", user.uid, user.dt);
    }
    return text.empty() ? "none" : text;
}

std::string uidList(const std::set<uint64_t>& set) {
    std::string text;
    for (uint64_t uid : set) {
        text += fmt::format("{}{}", text.empty() ? "" : " ", uid);
    }
    return text.empty() ? "-" : text;
}

std::string streamList(const std::vector<VideoStreamInfo>& streams) {
    std::string text;
    for (const auto& stream : streams) {
        text += fmt::format("{}{}@{}", text.empty() ? "" : " ", resolution(stream), stream.bitrate);
    }
    return text.empty() ? "nothing" : text;
}

// One line describing an event step.
struct EventText {
    std::string operator()(const Init& s) const { return fmt::format("local user {} on device type {}", s.uid, s.dt); }
    std::string operator()(const SceneType& s) const { return fmt::format("scene type {}", s.value); }
    std::string operator()(const Config& s) const {
        return fmt::format("forceHD={} auxFlag={} aux bitrates {} {}", s.config.forceHD, s.config.auxFlag,
                           s.config.auxBitrate1, s.config.auxBitrate2);
    }
    std::string operator()(const AddUser& s) const { return fmt::format("user {}/{}", s.user.uid, s.user.dt); }
    std::string operator()(const RemoveUser& s) const { return fmt::format("user {}/{}", s.user.uid, s.user.dt); }
    std::string operator()(const SetUsers& s) const { return "receive from " + userList(s.users); }
    std::string operator()(const Sharing& s) const { return fmt::format("{} shares: {}", s.uid, s.sharing); }
    std::string operator()(const Speaker& s) const { return fmt::format("{} speaks: {}", s.uid, s.speaking); }
    std::string operator()(const PeerReport& s) const {
        return fmt::format("peer {} publishes {}", s.uid, streamList(s.streams));
    }
    std::string operator()(const ClearPeerReports&) const { return "forget every peer report"; }
    std::string operator()(const SelectRequest& s) const {
        return fmt::format("{}x{} {} fps at {}", s.width, s.height, s.fps, s.bitrate);
    }
    std::string operator()(const ClearSelectRequests&) const { return "forget every select request"; }
    std::string operator()(const NetEstimate& s) const {
        return fmt::format("status {} score {} bitrate {} max {}", s.status, s.score, s.bitrate, s.maxBitrate);
    }
    std::string operator()(const Definitions& s) const { return fmt::format("{} table record(s)", s.streams.size()); }
    template <typename Question>
    std::string operator()(const Question&) const {
        return "";
    }
};

void printStreamTable(std::ostream& out, const std::vector<VideoStreamInfo>& streams, const char* firstColumn) {
    if (streams.empty()) {
        return;
    }
    fmt::print(out, "{}{:>4}  {:>10}  {:>3}  {:>8}  {:>8}  {:>8}\n", kIndent, firstColumn, "resolution", "fps",
               "bitrate", "min", "max");
    for (const VideoStreamInfo& s : streams) {
        fmt::print(out, "{}{:>4}  {:>10}  {:>3}  {:>8}  {:>8}  {:>8}\n", kIndent, s.dft, resolution(s), s.fps,
                   s.bitrate, s.minbitrate, s.maxbitrate);
    }
}

void printRequestTable(std::ostream& out, const std::map<uint64_t, VideoStreamInfo>& requests) {
    if (requests.empty()) {
        return;
    }
    fmt::print(out, "{}{:>20}  {:>10}  {:>3}  {:>8}  {:>8}  {:>8}\n", kIndent, "peer", "resolution", "fps", "bitrate",
               "min", "max");
    for (const auto& [uid, s] : requests) {
        fmt::print(out, "{}{:>20}  {:>10}  {:>3}  {:>8}  {:>8}  {:>8}\n", kIndent, uid, resolution(s), s.fps, s.bitrate,
                   s.minbitrate, s.maxbitrate);
    }
}

// Prints a step's heading and, for a question, its answer.
struct AnswerPrinter {
    std::ostream& out;
    const TimelineStep& step;

    void operator()(const std::monostate&) const {
        fmt::print(out, "{:>4}  {:<14} {}\n", step.index, step.event, std::visit(EventText{}, step.action));
    }
    // A log does not always carry the flag.
    const char* changedText(bool changed) const {
        const auto& unknown = step.unknownAnswerFields;
        if (std::find(unknown.begin(), unknown.end(), "changed") != unknown.end()) {
            return "unknown";
        }
        return changed ? "yes" : "no";
    }
    void operator()(const UploadAnswer& a) const {
        fmt::print(out, "{:>4}  {:<14} {} stream(s), changed={}\n", step.index, a.channel == 2 ? "share" : "upload",
                   a.streams.size(), changedText(a.changed));
        printStreamTable(out, a.streams, a.channel == 2 ? "dft" : "rank");
    }
    void operator()(const DownloadAnswer& a) const {
        fmt::print(out, "{:>4}  {:<14} {} request(s), changed={}\n", step.index, "download", a.requests.size(),
                   changedText(a.changed));
        printRequestTable(out, a.requests);
    }
    void operator()(const HdLdAnswer& a) const {
        fmt::print(out, "{:>4}  {:<14} high definition: {}   low definition: {}\n", step.index, "hdld", uidList(a.hd),
                   uidList(a.ld));
    }
    void operator()(const DefinitionAnswer& a) const {
        fmt::print(out, "{:>4}  {:<14} bitrate {}\n", step.index, "definitionOf", a.bitrate);
        printStreamTable(out, {a.info}, "dft");
    }
};

std::string chosenText(const PeerState& peer) {
    if (!peer.received) {
        return "not received";
    }
    if (!peer.chosen) {
        return "unknown";
    }
    return fmt::format("{} {}", choiceName(peer.choice), peer.chosen->bitrate);
}

std::string estimateText(const EstimateState& e) {
    return fmt::format("status {} score {} bitrate {} max {}", e.status, e.score, e.bitrate, e.maxBitrate);
}

}  // namespace

void TableWriter::begin(const TimelineHeader& header) {
    fmt::print(m_out, "scenario: {}\n", header.source);
    if (m_options.explain) {
        fmt::print(m_out, "library: {} (SONAME {})\n", header.libraryPath,
                   header.librarySoname.empty() ? "none" : header.librarySoname);
    }
}

void TableWriter::write(const TimelineStep& step) {
    std::visit(AnswerPrinter{m_out, step}, step.answer);
    if (m_options.log) {
        for (const LogLine& line : step.log) {
            fmt::print(m_out, "{}| {} {}\n", kIndent, levelMark(line.level), line.text);
        }
    }
    if (m_options.explain) {
        writeExplanation(step);
        writeState(step.state);
    }
}

void TableWriter::writeExplanation(const TimelineStep& step) {
    for (const FiredRule& rule : step.rules) {
        fmt::print(m_out, "{}why  {}\n", kIndent, rule.explanation);
    }
    for (const std::string& note : step.notes) {
        fmt::print(m_out, "{}note {}\n", kIndent, note);
    }
    for (const std::string& mismatch : step.mismatches) {
        fmt::print(m_out, "{}MISMATCH {}\n", kIndent, mismatch);
    }
}

void TableWriter::writeState(const StateSnapshot& state) {
    const SceneState& scene = state.scene;
    fmt::print(m_out, "{}state local {}/{}, users {}, received {}\n", kIndent, scene.localUid, scene.localDt,
               userList(scene.users), userList(scene.received));
    fmt::print(m_out, "{}      speaker {}{}, sharer {}{}, scene type {}, forceHD {}\n", kIndent, scene.speaker,
               scene.speaking ? " (speaking)" : " (not speaking)", scene.sharer,
               scene.sharing ? " (sharing)" : " (not sharing)",
               scene.sceneType ? std::to_string(*scene.sceneType) : "unset", state.forceHD ? "on" : "off");
    fmt::print(m_out, "{}      download {}; upload {}\n", kIndent, estimateText(state.download),
               estimateText(state.upload));
    std::string requests;
    for (const SelectRequestState& r : state.selectRequests) {
        requests += fmt::format("{}{}x{}@{} {}", requests.empty() ? "" : ", ", r.width, r.height, r.fps, r.bitrate);
    }
    fmt::print(m_out, "{}      select requests: {}\n", kIndent, requests.empty() ? "none" : requests);
    for (const PeerState& peer : state.peers) {
        fmt::print(m_out, "{}      peer {:>8}: publishes {}; chosen {}{}\n", kIndent, peer.uid,
                   peer.published ? streamList(*peer.published) : "(no report)", chosenText(peer),
                   peer.received ? fmt::format(", {} definition", definitionName(peer.definition)) : "");
    }
}

}  // namespace ktr
