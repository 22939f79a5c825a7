#ifndef KTRSDK_TOOLS_COMMON_FIELDREADER_H
#define KTRSDK_TOOLS_COMMON_FIELDREADER_H

#include <cstdint>
#include <functional>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <vector>

#include "FieldPlace.h"
#include "InputFile.h"

namespace ktr {

// The JSON the tools read their inputs into: objects keep their keys in the order written.
using JsonValue = nlohmann::ordered_json;

// Reads the fields of one JSON object, checking each value against the width of the field it fills.
// Every name it is asked about, present or not, is a valid field of the object: finish() refuses any
// other and lists the valid ones. Every error is a ScenarioError naming the file, the step and the field.
// Bad input, with the file, the step and the field it concerns in its message.
class ScenarioError : public InputError {
public:
    using InputError::InputError;
};

class FieldReader {
public:
    // Whether the object, and every object read through this reader, may carry a "comment" string, a note
    // that the reader accepts and ignores.
    enum class Comments { Refused, Ignored };
    static constexpr const char* kCommentField = "comment";

    FieldReader(const JsonValue& object, FieldPlace place, Comments comments = Comments::Refused);

    const FieldPlace& place() const { return m_place; }

    // Whether the field is present; either way it is a valid field of the object.
    bool contains(const std::string& name);

    // Whether the field is absent or null: a value its source did not show.
    bool isNullOrAbsent(const std::string& name);

    // The object's keys, in the order written.
    std::vector<std::string> keys() const;

    // The raw value of a field that another reader takes apart.
    const JsonValue& child(const std::string& name);

    uint64_t u64(const std::string& name);
    uint64_t u64(const std::string& name, uint64_t fallback);
    int64_t i64(const std::string& name, int64_t low, int64_t high);
    int64_t i64(const std::string& name, int64_t low, int64_t high, int64_t fallback);
    int32_t i32(const std::string& name);
    int32_t i32(const std::string& name, int32_t fallback);
    uint16_t u16(const std::string& name);
    uint16_t u16(const std::string& name, uint16_t fallback);
    bool boolean(const std::string& name);
    bool boolean(const std::string& name, bool fallback);
    std::string text(const std::string& name, const std::string& fallback);
    // Any JSON number, integer or not.
    double number(const std::string& name);
    // Any JSON number, integer or not, from low to high.
    double number(const std::string& name, double low, double high);
    double number(const std::string& name, double low, double high, double fallback);

    // Calls read with a reader for the object field name, at "name".
    void object(const std::string& name, const std::function<void(FieldReader&)>& read);

    // Calls read for every element of the array field name, with a reader for objects at "name[i]".
    void forEach(const std::string& name, const std::function<void(FieldReader&)>& read);

    // Accepts a field that the caller reads by other means; it is not listed among the valid fields.
    void skip(const std::string& name);

    // Refuses fields that nothing asked about: a misspelt name would otherwise be ignored silently.
    void finish() const;

    [[noreturn]] void fail(const std::string& name, const std::string& problem) const;
    // The error fail throws, for a caller that throws it itself.
    ScenarioError error(const std::string& name, const std::string& problem) const;

    // A value as messages quote it: `string "yes"`, `the number 1.5`, `3`.
    static std::string describe(const JsonValue& value);

private:
    // Reads a nested object with the same comment rule and refuses its unknown fields.
    void readNested(const JsonValue& value, FieldPlace place, const std::function<void(FieldReader&)>& read) const;
    bool has(const std::string& name);
    const JsonValue& field(const std::string& name);
    uint64_t integer(const std::string& name, uint64_t low, uint64_t high);
    int64_t signedInteger(const std::string& name, int64_t low, int64_t high);

    const JsonValue& m_object;
    FieldPlace m_place;
    Comments m_comments;
    std::set<std::string> m_asked;
    std::set<std::string> m_skipped;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_FIELDREADER_H
