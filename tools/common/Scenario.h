#ifndef KTRSDK_TOOLS_COMMON_SCENARIO_H
#define KTRSDK_TOOLS_COMMON_SCENARIO_H

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <variant>
#include <vector>

#include "IKTRSDK.h"
#include "InputFile.h"

namespace ktr {

// Host events.
struct Init {
    uint64_t uid;
    int32_t dt;
};
struct SceneType {
    int32_t value;
};
struct Config {
    tarn::video::KTRConfig config;
};
struct AddUser {
    tarn::video::KTRUserInfo user;
};
struct RemoveUser {
    tarn::video::KTRUserInfo user;
};
struct SetUsers {
    std::vector<tarn::video::KTRUserInfo> users;
};
struct Sharing {
    bool sharing;
    uint64_t uid;
};
struct Speaker {
    bool speaking;
    uint64_t uid;
};
struct PeerReport {
    uint64_t uid;
    std::vector<tarn::video::VideoStreamInfo> streams;
};
struct ClearPeerReports {};
struct SelectRequest {
    int32_t width, height, fps, bitrate;
};
struct ClearSelectRequests {};
struct NetEstimate {
    bool upload;
    int32_t status, score, bitrate, maxBitrate;
};
struct Definitions {
    std::vector<tarn::video::VideoStreamInfo> streams;
};

// Questions.
struct AskUpload {
    int32_t channel;  // 2 asks for the share stream
};
struct AskDownload {
    int32_t channel;
};
struct AskHdLd {};
struct AskDefinition {
    int32_t bitrate;
};

using Action = std::variant<Init, SceneType, Config, AddUser, RemoveUser, SetUsers, Sharing, Speaker, PeerReport,
                            ClearPeerReports, SelectRequest, ClearSelectRequests, NetEstimate, Definitions, AskUpload,
                            AskDownload, AskHdLd, AskDefinition>;

struct Step {
    int index;         // 0 is the local user's init; the file's steps count from 1
    std::string name;  // as written in the file
    Action action;
    nlohmann::json input;  // the step's fields as written, without "step" and "comment" (step 0: "local")
};

struct Scenario {
    std::string name;
    std::vector<Step> steps;
    // Input that is accepted but suspicious, one message each, naming the file, the step and the field.
    std::vector<std::string> warnings;
};

// Bad input, with the file, the step and the field it concerns in its message.
class ScenarioError : public InputError {
public:
    using InputError::InputError;
};

// Parses a scenario from JSON text and checks it for suspicious input; fileName only names the input in
// messages.
Scenario parseScenario(const std::string& text, const std::string& fileName);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_SCENARIO_H
