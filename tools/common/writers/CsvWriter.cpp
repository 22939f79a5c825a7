#include "CsvWriter.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

namespace ktr {
namespace {

constexpr const char* kHeader =
    "step,time_s,kind,subject,uid,rank_or_dft,width,height,fps,bitrate,minbitrate,maxbitrate,changed,net_status,"
    "net_score";

// A field the source does not show is an empty cell.
template <class T>
std::string cell(const Known<T>& value) {
    return value ? fmt::format("{}", *value) : std::string();
}

std::string changedCell(const Known<bool>& changed) {
    return changed ? (*changed ? "1" : "0") : "";
}

struct RowWriter {
    std::ostream& out;
    const TimelineStep& step;

    void record(const char* kind, const std::string& subject, const std::string& uid, const Record& s,
                const std::string& changed) const {
        fmt::print(out, "{},{},{},{},{},{},{},{},{},{},{},{},{},,\n", step.index, cell(step.time), kind, subject, uid,
                   cell(s.dft), cell(s.width), cell(s.height), cell(s.fps), cell(s.bitrate), cell(s.minbitrate),
                   cell(s.maxbitrate), changed);
    }
    void bare(const char* kind, const std::string& subject, const std::string& uid, const std::string& changed) const {
        fmt::print(out, "{},{},{},{},{},,,,,,,,{},,\n", step.index, cell(step.time), kind, subject, uid, changed);
    }

    void operator()(const std::monostate&) const {
        if (const auto* estimate = std::get_if<NetEstimate>(&step.action)) {
            fmt::print(out, "{},{},{},estimate,,,,,,{},,{},,{},{}\n", step.index, cell(step.time),
                       estimate->upload ? "ulnet" : "dlnet", estimate->bitrate, estimate->maxBitrate, estimate->status,
                       estimate->score);
        }
    }
    void operator()(const UploadAnswer& a) const {
        const char* kind = a.channel == 2 ? "share" : "upload";
        if (!a.records) {
            return;  // the source does not show the records
        }
        for (size_t i = 0; i < a.records->size(); ++i) {
            record(kind, fmt::format("stream{}", i + 1), "", (*a.records)[i], changedCell(a.changed));
        }
        if (a.records->empty()) {
            bare("empty", kind, "", changedCell(a.changed));
        }
    }
    void operator()(const DownloadAnswer& a) const {
        if (!a.records) {
            return;
        }
        for (const PeerRequest& request : *a.records) {
            record("download", "peer", std::to_string(request.uid), request, changedCell(a.changed));
        }
        if (a.records->empty()) {
            bare("empty", "download", "", changedCell(a.changed));
        }
    }
    void operator()(const HdLdAnswer& a) const {
        if (!a.hd || !a.ld) {
            return;
        }
        for (uint64_t uid : *a.hd) {
            bare("hd", "peer", std::to_string(uid), "");
        }
        for (uint64_t uid : *a.ld) {
            bare("ld", "peer", std::to_string(uid), "");
        }
        if (a.hd->empty() && a.ld->empty()) {
            bare("empty", "hdld", "", "");
        }
    }
    void operator()(const DefinitionAnswer& a) const {
        if (a.records) {
            for (const Record& info : *a.records) {
                record("definition", "record", "", info, "");
            }
        }
    }
};

// A peer's chosen stream where it is received and known, one row each time it changes; a bare row where it
// no longer is (left, not received, or not known) ends the peer's series. `written` holds what the rows say.
void writeChosenChanges(const RowWriter& rows, const TimelineStep& step, std::map<uint64_t, Record>& written) {
    for (const auto& entry : step.change.peers) {
        const uint64_t uid = entry.first;
        const auto peer = step.state->peers.find(uid);
        const bool known = peer != step.state->peers.end() && peer->second.received && peer->second.chosen;
        const auto last = written.find(uid);
        if (known && (last == written.end() || last->second != *peer->second.chosen)) {
            rows.record("chosen", "peer", std::to_string(uid), *peer->second.chosen, "");
            written[uid] = *peer->second.chosen;
        } else if (!known && last != written.end()) {
            rows.bare("chosen", "peer", std::to_string(uid), "");
            written.erase(last);
        }
    }
}

}  // namespace

void CsvWriter::begin(const TimelineHeader&) {
    m_out << kHeader << '\n';
}

void CsvWriter::write(const TimelineStep& step) {
    const RowWriter rows{m_out, step};
    std::visit(rows, step.answer);
    if (step.state != nullptr) {
        writeChosenChanges(rows, step, m_chosen);
    }
}

}  // namespace ktr
