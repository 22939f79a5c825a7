#include "Actions.h"

#include <fmt/format.h>

#include "NameSuggestion.h"

namespace ktr {
namespace {

using Reader = Action (*)(FieldReader& in, Nulls nulls);

template <class T>
Action readFieldsOf(FieldReader& in, Nulls nulls) {
    T action{};
    codec::readFields(in, action, nulls);
    return action;
}

template <bool kUpload>
Action readEstimate(FieldReader& in, Nulls nulls) {
    NetEstimate estimate;
    codec::readFields(in, estimate, nulls);
    estimate.upload = kUpload;
    return estimate;
}

// The share question asks the upload question on channel 2; the channel may be written out.
Action readShare(FieldReader& in, Nulls nulls) {
    AskUpload share{2};
    if (in.contains("channel")) {
        codec::readFields(in, share, nulls);
    }
    if (share.channel != 2) {
        in.fail("channel", "a share question asks for channel 2");
    }
    return share;
}

Action readDefinitions(FieldReader& in, Nulls nulls) {
    requireStreamChannels(in, "streams");
    return readFieldsOf<Definitions>(in, nulls);
}

template <class T>
bool holds(const Action& action) {
    return std::holds_alternative<T>(action);
}

template <bool kUpload>
bool holdsEstimate(const Action& action) {
    const auto* estimate = std::get_if<NetEstimate>(&action);
    return estimate != nullptr && estimate->upload == kUpload;
}

bool never(const Action&) {
    return false;
}

struct ActionKind {
    const char* name;
    Reader read;
    bool (*names)(const Action&);  // whether an action is written with this name
};

// Every action's name, once. "share" is another way to ask the share question: it reads as an upload
// question on channel 2, which is written back as "upload".
constexpr ActionKind kKinds[] = {
    {"init", readFieldsOf<Init>, holds<Init>},
    {"sceneType", readFieldsOf<SceneType>, holds<SceneType>},
    {"config", readFieldsOf<Config>, holds<Config>},
    {"addUser", readFieldsOf<AddUser>, holds<AddUser>},
    {"removeUser", readFieldsOf<RemoveUser>, holds<RemoveUser>},
    {"setUsers", readFieldsOf<SetUsers>, holds<SetUsers>},
    {"sharing", readFieldsOf<Sharing>, holds<Sharing>},
    {"speaker", readFieldsOf<Speaker>, holds<Speaker>},
    {"peerReport", readFieldsOf<PeerReport>, holds<PeerReport>},
    {"clearPeerReports", readFieldsOf<ClearPeerReports>, holds<ClearPeerReports>},
    {"selectRequest", readFieldsOf<SelectRequest>, holds<SelectRequest>},
    {"clearSelectRequests", readFieldsOf<ClearSelectRequests>, holds<ClearSelectRequests>},
    {"uploadNet", readEstimate<true>, holdsEstimate<true>},
    {"downloadNet", readEstimate<false>, holdsEstimate<false>},
    {"definitions", readDefinitions, holds<Definitions>},
    {"upload", readFieldsOf<AskUpload>, holds<AskUpload>},
    {"share", readShare, never},
    {"download", readFieldsOf<AskDownload>, holds<AskDownload>},
    {"hdld", readFieldsOf<AskHdLd>, holds<AskHdLd>},
    {"definitionOf", readFieldsOf<AskDefinition>, holds<AskDefinition>},
};

const ActionKind* kindNamed(const std::string& name) {
    for (const ActionKind& kind : kKinds) {
        if (name == kind.name) {
            return &kind;
        }
    }
    return nullptr;
}

}  // namespace

void requireStreamChannels(FieldReader& in, const char* key) {
    if (!in.contains(key)) {
        return;
    }
    const JsonValue& streams = in.child(key);
    for (size_t i = 0; streams.is_array() && i < streams.size(); ++i) {
        if (streams[i].is_object() && !streams[i].contains("channel")) {
            in.fail(fmt::format("{}[{}].channel", key, i), "missing");
        }
    }
}

bool isQuestion(const Action& action) {
    return holds<AskUpload>(action) || holds<AskDownload>(action) || holds<AskHdLd>(action) ||
           holds<AskDefinition>(action);
}

const char* actionName(const Action& action) {
    for (const ActionKind& kind : kKinds) {
        if (kind.names(action)) {
            return kind.name;
        }
    }
    return "";  // unreachable: every alternative has a name
}

const std::vector<std::string>& actionNames() {
    static const std::vector<std::string> names = [] {
        std::vector<std::string> all;
        for (const ActionKind& kind : kKinds) {
            all.emplace_back(kind.name);
        }
        return all;
    }();
    return names;
}

bool isActionName(const std::string& name) {
    return kindNamed(name) != nullptr;
}

void writeActionFields(JsonOut& out, const Action& action) {
    std::visit([&](const auto& alternative) { codec::writeFields(out, alternative); }, action);
}

Action readAction(const std::string& name, FieldReader& in, Nulls nulls) {
    if (const ActionKind* kind = kindNamed(name)) {
        return kind->read(in, nulls);
    }
    const std::set<std::string> names(actionNames().begin(), actionNames().end());
    throw in.error("", fmt::format("unknown step \"{}\"", name) + suggestName(name, names, "steps"));
}

bool operator==(const Action& a, const Action& b) {
    if (a.index() != b.index() || std::string(actionName(a)) != actionName(b)) {
        return false;
    }
    std::string textA;
    std::string textB;
    JsonOut outA(textA);
    JsonOut outB(textB);
    writeActionFields(outA, a);
    writeActionFields(outB, b);
    return textA == textB;
}

}  // namespace ktr
