#include "DuplicateKeyFinder.h"

#include <fmt/format.h>

#include <algorithm>

namespace ktr {

using json = nlohmann::ordered_json;

std::string jsonPathText(JsonPath::const_iterator first, JsonPath::const_iterator last) {
    std::string text;
    for (auto segment = first; segment != last; ++segment) {
        if (const auto* index = std::get_if<size_t>(&*segment)) {
            text += fmt::format("[{}]", *index);
        } else {
            text += (text.empty() ? "" : ".") + std::get<std::string>(*segment);
        }
    }
    return text;
}

// Follows the structure of the text without building it. The parser that builds a document while reporting
// events scans an array for dropped values each time one of its objects ends, which takes time growing
// with the square of the array's length; building and following are therefore two passes.
class DuplicateKeyFinder::Events final : public nlohmann::json_sax<json> {
public:
    explicit Events(DuplicateKeyFinder& finder) : m_finder(finder) {}

    bool null() override { return value(); }
    bool boolean(bool) override { return value(); }
    bool number_integer(number_integer_t) override { return value(); }
    bool number_unsigned(number_unsigned_t) override { return value(); }
    bool number_float(number_float_t, const string_t&) override { return value(); }
    bool string(string_t&) override { return value(); }
    bool binary(binary_t&) override { return value(); }
    bool start_object(std::size_t) override { return start(false); }
    bool end_object() override { return end(); }
    bool start_array(std::size_t) override { return start(true); }
    bool end_array() override { return end(); }
    bool key(string_t& name) override {
        if (m_finder.m_levelsBelow == 0) {
            m_finder.onKey(name);
        }
        return true;
    }
    // The text was parsed once already: it is JSON.
    bool parse_error(std::size_t, const std::string&, const json::exception&) override { return false; }

private:
    bool value() {
        if (m_finder.m_levelsBelow == 0) {
            m_finder.endValue();
        }
        return true;
    }
    bool start(bool isArray) {
        m_finder.startLevel(isArray);
        return true;
    }
    bool end() {
        m_finder.endLevel();
        return true;
    }

    DuplicateKeyFinder& m_finder;
};

DuplicateKeyFinder::DuplicateKeyFinder(size_t maxDepth) : m_maxDepth(maxDepth) {}

json DuplicateKeyFinder::parse(const std::string& text) {
    json document = json::parse(text);
    m_levels.clear();
    m_levelsBelow = 0;
    m_found.clear();
    m_duplicates.clear();
    Events events(*this);
    json::sax_parse(text, &events);
    std::vector<std::pair<size_t, JsonPath>> byRank;
    for (auto& [path, rank] : m_found) {
        byRank.emplace_back(rank, path);
    }
    std::sort(byRank.begin(), byRank.end());
    for (auto& ranked : byRank) {
        m_duplicates.push_back(std::move(ranked.second));
    }
    return document;
}

void DuplicateKeyFinder::startLevel(bool isArray) {
    if (m_levelsBelow == 0 && m_levels.size() < m_maxDepth) {
        m_levels.push_back(Level{isArray, 0, "", {}});
    } else {
        ++m_levelsBelow;
    }
}

void DuplicateKeyFinder::endLevel() {
    if (m_levelsBelow == 0) {
        m_levels.pop_back();
        endValue();
    } else {
        --m_levelsBelow;
    }
}

void DuplicateKeyFinder::onKey(const std::string& key) {
    Level& object = m_levels.back();
    object.key = key;
    if (object.keys.insert(key).second) {
        return;
    }
    const JsonPath path = currentPath();
    // Repeats found so far below this key lie in the value it replaces. Paths that start with this one
    // follow it in order.
    auto below = m_found.upper_bound(path);
    while (below != m_found.end() && below->first.size() > path.size() &&
           std::equal(path.begin(), path.end(), below->first.begin())) {
        below = m_found.erase(below);
    }
    m_found.emplace(path, m_nextRank++);
}

void DuplicateKeyFinder::endValue() {
    if (!m_levels.empty() && m_levels.back().isArray) {
        ++m_levels.back().index;
    }
}

JsonPath DuplicateKeyFinder::currentPath() const {
    JsonPath path;
    for (const Level& level : m_levels) {
        if (level.isArray) {
            path.emplace_back(level.index);
        } else {
            path.emplace_back(level.key);
        }
    }
    return path;
}

}  // namespace ktr
