// The JSON form of a timeline's parts, shared by the JSON Lines writer and the views built on it.
#ifndef KTRSDK_TOOLS_COMMON_TIMELINEJSON_H
#define KTRSDK_TOOLS_COMMON_TIMELINEJSON_H

#include <nlohmann/json.hpp>

#include "Timeline.h"

namespace ktr {

// Version of the JSON Lines layout; raised when a key changes meaning or goes away.
constexpr int kTimelineSchema = 1;

nlohmann::json headerJson(const TimelineHeader& header);
nlohmann::json stepJson(const TimelineStep& step);
// A step without its state: what the HTML report shows of each step.
nlohmann::json stepDetailJson(const TimelineStep& step);
nlohmann::json recordJson(const tarn::video::VideoStreamInfo& record);
nlohmann::json answerJson(const Answer& answer);
nlohmann::json stateJson(const StateSnapshot& state);

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_TIMELINEJSON_H
