#include "CsvWriter.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

namespace ktr {
namespace {

using tarn::video::VideoStreamInfo;

constexpr const char* kHeader =
    "step,time_s,kind,subject,uid,rank_or_dft,width,height,fps,bitrate,minbitrate,maxbitrate,changed,net_status,"
    "net_score";

struct RowWriter {
    std::ostream& out;
    const TimelineStep& step;

    void record(const char* kind, const std::string& subject, const std::string& uid, const VideoStreamInfo& s,
                const std::string& changed) const {
        fmt::print(out, "{},{},{},{},{},{},{},{},{},{},{},{},{},,\n", step.index, step.time, kind, subject, uid, s.dft,
                   s.width, s.height, s.fps, s.bitrate, s.minbitrate, s.maxbitrate, changed);
    }
    void bare(const char* kind, const std::string& subject, const std::string& uid, const std::string& changed) const {
        fmt::print(out, "{},{},{},{},{},,,,,,,,{},,\n", step.index, step.time, kind, subject, uid, changed);
    }

    void operator()(const std::monostate&) const {
        if (const auto* estimate = std::get_if<NetEstimate>(&step.action)) {
            fmt::print(out, "{},{},{},estimate,,,,,,{},,{},,{},{}\n", step.index, step.time,
                       estimate->upload ? "ulnet" : "dlnet", estimate->bitrate, estimate->maxBitrate, estimate->status,
                       estimate->score);
        }
    }
    void operator()(const UploadAnswer& a) const {
        const char* kind = a.channel == 2 ? "share" : "upload";
        const std::string changed = a.changed ? "1" : "0";
        for (size_t i = 0; i < a.streams.size(); ++i) {
            record(kind, fmt::format("stream{}", i + 1), "", a.streams[i], changed);
        }
        if (a.streams.empty()) {
            bare("empty", kind, "", changed);
        }
    }
    void operator()(const DownloadAnswer& a) const {
        const std::string changed = a.changed ? "1" : "0";
        for (const auto& [uid, request] : a.requests) {
            record("download", "peer", std::to_string(uid), request, changed);
        }
        if (a.requests.empty()) {
            bare("empty", "download", "", changed);
        }
    }
    void operator()(const HdLdAnswer& a) const {
        for (uint64_t uid : a.hd) {
            bare("hd", "peer", std::to_string(uid), "");
        }
        for (uint64_t uid : a.ld) {
            bare("ld", "peer", std::to_string(uid), "");
        }
        if (a.hd.empty() && a.ld.empty()) {
            bare("empty", "hdld", "", "");
        }
    }
    void operator()(const DefinitionAnswer& a) const { record("definition", "record", "", a.info, ""); }
};

}  // namespace

void CsvWriter::begin(const TimelineHeader&) {
    m_out << kHeader << '\n';
}

void CsvWriter::write(const TimelineStep& step) {
    std::visit(RowWriter{m_out, step}, step.answer);
}

}  // namespace ktr
