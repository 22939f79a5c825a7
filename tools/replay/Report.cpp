#include "Report.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <string>

namespace replay {
namespace {

using tarn::video::VideoStreamInfo;

std::string resolution(const VideoStreamInfo& s) {
    return fmt::format("{}x{}", s.width, s.height);
}

std::string users(const std::vector<tarn::video::KTRUserInfo>& list) {
    std::string text;
    for (const auto& user : list) {
        text += fmt::format("{}{}/{}", text.empty() ? "" : " ", user.uid, user.dt);
    }
    return text.empty() ? "none" : text;
}

std::string uids(const std::set<uint64_t>& set) {
    std::string text;
    for (uint64_t uid : set) {
        text += fmt::format("{}{}", text.empty() ? "" : " ", uid);
    }
    return text.empty() ? "-" : text;
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
    std::string operator()(const SetUsers& s) const { return "receive from " + users(s.users); }
    std::string operator()(const Sharing& s) const { return fmt::format("{} shares: {}", s.uid, s.sharing); }
    std::string operator()(const Speaker& s) const { return fmt::format("{} speaks: {}", s.uid, s.speaking); }
    std::string operator()(const PeerReport& s) const {
        std::string text = fmt::format("peer {} publishes", s.uid);
        for (const auto& stream : s.streams) {
            text += fmt::format(" {}@{}", resolution(stream), stream.bitrate);
        }
        return s.streams.empty() ? text + " nothing" : text;
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

void printStreamTable(std::ostream& out, const std::vector<VideoStreamInfo>& streams) {
    if (streams.empty()) {
        return;
    }
    fmt::print(out, "    {:>4}  {:>10}  {:>3}  {:>8}  {:>8}  {:>8}\n", "rank", "resolution", "fps", "bitrate", "min",
               "max");
    for (const VideoStreamInfo& s : streams) {
        fmt::print(out, "    {:>4}  {:>10}  {:>3}  {:>8}  {:>8}  {:>8}\n", s.dft, resolution(s), s.fps, s.bitrate,
                   s.minbitrate, s.maxbitrate);
    }
}

void printRequestTable(std::ostream& out, const std::map<uint64_t, VideoStreamInfo>& requests) {
    if (requests.empty()) {
        return;
    }
    fmt::print(out, "    {:>20}  {:>10}  {:>3}  {:>8}  {:>8}  {:>8}\n", "peer", "resolution", "fps", "bitrate", "min",
               "max");
    for (const auto& request : requests) {
        const VideoStreamInfo& s = request.second;
        fmt::print(out, "    {:>20}  {:>10}  {:>3}  {:>8}  {:>8}  {:>8}\n", request.first, resolution(s), s.fps,
                   s.bitrate, s.minbitrate, s.maxbitrate);
    }
}

// Prints a question's answer under its step heading.
struct AnswerPrinter {
    std::ostream& out;
    const Step& step;

    void operator()(const std::monostate&) const {
        fmt::print(out, "{:>4}  {:<14} {}\n", step.index, step.name, std::visit(EventText{}, step.action));
    }
    void operator()(const UploadAnswer& a) const {
        fmt::print(out, "{:>4}  {:<14} {} stream(s), changed={}\n", step.index, a.channel == 2 ? "share" : "upload",
                   a.streams.size(), a.changed ? "yes" : "no");
        printStreamTable(out, a.streams);
    }
    void operator()(const DownloadAnswer& a) const {
        fmt::print(out, "{:>4}  {:<14} {} request(s), changed={}\n", step.index, "download", a.requests.size(),
                   a.changed ? "yes" : "no");
        printRequestTable(out, a.requests);
    }
    void operator()(const HdLdAnswer& a) const {
        fmt::print(out, "{:>4}  {:<14} high definition: {}   low definition: {}\n", step.index, "hdld", uids(a.hd),
                   uids(a.ld));
    }
    void operator()(const DefinitionAnswer& a) const {
        fmt::print(out, "{:>4}  {:<14} bitrate {}\n", step.index, "definitionOf", a.bitrate);
        printStreamTable(out, {a.info});
    }
};

void csvRow(std::ostream& out, const Step& step, const char* question, const std::string& subject,
            const VideoStreamInfo& s, bool changed) {
    fmt::print(out, "{},{},{},{},{},{},{},{},{},{},{}\n", step.index, question, subject, s.dft, s.width, s.height,
               s.fps, s.bitrate, s.minbitrate, s.maxbitrate, changed ? 1 : 0);
}

struct CsvWriter {
    std::ostream& out;
    const Step& step;

    void operator()(const std::monostate&) const {}
    void operator()(const UploadAnswer& a) const {
        const char* question = a.channel == 2 ? "share" : "upload";
        for (size_t i = 0; i < a.streams.size(); ++i) {
            csvRow(out, step, question, fmt::format("stream{}", i + 1), a.streams[i], a.changed);
        }
    }
    void operator()(const DownloadAnswer& a) const {
        for (const auto& request : a.requests) {
            csvRow(out, step, "download", fmt::format("peer{}", request.first), request.second, a.changed);
        }
    }
    void operator()(const HdLdAnswer& a) const {
        for (uint64_t uid : a.hd) {
            fmt::print(out, "{},hd,peer{},,,,,,,,\n", step.index, uid);
        }
        for (uint64_t uid : a.ld) {
            fmt::print(out, "{},ld,peer{},,,,,,,,\n", step.index, uid);
        }
    }
    void operator()(const DefinitionAnswer& a) const {
        csvRow(out, step, "definitionOf", fmt::format("bitrate{}", a.bitrate), a.info, false);
    }
};

}  // namespace

void printReport(std::ostream& out, const std::string& scenarioName, const std::vector<StepOutcome>& outcomes,
                 bool withLog) {
    fmt::print(out, "scenario: {}\n", scenarioName);
    for (const StepOutcome& outcome : outcomes) {
        std::visit(AnswerPrinter{out, *outcome.step}, outcome.answer);
        if (withLog) {
            for (const std::string& line : outcome.log) {
                fmt::print(out, "        | {}\n", line);
            }
        }
    }
}

void writeCsv(std::ostream& out, const std::vector<StepOutcome>& outcomes) {
    out << "step,question,subject,dft_or_rank,width,height,fps,bitrate,minbitrate,maxbitrate,changed\n";
    for (const StepOutcome& outcome : outcomes) {
        std::visit(CsvWriter{out, *outcome.step}, outcome.answer);
    }
}

}  // namespace replay
