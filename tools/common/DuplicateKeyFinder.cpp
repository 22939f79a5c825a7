#include "DuplicateKeyFinder.h"

#include <algorithm>

namespace ktr {

using nlohmann::json;

DuplicateKeyFinder::DuplicateKeyFinder(size_t maxDepth) : m_maxDepth(maxDepth) {}

json DuplicateKeyFinder::parse(const std::string& text) {
    m_levels.clear();
    m_levelsBelow = 0;
    m_found.clear();
    m_duplicates.clear();
    json document = json::parse(text, [this](int /*depth*/, json::parse_event_t event, json& parsed) {
        onEvent(event, parsed);
        return true;
    });
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

void DuplicateKeyFinder::onEvent(json::parse_event_t event, const json& parsed) {
    const bool tracked = m_levelsBelow == 0;
    switch (event) {
        case json::parse_event_t::object_start:
        case json::parse_event_t::array_start:
            if (tracked && m_levels.size() < m_maxDepth) {
                m_levels.push_back(Level{event == json::parse_event_t::array_start, 0, "", {}});
            } else {
                ++m_levelsBelow;
            }
            break;
        case json::parse_event_t::key:
            if (tracked) {
                onKey(parsed.get<std::string>());
            }
            break;
        case json::parse_event_t::object_end:
        case json::parse_event_t::array_end:
            if (tracked) {
                m_levels.pop_back();
                endValue();
            } else {
                --m_levelsBelow;
            }
            break;
        case json::parse_event_t::value:
            if (tracked) {
                endValue();
            }
            break;
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
