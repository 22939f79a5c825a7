#include "LogLineMatcher.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <functional>
#include <stdexcept>
#include <string>

namespace ktr {
namespace {

// Every tagged format starts with it; the tag fills its %s.
constexpr std::string_view kTagPrefix = "[%s]: ";
constexpr char kTagStart = '[';
constexpr std::string_view kTagEnd = "]: ";
constexpr uint64_t kGoldenRatio = 0x9E3779B97F4A7C15;  // spreads the bits of the tag's end

}  // namespace

size_t LogLineMatcher::TagHash::operator()(std::string_view tag) const {
    uint64_t end = 0;
    const size_t count = std::min(tag.size(), sizeof end);
    std::memcpy(&end, tag.data() + tag.size() - count, count);
    return static_cast<size_t>((end * kGoldenRatio) ^ tag.size());
}

const LogLineMatcher& LogLineMatcher::instance() {
    static const LogLineMatcher matcher;
    return matcher;
}

LogLineMatcher::LogLineMatcher() : m_catalogue(logCatalogue()) {
    m_patterns.reserve(m_catalogue.size());
    for (size_t entry = 0; entry < m_catalogue.size(); ++entry) {
        const LogFormat& format = m_catalogue[entry];
        m_byId.emplace(format.id, entry);
        if (format.tag.empty()) {
            m_patterns.emplace_back(format.format);
            m_untagged.push_back(entry);
            continue;
        }
        if (format.format.substr(0, kTagPrefix.size()) != kTagPrefix) {
            throw std::logic_error("tagged log format without its tag prefix: " + std::string(format.id));
        }
        m_patterns.emplace_back(format.format.substr(kTagPrefix.size()));
        m_byTag[format.tag].push_back(entry);
    }
}

template <typename OnMatch>
void LogLineMatcher::forEachMatch(std::string_view text, std::optional<LogLevel> level,
                                  std::vector<std::string_view>& values, OnMatch onMatch) const {
    // True when the walk ends at this entry.
    const auto endsAt = [&](size_t entry, std::string_view body) {
        const LogFormat& format = m_catalogue[entry];
        return (!level || format.level == *level) && m_patterns[entry].match(body, values) && !onMatch(format, values);
    };
    if (!text.empty() && text[0] == kTagStart) {
        const size_t tagEnd = text.find(kTagEnd);
        const auto tagged = tagEnd == std::string_view::npos ? m_byTag.end() : m_byTag.find(text.substr(1, tagEnd - 1));
        if (tagged != m_byTag.end()) {
            const std::string_view body = text.substr(tagEnd + kTagEnd.size());
            for (size_t entry : tagged->second) {
                if (endsAt(entry, body)) {
                    return;
                }
            }
        }
    }
    for (size_t entry : m_untagged) {
        if (endsAt(entry, text)) {
            return;
        }
    }
}

const LogFormat* LogLineMatcher::match(std::string_view text, std::optional<LogLevel> level,
                                       std::vector<std::string_view>& values) const {
    const LogFormat* matched = nullptr;
    forEachMatch(text, level, values, [&matched](const LogFormat& format, const std::vector<std::string_view>&) {
        matched = &format;
        return false;
    });
    return matched;
}

std::vector<std::pair<const LogFormat*, std::vector<std::string_view>>> LogLineMatcher::matchAll(
    std::string_view text, std::optional<LogLevel> level) const {
    std::vector<std::pair<const LogFormat*, std::vector<std::string_view>>> matches;
    std::vector<std::string_view> values;
    forEachMatch(text, level, values, [&matches](const LogFormat& format, const std::vector<std::string_view>& found) {
        matches.emplace_back(&format, found);
        return true;
    });
    return matches;
}

std::string LogLineMatcher::print(const LogFormat& format, const std::vector<std::string>& values) const {
    const LogPattern* pattern = patternOf(format);
    if (pattern == nullptr) {
        return std::string();
    }
    const std::string body = pattern->print(values);
    return format.tag.empty() ? body : kTagStart + std::string(format.tag) + std::string(kTagEnd) + body;
}

const LogPattern* LogLineMatcher::patternOf(const LogFormat& format) const {
    const std::less<const LogFormat*> before;
    if (before(&format, m_catalogue.data()) || !before(&format, m_catalogue.data() + m_catalogue.size())) {
        return nullptr;
    }
    return &m_patterns[static_cast<size_t>(&format - m_catalogue.data())];
}

const LogFormat* LogLineMatcher::find(std::string_view id) const {
    const auto it = m_byId.find(id);
    return it == m_byId.end() ? nullptr : &m_catalogue[it->second];
}

}  // namespace ktr
