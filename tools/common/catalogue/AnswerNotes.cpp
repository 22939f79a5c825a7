#include "AnswerNotes.h"

#include <fmt/format.h>

#include <algorithm>
#include <optional>

#include "KTRLogFormats.h"
#include "PeerStreams.h"

namespace ktr {
namespace {

using Rules = std::vector<FiredRule>;

// Both change flags count a bitrate as moved from this distance up.
constexpr int64_t kChangeDistance = 30720;

bool isLine(const FiredRule& rule, std::string_view id) {
    return rule.line.format != nullptr && rule.line.format->id == id;
}

bool fired(const Rules& rules, std::string_view id) {
    return std::any_of(rules.begin(), rules.end(), [id](const FiredRule& rule) { return isLine(rule, id); });
}

const ParsedLine* firstLine(const Rules& rules, std::string_view id) {
    const auto found =
        std::find_if(rules.begin(), rules.end(), [id](const FiredRule& rule) { return isLine(rule, id); });
    return found == rules.end() ? nullptr : &found->line;
}

bool isAllZero(const Record& record) {
    // The rank may have been written into dft; every other field is what the table gave.
    Record withoutRank = record;
    withoutRank.dft = 0;
    return withoutRank.isZero();
}

bool isBuiltIn720(const Record& record) {
    return record.width == 1080 && record.height == 720;
}

int32_t bitrateOf(const Record& record) {
    return record.bitrate.value_or(0);
}

// |a - b| as the camera policy computes it, in wrapping 32-bit arithmetic: bitrates at opposite ends of the
// range come out close, and |INT32_MIN| stays negative.
int64_t wrappedDistance(int32_t a, int32_t b) {
    const auto difference = static_cast<int32_t>(static_cast<uint32_t>(a) - static_cast<uint32_t>(b));
    return difference < 0 ? static_cast<int32_t>(0U - static_cast<uint32_t>(difference)) : difference;
}

// |a - b| as the download policy computes it, without wrapping.
int64_t distance(int32_t a, int32_t b) {
    const int64_t difference = int64_t{a} - b;
    return difference < 0 ? -difference : difference;
}

struct Note {
    const char* kind;
    std::string text;
};

class NoteList {
public:
    explicit NoteList(TimelineStep& step) : m_step(step) {}
    void add(const char* kind, std::string text) {
        m_step.notes.push_back(std::move(text));
        m_step.noteKinds.emplace_back(kind);
    }
    void add(Note note) { add(note.kind, std::move(note.text)); }

private:
    TimelineStep& m_step;
};

// The definition whose empty entry a camera decision read (the scene default without a table entry).
std::string emptyDefinition(const Rules& rules) {
    for (const FiredRule& rule : rules) {
        if (isLine(rule, ktrlog::DftInfoByDft::id) && rule.line.integer("bitrate") == 0 &&
            rule.line.integer("width") == 0) {
            return definitionLabel(static_cast<int32_t>(rule.line.integer("dft")));
        }
    }
    return "the chosen definition";
}

void notesOnRecords(const std::vector<Record>& records, const Rules& lines, NoteList& notes) {
    for (size_t i = 0; i < records.size(); ++i) {
        if (isAllZero(records[i])) {
            notes.add(notekind::kAllZero,
                      fmt::format("stream {} is all zero: {} has no entry in the definition table (the built-in "
                                  "table has none for 180P); a definitions record of that height gives it one",
                                  i + 1, emptyDefinition(lines)));
        } else if (isBuiltIn720(records[i])) {
            notes.add(notekind::kBuiltIn720,
                      fmt::format("stream {} is 1080x720: that is the built-in 720P entry (its width is 1080, "
                                  "not 1280); a definitions record of height 720 replaces it",
                                  i + 1));
        }
    }
}

// What the flag of an answer says against what the comparison with the previous answer found.
Note flagNote(bool changed, std::optional<Note> difference, Note same) {
    if (changed == difference.has_value()) {
        return difference ? std::move(*difference) : std::move(same);
    }
    return {notekind::kFlagUnexplained,
            fmt::format("the change flag is {}, yet the comparison with the previous answer finds {}: the loaded "
                        "build compares otherwise",
                        changed ? "set" : "clear", difference ? difference->text : "no difference")};
}

std::optional<Note> cameraDifference(const std::vector<int32_t>& now, const std::vector<int32_t>& last) {
    if (now.size() != last.size()) {
        return Note{notekind::kCameraCount, fmt::format("changed: {} camera stream(s) where the previous camera "
                                                        "decision had {}",
                                                        now.size(), last.size())};
    }
    for (size_t i = 0; i < now.size(); ++i) {
        const int64_t moved = wrappedDistance(now[i], last[i]);
        if (moved >= kChangeDistance) {
            return Note{notekind::kCameraMoved,
                        fmt::format("changed: stream {} moved by {} (from {} to {}); a move of {} or more counts",
                                    i + 1, moved, last[i], now[i], kChangeDistance)};
        }
    }
    return std::nullopt;
}

std::optional<Note> downloadDifference(const std::map<uint64_t, int32_t>& now,
                                       const std::map<uint64_t, int32_t>& last) {
    if (now.size() != last.size()) {
        return Note{notekind::kDownloadCount, fmt::format("changed: {} request(s) where the previous adjustment had {}",
                                                          now.size(), last.size())};
    }
    for (const auto& [uid, bitrate] : now) {
        const auto previous = last.find(uid);
        if (previous == last.end()) {
            return Note{notekind::kDownloadNewPeer,
                        fmt::format("changed: peer {} has a request and had none in the previous adjustment", uid)};
        }
        const int64_t moved = distance(bitrate, previous->second);
        if (moved >= kChangeDistance) {
            return Note{notekind::kDownloadMoved,
                        fmt::format("changed: peer {} moved by {} (from {} to {}); a move of {} or more counts", uid,
                                    moved, previous->second, bitrate, kChangeDistance)};
        }
    }
    return std::nullopt;
}

void notesOnShare(const UploadAnswer& answer, const Rules& lines, NoteList& notes) {
    const std::vector<Record>& streams = answer.records.value_or(std::vector<Record>());
    if (!streams.empty() && isAllZero(streams.back())) {
        notes.add(notekind::kNoShareTable,
                  "no share (channel 2) table was given: the share record stays all zero until a definitions "
                  "record of channel 2 and height 720 is supplied");
    } else {
        notesOnRecords(streams, lines, notes);
    }
    notes.add(notekind::kShareChanged,
              "changed: share answers always report a change; they do not touch the camera's previous decision");
}

void notesOnSplit(const HdLdAnswer& answer, const StateSnapshot& state, const DefinitionTable& definitions,
                  NoteList& notes) {
    for (const auto& [uid, peer] : state.peers) {
        if (!peer.received) {
            continue;
        }
        const bool high = answer.hd && answer.hd->count(uid) != 0;
        if (!peer.published || !peerstreams::hasLower(*peer.published)) {
            notes.add(notekind::kNothingLower,
                      fmt::format("peer {}: {} reported, nothing lower to receive: counted as high definition", uid,
                                  peer.published ? "one stream or none" : "no stream"));
        } else if (peer.chosen) {
            const int32_t lower = bitrateOf((*peer.published)[*peerstreams::lower(*peer.published)]);
            const int32_t chosen = bitrateOf(*peer.chosen);
            notes.add(notekind::kSplitByClass,
                      fmt::format("peer {}: receives {} ({}), its lower stream {} is {}: {} definition", uid, chosen,
                                  definitionLabel(definitions.classOf(chosen)), lower,
                                  definitionLabel(definitions.classOf(lower)),
                                  high ? "another class, high" : "the same class, low"));
        }
    }
}

std::vector<int32_t> bitratesOf(const std::vector<Record>& records) {
    std::vector<int32_t> bitrates;
    bitrates.reserve(records.size());
    for (const Record& record : records) {
        bitrates.push_back(bitrateOf(record));
    }
    return bitrates;
}

}  // namespace

void AnswerNotes::onCamera(const UploadAnswer& answer, TimelineStep& step) {
    NoteList notes(step);
    const std::vector<Record>& streams = answer.records.value_or(std::vector<Record>());
    if (streams.empty()) {
        notes.add(notekind::kNoCamera,
                  "no camera stream: the local user shares, and of the two merged streams neither is 720P or above");
    }
    notesOnRecords(streams, step.rules, notes);
    if (fired(step.rules, ktrlog::UlForceHD::id) || fired(step.rules, ktrlog::UlLargeMeeting::id)) {
        notes.add(notekind::kUnranked,
                  "dft is the definition table's own value: force-HD and large-meeting answers are not ranked");
    } else if (!streams.empty()) {
        notes.add(notekind::kRanked,
                  "dft holds the stream's rank: 1 for the only or the higher-bitrate stream, 2 for the lower");
    }
    std::vector<int32_t> bitrates = bitratesOf(streams);
    const std::string same = bitrates.empty()
                                 ? "unchanged: no camera stream, as in the previous camera decision"
                                 : fmt::format(
                                       "unchanged: {} camera stream(s) as in the previous camera decision, every "
                                       "bitrate within {} of it (resolution and definition are not compared)",
                                       bitrates.size(), kChangeDistance);
    notes.add(flagNote(answer.changed.value_or(false), cameraDifference(bitrates, m_lastCamera),
                       {notekind::kCameraUnchanged, same}));
    m_lastCamera = std::move(bitrates);
}

void AnswerNotes::onDownload(const DownloadAnswer& answer, TimelineStep& step) {
    NoteList notes(step);
    const std::vector<PeerRequest>& requests = answer.records.value_or(std::vector<PeerRequest>());
    const ParsedLine* estimate = firstLine(step.rules, ktrlog::DlRealAdjustEstimate::id);
    const bool cut =
        estimate != nullptr && (estimate->integer("net_status") == 4 || estimate->integer("net_status") == 5);
    if (cut && !requests.empty()) {
        notes.add(notekind::kCutFromChosen,
                  fmt::format("a cut is sized from each peer's chosen stream (20 % or 30 % of it, at least 92160 "
                              "shared among the cut peers), never from the estimate's bitrate ({})",
                              estimate->integer("bitrate")));
    }
    std::map<uint64_t, int32_t> bitrates;
    for (const PeerRequest& request : requests) {
        bitrates[request.uid] = bitrateOf(request);
        const auto peer = step.state->peers.find(request.uid);
        if (peer != step.state->peers.end() && peer->second.chosen && peer->second.choice) {
            notes.add(notekind::kReceives, fmt::format("peer {}: receives {} ({} stream), asked for {}", request.uid,
                                                       bitrateOf(*peer->second.chosen),
                                                       choiceName(*peer->second.choice), bitrateOf(request)));
        }
        if (isBuiltIn720(request)) {
            notes.add(notekind::kRequestBuiltIn720,
                      fmt::format("peer {}: 1080x720 is the built-in 720P entry (width 1080, not 1280)", request.uid));
        }
    }
    // With no report stored the policy returns before it adjusts, and keeps the previous requests.
    if (fired(step.rules, ktrlog::DlAdjustNoPeer::id)) {
        notes.add(notekind::kDownloadNoPeer,
                  "unchanged: no peer report is stored, so nothing is adjusted; the next adjustment is compared with "
                  "the requests before this one");
        return;
    }
    const std::string same = bitrates.empty()
                                 ? "unchanged: no request, as in the previous adjustment"
                                 : fmt::format(
                                       "unchanged: the same {} peer(s) as the previous adjustment, every bitrate "
                                       "within {} of its previous request (other fields are not compared)",
                                       bitrates.size(), kChangeDistance);
    notes.add(flagNote(answer.changed.value_or(false), downloadDifference(bitrates, m_lastRequests),
                       {notekind::kDownloadUnchanged, same}));
    m_lastRequests = std::move(bitrates);
}

void AnswerNotes::annotate(TimelineStep& step, const DefinitionTable& definitions) {
    NoteList notes(step);
    if (const auto* upload = std::get_if<UploadAnswer>(&step.answer)) {
        if (upload->channel == 2) {
            notesOnShare(*upload, step.rules, notes);
        } else {
            onCamera(*upload, step);
        }
    } else if (const auto* download = std::get_if<DownloadAnswer>(&step.answer)) {
        onDownload(*download, step);
    } else if (const auto* split = std::get_if<HdLdAnswer>(&step.answer)) {
        notesOnSplit(*split, *step.state, definitions, notes);
    } else if (const auto* definition = std::get_if<DefinitionAnswer>(&step.answer)) {
        notesOnRecords(definition->records.value_or(std::vector<Record>()), step.rules, notes);
        notes.add(notekind::kLookup,
                  "the lookup answers the highest of 720P, 480P and 240P whose minimum bitrate the bitrate "
                  "reaches; 0 and 3145728 or more answer 480P");
    }
}

}  // namespace ktr
