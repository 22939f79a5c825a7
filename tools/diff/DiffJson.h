// `ktr diff` as one JSON object: the sides, every scenario with its differing steps (each side's answer and
// log lines), and the metric comparison of a simulation (null where a value is undefined).
#ifndef KTRSDK_TOOLS_DIFF_DIFFJSON_H
#define KTRSDK_TOOLS_DIFF_DIFFJSON_H

#include <nlohmann/json.hpp>

#include "DiffReport.h"

namespace ktr::diff {

// Version of the object's layout; raised when a key changes meaning or goes away.
constexpr int kDiffSchema = 3;

nlohmann::ordered_json diffJson(const DiffReport& report);

}  // namespace ktr::diff

#endif  // KTRSDK_TOOLS_DIFF_DIFFJSON_H
