#ifndef KTRSDK_TOOLS_REPLAY_REPLAYER_H
#define KTRSDK_TOOLS_REPLAY_REPLAYER_H

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <variant>
#include <vector>

#include "IKTRSDK.h"
#include "Scenario.h"

namespace replay {
using namespace ktr;

struct UploadAnswer {
    int32_t channel;
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
using Answer = std::variant<std::monostate, UploadAnswer, DownloadAnswer, HdLdAnswer, DefinitionAnswer>;

// What one step produced: the library's answer (none for an event) and the lines it logged, each
// prefixed with its level ("I ", "W ", "E ").
struct StepOutcome {
    const Step* step;
    Answer answer;
    std::vector<std::string> log;
};

// Runs the scenario on a new library instance, exactly as a host would, and records every step.
std::vector<StepOutcome> replayScenario(const Scenario& scenario);

}  // namespace replay

#endif  // KTRSDK_TOOLS_REPLAY_REPLAYER_H
