#include "JsonFields.h"

#include <fmt/format.h>

#include "InputFile.h"

namespace ktr::sim {
namespace {

// How much of a refused value a message quotes.
constexpr size_t kQuotedValueChars = 40;

std::string quote(const nlohmann::ordered_json& value) {
    std::string text = value.dump(-1, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
    if (text.size() > kQuotedValueChars) {
        text.resize(kQuotedValueChars);
        text += "...";
    }
    return text;
}

}  // namespace

void refuseField(const std::string& field, const std::string& expected, const nlohmann::ordered_json& got) {
    const std::string problem = fmt::format("expected {}, got {}", expected, quote(got));
    throw InputError(field.empty() ? problem : fmt::format("field \"{}\": {}", field, problem));
}

const nlohmann::ordered_json& requiredField(const nlohmann::ordered_json& object, const std::string& prefix,
                                            const std::string& name) {
    const auto found = object.find(name);
    if (found == object.end()) {
        throw InputError(fmt::format("field \"{}{}\": missing", prefix, name));
    }
    return *found;
}

std::string stringField(const nlohmann::ordered_json& object, const std::string& prefix, const std::string& name) {
    const nlohmann::ordered_json& value = requiredField(object, prefix, name);
    if (!value.is_string()) {
        refuseField(prefix + name, "a string", value);
    }
    return value.get<std::string>();
}

const nlohmann::ordered_json& objectValue(const nlohmann::ordered_json& value, const std::string& field) {
    if (!value.is_object()) {
        refuseField(field, "an object", value);
    }
    return value;
}

}  // namespace ktr::sim
