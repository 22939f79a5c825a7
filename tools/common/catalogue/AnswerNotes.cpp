#include "AnswerNotes.h"

#include <fmt/format.h>

#include <algorithm>

#include "KTRLogFormats.h"
#include "PeerStreams.h"

namespace ktr {
namespace {

using Rules = std::vector<FiredRule>;

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

void notesOnRecords(const std::vector<Record>& records, const Rules& lines, std::vector<std::string>& notes) {
    for (size_t i = 0; i < records.size(); ++i) {
        if (isAllZero(records[i])) {
            notes.push_back(
                fmt::format("stream {} is all zero: {} has no entry in the definition table (the built-in "
                            "table has none for 180P); a definitions record of that height gives it one",
                            i + 1, emptyDefinition(lines)));
        } else if (isBuiltIn720(records[i])) {
            notes.push_back(
                fmt::format("stream {} is 1080x720: that is the built-in 720P entry (its width is 1080, "
                            "not 1280); a definitions record of height 720 replaces it",
                            i + 1));
        }
    }
}

void notesOnCamera(const UploadAnswer& answer, const Rules& lines, std::vector<std::string>& notes) {
    const std::vector<Record>& streams = answer.records.value_or(std::vector<Record>());
    if (streams.empty()) {
        notes.push_back(
            "no camera stream: the local user shares, and of the two merged streams neither is 720P or above");
    }
    notesOnRecords(streams, lines, notes);
    if (fired(lines, ktrlog::UlForceHD::id) || fired(lines, ktrlog::UlLargeMeeting::id)) {
        notes.push_back("dft is the definition table's own value: force-HD and large-meeting answers are not ranked");
    } else if (!streams.empty()) {
        notes.push_back("dft holds the stream's rank: 1 for the only or the higher-bitrate stream, 2 for the lower");
    }
    notes.push_back(answer.changed.value_or(false)
                        ? "changed: the stream count differs from the previous camera decision, or a bitrate moved by "
                          "30720 or more"
                        : "unchanged: same stream count as the previous camera decision and every bitrate within "
                          "30720 of it (resolution and definition are not compared)");
}

void notesOnShare(const UploadAnswer& answer, const Rules& lines, std::vector<std::string>& notes) {
    const std::vector<Record>& streams = answer.records.value_or(std::vector<Record>());
    if (!streams.empty() && isAllZero(streams.back())) {
        notes.push_back(
            "no share (channel 2) table was given: the share record stays all zero until a definitions "
            "record of channel 2 and height 720 is supplied");
    } else {
        notesOnRecords(streams, lines, notes);
    }
    notes.push_back("share answers always report a change; they do not touch the camera's previous decision");
}

void notesOnDownload(const DownloadAnswer& answer, const Rules& lines, const StateSnapshot& state,
                     std::vector<std::string>& notes) {
    const std::vector<PeerRequest>& requests = answer.records.value_or(std::vector<PeerRequest>());
    const ParsedLine* estimate = firstLine(lines, ktrlog::DlRealAdjustEstimate::id);
    const bool cut =
        estimate != nullptr && (estimate->integer("net_status") == 4 || estimate->integer("net_status") == 5);
    if (cut && !requests.empty()) {
        notes.push_back(
            fmt::format("a cut is sized from each peer's chosen stream (20 % or 30 % of it, at least 92160 "
                        "shared among the cut peers), never from the estimate's bitrate ({})",
                        estimate->integer("bitrate")));
    }
    for (const PeerRequest& request : requests) {
        const auto peer = state.peers.find(request.uid);
        if (peer != state.peers.end() && peer->second.chosen && peer->second.choice) {
            notes.push_back(fmt::format("peer {}: receives {} ({} stream), asked for {}", request.uid,
                                        bitrateOf(*peer->second.chosen), choiceName(*peer->second.choice),
                                        bitrateOf(request)));
        }
        if (isBuiltIn720(request)) {
            notes.push_back(
                fmt::format("peer {}: 1080x720 is the built-in 720P entry (width 1080, not 1280)", request.uid));
        }
    }
    notes.push_back(answer.changed.value_or(false)
                        ? "changed: the number of requests differs from the previous adjustment"
                        : "unchanged: as many requests as the previous adjustment; the flag compares only "
                          "the count, not the peers or bitrates");
}

void notesOnSplit(const HdLdAnswer& answer, const StateSnapshot& state, const DefinitionTable& definitions,
                  std::vector<std::string>& notes) {
    for (const auto& [uid, peer] : state.peers) {
        if (!peer.received) {
            continue;
        }
        const bool high = answer.hd && answer.hd->count(uid) != 0;
        if (!peer.published || !peerstreams::hasLower(*peer.published)) {
            notes.push_back(fmt::format("peer {}: {} reported, nothing lower to receive: counted as high definition",
                                        uid, peer.published ? "one stream or none" : "no stream"));
        } else if (peer.chosen) {
            const int32_t lower = bitrateOf((*peer.published)[*peerstreams::lower(*peer.published)]);
            const int32_t chosen = bitrateOf(*peer.chosen);
            notes.push_back(fmt::format("peer {}: receives {} ({}), its lower stream {} is {}: {} definition", uid,
                                        chosen, definitionLabel(definitions.classOf(chosen)), lower,
                                        definitionLabel(definitions.classOf(lower)),
                                        high ? "another class, high" : "the same class, low"));
        }
    }
}

}  // namespace

std::vector<std::string> answerNotes(const Answer& answer, const std::vector<FiredRule>& lines,
                                     const StateSnapshot& state, const DefinitionTable& definitions) {
    std::vector<std::string> notes;
    if (const auto* upload = std::get_if<UploadAnswer>(&answer)) {
        upload->channel == 2 ? notesOnShare(*upload, lines, notes) : notesOnCamera(*upload, lines, notes);
    } else if (const auto* download = std::get_if<DownloadAnswer>(&answer)) {
        notesOnDownload(*download, lines, state, notes);
    } else if (const auto* split = std::get_if<HdLdAnswer>(&answer)) {
        notesOnSplit(*split, state, definitions, notes);
    } else if (const auto* definition = std::get_if<DefinitionAnswer>(&answer)) {
        notesOnRecords(definition->records.value_or(std::vector<Record>()), lines, notes);
        notes.push_back(
            "the lookup answers the highest of 720P, 480P and 240P whose minimum bitrate the bitrate "
            "reaches; 0 and 3145728 or more answer 480P");
    }
    return notes;
}

}  // namespace ktr
