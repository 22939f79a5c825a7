#include "LogReader.h"

#include <algorithm>
#include <cstring>

#include "GzipInput.h"
#include "LevelMark.h"
#include "LibraryText.h"
#include "LineSource.h"
#include "Pcre2Pattern.h"
#include "TimeStamp.h"

namespace ktr::logs {
namespace {

constexpr size_t kMaxUnknownSamples = 20;

}  // namespace

LogReader::LogReader(PatternsOnly, const std::optional<std::string>& prefix)
    : m_timeStamp(std::make_unique<TimeStamp>()), m_levelMark(std::make_unique<LevelMark>()) {
    if (prefix) {
        m_prefix = std::make_unique<Pcre2Pattern>(*prefix, PCRE2_ANCHORED);
        m_timeGroup = m_prefix->groupNumber("time");
        m_levelGroup = m_prefix->groupNumber("level");
    }
}

LogReader::LogReader(const std::string& path, const std::optional<std::string>& prefix)
    : LogReader(PatternsOnly{}, prefix) {
    m_input = std::make_unique<GzipInput>(path);
    m_lines = std::make_unique<LineSource>(
        [input = m_input.get()](char* data, size_t size) { return input->read(data, size); });
}

LogReader::LogReader(FromText, std::string_view text, const std::optional<std::string>& prefix)
    : LogReader(PatternsOnly{}, prefix) {
    m_lines = std::make_unique<LineSource>([text](char* data, size_t size) mutable {
        const size_t count = std::min(size, text.size());
        std::memcpy(data, text.data(), count);
        text.remove_prefix(count);
        return count;
    });
}

LogReader::~LogReader() = default;

const ReadCounts& LogReader::counts() const {
    return m_counts;
}

bool LogReader::next(LibraryLine& line) {
    std::string_view text;
    bool cut = false;
    while (m_lines->next(text, cut)) {
        ++m_counts.lines;
        if (cut) {
            ++m_counts.tooLong;
        }
        if (read(text, line)) {
            line.number = m_counts.lines;
            return true;
        }
    }
    return false;
}

bool LogReader::read(std::string_view text, LibraryLine& out) {
    if (!LibraryText::mayHold(text)) {
        ++m_counts.other;
        return false;
    }
    Prefix prefix = m_prefix ? customPrefix(text) : Prefix{};
    const std::optional<size_t> start = LibraryText::find(text, prefix.searchFrom);
    if (!start) {
        ++m_counts.other;
        return false;
    }
    if (!m_prefix) {
        const std::string_view before = text.substr(0, *start);
        prefix.time = m_timeStamp->find(before);
        prefix.level = m_levelMark->find(before);
    }
    const std::string_view library = text.substr(*start);
    std::optional<ktr::ParsedLine> parsed = ktr::parseLogLine(library, prefix.level);
    if (!parsed && prefix.level) {
        parsed = ktr::parseLogLine(library);
    }
    if (!parsed) {
        countUnknown(library);
        return false;
    }
    ++m_counts.library;
    out.time = prefix.time;
    out.level = prefix.level;
    out.text.assign(library);
    out.parsed = std::move(*parsed);
    return true;
}

LogReader::Prefix LogReader::customPrefix(std::string_view text) {
    Prefix prefix;
    if (!m_prefix->match(text)) {
        return prefix;  // no time or level known; the library's text may still be in the line
    }
    prefix.searchFrom = m_prefix->matchEnd();
    if (const auto time = m_prefix->group(m_timeGroup)) {
        prefix.time = m_timeStamp->parse(*time);
    }
    if (const auto level = m_prefix->group(m_levelGroup)) {
        prefix.level = LevelMark::parse(*level);
    }
    return prefix;
}

void LogReader::countUnknown(std::string_view text) {
    ++m_counts.unknownLibrary;
    if (m_counts.unknownSamples.size() < kMaxUnknownSamples) {
        m_counts.unknownSamples.emplace_back(m_counts.lines, std::string(text));
    }
}

}  // namespace ktr::logs
