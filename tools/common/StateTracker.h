// Follows the library's state from the outside. The interface shows neither the stream chosen for each
// peer nor the HD/LD split between questions, and asking would change the run (log lines, the cut
// rotation, rand()). So the state is derived from the inputs, the answers and the logged lines; what
// they do not show stays unknown.
#ifndef KTRSDK_TOOLS_COMMON_STATETRACKER_H
#define KTRSDK_TOOLS_COMMON_STATETRACKER_H

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "DefinitionTable.h"
#include "LogCatalogue.h"
#include "Scenario.h"
#include "Timeline.h"

namespace ktr {

class StateTracker {
public:
    // Takes one step into account. Returns a note for every place where the library's own output
    // contradicts the derived state (the state then follows the library).
    std::vector<std::string> apply(const Action& action, const Answer& answer, const std::vector<ParsedLine>& lines);

    StateSnapshot snapshot() const;
    const DefinitionTable& definitions() const { return m_definitions; }

private:
    struct Peer {
        std::optional<std::vector<tarn::video::VideoStreamInfo>> published;
        bool received = false;
        StreamChoice choice = StreamChoice::Unknown;
        std::optional<tarn::video::VideoStreamInfo> chosen;
    };

    void applyInput(const Action& action);
    void applyLine(const ParsedLine& line, std::vector<std::string>& notes);
    void startChoice(uint64_t uid, int64_t streamCount);
    void finishChoice(bool upper, uint64_t uid, int64_t bitrate, std::vector<std::string>& notes);
    // Compares what a line shows of a peer's chosen stream (its bitrate, and one bound when given) with
    // the derived stream.
    void checkChosen(uint64_t uid, int64_t bitrate, int32_t tarn::video::VideoStreamInfo::*bound, int64_t boundValue,
                     std::vector<std::string>& notes);
    void checkAnswer(const Answer& answer, std::vector<std::string>& notes);
    void checkSplit(const HdLdAnswer& answer, std::vector<std::string>& notes);
    void checkRaises(const DownloadAnswer& answer, std::vector<std::string>& notes);
    void forgetUnknownPeers();

    Definition definitionOf(const Peer& peer) const;
    void markUnknown(uint64_t uid);

    std::map<uint64_t, Peer> m_peers;
    SceneState m_scene;
    EstimateState m_download;
    EstimateState m_upload;
    std::vector<SelectRequestState> m_requests;
    bool m_forceHD = false;
    DefinitionTable m_definitions;
    std::optional<int64_t> m_adjustStatus;  // the net status of this step's download adjustment
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_STATETRACKER_H
