#include "FieldReader.h"

#include <fmt/format.h>

#include <limits>
#include <utility>

#include "NameSuggestion.h"
#include "Scenario.h"

namespace ktr {

using json = JsonValue;

FieldReader::FieldReader(const json& object, FieldPlace place, Comments comments)
    : m_object(object), m_place(std::move(place)), m_comments(comments) {
    if (!m_object.is_object()) {
        fail("", "expected an object, got " + describe(m_object));
    }
    if (m_comments == Comments::Ignored) {
        text(kCommentField, "");
    }
}

bool FieldReader::contains(const std::string& name) {
    return has(name);
}

std::vector<std::string> FieldReader::keys() const {
    std::vector<std::string> names;
    for (const auto& item : m_object.items()) {
        names.push_back(item.key());
    }
    return names;
}

bool FieldReader::isNullOrAbsent(const std::string& name) {
    return !has(name) || m_object.at(name).is_null();
}

const json& FieldReader::child(const std::string& name) {
    return field(name);
}

uint64_t FieldReader::u64(const std::string& name) {
    return static_cast<uint64_t>(integer(name, 0, std::numeric_limits<uint64_t>::max()));
}

uint64_t FieldReader::u64(const std::string& name, uint64_t fallback) {
    return has(name) ? u64(name) : fallback;
}

int64_t FieldReader::i64(const std::string& name, int64_t low, int64_t high) {
    return signedInteger(name, low, high);
}

int64_t FieldReader::i64(const std::string& name, int64_t low, int64_t high, int64_t fallback) {
    return has(name) ? signedInteger(name, low, high) : fallback;
}

int32_t FieldReader::i32(const std::string& name) {
    return static_cast<int32_t>(
        signedInteger(name, std::numeric_limits<int32_t>::min(), std::numeric_limits<int32_t>::max()));
}

int32_t FieldReader::i32(const std::string& name, int32_t fallback) {
    return has(name) ? i32(name) : fallback;
}

uint16_t FieldReader::u16(const std::string& name) {
    return static_cast<uint16_t>(integer(name, 0, std::numeric_limits<uint16_t>::max()));
}

uint16_t FieldReader::u16(const std::string& name, uint16_t fallback) {
    return has(name) ? u16(name) : fallback;
}

bool FieldReader::boolean(const std::string& name) {
    const json& value = field(name);
    if (!value.is_boolean()) {
        fail(name, "expected true or false, got " + describe(value));
    }
    return value.get<bool>();
}

bool FieldReader::boolean(const std::string& name, bool fallback) {
    return has(name) ? boolean(name) : fallback;
}

std::string FieldReader::text(const std::string& name, const std::string& fallback) {
    if (!has(name)) {
        return fallback;
    }
    const json& value = field(name);
    if (!value.is_string()) {
        fail(name, "expected a string, got " + describe(value));
    }
    return value.get<std::string>();
}

double FieldReader::number(const std::string& name) {
    const json& value = field(name);
    if (!value.is_number()) {
        fail(name, "expected a number, got " + describe(value));
    }
    return value.get<double>();
}

double FieldReader::number(const std::string& name, double low, double high) {
    const json& value = field(name);
    if (!value.is_number() || !(value.get<double>() >= low && value.get<double>() <= high)) {
        fail(name, fmt::format("expected a number from {} to {}, got {}", low, high, describe(value)));
    }
    return value.get<double>();
}

double FieldReader::number(const std::string& name, double low, double high, double fallback) {
    return has(name) ? number(name, low, high) : fallback;
}

void FieldReader::object(const std::string& name, const std::function<void(FieldReader&)>& read) {
    readNested(field(name), m_place.member(name), read);
}

void FieldReader::forEach(const std::string& name, const std::function<void(FieldReader&)>& read) {
    const json& value = field(name);
    if (!value.is_array()) {
        fail(name, "expected an array, got " + describe(value));
    }
    for (size_t i = 0; i < value.size(); ++i) {
        readNested(value[i], m_place.element(name, i), read);
    }
}

void FieldReader::readNested(const json& value, FieldPlace place, const std::function<void(FieldReader&)>& read) const {
    FieldReader nested(value, std::move(place), m_comments);
    read(nested);
    nested.finish();
}

void FieldReader::skip(const std::string& name) {
    m_skipped.insert(name);
}

void FieldReader::finish() const {
    for (const auto& item : m_object.items()) {
        if (m_asked.count(item.key()) == 0 && m_skipped.count(item.key()) == 0) {
            fail(item.key(), "unknown field" + suggestName(item.key(), m_asked, "fields"));
        }
    }
}

void FieldReader::fail(const std::string& name, const std::string& problem) const {
    throw error(name, problem);
}

ScenarioError FieldReader::error(const std::string& name, const std::string& problem) const {
    return ScenarioError(m_place.describe(name, problem));
}

bool FieldReader::has(const std::string& name) {
    m_asked.insert(name);
    return m_object.contains(name);
}

const json& FieldReader::field(const std::string& name) {
    if (!has(name)) {
        std::set<std::string> unasked;
        for (const auto& item : m_object.items()) {
            if (m_asked.count(item.key()) == 0) {
                unasked.insert(item.key());
            }
        }
        fail(name, "missing" + suggestRenaming(name, unasked));
    }
    return m_object.at(name);
}

uint64_t FieldReader::integer(const std::string& name, uint64_t low, uint64_t high) {
    const json& value = field(name);
    // JSON integers without a sign parse as unsigned; negative ones never fit here.
    const bool fits = value.is_number_unsigned() && value.get<uint64_t>() >= low && value.get<uint64_t>() <= high;
    if (!fits) {
        fail(name, fmt::format("expected an integer from {} to {}, got {}", low, high, describe(value)));
    }
    return value.get<uint64_t>();
}

int64_t FieldReader::signedInteger(const std::string& name, int64_t low, int64_t high) {
    const json& value = field(name);
    // An unsigned value may exceed int64_t; it is compared as unsigned, against a low bound above 0 too.
    const bool fits =
        value.is_number_integer() &&
        (value.is_number_unsigned() ? value.get<uint64_t>() <= static_cast<uint64_t>(high) &&
                                          (low <= 0 || value.get<uint64_t>() >= static_cast<uint64_t>(low))
                                    : value.get<int64_t>() >= low && value.get<int64_t>() <= high);
    if (!fits) {
        fail(name, fmt::format("expected an integer from {} to {}, got {}", low, high, describe(value)));
    }
    return value.get<int64_t>();
}

std::string FieldReader::describe(const json& value) {
    if (value.is_number_float()) {
        return "the number " + value.dump();
    }
    if (value.is_number()) {
        return value.dump();
    }
    return std::string(value.type_name()) + (value.is_string() ? " " + value.dump() : "");
}

}  // namespace ktr
