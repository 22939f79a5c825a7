// What a host does: the events it feeds the library and the questions it asks, each with its name (the
// step name of a scenario, the event of a timeline) and its fields. A scenario writes a step as its name
// under "step" beside its fields; a timeline step carries the name as "event" and the fields as "input".
#ifndef KTRSDK_TOOLS_COMMON_MODEL_ACTIONS_H
#define KTRSDK_TOOLS_COMMON_MODEL_ACTIONS_H

#include <cstdint>
#include <string>
#include <variant>
#include <vector>

#include "FieldCodec.h"
#include "Records.h"

namespace ktr {

// Host events.
struct Init {
    uint64_t uid = 0;
    int32_t dt = 0;
    template <class Visit>
    static void fields(Visit& visit) {
        visit("uid", &Init::uid);
        visit("dt", &Init::dt);
    }
};
struct SceneType {
    int32_t value = 0;
    template <class Visit>
    static void fields(Visit& visit) {
        visit("value", &SceneType::value);
    }
};
struct Config : LocalConfig {};
struct AddUser : User {};
struct RemoveUser : User {};
struct SetUsers {
    std::vector<User> users;
    template <class Visit>
    static void fields(Visit& visit) {
        visit("users", &SetUsers::users);
    }
};
struct Sharing {
    bool sharing = false;
    uint64_t uid = 0;
    template <class Visit>
    static void fields(Visit& visit) {
        visit("sharing", &Sharing::sharing);
        visit("uid", &Sharing::uid);
    }
};
struct Speaker {
    bool speaking = false;
    uint64_t uid = 0;
    template <class Visit>
    static void fields(Visit& visit) {
        visit("speaking", &Speaker::speaking);
        visit("uid", &Speaker::uid);
    }
};
struct PeerReport {
    uint64_t uid = 0;
    Known<std::vector<Record>> streams = std::vector<Record>();
    template <class Visit>
    static void fields(Visit& visit) {
        visit("uid", &PeerReport::uid);
        visit("streams", &PeerReport::streams);
    }
};
struct ClearPeerReports {
    template <class Visit>
    static void fields(Visit&) {}
};
struct SelectRequest {
    int32_t width = 0;
    int32_t height = 0;
    int32_t fps = 0;
    int32_t bitrate = 0;
    bool operator==(const SelectRequest& other) const {
        return width == other.width && height == other.height && fps == other.fps && bitrate == other.bitrate;
    }
    template <class Visit>
    static void fields(Visit& visit) {
        visit("width", &SelectRequest::width);
        visit("height", &SelectRequest::height);
        visit("fps", &SelectRequest::fps);
        visit("bitrate", &SelectRequest::bitrate);
    }
};
struct ClearSelectRequests {
    template <class Visit>
    static void fields(Visit&) {}
};
// setULNetStatus (upload) or setDLNetStatus; the direction is the step's name, not a field.
struct NetEstimate {
    bool upload = false;
    int32_t status = 0;
    int32_t score = 0;
    int32_t bitrate = 0;
    int32_t maxBitrate = 0;
    template <class Visit>
    static void fields(Visit& visit) {
        visit("status", &NetEstimate::status);
        visit("score", &NetEstimate::score);
        visit("bitrate", &NetEstimate::bitrate);
        visit("max_bitrate", &NetEstimate::maxBitrate);
    }
};
// initStreamInfosForDft: a definition table; every record names its channel.
struct Definitions {
    std::vector<Record> streams;
    template <class Visit>
    static void fields(Visit& visit) {
        visit("streams", &Definitions::streams);
    }
};

// Questions.
struct AskUpload {
    Known<int32_t> channel = 1;  // 2 asks for the share stream
    template <class Visit>
    static void fields(Visit& visit) {
        visit("channel", &AskUpload::channel, 1);
    }
};
struct AskDownload {
    Known<int32_t> channel = 1;
    template <class Visit>
    static void fields(Visit& visit) {
        visit("channel", &AskDownload::channel, 1);
    }
};
struct AskHdLd {
    template <class Visit>
    static void fields(Visit&) {}
};
struct AskDefinition {
    int32_t bitrate = 0;
    template <class Visit>
    static void fields(Visit& visit) {
        visit("bitrate", &AskDefinition::bitrate);
    }
};

using Action = std::variant<Init, SceneType, Config, AddUser, RemoveUser, SetUsers, Sharing, Speaker, PeerReport,
                            ClearPeerReports, SelectRequest, ClearSelectRequests, NetEstimate, Definitions, AskUpload,
                            AskDownload, AskHdLd, AskDefinition>;

// Whether the action is a question (it has an answer).
bool isQuestion(const Action& action);

// The action's name as a scenario's "step" and a timeline's "event" write it.
const char* actionName(const Action& action);

// Every name a scenario may use, for messages about an unknown one.
const std::vector<std::string>& actionNames();

// The fields of an action, without braces, the name or any note.
void writeActionFields(JsonOut& out, const Action& action);
// The action named name with the fields that in holds; throws ScenarioError for an unknown name (with
// the nearest valid one) or a field the action does not take. The caller finishes the reader.
Action readAction(const std::string& name, FieldReader& in, Nulls nulls);
// Refuses a stream of the array field key that does not name its channel: a definition table holds a
// table for each channel.
void requireStreamChannels(FieldReader& in, const char* key);
// Whether a name is one of actionNames().
bool isActionName(const std::string& name);

bool operator==(const Action& a, const Action& b);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_ACTIONS_H
