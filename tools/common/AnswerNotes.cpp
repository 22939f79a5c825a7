#include "AnswerNotes.h"

#include <fmt/format.h>

#include <algorithm>

#include "KTRLogFormats.h"

namespace ktr {
namespace {

using tarn::video::VideoStreamInfo;

bool fired(const std::vector<ParsedLine>& lines, std::string_view id) {
    return std::any_of(lines.begin(), lines.end(), [id](const ParsedLine& line) { return line.format->id == id; });
}

const ParsedLine* firstLine(const std::vector<ParsedLine>& lines, std::string_view id) {
    const auto found =
        std::find_if(lines.begin(), lines.end(), [id](const ParsedLine& line) { return line.format->id == id; });
    return found == lines.end() ? nullptr : &*found;
}

bool isAllZero(const VideoStreamInfo& s) {
    // The rank may have been written into dft; every other field is what the table gave.
    return s.channel == 0 && s.width == 0 && s.height == 0 && s.fps == 0 && s.bitrate == 0 && s.maxbitrate == 0 &&
           s.minbitrate == 0;
}

bool isBuiltIn720(const VideoStreamInfo& s) {
    return s.width == 1080 && s.height == 720;
}

const PeerState* peerOf(const StateSnapshot& state, uint64_t uid) {
    const auto found =
        std::find_if(state.peers.begin(), state.peers.end(), [uid](const PeerState& peer) { return peer.uid == uid; });
    return found == state.peers.end() ? nullptr : &*found;
}

// The definition whose empty entry a camera decision read (the scene default without a table entry).
std::string emptyDefinition(const std::vector<ParsedLine>& lines) {
    for (const ParsedLine& line : lines) {
        if (line.format->id == ktrlog::DftInfoByDft::id && line.integer("bitrate") == 0 && line.integer("width") == 0) {
            return definitionLabel(static_cast<int32_t>(line.integer("dft")));
        }
    }
    return "the chosen definition";
}

void notesOnRecords(const std::vector<VideoStreamInfo>& records, const std::vector<ParsedLine>& lines,
                    std::vector<std::string>& notes) {
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

void notesOnCamera(const UploadAnswer& answer, const std::vector<ParsedLine>& lines, std::vector<std::string>& notes) {
    if (answer.streams.empty()) {
        notes.push_back(
            "no camera stream: the local user shares, and of the two merged streams neither is 720P or above");
    }
    notesOnRecords(answer.streams, lines, notes);
    if (fired(lines, ktrlog::UlForceHD::id) || fired(lines, ktrlog::UlLargeMeeting::id)) {
        notes.push_back("dft is the definition table's own value: force-HD and large-meeting answers are not ranked");
    } else if (!answer.streams.empty()) {
        notes.push_back("dft holds the stream's rank: 1 for the only or the higher-bitrate stream, 2 for the lower");
    }
    notes.push_back(answer.changed
                        ? "changed: the stream count differs from the previous camera decision, or a bitrate moved by "
                          "30720 or more"
                        : "unchanged: same stream count as the previous camera decision and every bitrate within "
                          "30720 of it (resolution and definition are not compared)");
}

void notesOnShare(const UploadAnswer& answer, const std::vector<ParsedLine>& lines, std::vector<std::string>& notes) {
    if (!answer.streams.empty() && isAllZero(answer.streams.back())) {
        notes.push_back(
            "no share (channel 2) table was given: the share record stays all zero until a definitions "
            "record of channel 2 and height 720 is supplied");
    } else {
        notesOnRecords(answer.streams, lines, notes);
    }
    notes.push_back("share answers always report a change; they do not touch the camera's previous decision");
}

void notesOnDownload(const DownloadAnswer& answer, const std::vector<ParsedLine>& lines, const StateSnapshot& state,
                     std::vector<std::string>& notes) {
    const ParsedLine* estimate = firstLine(lines, ktrlog::DlRealAdjustEstimate::id);
    const bool cut =
        estimate != nullptr && (estimate->integer("net_status") == 4 || estimate->integer("net_status") == 5);
    if (cut && !answer.requests.empty()) {
        notes.push_back(
            fmt::format("a cut is sized from each peer's chosen stream (20 % or 30 % of it, at least 92160 "
                        "shared among the cut peers), never from the estimate's bitrate ({})",
                        estimate->integer("bitrate")));
    }
    for (const auto& [uid, request] : answer.requests) {
        const PeerState* peer = peerOf(state, uid);
        if (peer != nullptr && peer->chosen) {
            notes.push_back(fmt::format("peer {}: receives {} ({} stream), asked for {}", uid, peer->chosen->bitrate,
                                        choiceName(peer->choice), request.bitrate));
        }
        if (isBuiltIn720(request)) {
            notes.push_back(fmt::format("peer {}: 1080x720 is the built-in 720P entry (width 1080, not 1280)", uid));
        }
    }
    notes.push_back(answer.changed ? "changed: the number of requests differs from the previous adjustment"
                                   : "unchanged: as many requests as the previous adjustment; the flag compares only "
                                     "the count, not the peers or bitrates");
}

void notesOnSplit(const HdLdAnswer& answer, const StateSnapshot& state, const DefinitionTable& definitions,
                  std::vector<std::string>& notes) {
    for (const PeerState& peer : state.peers) {
        if (!peer.received) {
            continue;
        }
        const bool high = answer.hd.count(peer.uid) != 0;
        if (!peer.published || peer.published->size() < 2) {
            notes.push_back(fmt::format("peer {}: {} reported, nothing lower to receive: counted as high definition",
                                        peer.uid, peer.published ? "one stream or none" : "no stream"));
        } else if (peer.chosen) {
            const VideoStreamInfo& first = (*peer.published)[0];
            const VideoStreamInfo& second = (*peer.published)[1];
            const VideoStreamInfo& lower = first.bitrate > second.bitrate ? second : first;
            notes.push_back(fmt::format("peer {}: receives {} ({}), its lower stream {} is {}: {} definition", peer.uid,
                                        peer.chosen->bitrate,
                                        definitionLabel(definitions.classOf(peer.chosen->bitrate)), lower.bitrate,
                                        definitionLabel(definitions.classOf(lower.bitrate)),
                                        high ? "another class, high" : "the same class, low"));
        }
    }
}

}  // namespace

std::vector<std::string> answerNotes(const Answer& answer, const std::vector<ParsedLine>& lines,
                                     const StateSnapshot& state, const DefinitionTable& definitions) {
    std::vector<std::string> notes;
    if (const auto* upload = std::get_if<UploadAnswer>(&answer)) {
        upload->channel == 2 ? notesOnShare(*upload, lines, notes) : notesOnCamera(*upload, lines, notes);
    } else if (const auto* download = std::get_if<DownloadAnswer>(&answer)) {
        notesOnDownload(*download, lines, state, notes);
    } else if (const auto* split = std::get_if<HdLdAnswer>(&answer)) {
        notesOnSplit(*split, state, definitions, notes);
    } else if (const auto* definition = std::get_if<DefinitionAnswer>(&answer)) {
        notesOnRecords({definition->info}, lines, notes);
        notes.push_back(
            "the lookup answers the highest of 720P, 480P and 240P whose minimum bitrate the bitrate "
            "reaches; 0 and 3145728 or more answer 480P");
    }
    return notes;
}

}  // namespace ktr
