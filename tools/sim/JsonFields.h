// Reading the fields of JSON objects that a sweep exchanges (run summaries, results files), with messages
// that name the field: `field "metrics.freezes_per_min.value": expected a finite number or null, got "x"`.
#ifndef KTRSDK_TOOLS_SIM_JSONFIELDS_H
#define KTRSDK_TOOLS_SIM_JSONFIELDS_H

#include <nlohmann/json.hpp>
#include <string>

namespace ktr::sim {

// Throws InputError: the field (its full path; none for the object itself), what it should hold and a
// short quote of what it holds.
[[noreturn]] void refuseField(const std::string& field, const std::string& expected, const nlohmann::ordered_json& got);

// The field `name` of object, whose own path (with a trailing dot, or empty) is prefix. Missing: InputError.
const nlohmann::ordered_json& requiredField(const nlohmann::ordered_json& object, const std::string& prefix,
                                            const std::string& name);
std::string stringField(const nlohmann::ordered_json& object, const std::string& prefix, const std::string& name);

// value itself, refused unless it is an object.
const nlohmann::ordered_json& objectValue(const nlohmann::ordered_json& value, const std::string& field);

}  // namespace ktr::sim

#endif  // KTRSDK_TOOLS_SIM_JSONFIELDS_H
