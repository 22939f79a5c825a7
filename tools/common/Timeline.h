// The timeline: what every ktr subcommand builds and every writer reads. One TimelineStep per input
// event or question: the input, the library's answer, the lines it logged, the rules those lines report,
// notes on answers that read as wrong, and the state after the step.
#ifndef KTRSDK_TOOLS_COMMON_TIMELINE_H
#define KTRSDK_TOOLS_COMMON_TIMELINE_H

#include <cstdint>
#include <map>
#include <nlohmann/json.hpp>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <variant>
#include <vector>

#include "IKTRSDK.h"
#include "LibraryLog.h"
#include "LogCatalogue.h"
#include "Scenario.h"

namespace ktr {

struct UploadAnswer {
    int32_t channel;  // 2: the share stream
    std::vector<tarn::video::VideoStreamInfo> streams;
    bool changed;
};
struct DownloadAnswer {
    std::map<uint64_t, tarn::video::VideoStreamInfo> requests;
    bool changed;
};
struct HdLdAnswer {
    std::set<uint64_t> hd;
    std::set<uint64_t> ld;
};
struct DefinitionAnswer {
    int32_t bitrate;
    tarn::video::VideoStreamInfo info;
};
// Events have no answer.
using Answer = std::variant<std::monostate, UploadAnswer, DownloadAnswer, HdLdAnswer, DefinitionAnswer>;

// A logged line that the catalogue recognises, with its explanation; format is null for a line that
// matches no known format (another library version).
struct FiredRule {
    const LogFormat* format;
    LogLevel level;
    std::string explanation;
};

// Which of its published streams the download policy receives from a peer.
enum class StreamChoice { Upper, Lower, Only, Nothing, Unknown };
enum class Definition { High, Low, Unknown };

struct PeerState {
    uint64_t uid = 0;
    std::optional<std::vector<tarn::video::VideoStreamInfo>> published;  // none: no report stored
    bool received = false;                                               // the download policy handles the peer
    StreamChoice choice = StreamChoice::Unknown;
    std::optional<tarn::video::VideoStreamInfo> chosen;  // when known
    Definition definition = Definition::Unknown;
};

struct UserKey {
    uint64_t uid;
    int32_t dt;
    bool operator<(const UserKey& other) const { return std::tie(uid, dt) < std::tie(other.uid, other.dt); }
};

struct SceneState {
    uint64_t localUid = 0;
    int32_t localDt = 0;
    std::set<UserKey> users;     // the conference's remote users
    std::set<UserKey> received;  // the list given by setUsers
    bool sharing = false;
    uint64_t sharer = 0;
    bool speaking = false;
    uint64_t speaker = 0;
    std::optional<int32_t> sceneType;  // none until the host sets one
};

// A network estimate as the host last gave it; a fresh instance starts from these values.
struct EstimateState {
    int32_t status = 1;
    int32_t score = 100;
    int32_t bitrate = 300000;
    int32_t maxBitrate = 0;
};

struct SelectRequestState {
    int32_t width, height, fps, bitrate;  // bitrate as amended by the library
};

struct StateSnapshot {
    SceneState scene;
    std::vector<PeerState> peers;  // ascending uid: every peer reported or received
    EstimateState download;
    EstimateState upload;
    std::vector<SelectRequestState> selectRequests;
    bool forceHD = false;
};

struct TimelineStep {
    int index = 0;
    double time = 0;    // seconds from the start
    std::string event;  // the step's name as the input wrote it
    Action action;
    nlohmann::json input;  // its fields as the input wrote them
    Answer answer;
    std::vector<LogLine> log;
    std::vector<FiredRule> rules;
    std::vector<std::string> notes;       // answers that read as wrong, and why they are right here
    std::vector<std::string> mismatches;  // where the library's output contradicts the derived state
    StateSnapshot state;
    // Answer fields the source does not show (a rebuilt log carries no fps, for one): top-level keys of the
    // answer's JSON ("changed", "records", "hd", ...) or fields of each record ("fps", "dft", ...), written
    // as null. Empty for a replay.
    std::vector<std::string> unknownAnswerFields;
};

// What a timeline came from.
struct TimelineHeader {
    std::string command;  // "replay", ...
    std::string source;   // the scenario's name
    std::string libraryPath;
    std::string librarySoname;
};

const char* choiceName(StreamChoice choice);
const char* definitionName(Definition definition);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_TIMELINE_H
