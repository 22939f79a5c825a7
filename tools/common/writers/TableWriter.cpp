#include "TableWriter.h"

#include <fmt/format.h>
#include <fmt/ostream.h>

#include <algorithm>
#include <string>
#include <type_traits>

namespace ktr {
namespace {

constexpr const char* kIndent = "      ";
// What a field the source does not show prints as.
constexpr const char* kUnknown = "?";

template <class T>
std::string text(const Known<T>& value) {
    if (!value) {
        return kUnknown;
    }
    if constexpr (std::is_integral_v<T>) {
        return fmt::format_int(*value).str();
    } else {
        return fmt::format("{}", *value);
    }
}

void appendNumber(std::string& text, uint64_t number) {
    const fmt::format_int digits(number);
    text.append(digits.data(), digits.size());
}

std::string resolution(const Record& s) {
    return text(s.width) + "x" + text(s.height);
}

template <class Users>
std::string userList(const Users& users) {
    std::string list;
    for (const auto& user : users) {
        list += list.empty() ? "" : " ";
        appendNumber(list, user.uid);
        list += '/';
        list += text(user.dt);
    }
    return list.empty() ? "none" : list;
}

std::string uidList(const Known<std::set<uint64_t>>& set) {
    if (!set) {
        return kUnknown;
    }
    std::string list;
    for (uint64_t uid : *set) {
        list += list.empty() ? "" : " ";
        appendNumber(list, uid);
    }
    return list.empty() ? "-" : list;
}

std::string streamList(const std::vector<Record>& streams) {
    std::string list;
    for (const Record& stream : streams) {
        list += list.empty() ? "" : " ";
        list += resolution(stream);
        list += '@';
        list += text(stream.bitrate);
    }
    return list.empty() ? "nothing" : list;
}

std::string changedText(const Known<bool>& changed) {
    return changed ? (*changed ? "yes" : "no") : "unknown";
}

// One line describing an event step, appended to out.
struct EventText {
    fmt::memory_buffer& out;

    template <typename... Args>
    void print(fmt::format_string<Args...> format, Args&&... args) const {
        fmt::format_to(std::back_inserter(out), format, std::forward<Args>(args)...);
    }
    void operator()(const Init& s) const { print("local user {} on device type {}", s.uid, s.dt); }
    void operator()(const SceneType& s) const { print("scene type {}", s.value); }
    void operator()(const Config& s) const {
        print("forceHD={} auxFlag={} aux bitrates {} {}", s.forceHD, s.auxFlag, s.auxBitrate1, s.auxBitrate2);
    }
    void operator()(const AddUser& s) const { print("user {}/{}", s.uid, text(s.dt)); }
    void operator()(const RemoveUser& s) const { print("user {}/{}", s.uid, text(s.dt)); }
    void operator()(const SetUsers& s) const { print("receive from {}", userList(s.users)); }
    void operator()(const Sharing& s) const { print("{} shares: {}", s.uid, s.sharing); }
    void operator()(const Speaker& s) const { print("{} speaks: {}", s.uid, s.speaking); }
    void operator()(const PeerReport& s) const {
        print("peer {} publishes {}", s.uid, s.streams ? streamList(*s.streams) : kUnknown);
    }
    void operator()(const ClearPeerReports&) const { print("forget every peer report"); }
    void operator()(const SelectRequest& s) const { print("{}x{} {} fps at {}", s.width, s.height, s.fps, s.bitrate); }
    void operator()(const ClearSelectRequests&) const { print("forget every select request"); }
    void operator()(const NetEstimate& s) const {
        print("status {} score {} bitrate {} max {}", s.status, s.score, s.bitrate, s.maxBitrate);
    }
    void operator()(const Definitions& s) const { print("{} table record(s)", s.streams.size()); }
    template <typename Question>
    void operator()(const Question&) const {}
};

// The start of a step's line: its index right-aligned in four columns, then its name left-aligned in
// fourteen. Padded by hand: the table writes one per step, and the names are ASCII.
void appendHead(fmt::memory_buffer& out, int index, std::string_view name) {
    constexpr std::string_view kSpaces = "              ";
    const fmt::format_int digits(index);
    out.append(kSpaces.substr(0, 4 - std::min<size_t>(4, digits.size())));
    out.append(std::string_view(digits.data(), digits.size()));
    out.append(std::string_view("  "));
    out.append(name);
    out.append(kSpaces.substr(0, 14 - std::min<size_t>(14, name.size())));
    out.push_back(' ');
}

template <class Records>
void printStreamTable(fmt::memory_buffer& out, const Records& streams, const char* firstColumn, bool byPeer) {
    if (streams.empty()) {
        return;
    }
    const auto row = [&](const std::string& first, const std::string& resolution, const std::string& fps,
                         const std::string& bitrate, const std::string& min, const std::string& max) {
        fmt::format_to(std::back_inserter(out),
                       fmt::runtime(byPeer ? "{}{:>20}  {:>10}  {:>3}  {:>8}  {:>8}  {:>8}\n"
                                           : "{}{:>4}  {:>10}  {:>3}  {:>8}  {:>8}  {:>8}\n"),
                       kIndent, first, resolution, fps, bitrate, min, max);
    };
    row(firstColumn, "resolution", "fps", "bitrate", "min", "max");
    for (const auto& s : streams) {
        std::string first;
        if constexpr (std::is_same_v<std::decay_t<decltype(s)>, PeerRequest>) {
            first = std::to_string(s.uid);
        } else {
            first = text(s.dft);
        }
        row(first, resolution(s), text(s.fps), text(s.bitrate), text(s.minbitrate), text(s.maxbitrate));
    }
}

template <class T>
size_t countOf(const Known<std::vector<T>>& list) {
    return list ? list->size() : 0;
}

// Prints a step's heading and, for a question, its answer.
struct AnswerPrinter {
    fmt::memory_buffer& out;
    const TimelineStep& step;

    void operator()(const std::monostate&) const {
        appendHead(out, step.index, step.event);
        std::visit(EventText{out}, step.action);
        out.push_back('\n');
    }
    void operator()(const UploadAnswer& a) const {
        appendHead(out, step.index, a.channel == 2 ? "share" : "upload");
        fmt::format_to(std::back_inserter(out), "{} stream(s), changed={}\n",
                       a.records ? std::to_string(a.records->size()) : kUnknown, changedText(a.changed));
        if (a.records) {
            printStreamTable(out, *a.records, a.channel == 2 ? "dft" : "rank", false);
        }
    }
    void operator()(const DownloadAnswer& a) const {
        appendHead(out, step.index, "download");
        fmt::format_to(std::back_inserter(out), "{} request(s), changed={}\n",
                       a.records ? std::to_string(a.records->size()) : kUnknown, changedText(a.changed));
        if (a.records) {
            printStreamTable(out, *a.records, "peer", true);
        }
    }
    void operator()(const HdLdAnswer& a) const {
        appendHead(out, step.index, "hdld");
        fmt::format_to(std::back_inserter(out), "high definition: {}   low definition: {}\n", uidList(a.hd),
                       uidList(a.ld));
    }
    void operator()(const DefinitionAnswer& a) const {
        const auto* question = std::get_if<AskDefinition>(&step.action);
        appendHead(out, step.index, "definitionOf");
        fmt::format_to(std::back_inserter(out), "bitrate {}\n", question ? question->bitrate : 0);
        if (a.records) {
            printStreamTable(out, *a.records, "dft", false);
        }
    }
};

std::string chosenText(const PeerState& peer) {
    if (!peer.received) {
        return "not received";
    }
    if (!peer.chosen || !peer.choice) {
        return "unknown";
    }
    return fmt::format("{} {}", choiceName(*peer.choice), text(peer.chosen->bitrate));
}

std::string estimateText(const EstimateState& e) {
    return fmt::format("status {} score {} bitrate {} max {}", e.status, e.score, e.bitrate, e.maxBitrate);
}

}  // namespace

void TableWriter::begin(const TimelineHeader& header) {
    fmt::format_to(std::back_inserter(m_buffer), "scenario: {}\n", header.source);
    if (m_options.explain) {
        fmt::format_to(std::back_inserter(m_buffer), "library: {} (SONAME {})\n", header.provenance.library.path,
                       header.provenance.librarySoname.empty() ? "none" : header.provenance.librarySoname);
    }
    flush();
}

void TableWriter::flush() {
    m_out.write(m_buffer.data(), static_cast<std::streamsize>(m_buffer.size()));
    m_buffer.clear();
}

void TableWriter::write(const TimelineStep& step) {
    std::visit(AnswerPrinter{m_buffer, step}, step.answer);
    if (m_options.log) {
        for (const FiredRule& rule : step.rules) {
            fmt::format_to(std::back_inserter(m_buffer), "{}| {} {}\n", kIndent, levelMark(rule.level), rule.text);
        }
    }
    if (m_options.explain) {
        writeExplanation(step);
        if (step.state != nullptr) {
            writeState(*step.state);
        }
    }
    flush();
}

void TableWriter::writeExplanation(const TimelineStep& step) {
    for (const FiredRule& rule : step.rules) {
        fmt::format_to(std::back_inserter(m_buffer), "{}why  {}\n", kIndent, rule.explanation());
    }
    for (const std::string& note : step.notes) {
        fmt::format_to(std::back_inserter(m_buffer), "{}note {}\n", kIndent, note);
    }
    for (const std::string& mismatch : step.mismatches) {
        fmt::format_to(std::back_inserter(m_buffer), "{}MISMATCH {}\n", kIndent, mismatch);
    }
}

void TableWriter::writeState(const StateSnapshot& state) {
    const SceneState& scene = state.scene;
    fmt::format_to(std::back_inserter(m_buffer), "{}state local {}/{}, users {}, received {}\n", kIndent,
                   scene.localUid, scene.localDt, userList(scene.users), userList(scene.receivedUsers));
    fmt::format_to(std::back_inserter(m_buffer), "{}      speaker {}{}, sharer {}{}, scene type {}, forceHD {}\n",
                   kIndent, scene.speaker, scene.speaking ? " (speaking)" : " (not speaking)", scene.sharer,
                   scene.sharing ? " (sharing)" : " (not sharing)",
                   scene.sceneType ? std::to_string(*scene.sceneType) : "unset", scene.forceHD ? "on" : "off");
    fmt::format_to(std::back_inserter(m_buffer), "{}      download {}; upload {}\n", kIndent,
                   estimateText(state.download), estimateText(state.upload));
    std::string requests;
    for (const SelectRequest& r : state.selectRequests) {
        requests += fmt::format("{}{}x{}@{} {}", requests.empty() ? "" : ", ", r.width, r.height, r.fps, r.bitrate);
    }
    fmt::format_to(std::back_inserter(m_buffer), "{}      select requests: {}\n", kIndent,
                   requests.empty() ? "none" : requests);
    for (const auto& [uid, peer] : state.peers) {
        fmt::format_to(std::back_inserter(m_buffer), "{}      peer {:>8}: publishes {}; chosen {}{}\n", kIndent, uid,
                       peer.published ? streamList(*peer.published) : "(no report)", chosenText(peer),
                       peer.received ? fmt::format(", {} definition",
                                                   peer.definition ? definitionName(*peer.definition) : "unknown")
                                     : "");
    }
}

}  // namespace ktr
