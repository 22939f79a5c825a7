#ifndef KTRSDK_TOOLS_COMMON_DUPLICATEKEYFINDER_H
#define KTRSDK_TOOLS_COMMON_DUPLICATEKEYFINDER_H

#include <cstddef>
#include <map>
#include <nlohmann/json.hpp>
#include <set>
#include <string>
#include <variant>
#include <vector>

namespace ktr {

// The place of a value in a JSON document: object keys and array indexes, from the root down.
using JsonPath = std::vector<std::variant<std::string, size_t>>;

// The path in the form fields are named in messages ("streams[1].bitrate"), from the segment first on.
std::string jsonPathText(JsonPath::const_iterator first, JsonPath::const_iterator last);

// Parses JSON as nlohmann::json::parse does, which keeps the last value of a key that an object repeats
// and drops the others silently, and remembers where that happened.
class DuplicateKeyFinder {
public:
    // Keys of objects nested deeper than maxDepth objects and arrays are not looked at.
    explicit DuplicateKeyFinder(size_t maxDepth);

    // Throws nlohmann::json::parse_error for text that is not JSON, and nlohmann::json::out_of_range for a
    // number beyond the range of double.
    nlohmann::ordered_json parse(const std::string& text);

    // The repeated keys of the last parse, each once, in the order of their first repeat. A repeat inside
    // a value that a later repeat of an enclosing key dropped is not listed: that value is gone.
    const std::vector<JsonPath>& duplicates() const { return m_duplicates; }

private:
    // One object or array being parsed.
    struct Level {
        bool isArray;
        size_t index;                // of the array element being parsed
        std::string key;             // of the object member being parsed
        std::set<std::string> keys;  // the object's keys so far
    };

    // Receives the parser's events, one per value, key and object or array start and end.
    class Events;

    void startLevel(bool isArray);
    void endLevel();
    void onKey(const std::string& key);
    void endValue();
    JsonPath currentPath() const;

    size_t m_maxDepth;
    std::vector<Level> m_levels;
    size_t m_levelsBelow = 0;            // nested deeper than m_maxDepth
    std::map<JsonPath, size_t> m_found;  // each repeated key and the rank of its first repeat
    size_t m_nextRank = 0;
    std::vector<JsonPath> m_duplicates;
};

}  // namespace ktr

#endif  // KTRSDK_TOOLS_COMMON_DUPLICATEKEYFINDER_H
