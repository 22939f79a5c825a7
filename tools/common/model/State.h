// The library's state as the tools follow it from the outside: the scene, every peer with its published
// streams and the stream chosen for it, both network estimates and the select requests. A timeline writes
// the whole state on its first step and after that only what each step changed (StateChange); a reader
// merges each change into what it holds.
#ifndef KTRSDK_TOOLS_COMMON_MODEL_STATE_H
#define KTRSDK_TOOLS_COMMON_MODEL_STATE_H

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <vector>

#include "Actions.h"
#include "FieldCodec.h"
#include "Records.h"

namespace ktr {

// Which of its published streams the download policy receives from a peer.
enum class StreamChoice { Upper, Lower, Only, Nothing };
enum class Definition { High, Low };

const char* choiceName(StreamChoice choice);
const char* definitionName(Definition definition);
void writeValue(JsonOut& out, StreamChoice choice);
void writeValue(JsonOut& out, Definition definition);
void readValue(FieldReader& in, const char* key, StreamChoice& choice, Nulls nulls);
void readValue(FieldReader& in, const char* key, Definition& definition, Nulls nulls);

// A user as the scene keeps it: a user is the same user when uid and device type are both equal.
struct UserKey {
    uint64_t uid = 0;
    Known<uint16_t> dt = 0;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("uid", &UserKey::uid);
        visit("dt", &UserKey::dt);
    }
    bool operator<(const UserKey& other) const;
    bool operator==(const UserKey& other) const;
};

struct SceneState {
    uint64_t localUid = 0;
    int32_t localDt = 0;
    std::set<UserKey> users;          // the conference's remote users
    std::set<UserKey> receivedUsers;  // the list given by setUsers
    bool sharing = false;
    uint64_t sharer = 0;
    bool speaking = false;
    uint64_t speaker = 0;
    Known<int32_t> sceneType;  // null until the host sets one
    bool forceHD = false;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("local_uid", &SceneState::localUid);
        visit("local_dt", &SceneState::localDt);
        visit("users", &SceneState::users);
        visit("received_users", &SceneState::receivedUsers);
        visit("sharing", &SceneState::sharing);
        visit("sharer", &SceneState::sharer);
        visit("speaking", &SceneState::speaking);
        visit("speaker", &SceneState::speaker);
        visit("scene_type", &SceneState::sceneType);
        visit("force_hd", &SceneState::forceHD);
    }
};

// A network estimate as the host last gave it; a fresh instance starts from these values.
struct EstimateState {
    int32_t status = 1;
    int32_t score = 100;
    int32_t bitrate = 300000;
    int32_t maxBitrate = 0;

    template <class Visit>
    static void fields(Visit& visit) {
        visit("status", &EstimateState::status);
        visit("score", &EstimateState::score);
        visit("bitrate", &EstimateState::bitrate);
        visit("max_bitrate", &EstimateState::maxBitrate);
    }
    bool operator==(const EstimateState& other) const;
};

struct PeerState {
    Known<std::vector<Record>> published;  // null: no report stored
    bool received = false;                 // the download policy handles the peer
    Known<StreamChoice> choice;            // null: not known; "none" for a peer not received
    Known<Record> chosen;                  // null: not received, or not known
    Known<Definition> definition;          // null: not received, or not known

    template <class Visit>
    static void fields(Visit& visit) {
        visit("published", &PeerState::published);
        visit("received", &PeerState::received);
        visit("choice", &PeerState::choice);
        visit("chosen", &PeerState::chosen);
        visit("definition", &PeerState::definition);
    }
    bool operator==(const PeerState& other) const;
};

struct StateSnapshot {
    SceneState scene;
    std::map<uint64_t, PeerState> peers;  // every peer reported or received
    EstimateState download;
    EstimateState upload;
    std::vector<SelectRequest> selectRequests;  // bitrates as the library amended them
};

// What one step changed: the changed fields of each section, each peer that changed (null: forgotten),
// and the select requests when they changed.
struct StateChange {
    template <class T>
    struct Section {
        T values;
        codec::FieldMask fields = 0;  // which of values are new
    };

    Section<SceneState> scene;
    std::map<uint64_t, std::optional<Section<PeerState>>> peers;
    Section<EstimateState> download;
    Section<EstimateState> upload;
    std::optional<std::vector<SelectRequest>> selectRequests;

    // The change that turns a fresh reader's empty state into state.
    static StateChange whole(const StateSnapshot& state);
    // What differs from before to after.
    static StateChange between(const StateSnapshot& before, const StateSnapshot& after);
    bool empty() const;
    void applyTo(StateSnapshot& state) const;
    // This change followed by later, as one change.
    void merge(const StateChange& later);
};

// The state, or a change, as the "state" object of a timeline step.
void writeState(JsonOut& out, const StateChange& change);
StateChange readStateChange(FieldReader& in, Nulls nulls);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_MODEL_STATE_H
