#include "State.h"

#include <charconv>
#include <tuple>

#include <fmt/format.h>

namespace ktr {
namespace {

constexpr const char* kScene = "scene";
constexpr const char* kPeers = "peers";
constexpr const char* kDownload = "download_estimate";
constexpr const char* kUpload = "upload_estimate";
constexpr const char* kSelectRequests = "select_requests";

constexpr std::pair<StreamChoice, const char*> kChoiceNames[] = {{StreamChoice::Upper, "upper"},
                                                                 {StreamChoice::Lower, "lower"},
                                                                 {StreamChoice::Only, "only"},
                                                                 {StreamChoice::Nothing, "none"}};
constexpr std::pair<Definition, const char*> kDefinitionNames[] = {{Definition::High, "high"},
                                                                   {Definition::Low, "low"}};

template <class Enum, size_t N>
void readNamed(FieldReader& in, const char* key, Enum& value, const std::pair<Enum, const char*> (&names)[N]) {
    const std::string text = in.text(key, "");
    for (const auto& [named, name] : names) {
        if (text == name) {
            value = named;
            return;
        }
    }
    std::string valid;
    for (const auto& entry : names) {
        valid += fmt::format("{}\"{}\"", valid.empty() ? "" : ", ", entry.second);
    }
    in.fail(key, fmt::format("expected one of {}, got {}", valid, FieldReader::describe(in.child(key))));
}

template <class T>
void mergeSection(StateChange::Section<T>& into, const StateChange::Section<T>& later) {
    codec::copyFieldsIn(into.values, later.values, later.fields);
    into.fields |= later.fields;
}

template <class T>
void writeSection(JsonOut& out, const char* key, const StateChange::Section<T>& section) {
    if (section.fields != 0) {
        out.key(key);
        out.beginObject();
        codec::writeFieldsIn(out, section.values, section.fields);
        out.endObject();
    }
}

template <class T>
void readSection(FieldReader& in, const char* key, StateChange::Section<T>& section, Nulls nulls) {
    if (in.contains(key)) {
        in.object(key, [&](FieldReader& object) {
            section.fields = codec::readFieldsPresent(object, section.values, nulls);
        });
    }
}

template <class T>
StateChange::Section<T> wholeSection(const T& values) {
    return StateChange::Section<T>{values, codec::allFields<T>()};
}

template <class T>
StateChange::Section<T> sectionBetween(const T& before, const T& after) {
    const codec::FieldMask fields = codec::changedFields(before, after);
    return StateChange::Section<T>{fields != 0 ? after : T{}, fields};
}

}  // namespace

const char* choiceName(StreamChoice choice) {
    for (const auto& [named, name] : kChoiceNames) {
        if (named == choice) {
            return name;
        }
    }
    return "";
}

const char* definitionName(Definition definition) {
    for (const auto& [named, name] : kDefinitionNames) {
        if (named == definition) {
            return name;
        }
    }
    return "";
}

void writeValue(JsonOut& out, StreamChoice choice) {
    out.string(choiceName(choice));
}

void writeValue(JsonOut& out, Definition definition) {
    out.string(definitionName(definition));
}

void readValue(FieldReader& in, const char* key, StreamChoice& choice, Nulls) {
    readNamed(in, key, choice, kChoiceNames);
}

void readValue(FieldReader& in, const char* key, Definition& definition, Nulls) {
    readNamed(in, key, definition, kDefinitionNames);
}

bool UserKey::operator<(const UserKey& other) const {
    return std::tie(uid, dt) < std::tie(other.uid, other.dt);
}

bool UserKey::operator==(const UserKey& other) const {
    return std::tie(uid, dt) == std::tie(other.uid, other.dt);
}

bool EstimateState::operator==(const EstimateState& other) const {
    return std::tie(status, score, bitrate, maxBitrate) ==
           std::tie(other.status, other.score, other.bitrate, other.maxBitrate);
}

bool PeerState::operator==(const PeerState& other) const {
    return std::tie(published, received, choice, chosen, definition) ==
           std::tie(other.published, other.received, other.choice, other.chosen, other.definition);
}

StateChange StateChange::whole(const StateSnapshot& state) {
    StateChange change;
    change.scene = wholeSection(state.scene);
    for (const auto& [uid, peer] : state.peers) {
        change.peers.emplace(uid, wholeSection(peer));
    }
    change.download = wholeSection(state.download);
    change.upload = wholeSection(state.upload);
    change.selectRequests = state.selectRequests;
    return change;
}

StateChange StateChange::between(const StateSnapshot& before, const StateSnapshot& after) {
    StateChange change;
    change.scene = sectionBetween(before.scene, after.scene);
    for (const auto& [uid, peer] : before.peers) {
        if (after.peers.count(uid) == 0) {
            change.peers.emplace(uid, std::nullopt);
        }
    }
    for (const auto& [uid, peer] : after.peers) {
        const auto was = before.peers.find(uid);
        if (was == before.peers.end()) {
            change.peers.emplace(uid, wholeSection(peer));
        } else if (Section<PeerState> section = sectionBetween(was->second, peer); section.fields != 0) {
            change.peers.emplace(uid, std::move(section));
        }
    }
    change.download = sectionBetween(before.download, after.download);
    change.upload = sectionBetween(before.upload, after.upload);
    if (!(before.selectRequests == after.selectRequests)) {
        change.selectRequests = after.selectRequests;
    }
    return change;
}

bool StateChange::empty() const {
    return scene.fields == 0 && peers.empty() && download.fields == 0 && upload.fields == 0 && !selectRequests;
}

void StateChange::applyTo(StateSnapshot& state) const {
    codec::copyFieldsIn(state.scene, scene.values, scene.fields);
    for (const auto& [uid, peer] : peers) {
        if (peer) {
            codec::copyFieldsIn(state.peers[uid], peer->values, peer->fields);
        } else {
            state.peers.erase(uid);
        }
    }
    codec::copyFieldsIn(state.download, download.values, download.fields);
    codec::copyFieldsIn(state.upload, upload.values, upload.fields);
    if (selectRequests) {
        state.selectRequests = *selectRequests;
    }
}

void StateChange::merge(const StateChange& later) {
    mergeSection(scene, later.scene);
    for (const auto& [uid, peer] : later.peers) {
        auto& held = peers[uid];
        if (peer && held) {
            mergeSection(*held, *peer);
        } else {
            held = peer;
        }
    }
    mergeSection(download, later.download);
    mergeSection(upload, later.upload);
    if (later.selectRequests) {
        selectRequests = later.selectRequests;
    }
}

void writeState(JsonOut& out, const StateChange& change) {
    out.beginObject();
    writeSection(out, kScene, change.scene);
    if (!change.peers.empty()) {
        out.key(kPeers);
        out.beginObject();
        for (const auto& [uid, peer] : change.peers) {
            const fmt::format_int digits(uid);
            out.key(std::string_view(digits.data(), digits.size()));
            if (peer) {
                out.beginObject();
                codec::writeFieldsIn(out, peer->values, peer->fields);
                out.endObject();
            } else {
                out.null();
            }
        }
        out.endObject();
    }
    writeSection(out, kDownload, change.download);
    writeSection(out, kUpload, change.upload);
    if (change.selectRequests) {
        out.key(kSelectRequests);
        codec::writeValue(out, *change.selectRequests);
    }
    out.endObject();
}

StateChange readStateChange(FieldReader& in, Nulls nulls) {
    StateChange change;
    readSection(in, kScene, change.scene, nulls);
    if (in.contains(kPeers)) {
        const JsonValue& peers = in.child(kPeers);
        if (!peers.is_object()) {
            in.fail(kPeers, "expected an object of peers by uid, got " + FieldReader::describe(peers));
        }
        for (const auto& item : peers.items()) {
            uint64_t uid = 0;
            const std::string& key = item.key();
            const auto parsed = std::from_chars(key.data(), key.data() + key.size(), uid);
            if (parsed.ec != std::errc() || parsed.ptr != key.data() + key.size()) {
                in.fail(kPeers, fmt::format("expected uids as keys, got \"{}\"", key));
            }
            if (item.value().is_null()) {
                change.peers[uid] = std::nullopt;
                continue;
            }
            FieldReader peer(item.value(), in.place().member(kPeers).member(key));
            StateChange::Section<PeerState> section;
            section.fields = codec::readFieldsPresent(peer, section.values, nulls);
            peer.finish();
            change.peers[uid] = section;
        }
    }
    readSection(in, kDownload, change.download, nulls);
    readSection(in, kUpload, change.upload, nulls);
    if (in.contains(kSelectRequests)) {
        std::vector<SelectRequest> requests;
        codec::readValue(in, kSelectRequests, requests, nulls);
        change.selectRequests = std::move(requests);
    }
    return change;
}

}  // namespace ktr
